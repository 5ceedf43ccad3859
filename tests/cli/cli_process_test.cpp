// Commands run against the disk boards, which every platform can host.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

TEST_F(CliTest, RefusedCommandsLeaveTheBoardAlone) {
  testing::WriteBytes(File("f.bin"), Pattern(100, 1));
  RunSession("refused");
  EXPECT_FALSE(fs::exists(BoardDir()));
}

TEST_F(CliTest, HelpOnEveryCommand) {
  for (const char* command :
       {"connect", "sdram", "burn", "verify", "burn-raw", "verify-raw", "read-spi", "erase", "modify",
        "table", "reserve", "nand-size", "sd-size", "settings", "mkrom", "nand-check"}) {
    const Result r = Zorbel({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find(std::string("usage: zorbel ") + command), std::string::npos) << command << r.out;
  }
}

TEST_P(TwoRunSession, BurnThenVerifyInANewProcess) {
  const auto image = Pattern(20000, 7);
  testing::WriteBytes(File("kernel.v2.bin"), image);
  // Same length, one byte changed: the board's copy no longer matches.
  auto changed = image;
  changed[12345] ^= 0x40;
  fs::create_directories(File("changed"));
  testing::WriteBytes(File("changed/kernel.v2.bin"), changed);
  RunSession("two runs", GetParam());
  const auto board = KeptBoard(*sim::ParseKind(GetParam()), BoardDir());
  const auto entry = board->FindImage(sim::Medium::kNand, 3);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->executeAddress, 0x30008000u);
  EXPECT_EQ(board->ImageData(sim::Medium::kNand, 3), image);
}

INSTANTIATE_TEST_SUITE_P(DiskKinds, TwoRunSession, ::testing::Values("quen", "older"));

TEST_F(CliTest, DiskCommandsChangeTheBoard) {
  testing::WriteBytes(File("a.bin"), Pattern(3000, 2));
  RunSession("disk");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->NandReservedMb(), 16u);
}

TEST_F(CliTest, RawSpiBurnThenReadBack) {
  const auto data = Pattern(70000, 9);
  testing::WriteBytes(File("raw.bin"), data);
  RunSession("raw spi");
  const auto back = testing::ReadFileBytes(File("back.bin"));
  ASSERT_EQ(back.size(), 2u * 65536u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
}

TEST_F(CliTest, SettingsFilesOnlyWritesTheFormsFiles) {
  for (const auto& row : testing::LoadTable("cli/settings_files.tsv")) {
    fs::remove(File("1.txt"));
    fs::remove(File("t0.bin"));
    const Result r = Zorbel(Join({"settings", "--files-only"}, {row.begin() + 3, row.end()}));
    EXPECT_EQ(r.status, std::stoi(row[0])) << r.err;
    if (!row[1].empty()) {
      EXPECT_EQ(r.err, row[1] + "\n");
      EXPECT_FALSE(fs::exists(File("1.txt")));
      continue;
    }
    EXPECT_EQ(Slurp(File("1.txt")), row[2]);
    // The template's marker now carries the text.
    EXPECT_NE(Slurp(File("t0.bin")).find(row[2]), std::string::npos);
  }
}

// SDRAM does not outlive the run, so only the outcome is seen here; the
// delivered bytes are checked against an in-process board in the settings tests.
TEST_F(CliTest, SettingsDeliveredOverEachRoute) {
  RunSession("settings");
  EXPECT_FALSE(Slurp(File("t0.bin")).empty());
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->ImageData(sim::Medium::kSpi, 2),
            testing::ReadFileBytes(File("1.txt")));
}

TEST_F(CliTest, MkromNandCountsTheListsImageSections) {
  // The same list as the NAND golden ROM file: two images, numbered 1 and 0.
  testing::WriteBytes(File("a.bin"), Pattern(5, 3, 7));
  testing::WriteBytes(File("b.bin"), Pattern(20, 4, 7));
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("out.bin") << "\n\n"
                                     << "[Image 1]\nImage=" << File("a.bin")
                                     << "\nName=data1\nExec=0x00000000\nStart=0x00000010\nData=1\n\n"
                                     << "[Image 0]\nImage=" << File("b.bin")
                                     << "\nName=sys\nExec=0x00000200\nStart=0x00000000\nSystem=1\n\n";
  const Result r = Zorbel({"mkrom", "nand", File("nandrom.ini")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing::ReadFileBytes(File("out.bin")),
            testing::ReadFileBytes(std::string(ZORBEL_TEST_DATA) + "/rom/nand_golden.bin"));
}

}  // namespace
}  // namespace zorbel::clitest
