// Recipes run by the zorbel program against virtual boards kept in a folder,
// and stations run in-process.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "app/sha256.h"
#include "app/test_table.h"
#include "cli_test_support.h"
#include "station.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKernelLine =
    "burn nand images/kernel.bin --number 1 --kind execute --exec 30008000 --start 20";

TEST_P(RecipeRun, StepsReachTheBoardAndTheLogTellsWhatWasSent) {
  // Paths are the recipe's; the program runs in another folder.
  WriteRecipe(std::string("# line one is a comment\n") + kKernelLine +
              "\n\nverify nand images/kernel.bin --number 1 --kind execute --exec 30008000 --start 20\r\n"
              "  burn nand \"images/app.bin\" --number 2 --kind data --exec 0 --start 40\n");
  const auto app = Pattern(70000, 5);
  testing::WriteBytes(File("images/app.bin"), app);
  fs::create_directories(File("elsewhere"));
  const Result r = RunZorbel({"--yes", "--virtual-board=" + std::string(GetParam()) + ":" + BoardDir(), "run",
                              File("recipe.txt"), "--log", File("log.jsonl")},
                             File("elsewhere"));
  ASSERT_EQ(r.status, 0) << r.err;

  const auto board = KeptBoard(*sim::ParseKind(GetParam()), BoardDir());
  EXPECT_EQ(board->ImageData(sim::Medium::kNand, 1), testing::ReadFileBytes(File("images/kernel.bin")));
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
  for (const auto& row : testing::LoadTable("cli/recipe_refusals.tsv")) {
    WriteRecipe(std::string(kKernelLine) + "\n# then\n" + row[0] + "\n");
    std::string refusal = row[1];
    if (const size_t at = refusal.find("<folder>/"); at != std::string::npos)
      refusal.replace(at, 9, File(""));
    const Result r = OnBoard("quen", {"--yes", "run", File("recipe.txt")});
    EXPECT_EQ(r.status, 2) << row[0];
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), File("recipe.txt") + " line 3: " + refusal) << r.err;
    EXPECT_FALSE(fs::exists(BoardDir())) << "the board was reached for " << row[0];
  }
}

TEST_F(CliTest, TheRunAsksOnceAndItsStepsDoNotAskAgain) {
  WriteRecipe(std::string(kKernelLine) + "\nerase nand --number 1\nreserve nand 8\n");
  RunSession("a recipe nobody confirmed");
  EXPECT_FALSE(fs::exists(BoardDir()));
  RunSession("a recipe asks once");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->NandReservedMb(), 8u);
}

TEST_F(CliTest, TheFirstFailingStepEndsTheRun) {
  WriteRecipe("verify nand kernel.bin --number 4 --kind data\n" + std::string(kKernelLine) + "\n");
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

// The station in-process, on virtual boards sharing one fake clock with the
// boards' connection sequences.
constexpr const char* kRecipe =
    "burn nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n"
    "verify nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n"
    "burn nand app.bin --number 2 --kind data --exec 0 --start 40\n";

class Station : public ::testing::Test {
 protected:
  ~Station() override { std::fclose(status_); }
  void SetUp() override {
    testing::WriteBytes(folder_.File("kernel.bin"), kernel_);
    testing::WriteBytes(folder_.File("app.bin"), app_);
    testing::WriteBytes(folder_.File("recipe.txt"), kRecipe);
    global_.toolFolder.path = std::string(ZORBEL_BIN_DIR) + "/";
    std::string error;
    ASSERT_TRUE(cli::LoadRecipe(folder_.File("recipe.txt"), global_, recipe_, error)) << error;
  }
  void AddBoard(sim::BoardKind kind) {
    sim::BoardOptions options;
    options.kind = kind;
    options.clock = &clock_;
    boards_.push_back(std::make_unique<sim::VirtualBoard>(options));
  }
  int Run(int count, std::function<void(const std::string&, size_t)> onStep) {
    std::vector<sim::VirtualBoard*> plugged;
    for (const auto& board : boards_) plugged.push_back(board.get());
    cli::VirtualBoardSource source(plugged, clock_, 0);
    cli::StationSetup setup{recipe_, global_, source, &log_,   count,
                            stop_,   status_, false,  &clock_, std::move(onStep)};
    return cli::RunStation(setup);
  }

  testing::TempFolder folder_;
  FakeClock clock_;
  cli::GlobalOptions global_;
  cli::Recipe recipe_;
  std::vector<std::unique_ptr<sim::VirtualBoard>> boards_;
  AbortEvent stop_;
  RunLogFile log_{folder_.File("station.jsonl")};
  std::FILE* status_ = std::fopen(folder_.File("status.txt").c_str(), "wb");
  const std::vector<uint8_t> kernel_ = Pattern(20000, 3), app_ = Pattern(50000, 4);
};

TEST_F(Station, FourBoardsAtOnceAndAFaultyOneFailsAlone) {
  for (auto kind :
       {sim::BoardKind::kQuen, sim::BoardKind::kRast, sim::BoardKind::kPilk, sim::BoardKind::kOlder})
    AddBoard(kind);
  boards_[2]->InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kBurn, sim::Medium::kNand, 1, 0});
  // Every board must have reached its first step before any goes on: boards
  // run one after the other would never all get there.
  std::mutex mutex;
  std::condition_variable arrived;
  int waiting = 0;
  bool together = true;
  const int status = Run(4, [&](const std::string&, size_t step) {
    if (step != 0) return;
    std::unique_lock<std::mutex> lock(mutex);
    ++waiting;
    arrived.notify_all();
    together = arrived.wait_for(lock, std::chrono::seconds(60), [&] { return waiting == 4; }) && together;
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(together);

  const auto log = ReadRunLog(folder_.File("station.jsonl"));
  ASSERT_EQ(log.size(), 4u);
  std::set<std::string> seen;
  for (const BoardRunLog& run : log) {
    seen.insert(run.board);
    const bool faulty = run.board == "virtual-3";
    EXPECT_EQ(run.result, faulty ? "failed" : "ok") << run.board;
    EXPECT_FALSE(run.loader.empty()) << run.board;
    ASSERT_EQ(run.steps.size(), 3u);
    EXPECT_EQ(run.steps[1].result, faulty ? "not run" : "ok") << run.board;
  }
  EXPECT_EQ(seen.size(), 4u) << "a board that stays plugged in is run once";
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(boards_[i]->ImageData(sim::Medium::kNand, 2), i == 2 ? std::vector<uint8_t>{} : app_) << i;
    if (i != 2) {
      EXPECT_EQ(boards_[i]->ProtocolErrors(), std::vector<std::string>{}) << i;
    }
  }
  std::fflush(status_);
  const std::string text = testing::ReadBytes(folder_.File("status.txt"));
  EXPECT_NE(text.find("virtual-3: done: failed\n"), std::string::npos) << text;
  EXPECT_NE(text.find("virtual-1: step 3/3 burn nand app.bin"), std::string::npos) << text;
}

TEST_F(Station, CtrlCLetsTheRunningStepEndThenStops) {
  AddBoard(sim::BoardKind::kQuen);
  const int status = Run(0, [&](const std::string&, size_t step) {
    if (step == 1) stop_.Set();
  });
  EXPECT_EQ(status, 1);
  const auto log = ReadRunLog(folder_.File("station.jsonl"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].result, "stopped");
  ASSERT_EQ(log[0].steps.size(), 3u);
  EXPECT_EQ(log[0].steps[1].result, "ok");
  EXPECT_EQ(log[0].steps[2].result, "not run");
  EXPECT_EQ(boards_[0]->ImageData(sim::Medium::kNand, 1), kernel_);
  EXPECT_FALSE(boards_[0]->FindImage(sim::Medium::kNand, 2).has_value());
}

}  // namespace
}  // namespace zorbel::clitest
