#include "station.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "app/paths.h"
#include "interrupt.h"

namespace zorbel::cli {
namespace {

// How often the station looks for new boards. A board takes seconds to
// connect, so a look every quarter second costs nothing and misses nothing.
constexpr uint32_t kLookEveryMs = 250;
constexpr const char* kVirtualLocation = "virtual-";
constexpr const char* kWaiting = "Waiting for boards; Ctrl+C ends the station after the running steps.";
constexpr const char* kNoSource =
    "This system cannot tell boards apart by their USB location; a station runs on --virtual-board here.";

// One line per board: redrawn in place on a terminal, else a plain line per
// change, each starting with the board's location.
class StationDisplay {
 public:
  StationDisplay(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  size_t AddBoard(const std::string& location) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.push_back({location, "connecting", -1, {}});
    Show(rows_.size() - 1, "connecting");
    return rows_.size() - 1;
  }
  void Step(size_t row, size_t index, size_t count, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_[row].step = "step " + std::to_string(index + 1) + "/" + std::to_string(count) + " " + text;
    rows_[row].percent = -1;
    Show(row, rows_[row].step);
  }
  void Report(size_t row, const std::string& text, int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (percent < 0) {
      std::string note = text;
      while (!note.empty() && (note.back() == '\n' || note.back() == ' ')) note.pop_back();
      rows_[row].note = note;
      Show(row, note);
    } else if (percent != rows_[row].percent) {
      rows_[row].percent = percent;
      Show(row, std::to_string(percent) + "%");
    }
  }
  void Done(size_t row, const std::string& result) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_[row].step = "done: " + result;
    rows_[row].percent = -1;
    Show(row, rows_[row].step);
  }

 private:
  struct Row {
    std::string location;
    std::string step;
    int percent;
    std::string note;
  };

  void Show(size_t row, const std::string& change) {
    if (!terminal_) {
      std::fprintf(out_, "%s: %s\n", rows_[row].location.c_str(), change.c_str());
    } else {
      // Back to the first board's line, then every line again.
      if (drawn_ > 0) std::fprintf(out_, "\x1b[%zuA", drawn_);
      for (const Row& r : rows_) {
        std::string text = r.location + "  " + r.step;
        if (r.percent >= 0) text += "  " + std::to_string(r.percent) + "%";
        if (!r.note.empty()) text += "  (" + r.note + ")";
        std::fprintf(out_, "\r\x1b[2K%s\n", text.c_str());
      }
      drawn_ = rows_.size();
    }
    std::fflush(out_);
  }

  std::mutex mutex_;
  std::FILE* out_;
  bool terminal_;
  std::vector<Row> rows_;
  size_t drawn_ = 0;
};

struct Running {
  std::string location;
  std::thread thread;
  bool ended = false;  // under the station's mutex
  bool ok = false;
};

// The NAND verify's copy of what the board sent back, one per board run, so
// boards verifying the same image never share it.
std::string VerifyCopyPath(const std::string& location, const void* run) {
  std::error_code ec;
  const auto folder = std::filesystem::temp_directory_path(ec);
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string name = "zorbel-verify-" + location + "-" + std::to_string(stamp) + "-" +
                           std::to_string(reinterpret_cast<uintptr_t>(run)) + ".bin";
  return ec ? name : PathText(folder / name);
}

bool RunOneBoard(const StationSetup& setup, StationDisplay& display, const std::string& location) {
  const size_t row = display.AddBoard(location);
  // Declared before the link: its channels are closed before the bus goes.
  const std::unique_ptr<DeviceBus> bus = setup.source.BusAt(location);
  BoardLink link(setup.global);
  link.bus = bus.get();
  if (const auto* boards = dynamic_cast<const VirtualBoardSource*>(&setup.source)) {
    link.virtualBoard = boards->BoardAt(location);
  }
  if (setup.clock != nullptr) link.clock = setup.clock;
  link.verifyCopyPath = VerifyCopyPath(location, &link);
  link.decidesCtrlC = false;
  ConsoleLine line(
      [&display, row](const std::string& text, int percent) { display.Report(row, text, percent); });
  ConsoleProgress progress(line, true);
  // The station stops between steps: a step once started runs to its end.
  AbortEvent neverAborted;
  GlobalOptions global = setup.global;
  global.virtualBoard.clear();
  global.link = &link;
  const size_t count = setup.recipe.steps.size();
  BoardRun run{{global, line, progress, neverAborted, setup.out},
               &setup.stop,
               [&](size_t index, const RecipeStep& step) {
                 display.Step(row, index, count, step.text);
                 if (setup.onStep) setup.onStep(location, index);
               }};
  BoardRunLog log;
  const int status = RunRecipe(setup.recipe, run, log);
  log.board = location;
  const bool logged = setup.log == nullptr || setup.log->Append(log);
  display.Done(row, log.result + (logged ? "" : " (the log could not be written)"));
  std::error_code ec;
  std::filesystem::remove(Utf8Path(link.verifyCopyPath), ec);
  return status == kExitOk && logged;
}

}  // namespace

VirtualBoardSource::VirtualBoardSource(std::vector<sim::VirtualBoard*> boards, Clock& clock,
                                       uint32_t plugEveryMs)
    : boards_(std::move(boards)), clock_(clock), plugEveryMs_(plugEveryMs) {}

std::vector<std::string> VirtualBoardSource::Locations() {
  const uint64_t now = clock_.NowMs();
  if (!firstLookMs_) firstLookMs_ = now;
  std::vector<std::string> locations;
  for (size_t i = 0; i < boards_.size(); ++i) {
    if (now - *firstLookMs_ < i * uint64_t{plugEveryMs_}) break;
    if (boards_[i]->CurrentStage() == sim::Stage::kGone) continue;
    locations.push_back(kVirtualLocation + std::to_string(i + 1));
  }
  return locations;
}

sim::VirtualBoard* VirtualBoardSource::BoardAt(const std::string& location) const {
  for (size_t i = 0; i < boards_.size(); ++i) {
    if (location == kVirtualLocation + std::to_string(i + 1)) return boards_[i];
  }
  return nullptr;
}

std::unique_ptr<DeviceBus> VirtualBoardSource::BusAt(const std::string& location) {
  sim::VirtualBoard* board = BoardAt(location);
  return board != nullptr ? std::make_unique<ForwardingDeviceBus>(board->Bus()) : nullptr;
}

int RunStation(const StationSetup& setup) {
  StationDisplay display(setup.out, setup.terminal);
  std::mutex mutex;
  std::condition_variable changed;
  std::list<Running> running;     // a list: each board's thread keeps its entry's address
  std::set<std::string> handled;  // boards run while they stay plugged in
  int started = 0;
  bool allWell = true;
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    for (auto it = running.begin(); it != running.end();) {
      if (!it->ended) {
        ++it;
        continue;
      }
      lock.unlock();
      it->thread.join();
      lock.lock();
      allWell = allWell && it->ok;
      it = running.erase(it);
    }
    const bool enough = setup.count > 0 && started >= setup.count;
    if (setup.stop.IsSet() || enough) {
      if (running.empty()) break;
      changed.wait(lock, [&] {
        return std::any_of(running.begin(), running.end(), [](const Running& r) { return r.ended; });
      });
      continue;
    }
    lock.unlock();
    const std::vector<std::string> present = setup.source.Locations();
    lock.lock();
    // A board unplugged after its run is a new board when it comes back.
    std::erase_if(handled, [&](const std::string& location) {
      const bool isRunning = std::any_of(running.begin(), running.end(),
                                         [&](const Running& r) { return r.location == location; });
      return !isRunning && std::find(present.begin(), present.end(), location) == present.end();
    });
    for (const std::string& location : present) {
      if (handled.count(location) != 0 || (setup.count > 0 && started >= setup.count)) continue;
      handled.insert(location);
      ++started;
      Running& entry = running.emplace_back();
      entry.location = location;
      entry.thread = std::thread([&setup, &display, &entry, &mutex, &changed] {
        const bool ok = RunOneBoard(setup, display, entry.location);
        std::lock_guard<std::mutex> done(mutex);
        entry.ok = ok;
        entry.ended = true;
        changed.notify_all();
      });
    }
    changed.wait_for(lock, std::chrono::milliseconds(kLookEveryMs), [&] {
      return std::any_of(running.begin(), running.end(), [](const Running& r) { return r.ended; });
    });
  }
  return allWell ? kExitOk : kExitFailed;
}

int StationCommand(const RecipeOptions& options, RecipeEnv& env) {
  if (!env.global.port.empty() || !env.global.disk.empty()) {
    env.line.PrintText("a station finds its boards itself: --port and --disk name one board");
    return kExitUsage;
  }
  Recipe recipe;
  if (const int refused = PrepareRecipe(options, env, recipe); refused != kExitOk) return refused;
  RealClock clock;
  std::vector<std::unique_ptr<sim::VirtualBoard>> boards;
  std::vector<sim::VirtualBoard*> plugged;
  for (const std::string& option : env.virtualBoards) {
    const auto request = ParseVirtualBoardOption(option);
    sim::BoardOptions boardOptions;
    boardOptions.kind = request->kind;
    boardOptions.stateDir = request->dir;
    boards.push_back(std::make_unique<sim::VirtualBoard>(boardOptions));
    if (boards.back()->StateDirInUse()) {
      env.line.PrintText(BoardFolderInUse(request->dir));
      return kExitFailed;
    }
    plugged.push_back(boards.back().get());
  }
  std::unique_ptr<BoardSource> source;
  if (!boards.empty()) {
    source = std::make_unique<VirtualBoardSource>(plugged, clock, options.plugEveryMs);
  } else {
    source = MakePlatformBoardSource();
  }
  if (!source) {
    env.line.PrintText(kNoSource);
    return kExitFailed;
  }
  std::unique_ptr<RunLogFile> log;
  if (!options.log.empty()) log = std::make_unique<RunLogFile>(options.log);
  StationSetup setup{recipe,          env.global, *source,      log.get(), options.count,
                     env.interrupted, stderr,     env.terminal, nullptr,   {}};
  // Each board's run stops between steps on the station's event, whatever its
  // wire: the first Ctrl+C sets it, a second ends the process.
  InterruptWatch::SetRunStopsOnAbort(true);
  env.line.PrintText(kWaiting);
  return RunStation(setup);
}

}  // namespace zorbel::cli
