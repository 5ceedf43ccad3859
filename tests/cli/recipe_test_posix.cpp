// Recipes over the virtual board's COM port, a pseudo-terminal.
#include <string>

#include "app/run_log.h"
#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

INSTANTIATE_TEST_SUITE_P(ComPort, RecipeRun, ::testing::Values("vcom"));

// The second station finds the COM-port board's loader running already: it
// is reached without a second loader, as the disk board is.
TEST_F(CliTest, StationsOnKeptBoardsOfBothWires) {
  WriteFile(File("kernel.bin"), Pattern(9000, 2));
  const std::string line = "burn nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n";
  WriteFile(File("recipe.txt"), std::vector<uint8_t>(line.begin(), line.end()));
  for (int round = 0; round < 2; ++round) {
    const Result r =
        Zorbel({"--yes", "--virtual-board=vcom:" + File("serial"), "--virtual-board=quen:" + File("disk"),
                "station", File("recipe.txt"), "--count", "2", "--log", File("log.jsonl")});
    EXPECT_EQ(r.status, 0) << r.err;
  }
  const auto log = ReadRunLog(File("log.jsonl"));
  ASSERT_EQ(log.size(), 4u);
  for (const BoardRunLog& run : log) EXPECT_EQ(run.result, "ok") << run.board;
  EXPECT_EQ(KeptBoard(sim::BoardKind::kVcom, File("serial"))->ImageData(sim::Medium::kNand, 1),
            Pattern(9000, 2));
}

}  // namespace
}  // namespace zorbel::clitest
