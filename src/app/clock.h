#pragma once
// Every wait of the tool goes through a Clock, so tests can run the long
// connection and status polls in virtual time.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace zorbel {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(uint32_t ms) = 0;
  // Milliseconds since an arbitrary, fixed start.
  virtual uint64_t NowMs() = 0;
};

class RealClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

// Virtual time: a sleep returns at once and moves the time on by its length.
// Safe to share between the tool's worker and the virtual board.
class FakeClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ms;
    ++sleeps_;
  }
  uint64_t NowMs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void Advance(uint64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ms;
  }
  uint64_t Sleeps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  uint64_t now_ = 0;
  uint64_t sleeps_ = 0;
};

}  // namespace zorbel
