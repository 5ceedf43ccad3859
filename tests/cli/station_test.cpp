// The station in-process, on virtual boards sharing one fake clock with the
// boards' connection sequences.
#include "station.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "app/test_temp_folder.h"
#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

using cli::StationSetup;

constexpr const char* kRecipe =
    "burn nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n"
    "verify nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n"
    "burn nand app.bin --number 2 --kind data --exec 0 --start 40\n";

class Station : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder_.File("kernel.bin"), kernel_);
    WriteFile(folder_.File("app.bin"), app_);
    WriteFile(folder_.File("recipe.txt"), std::vector<uint8_t>(kRecipe, kRecipe + std::strlen(kRecipe)));
    global_.toolFolder.path = std::string(ZORBEL_BIN_DIR) + "/";
    std::string error;
    ASSERT_TRUE(cli::LoadRecipe(folder_.File("recipe.txt"), global_, recipe_, error)) << error;
  }
  sim::VirtualBoard& AddBoard(sim::BoardKind kind) {
    sim::BoardOptions options;
    options.kind = kind;
    options.clock = &clock_;
    boards_.push_back(std::make_unique<sim::VirtualBoard>(options));
    return *boards_.back();
  }
  int Run(int count, std::function<void(const std::string&, size_t)> onStep) {
    std::vector<sim::VirtualBoard*> plugged;
    for (const auto& board : boards_) plugged.push_back(board.get());
    cli::VirtualBoardSource source(plugged, clock_, 0);
    StationSetup setup{recipe_, global_, source, &log_,   count,
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
  std::FILE* status_ = std::tmpfile();
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
  std::rewind(status_);
  char line[512];
  std::string text;
  while (std::fgets(line, sizeof(line), status_) != nullptr) text += line;
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
