// Board operations at full speed against the virtual board:
// - a 64 MiB raw SPI burn over the pseudo-terminal, against a bare loop that
//   moves the same chunks (4096 bytes out, 4 bytes back) over the same line;
// - MsWriteImage of 16 and 256 MiB to the in-process disk, with the peak heap
//   that the tool's side (not the board's) holds while it runs.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "app/tool_state.h"
#include "link/serial_port.h"
#include "protocol/ms_operations.h"
#include "protocol/records.h"
#include "protocol/vcom_operations.h"
#include "virtual_board.h"

// --- heap accounting: live bytes outside the board's own calls ---
namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
thread_local bool tInBoard = false;

void* Allocate(std::size_t n) {
  auto* p = static_cast<std::size_t*>(std::malloc(n + 16));
  if (p == nullptr) throw std::bad_alloc();
  p[0] = n;
  p[1] = tInBoard ? 1 : 0;
  if (!tInBoard) {
    const int64_t live = gLive += static_cast<int64_t>(n);
    int64_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
  }
  return p + 2;
}

void Release(void* q) {
  if (q == nullptr) return;
  auto* p = static_cast<std::size_t*>(q) - 2;
  if (p[1] == 0) gLive -= static_cast<int64_t>(p[0]);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace zorbel {
namespace {

constexpr uint32_t kBurnBytes = 64u << 20;

std::string MakeFile(const char* name, size_t size) {
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  if (std::filesystem::exists(path) && std::filesystem::file_size(path) == size) return path;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
  for (size_t done = 0; done < size; done += block.size()) {
    out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
  }
  return path;
}

sim::BoardOptions FastSerialBoard() {
  sim::BoardOptions o;
  o.kind = sim::BoardKind::kVcom;
  o.startInLoaderStage = true;
  o.stepDelayMs = 0;
  o.progressStep = 100;
  o.spiSizeBytes = kBurnBytes;
  return o;
}

void BM_VcomRawSpiBurn64MiB(benchmark::State& state) {
  const std::string path = MakeFile("zorbel-bench-64m.bin", kBurnBytes);
  sim::VirtualBoard board(FastSerialBoard());
  ToolState tool;
  SerialPort port;
  KeptHead kept;
  for (auto _ : state) {
    OperationContext ctx(tool);
    ctx.port = &port;
    ctx.portName = board.PtyPath();
    ctx.filePath = path;
    ctx.keptHead = &kept;
    if (VcomBurnRaw(ctx, Medium::kSpi) != 1) state.SkipWithError("burn failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBurnBytes);
}
BENCHMARK(BM_VcomRawSpiBurn64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same line with nothing but the chunk loop: the head, then 4096 bytes
// out and 4 back per chunk, then the board's status words.
void BM_BareChunkLoop64MiB(benchmark::State& state) {
  sim::VirtualBoard board(FastSerialBoard());
  SerialPort port;
  std::vector<uint8_t> chunk(kVcomChunkSize, 0x5A);
  for (auto _ : state) {
    port.Open(board.PtyPath(), 2048, 2048);
    port.SetupReadTimeouts(1, 10000);
    port.ChooseMethod(FlashMethod::kSpiRaw, nullptr);
    const auto head = EncodeRawHead(RawHead{0, kBurnBytes, 0});
    uint32_t n = 0;
    uint8_t reply[4];
    port.Write(head.data(), 12, &n, nullptr, kInfinite);
    port.Read(reply, 4, &n, nullptr, 10000);
    for (uint32_t sent = 0; sent < kBurnBytes; sent += kVcomChunkSize) {
      port.Write(chunk.data(), kVcomChunkSize, &n, nullptr, kInfinite);
      port.Read(reply, 4, &n, nullptr, 10000);
    }
    do {
      port.Read(reply, 4, &n, nullptr, 10000);
    } while (n == 4 && (reply[0] | (reply[1] << 8)) != 100);
    port.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBurnBytes);
}
BENCHMARK(BM_BareChunkLoop64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU time of the calling thread: the machine may be shared, wall time is not
// the tool's.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Marks the board's calls so their allocations stay out of the tool's count.
class BoardCalls final : public ScsiTransport {
 public:
  explicit BoardCalls(std::unique_ptr<ScsiTransport> inner) : inner_(std::move(inner)) {}
  bool Execute(const ScsiCommand& c) override {
    tInBoard = true;
    const double start = ThreadCpuSeconds();
    const bool ok = inner_->Execute(c);
    boardSeconds += ThreadCpuSeconds() - start;
    tInBoard = false;
    return ok;
  }
  double boardSeconds = 0;
  uint32_t LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<ScsiTransport> inner_;
};

void BM_MsWriteImage(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0)) << 20;
  const std::string path =
      MakeFile(state.range(0) == 256 ? "zorbel-bench-256m.bin" : "zorbel-bench-16m.bin", size);
  tInBoard = true;
  sim::BoardOptions o;
  o.kind = sim::BoardKind::kQuen;
  o.startInLoaderStage = true;
  o.stepDelayMs = 0;
  o.spiSizeBytes = 512u << 20;
  sim::VirtualBoard board(o);
  ToolState tool;
  tool.familyMode = 1;
  tool.chipFamily = 1;
  auto calls = std::make_unique<BoardCalls>(board.OpenDisk());
  BoardCalls* boardCalls = calls.get();
  tool.connection.volumes[0].handle = std::move(calls);
  tInBoard = false;
  int64_t toolPeak = 0;
  const double start = ThreadCpuSeconds();
  for (auto _ : state) {
    OperationContext ctx(tool);
    ctx.filePath = path;
    ctx.head.imageNumber = std::string(1, '1');  // image 1
    ctx.head.imageType = 1;
    gPeak = gLive.load();
    const int64_t before = gLive.load();
    if (MsWriteImage(ctx, Medium::kSpi, DataKind::kImage) != 1) state.SkipWithError("write failed");
    toolPeak = std::max(toolPeak, gPeak.load() - before);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["tool_peak_heap_KiB"] = static_cast<double>(toolPeak) / 1024.0;
  // Throughput of the tool's side alone: the run's CPU time less the board's.
  const double toolSeconds = ThreadCpuSeconds() - start - boardCalls->boardSeconds;
  state.counters["tool_side_GBps"] =
      static_cast<double>(state.iterations() * size) / std::max(toolSeconds, 1e-9) / 1e9;
  tInBoard = true;  // the board's teardown
}
BENCHMARK(BM_MsWriteImage)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zorbel

BENCHMARK_MAIN();
