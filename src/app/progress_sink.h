#pragma once
// Where an operation reports its progress: the page's ProgressMessage number
// with a percentage, and the colour of the page's bar.
#include <cstdint>
#include <mutex>
#include <vector>

namespace zorbel {

// Colours are 0x00BBGGRR, as the window system's RGB values.
constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Progress(uint32_t messageNumber, int percent) = 0;
  virtual void SetBarColour(uint32_t /*rgb*/) {}
};

class RecordingProgress final : public ProgressSink {
 public:
  struct Event {
    uint32_t messageNumber;
    int percent;
    bool operator==(const Event&) const = default;
  };
  void Progress(uint32_t messageNumber, int percent) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({messageNumber, percent});
  }
  void SetBarColour(uint32_t rgb) override {
    std::lock_guard<std::mutex> lock(mutex_);
    colours_.push_back(rgb);
  }
  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<uint32_t> Colours() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return colours_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Event> events_;
  std::vector<uint32_t> colours_;
};

}  // namespace zorbel
