#pragma once
// The page's manual-reset abort event: set from any thread, tested by the
// running operation between chunks.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zorbel {

class AbortEvent {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
  }
  // True when the event is (or becomes) set within ms.
  bool WaitMs(uint32_t ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace zorbel
