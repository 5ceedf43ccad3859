// Commands run against the disk boards, which every platform can host.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

TEST_F(CliTest, UsageErrorsExitTwoWithTheRuleTextAndAUsageLine) {
  struct Case {
    std::vector<std::string> args;
    std::string firstLine;  // empty: only the usage line is checked
  } cases[] = {
      {{}, "zorbel: A subcommand is required"},
      {{"burn", "nand", "f.bin", "--number", "1", "--kind", "bogus"}, ""},
      {{"burn", "nand", "f.bin", "--kind", "data"}, "Please input image information"},
      {{"burn", "nand", "f.bin", "--kind", "logo", "--number", "1"}, "Please input image information"},
      {{"burn", "nand", "f.bin", "--kind", "data", "--number", "0", "--exec", "1", "--start", "1"},
       "Please input correct information"},
      {{"burn", "nand", "f.bin", "--kind", "data", "--number", "FFFFFFFF", "--exec", "1", "--start", "1"},
       "Please input correct information"},
      {{"burn", "nand", "f.bin", "--number", "1", "--exec", "1", "--start", "1"}, "--kind is required"},
      {{"burn", "nor", "f.bin", "--number", "1", "--exec", "1"}, "Please input image information"},
      {{"--yes", "burn", "sd", "f.bin", "--kind", "data", "--number", "1", "--exec", "1", "--start", "21"},
       "Image start sector should be larger than 21h"},
      {{"verify", "nand", "f.bin", "--kind", "data"}, "Please input Image No !"},
      {{"read-spi", "out.bin", "--blocks", "0"}, "Set the wrong blocks!"},
      {{"read-spi", "out.bin", "--blocks", "65536"}, "Set the wrong blocks!"},
      {{"erase", "nand"}, "Please input image number"},
      {{"erase", "nand", "--all", "--number", "2"}, "give one of --number, --all, --system-area"},
      {{"erase", "spi", "--system-area"}, "--system-area is for nand"},
      {{"modify", "sd", "--kind", "romfs"}, "Please input image number"},
      {{"modify", "nand", "--number", "1", "--kind", "logo"}, "--kind data|execute|romfs is required"},
      {{"burn-raw", "nor", "f.bin", "--offset", ""}, "Please input execute address"},
      {{"reserve", "nand"}, ""},
      {{"--virtual-board=toaster", "connect"},
       "--virtual-board=KIND[:DIR], KIND one of vcom, older, quen, rast, pilk"},
      {{"--port", "/dev/null", "--disk", "unix:/x", "connect"}, ""},
      {{"mkrom", "nand", "list.ini", "--block-size", "64k"}, ""},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += a + " ";
    const Result r = Zorbel(c.args);
    EXPECT_EQ(r.status, 2) << label;
    const auto lines = Lines(r.err);
    ASSERT_FALSE(lines.empty()) << label;
    if (!c.firstLine.empty()) {
      EXPECT_EQ(lines.front(), c.firstLine) << label;
    }
    EXPECT_EQ(lines.back().rfind("usage: zorbel", 0), 0u) << label << r.err;
  }
  // None of them reached for a board.
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

TEST_F(CliTest, BurnIsRefusedWithoutYesWhenNobodyCanAnswer) {
  WriteFile(File("img.bin"), Pattern(5000, 1));
  const Result r = OnBoard("quen", {"burn", "nand", File("img.bin"), "--number", "3", "--kind", "data",
                                    "--exec", "1", "--start", "20"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err).front(), "Do you confirm this operation ?");
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->Table(sim::Medium::kNand).empty());
}

class TwoRunSession : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TwoRunSession, BurnThenVerifyInANewProcess) { BurnThenVerifyInANewProcess(GetParam()); }

INSTANTIATE_TEST_SUITE_P(DiskKinds, TwoRunSession, ::testing::Values("quen", "older"));

TEST_F(CliTest, DiskCommandsChangeTheBoard) {
  WriteFile(File("a.bin"), Pattern(3000, 2));
  ASSERT_EQ(OnBoard("quen", {"--yes", "burn", "nand", File("a.bin"), "--number", "5", "--kind", "data",
                             "--exec", "0", "--start", "40"})
                .status,
            0);
  Result r = OnBoard("quen", {"--yes", "modify", "nand", "--number", "5", "--kind", "romfs"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Modify OK");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->FindImage(sim::Medium::kNand, 5)->type, 2u);

  r = OnBoard("quen", {"table", "nand", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("{\"No\": 5, \"Name\": \"a\", \"Type\": \"romfs\", \"Start block\": \"0x40\""),
            std::string::npos)
      << r.out;

  r = OnBoard("quen", {"nand-size"});
  ASSERT_EQ(r.status, 0) << r.err;
  const int total = std::stoi(r.out);
  EXPECT_GT(total, 0);

  r = OnBoard("quen", {"reserve", "nand", std::to_string(total + 1)});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.err).front(), "The value can not larger than total size");
  r = OnBoard("quen", {"--yes", "reserve", "nand", std::to_string(total)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Set successfully");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->NandReservedMb(), static_cast<uint32_t>(total));

  r = OnBoard("quen", {"sd-size"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1024\n");

  r = OnBoard("quen", {"--yes", "erase", "nand", "--number", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Erase successfully");
  EXPECT_FALSE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->FindImage(sim::Medium::kNand, 5).has_value());
}

TEST_F(CliTest, RawSpiBurnThenReadBack) {
  const auto data = Pattern(70000, 9);
  WriteFile(File("raw.bin"), data);
  Result r = OnBoard("quen", {"--yes", "burn-raw", "spi", File("raw.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
  r = OnBoard("quen", {"read-spi", File("back.bin"), "--blocks", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Read OK !");
  const auto back = ReadFile(File("back.bin"));
  ASSERT_EQ(back.size(), 2u * 65536u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  r = OnBoard("quen", {"verify-raw", "spi", File("raw.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Verify OK !");
}

TEST_F(CliTest, SettingsFilesOnlyWritesTheFormsFiles) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;             // first line of standard error, empty when none
    std::vector<std::string> lines;  // lines 3 to 13 of "1.txt" when written
  } cases[] = {
      {{"--ssid", "home", "--password", "pw"},
       0,
       "",
       {"dhcp", "192.168.123.9", "255.255.255.0", "192.168.123.254", "192.168.123.254", "192.168.123.254",
        "00:0e:01:09:06:52", "Tellan-5", "home", "pw", "WPA-PSK"}},
      {{"--name",    "cam",      "--ssid", "s",         "--password", "p",         "--encryption",
        "none",      "--ip",     "fix",    "--address", "10.0.0.2",   "--netmask", "255.0.0.0",
        "--gateway", "10.0.0.1", "--dns0", "1.1.1.1",   "--dns1",     "8.8.8.8"},
       0,
       "",
       {"fix", "10.0.0.2", "255.0.0.0", "10.0.0.1", "1.1.1.1", "8.8.8.8", "00:0e:01:09:06:52", "cam", "s",
        "p", "WEP"}},
      {{"--ssid", "s", "--password", "p", "--ip", "fix", "--address", "1", "--netmask", "2"},
       1,
       "gw不能为空",
       {}},
      {{"--password", "p"}, 1, "ssid不能为空", {}},
  };
  for (const auto& c : cases) {
    fs::remove(File("1.txt"));
    fs::remove(File("t0.bin"));
    std::vector<std::string> args{"settings", "--files-only"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Zorbel(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.message.empty()) {
      EXPECT_EQ(r.err, c.message + "\n");
      EXPECT_FALSE(fs::exists(File("1.txt")));
      continue;
    }
    const std::string text = Slurp(File("1.txt"));
    std::string expected = "<<<<<<<<<<<<<<<<<<<\r\nNEW IPCFG\r\n";
    for (const auto& line : c.lines) expected += line + "\r\n";
    expected += "===================\r\n";
    EXPECT_EQ(text, expected);
    // The template's marker now carries the text.
    const std::string image = Slurp(File("t0.bin"));
    EXPECT_NE(image.find(text), std::string::npos);
  }
}

// SDRAM does not outlive the run, so only the outcome is seen here; the
// delivered bytes are checked against an in-process board in the settings tests.
TEST_F(CliTest, SettingsDeliveredOverEachRoute) {
  Result r = OnBoard("quen", {"--yes", "settings", "--ssid", "net", "--password", "secret"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "写入成功");
  EXPECT_FALSE(Slurp(File("t0.bin")).empty());

  r = OnBoard("quen", {"--yes", "settings", "--ssid", "net", "--password", "secret", "--route", "spi"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "写入成功");
  const auto board = KeptBoard(sim::BoardKind::kQuen, BoardDir());
  const auto entry = board->FindImage(sim::Medium::kSpi, 2);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, "1.txt");
  EXPECT_EQ(board->ImageData(sim::Medium::kSpi, 2), ReadFile(File("1.txt")));
}

TEST_F(CliTest, MkromNandCountsTheListsImageSections) {
  // The same list as the NAND golden ROM file: two images, numbered 1 and 0.
  WriteFile(File("a.bin"), [] {
    std::vector<uint8_t> v(5);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
    return v;
  }());
  WriteFile(File("b.bin"), [] {
    std::vector<uint8_t> v(20);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 7 + 4) % 251);
    return v;
  }());
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("out.bin") << "\n\n"
                                     << "[Image 1]\nImage=" << File("a.bin")
                                     << "\nName=data1\nExec=0x00000000\nStart=0x00000010\nData=1\n\n"
                                     << "[Image 0]\nImage=" << File("b.bin")
                                     << "\nName=sys\nExec=0x00000200\nStart=0x00000000\nSystem=1\n\n";
  const Result r = Zorbel({"mkrom", "nand", File("nandrom.ini")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(File("out.bin")), ReadFile(std::string(ZORBEL_TEST_DATA) + "/rom/nand_golden.bin"));
}
}  // namespace
}  // namespace zorbel::clitest
