#include "app/ui/qt_progress_sink.h"

#include <QMetaObject>

namespace zorbel {

QtProgressSink::QtProgressSink(QObject* target, ProgressHandler onProgress, ColourHandler onColour)
    : target_(target), onProgress_(std::move(onProgress)), onColour_(std::move(onColour)) {}

void QtProgressSink::Progress(uint32_t messageNumber, int percent) {
  QObject* target = target_;
  if (target == nullptr || !onProgress_) return;
  const uint64_t report = (uint64_t{messageNumber} << 32) | static_cast<uint32_t>(percent);
  if (last_.exchange(report) == report) return;
  QMetaObject::invokeMethod(
      target, [handler = onProgress_, messageNumber, percent] { handler(messageNumber, percent); },
      Qt::QueuedConnection);
}

void QtProgressSink::ForgetLastReport() { last_.store(kNoReport); }

void QtProgressSink::SetBarColour(uint32_t rgb) {
  QObject* target = target_;
  if (target == nullptr || !onColour_) return;
  QMetaObject::invokeMethod(
      target, [handler = onColour_, rgb] { handler(rgb); }, Qt::QueuedConnection);
}

}  // namespace zorbel
