#pragma once
// What every page that talks to the board shares: a start/abort button told
// apart by its caption, checks that run before the caption is looked at, an
// optional confirmation, one tracked worker thread per page (destroying the
// page aborts it and waits), progress by the page's message number, the
// controls restored on every path, and the file choice with the remembered
// folder of "path.ini".
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/abort_event.h"
#include "app/ui/qt_progress_sink.h"
#include "link/serial_port.h"
#include "protocol/operation_context.h"

namespace zorbel {

class CMacProgressCtrl;
class PageHost;

inline constexpr const char* kAbortCaption = "Abort";
// Idle captions of the pages' start/abort buttons.
inline constexpr const char* kBurnCaption = "Burn";
inline constexpr const char* kVerifyCaption = "Verify";
inline constexpr const char* kApplyCaption = "Apply";
// The caption of the burn confirmation on the NAND, SD, NOR raw and NAND raw pages.
inline constexpr const char* kConfirmBoxCaption = "Zorbel";

class OperationPage : public QWidget {
  Q_OBJECT

 public:
  // className becomes the object name; progressMessage is the page's
  // ProgressMessage number; barColour its bar colour (see Rgb()).
  OperationPage(PageHost& host, const char* className, uint32_t progressMessage, uint32_t barColour,
                QWidget* parent = nullptr);
  ~OperationPage() override;

  // Signals the abort, closes the port and waits for the worker. Used when
  // the window closes.
  void AbortAndWait();
  bool WorkerRunning() const { return running_.load(); }

  CMacProgressCtrl* ProgressBar() const { return bar_; }
  uint32_t ProgressMessageNumber() const { return progressMessage_; }
  uint32_t BarColour() const { return barColour_; }
  // The handler of the page's progress message: other numbers are ignored.
  void OnProgressMessage(uint32_t messageNumber, int percent);

 signals:
  // The bar was moved by a progress message.
  void progressShown(int percent);

 protected:
  // One start/abort button and the operation behind it.
  struct Action {
    QPushButton* button = nullptr;
    QString idleCaption;
    QString busyCaption = QString::fromUtf8(kAbortCaption);
    // Runs first, on every press; false ends the press (it showed its message).
    std::function<bool()> prepare;
    // Non-empty: ask page_text::kConfirmOperation with this caption first.
    QString confirmCaption;
    // UI thread, after the confirmation: false starts nothing (it showed
    // its message), so a missing file leaves the page as it was.
    std::function<bool()> beforeStart;
    // Set the bar to 0 and to the page's colour before starting.
    bool startsBar = true;
    // A failed operation sets the bar back to 0 too; false leaves it where
    // the operation stopped.
    bool resetBarOnFailure = true;
    // An abort disables the button until the worker has returned.
    bool disableOnAbort = true;
    // Abort closes the page's port so a blocked transfer fails at once.
    bool closePortOnAbort = true;
    // UI thread, at the start: the operation's inputs.
    std::function<void(OperationContext&)> fill;
    // Worker thread: runs the operation and shows its outcome; returns 1 or 0.
    // A page whose work reads its own members calls AbortAndWait in its
    // destructor.
    std::function<int(OperationContext&)> work;
    // UI thread, once the worker runs.
    std::function<void()> started;
    // UI thread, after the controls were restored.
    std::function<void(int result)> finish;
  };

  // The button shows its idle caption (compared ignoring case).
  static bool IsIdle(const Action& action);

  // The button's click handler.
  void PressAction(Action& action);

  // A file chosen by the user ("" when cancelled); the folder is remembered
  // under folderKey in "path.ini" unless the page first decides whether the
  // file is taken.
  std::string ChooseFile(const char* folderKey, bool remember = true);
  // A file to write, "" when cancelled; the dialog opens where current is.
  std::string ChooseSaveFile(const char* title, const char* filter, const char* suffix,
                             const std::string& current);
  // The add pages' file choice: a chosen file becomes path and proposes its
  // image name in name; a cancel changes neither.
  void ChooseImageFile(const char* folderKey, std::string& path, QLineEdit* name);

  // True when a file is chosen; otherwise shows missingText.
  bool FileChosen(const std::string& path, const char* missingText);
  // Shows a rule's refusal; true when there is none.
  bool Passes(const std::string& refusal);

  // Enter is consumed before it reaches a button or the window.
  void SetSwallowEnter(bool on) { swallowEnter_ = on; }
  void keyPressEvent(QKeyEvent* event) override;

  PageHost& host_;
  CMacProgressCtrl* bar_ = nullptr;
  AbortEvent abort_;
  SerialPort port_;

 private:
  void Start(Action& action);
  void Abort(Action& action);
  void Restore(Action& action, int result);
  void JoinFinishedWorker();

  uint32_t progressMessage_;
  uint32_t barColour_;
  QtProgressSink progressSink_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  bool swallowEnter_ = false;
};

// The outcome of an operation, said by the page: okText on success; on a
// failure failText, or, when sayOnlyIfSilent, failText only where the
// operation itself showed nothing (a failure never ends without a word).
// A null text says nothing.
int RunAndSay(OperationContext& ctx, const std::function<int(OperationContext&)>& operation,
              const char* okText, const char* failText, bool sayOnlyIfSilent);

}  // namespace zorbel
