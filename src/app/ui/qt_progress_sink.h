#pragma once
// Progress of a worker, queued to a widget on the UI thread; the worker never
// waits for it. Reports still queued when the widget goes are dropped.
#include <QObject>
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
  void SetBarColour(uint32_t rgb) override;

 private:
  QObject* target_;  // outlives the workers that report to it
  ProgressHandler onProgress_;
  ColourHandler onColour_;
};

}  // namespace zorbel
