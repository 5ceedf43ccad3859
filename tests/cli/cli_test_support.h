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

#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "cli_runner.h"
#include "virtual_board.h"

namespace zorbel::clitest {

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed, size_t step = 13) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * step + seed) % 251);
  return v;
}

// The board as the last run left it in its folder.
inline std::unique_ptr<sim::VirtualBoard> KeptBoard(sim::BoardKind kind, const std::string& dir) {
  return std::make_unique<sim::VirtualBoard>(sim::BoardOptions{.kind = kind, .stateDir = dir});
}

// The arguments a then b.
inline std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CliTest : public ::testing::Test {
 protected:
  Result Zorbel(std::vector<std::string> args) { return RunZorbel(args, folder_.Folder()); }
  Result OnBoard(const std::string& kind, std::vector<std::string> args) {
    return Zorbel(Join({"--virtual-board=" + kind + ":" + BoardDir()}, args));
  }
  std::string BoardDir() const { return folder_.File("board"); }
  std::string File(const std::string& name) const { return folder_.File(name); }
  // Runs the rows of one session of cli/sessions.tsv in order, those of board
  // "*" on a board of this kind, and checks each row's outcome.
  void RunSession(const std::string& name, const std::string& kind = "") {
    int rows = 0;
    for (const testing::TableRow& row : testing::LoadTable("cli/sessions.tsv")) {
      if (row[0] != name) continue;
      ++rows;
      const std::vector<std::string> args(row.begin() + 6, row.end());
      std::string label = row[1] + ":";
      for (const auto& a : args) label += " " + a;
      const Result r = row[1] == "-" ? Zorbel(args) : OnBoard(row[1] == "*" ? kind : row[1], args);
      const std::string err = r.err.substr(0, r.err.find_last_not_of('\n') + 1);
      EXPECT_EQ(r.status, std::stoi(row[2])) << label << "\n" << r.err;
      const std::string first = err.substr(0, err.find('\n')), last = err.substr(err.rfind('\n') + 1);
      // Empty cells are not checked.
      EXPECT_TRUE(row[3].empty() || first == row[3]) << label << "\n" << r.err;
      EXPECT_TRUE(row[4].empty() || last.rfind(row[4], 0) == 0) << label << "\n" << r.err;
      EXPECT_TRUE(row[5].empty() || r.out == row[5]) << label << "\n" << r.out;
    }
    EXPECT_GT(rows, 0) << "no session " << name;
  }
  // A recipe of these lines beside kernel.bin, and images/kernel.bin.
  void WriteRecipe(const std::string& lines) {
    std::filesystem::create_directories(File("images"));
    testing::WriteBytes(File("images/kernel.bin"), Pattern(3000, 1));
    testing::WriteBytes(File("kernel.bin"), Pattern(3000, 1));
    testing::WriteBytes(File("recipe.txt"), lines);
  }

  zorbel::testing::TempFolder folder_;
};

// A session or a recipe run on each wire: disk kinds everywhere, the COM port
// where there are pseudo-terminals.
class TwoRunSession : public CliTest, public ::testing::WithParamInterface<const char*> {};
using RecipeRun = TwoRunSession;

}  // namespace zorbel::clitest
