#pragma once
// The zorbel program run as a separate process against virtual boards kept
// in a folder, so every command goes through the real connection sequence,
// the real wires, and the board's own decoding; the board's resulting state
// is read back from that folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/test_temp_folder.h"
#include "cli_runner.h"
#include "virtual_board.h"

namespace zorbel::clitest {

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 13 + seed) % 251);
  return v;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  testing::WriteBytes(path, bytes);
}
inline std::vector<uint8_t> ReadFile(const std::string& path) { return testing::ReadFileBytes(path); }

// The board as the last run left it in its folder.
inline std::unique_ptr<sim::VirtualBoard> KeptBoard(sim::BoardKind kind, const std::string& dir) {
  sim::BoardOptions options;
  options.kind = kind;
  options.stateDir = dir;
  return std::make_unique<sim::VirtualBoard>(options);
}

class CliTest : public ::testing::Test {
 protected:
  // Burn in one process, verify in another: the second run has no head of
  // the first and builds it from its options and the file.
  void BurnThenVerifyInANewProcess(const std::string& kind) {
    const auto image = Pattern(20000, 7);
    WriteFile(File("kernel.v2.bin"), image);
    const std::vector<std::string> fields{"--number", "3",        "--kind",  "execute",
                                          "--exec",   "30008000", "--start", "20"};

    std::vector<std::string> burn{"--yes", "burn", "nand", File("kernel.v2.bin")};
    burn.insert(burn.end(), fields.begin(), fields.end());
    Result r = OnBoard(kind, burn);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Burn successfully");

    std::vector<std::string> verify{"verify", "nand", File("kernel.v2.bin")};
    verify.insert(verify.end(), fields.begin(), fields.end());
    r = OnBoard(kind, verify);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Verify OK !");

    r = OnBoard(kind, {"table", "nand"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0].substr(0, 4), "No  ");
    EXPECT_EQ(lines[1].substr(0, 3), "3  ");
    EXPECT_NE(lines[1].find("kernel.v2"), std::string::npos);
    EXPECT_NE(lines[1].find("execute"), std::string::npos);
    EXPECT_NE(lines[1].find("0x20"), std::string::npos);

    // Same length, one byte changed: the board's copy no longer matches.
    auto changed = image;
    changed[12345] ^= 0x40;
    WriteFile(File("kernel.v2.bin"), changed);
    r = OnBoard(kind, verify);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).back(), "Verify Error !");

    const auto board = KeptBoard(*sim::ParseKind(kind), BoardDir());
    const auto entry = board->FindImage(sim::Medium::kNand, 3);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->executeAddress, 0x30008000u);
    EXPECT_EQ(entry->start, 0x20u);
    EXPECT_EQ(board->ImageData(sim::Medium::kNand, 3), image);
  }

  Result Zorbel(std::vector<std::string> args) { return RunZorbel(args, folder_.Folder()); }
  Result OnBoard(const std::string& kind, std::vector<std::string> args) {
    args.insert(args.begin(), "--virtual-board=" + kind + ":" + BoardDir());
    return Zorbel(std::move(args));
  }
  std::string BoardDir() const { return folder_.File("board"); }
  std::string File(const std::string& name) const { return folder_.File(name); }

  zorbel::testing::TempFolder folder_;
};

// A recipe run on each wire: disk kinds everywhere, the COM port where there
// are pseudo-terminals.
class RecipeRun : public CliTest, public ::testing::WithParamInterface<const char*> {};

}  // namespace zorbel::clitest
