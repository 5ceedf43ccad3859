#pragma once
// "Auto Downloading...": shown while the loader streams into a board behind
// its COM port. The download runs on the connection's thread and reports
// here; the dialog closes itself when told the download has ended.
#include <QDialog>

#include "app/ui/qt_progress_sink.h"

class QLabel;

namespace zorbel {

class CMacProgressCtrl;

class LoaderDownloadDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LoaderDownloadDialog(QWidget* parent = nullptr);

  // UI thread: reset and show, modal to the window.
  void Begin();
  // UI thread: close when still open.
  void End();
  // Where the download reports; safe from any thread.
  ProgressSink& Sink() { return sink_; }
  CMacProgressCtrl* Bar() const { return bar_; }

 private:
  void OnMessage(uint32_t messageNumber, int percent);

  QLabel* label_;
  CMacProgressCtrl* bar_;
  QtProgressSink sink_;
};

}  // namespace zorbel
