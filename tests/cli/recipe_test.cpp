// Recipes run by the zorbel program against virtual boards kept in a folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "app/sha256.h"
#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKernelLine =
    "burn nand images/kernel.bin --number 1 --kind execute --exec 30008000 --start 20";

void WriteText(const std::string& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST_P(RecipeRun, StepsReachTheBoardAndTheLogTellsWhatWasSent) {
  fs::create_directories(File("images"));
  const auto kernel = Pattern(20000, 3), app = Pattern(70000, 5);
  WriteFile(File("images/kernel.bin"), kernel);
  WriteFile(File("images/app.bin"), app);
  // Paths are the recipe's; the program runs in another folder.
  WriteText(File("recipe.txt"),
            std::string("# line one is a comment\n") + kKernelLine +
                "\n\nverify nand images/kernel.bin --number 1 --kind execute --exec 30008000 "
                "--start 20\r\n  burn nand \"images/app.bin\" --number 2 --kind data --exec 0 "
                "--start 40\n");
  fs::create_directories(File("elsewhere"));
  const Result r = RunZorbel({"--yes", "--virtual-board=" + std::string(GetParam()) + ":" + BoardDir(), "run",
                              File("recipe.txt"), "--log", File("log.jsonl")},
                             File("elsewhere"));
  ASSERT_EQ(r.status, 0) << r.err;

  const auto board = KeptBoard(*sim::ParseKind(GetParam()), BoardDir());
  EXPECT_EQ(board->ImageData(sim::Medium::kNand, 1), kernel);
  EXPECT_EQ(board->ImageData(sim::Medium::kNand, 2), app);
  EXPECT_EQ(board->FindImage(sim::Medium::kNand, 1)->executeAddress, 0x30008000u);
  EXPECT_EQ(board->FindImage(sim::Medium::kNand, 2)->start, 0x40u);

  const auto log = ReadRunLog(File("log.jsonl"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].result, "ok");
  EXPECT_FALSE(log[0].loader.empty());
  ASSERT_EQ(log[0].steps.size(), 3u);
  const int lines[] = {2, 4, 5};
  const std::string sent[] = {"images/kernel.bin", "images/kernel.bin", "images/app.bin"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log[0].steps[i].line, lines[i]);
    EXPECT_EQ(log[0].steps[i].result, "ok");
    ASSERT_EQ(log[0].steps[i].files.size(), 1u);
    EXPECT_TRUE(fs::equivalent(log[0].steps[i].files[0].path, File(sent[i])));
    EXPECT_EQ(log[0].steps[i].files[0].sha256, FileSha256(File(sent[i])));
  }
}

INSTANTIATE_TEST_SUITE_P(Disk, RecipeRun, ::testing::Values("quen"));

TEST_F(CliTest, ABadLineIsNamedAndNothingIsSent) {
  fs::create_directories(File("images"));
  WriteFile(File("images/kernel.bin"), Pattern(3000, 1));
  WriteFile(File("kernel.bin"), Pattern(3000, 1));
  const struct {
    std::string line;
    std::string refusal;
  } cases[] = {
      {"burn nand kernel.bin --number 0 --kind data --exec 1 --start 1", "Please input correct information"},
      {"burn nand kernel.bin --number 1 --kind data --exec 1 --start 1 --port /dev/null",
       "--port belongs to the run, not to a recipe line"},
      {"mkrom nor list.ini", "mkrom is not a board command a recipe runs"},
      {"flash nand kernel.bin", "a recipe line starts with a board command"},
      {"burn nand missing.bin --number 1 --kind data --exec 1 --start 1",
       "cannot find the file " + File("missing.bin")},
      {"erase nand --all --number 2", "give one of --number, --all, --system-area"},
      {"burn nand kernel.bin --number 1x --kind data --exec 1 --start 1", "Please input correct information"},
      {"reserve nand 12abc", "Please input system reserved size"},
      {"sdram kernel.bin --address 3000zz", "--address takes a hexadecimal address"},
      {"read-spi images --blocks 1", File("images") + " is not a regular file; nothing was done."},
      {"settings --name n --ssid s --password p --files-only",
       "--files-only is not a board command a recipe runs"},
  };
  for (const auto& c : cases) {
    WriteText(File("recipe.txt"), std::string(kKernelLine) + "\n# then\n" + c.line + "\n");
    const Result r = OnBoard("quen", {"--yes", "run", File("recipe.txt")});
    EXPECT_EQ(r.status, 2) << c.line;
    EXPECT_EQ(Lines(r.err).front(), File("recipe.txt") + " line 3: " + c.refusal) << r.err;
    EXPECT_FALSE(fs::exists(BoardDir())) << "the board was reached for " << c.line;
  }
}

TEST_F(CliTest, TheRunAsksOnceAndItsStepsDoNotAskAgain) {
  fs::create_directories(File("images"));
  WriteFile(File("images/kernel.bin"), Pattern(3000, 1));
  WriteText(File("recipe.txt"), std::string(kKernelLine) + "\nerase nand --number 1\nreserve nand 8\n");
  const struct {
    bool yes;
    int status;
    bool reached;
  } cases[] = {{false, 1, false}, {true, 0, true}};
  for (const auto& c : cases) {
    std::filesystem::remove_all(BoardDir());
    std::vector<std::string> args{"run", File("recipe.txt")};
    if (c.yes) args.insert(args.begin(), "--yes");
    const Result r = OnBoard("quen", args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(fs::exists(BoardDir()), c.reached) << r.err;
    if (c.reached) {
      EXPECT_TRUE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->Table(sim::Medium::kNand).empty());
    }
  }
}

TEST_F(CliTest, TheFirstFailingStepEndsTheRun) {
  fs::create_directories(File("images"));
  WriteFile(File("images/kernel.bin"), Pattern(3000, 1));
  WriteFile(File("kernel.bin"), Pattern(3000, 1));
  WriteText(File("recipe.txt"),
            "verify nand kernel.bin --number 4 --kind data\n" + std::string(kKernelLine) + "\n");
  const Result r = OnBoard("quen", {"--yes", "run", File("recipe.txt"), "--log", File("log.jsonl")});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->Table(sim::Medium::kNand).empty());
  const auto log = ReadRunLog(File("log.jsonl"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].result, "failed");
  ASSERT_EQ(log[0].steps.size(), 2u);
  EXPECT_EQ(log[0].steps[0].result, "failed");
  EXPECT_EQ(log[0].steps[1].result, "not run");
}

}  // namespace
}  // namespace zorbel::clitest
