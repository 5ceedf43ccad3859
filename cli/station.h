#pragma once
// The production station: waits for boards, runs one recipe on each board as
// it appears, each on its own thread with its own tool state, and logs every
// board run. Nothing is shared between boards but the recipe and the log.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/run_log.h"
#include "link/board_source.h"
#include "recipe.h"
#include "virtual_board.h"

namespace zorbel::cli {

// Virtual boards as a station sees them: board i at "virtual-<i+1>", plugged
// in plugEveryMs apart (0: all at once) from the first look on clock.
class VirtualBoardSource final : public BoardSource {
 public:
  VirtualBoardSource(std::vector<sim::VirtualBoard*> boards, Clock& clock, uint32_t plugEveryMs);
  std::vector<std::string> Locations() override;
  std::unique_ptr<DeviceBus> BusAt(const std::string& location) override;
  // Null for a location that is not one of these boards'.
  sim::VirtualBoard* BoardAt(const std::string& location) const;

 private:
  std::vector<sim::VirtualBoard*> boards_;
  Clock& clock_;
  uint32_t plugEveryMs_;
  std::optional<uint64_t> firstLookMs_;
};

struct StationSetup {
  const Recipe& recipe;
  GlobalOptions global;  // the tool's folder and family for every board's own state
  BoardSource& source;
  RunLogFile* log = nullptr;
  int count = 0;  // end after this many board runs; 0: at stop
  // Ctrl+C: no new board is started, running ones end after their current step.
  AbortEvent& stop;
  std::FILE* out = stderr;  // status lines
  bool terminal = false;    // one redrawn status line per board, else plain lines
  Clock* clock = nullptr;   // the boards' connection sequences; null: real time
  // Told when a board starts a step (index from 0); may be empty.
  std::function<void(const std::string& location, size_t step)> onStep;
};

// Runs until stop is set or count board runs have ended. 0 when every board
// run ended well, 1 otherwise.
int RunStation(const StationSetup& setup);

int StationCommand(const RecipeOptions& options, RecipeEnv& env);

}  // namespace zorbel::cli
