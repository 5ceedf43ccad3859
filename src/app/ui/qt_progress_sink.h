#pragma once
// Progress of a worker, queued to a widget on the UI thread; the worker never
// waits for it. A report that repeats the last one is not queued again, so
// the UI thread gets at most one per step however often an operation
// reports. Reports still queued when the widget goes are dropped.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>

#include "app/progress_sink.h"

namespace zorbel {

class QtProgressSink final : public ProgressSink {
 public:
  using ProgressHandler = std::function<void(uint32_t messageNumber, int percent)>;
  using ColourHandler = std::function<void(uint32_t rgb)>;

  // Both handlers run on target's thread.
  QtProgressSink(QObject* target, ProgressHandler onProgress, ColourHandler onColour);

  void Progress(uint32_t messageNumber, int percent) override;
  // The next report is queued whatever it is (a new operation starts).
  void ForgetLastReport();
  void SetBarColour(uint32_t rgb) override;

 private:
  QObject* target_;  // outlives the workers that report to it
  ProgressHandler onProgress_;
  ColourHandler onColour_;
  std::atomic<uint64_t> last_{kNoReport};
  static constexpr uint64_t kNoReport = ~uint64_t{0};
};

}  // namespace zorbel
