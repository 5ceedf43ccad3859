// One 4096-byte record and its 4-byte answer over a pseudo-terminal: through
// SerialPort, and through a bare write/poll/read loop on the same kind of
// line. The difference is what SerialPort's bookkeeping costs per chunk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_port.h"

namespace {

constexpr size_t kChunk = 4096;
constexpr size_t kAnswer = 4;

// The board's side: answers every full chunk with 4 bytes until stopped.
class EchoBoard {
 public:
  EchoBoard() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master_);
    unlockpt(master_);
    slavePath_ = ptsname(master_);
    // Keep the slave open so the master never sees a hang-up between runs.
    keeper_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper_, TCSANOW, &tio);
    thread_ = std::thread([this] { Run(); });
  }
  ~EchoBoard() {
    stop_ = true;
    thread_.join();
    ::close(keeper_);
    ::close(master_);
  }
  const std::string& slavePath() const { return slavePath_; }

 private:
  void Run() {
    std::vector<uint8_t> buffer(kChunk);
    const uint8_t answer[kAnswer] = {0x00, 0x10, 0x00, 0x00};
    size_t have = 0;
    while (!stop_) {
      pollfd pfd{master_, POLLIN, 0};
      if (::poll(&pfd, 1, 20) <= 0) continue;
      const ssize_t n = ::read(master_, buffer.data(), kChunk - have);
      if (n <= 0) continue;
      have += static_cast<size_t>(n);
      if (have == kChunk) {
        have = 0;
        [[maybe_unused]] const ssize_t w = ::write(master_, answer, kAnswer);
      }
    }
  }

  int master_ = -1;
  int keeper_ = -1;
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_SerialPortChunk(benchmark::State& state) {
  EchoBoard board;
  zorbel::SerialPort port;
  if (port.Open(board.slavePath(), 2048, 2048) != 0) {
    state.SkipWithError("open failed");
    return;
  }
  port.SetupReadTimeouts(1, 10000);
  std::vector<uint8_t> chunk(kChunk, 0x5A);
  uint8_t answer[kAnswer];
  for (auto _ : state) {
    uint32_t written = 0;
    uint32_t got = 0;
    if (port.Write(chunk.data(), kChunk, &written, nullptr, 5000) != 0 ||
        port.Read(answer, kAnswer, &got, nullptr, 5000) != 0 || got != kAnswer) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}

bool BareWrite(int fd, const uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, 5000) <= 0) return false;
  }
  return true;
}

bool BareRead(int fd, uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::read(fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 5000) <= 0) return false;
  }
  return true;
}

void BM_BareLoopChunk(benchmark::State& state) {
  EchoBoard board;
  const int fd = ::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &tio);
  std::vector<uint8_t> chunk(kChunk, 0x5A);
  uint8_t answer[kAnswer];
  for (auto _ : state) {
    if (!BareWrite(fd, chunk.data(), kChunk) || !BareRead(fd, answer, kAnswer)) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}

// On a shared machine the scheduler's noise dwarfs the difference; the
// fastest of many short repetitions is the figure to compare.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_SerialPortChunk)->UseRealTime()->ComputeStatistics("min", Fastest);
BENCHMARK(BM_BareLoopChunk)->UseRealTime()->ComputeStatistics("min", Fastest);

}  // namespace

BENCHMARK_MAIN();
