// A station flashing disk boards at once against one board alone, and what
// the station's memory does meanwhile. The boards are virtual and in this
// process: their flash holds what they receive (boards x image bytes), which
// is taken out of the memory figure so that what is left is the station's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "station.h"
#include "virtual_board.h"

namespace fs = std::filesystem;
using namespace zorbel;

namespace {

uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// The largest resident size while it lives, looked at every 2 ms.
class PeakWatch {
 public:
  PeakWatch()
      : thread_([this] {
          while (!done_) {
            peak_ = std::max<uint64_t>(peak_, ResidentBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  uint64_t Stop() {
    done_ = true;
    thread_.join();
    return std::max<uint64_t>(peak_, ResidentBytes());
  }

 private:
  std::atomic<bool> done_{false};
  std::atomic<uint64_t> peak_{0};
  std::thread thread_;
};

fs::path Folder() {
  const fs::path folder = fs::temp_directory_path() / ("zorbel-station-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  return folder;
}

void WriteImage(const fs::path& path, uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> piece(1 << 20);
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 31 + 7);
  for (uint64_t at = 0; at < bytes; at += piece.size())
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
}

// Boards: state.range(0); image MiB: state.range(1).
void BM_StationBurn(benchmark::State& state) {
  const auto boards = static_cast<size_t>(state.range(0));
  const uint64_t imageBytes = static_cast<uint64_t>(state.range(1)) << 20;
  const fs::path folder = Folder();
  const fs::path image = folder / "image.bin";
  WriteImage(image, imageBytes);
  std::ofstream(folder / "recipe.txt") << "burn nand image.bin --number 1 --kind data --exec 0 --start 20\n";
  cli::GlobalOptions global;
  global.dir = ZORBEL_BIN_DIR;
  cli::Recipe recipe;
  std::string error;
  if (!cli::LoadRecipe((folder / "recipe.txt").string(), global, recipe, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  double stationMiB = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const uint64_t before = ResidentBytes();
    std::vector<std::unique_ptr<sim::VirtualBoard>> owned;
    std::vector<sim::VirtualBoard*> plugged;
    for (size_t i = 0; i < boards; ++i) {
      sim::BoardOptions options;
      options.kind = sim::BoardKind::kQuen;
      options.startInLoaderStage = true;
      options.nandBlockCount = static_cast<uint32_t>(imageBytes / (16 * 1024) + 64);
      owned.push_back(std::make_unique<sim::VirtualBoard>(options));
      plugged.push_back(owned.back().get());
    }
    RealClock clock;
    cli::VirtualBoardSource source(plugged, clock, 0);
    AbortEvent stop;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    cli::StationSetup setup{recipe, global, source, nullptr, static_cast<int>(boards),
                            stop,   quiet,  false,  nullptr, {}};
    state.ResumeTiming();
    PeakWatch watch;
    const int status = cli::RunStation(setup);
    const uint64_t peak = watch.Stop();
    state.PauseTiming();
    std::fclose(quiet);
    if (status != 0) state.SkipWithError("a board run failed");
    // The boards keep what they received; the rest grew with the station.
    const double grown =
        static_cast<double>(peak - std::min(peak, before)) - static_cast<double>(boards * imageBytes);
    stationMiB = std::max(stationMiB, grown / (1 << 20));
    owned.clear();
    state.ResumeTiming();
  }
  state.counters["station_MiB"] = stationMiB;
  state.counters["MiB_per_s"] = benchmark::Counter(static_cast<double>(boards * imageBytes) / (1 << 20),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  fs::remove_all(folder);
}
BENCHMARK(BM_StationBurn)
    ->ArgsProduct({{1, 4}, {16, 64}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
