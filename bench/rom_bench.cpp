// ROM builders against `cp` of a file of the same size on the same disk, and
// the process's peak memory (the builders stream through fixed buffers, so it
// must not grow with the images).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/user_prompt.h"
#include "rom/nor_rom_builder.h"
#include "rom/spi_rom_builder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

const fs::path& Dir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / "zorbel_rom_bench";
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// Written in 64 KiB pieces so setting up does not raise the peak either.
std::string MakeFile(const std::string& name, uint64_t size, uint8_t seed) {
  const fs::path p = Dir() / name;
  if (fs::exists(p) && fs::file_size(p) == size) return p.string();
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(65536);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((i * 13 + seed) % 253);
  for (uint64_t left = size; left > 0;) {
    const auto n = static_cast<std::streamsize>(std::min<uint64_t>(left, chunk.size()));
    out.write(chunk.data(), n);
    left -= static_cast<uint64_t>(n);
  }
  return p.string();
}

std::string MakeList(const std::string& name, const std::string& text) {
  const fs::path p = Dir() / name;
  std::ofstream(p) << text;
  return p.string();
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

class QuietPrompt final : public UserPrompt {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskOkCancel(const std::string&) override { return true; }
};

// The largest SPI ROM: a 64 KiB boot image and one image that brings the
// file to exactly 50 MiB (52 428 800 bytes).
constexpr uint64_t kSpiSize = 52428800;
constexpr uint64_t kSpiImage = kSpiSize - 2 * 0x10000;

std::string SpiList() {
  static const std::string list =
      MakeList("spirom.ini", "[Target Image]\nImage=" + (Dir() / "spi.bin").string() +
                                 "\n\n[Image 0]\nImage=" + MakeFile("spi0.bin", 60000, 1) +
                                 "\nName=boot\nExec= \nStart=0x0\nSystem=1\n\n[Image 1]\nImage=" +
                                 MakeFile("spi1.bin", kSpiImage, 2) +
                                 "\nName=big\nExec=0x30008000\nStart=0x10000\nData=1\n");
  return list;
}

// NOR images: count images of size bytes each, one after the other.
std::string NorList(const std::string& name, int count, uint64_t size) {
  std::string text = "[Target Image]\nImage=" + (Dir() / (name + ".bin")).string() +
                     "\n\n[Boot Image]\nImage=" + MakeFile("nor_boot.bin", 40000, 3) +
                     "\n\n[Boot Info]\nmac=00:11:22:33:44:55\n";
  uint64_t base = 0x20000;
  for (int n = 0; n < count; ++n) {
    text += "\n[Image " + std::to_string(n) +
            "]\nImage=" + MakeFile(name + std::to_string(n), size, uint8_t(n)) + "\nName=img\nBase=0x" +
            ([&] {
              char b[16];
              std::snprintf(b, sizeof b, "%08llX", static_cast<unsigned long long>(base));
              return std::string(b);
            })() +
            "\nLoad=0x30008000\nActive=1\n";
    base += (size / 0x10000 + 1) * 0x10000;
  }
  return MakeList(name + ".ini", text);
}

void Copy(benchmark::State& state, const std::string& from) {
  const std::string command = "cp '" + from + "' '" + (Dir() / "copy.bin").string() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(from)));
}

void BM_SpiRom50MB(benchmark::State& state) {
  const std::string list = SpiList();
  QuietPrompt prompt;
  for (auto _ : state) {
    if (SpiRomBuilder({list, 0, false, nullptr}, prompt) != 0) state.SkipWithError("build failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSpiSize));
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_CopySpiSize(benchmark::State& state) {
  SpiList();
  Copy(state, (Dir() / "spi.bin").string());
}

// A NOR flash spans 16 MiB of offsets, so three images of 6 MB fill it; the
// eight-image case uses the most each of eight can have.
void BM_NorRom3x6MB(benchmark::State& state) {
  const std::string list = NorList("nor3", 3, 6000000);
  QuietPrompt prompt;
  for (auto _ : state) {
    if (NorRomBuilder({list}, prompt) != 0) state.SkipWithError("build failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(Dir() / "nor3.bin")));
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_CopyNor3Size(benchmark::State& state) { Copy(state, (Dir() / "nor3.bin").string()); }

void BM_NorRom8x1_9MB(benchmark::State& state) {
  const std::string list = NorList("nor8", 8, 0x1E0000 - 100);
  QuietPrompt prompt;
  for (auto _ : state) {
    if (NorRomBuilder({list}, prompt) != 0) state.SkipWithError("build failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(Dir() / "nor8.bin")));
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_CopyNor8Size(benchmark::State& state) { Copy(state, (Dir() / "nor8.bin").string()); }

BENCHMARK(BM_SpiRom50MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_CopySpiSize)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_NorRom3x6MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_CopyNor3Size)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_NorRom8x1_9MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_CopyNor8Size)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace
}  // namespace zorbel

BENCHMARK_MAIN();
