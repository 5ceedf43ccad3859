#include "pages/operation_page.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaObject>

#include "app/file_chooser.h"
#include "app/paths.h"
#include "app/profile_reader.h"
#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/page_host.h"
#include "protocol/page_rules.h"

namespace zorbel {
namespace {

constexpr const char* kChooseFileTitle = "Choose burning file...";
constexpr const char* kChooseFileFilter = "Bin,Img Files  (*.bin *.img *.gz);;All Files (*.*)";

// Passes every box on and notes that one was shown.
class NotingPrompt final : public UserPrompt {
 public:
  explicit NotingPrompt(UserPrompt* inner) : inner_(inner) {}
  void ShowMessage(const std::string& text) override {
    spoke_ = true;
    if (inner_ != nullptr) inner_->ShowMessage(text);
  }
  bool AskOkCancel(const std::string& text) override {
    spoke_ = true;
    return inner_ != nullptr && inner_->AskOkCancel(text);
  }
  bool Spoke() const { return spoke_; }

 private:
  UserPrompt* inner_;
  bool spoke_ = false;
};

void Say(const OperationContext& ctx, const char* text) {
  if (ctx.prompt != nullptr && text != nullptr) ctx.prompt->ShowMessage(text);
}

}  // namespace

OperationPage::OperationPage(PageHost& host, const char* className, uint32_t progressMessage,
                             uint32_t barColour, QWidget* parent)
    : QWidget(parent),
      host_(host),
      progressMessage_(progressMessage),
      barColour_(barColour),
      progressSink_(
          this, [this](uint32_t number, int percent) { OnProgressMessage(number, percent); },
          [this](uint32_t rgb) { bar_->SetColor(rgb); }) {
  setObjectName(QString::fromUtf8(className));
  bar_ = new CMacProgressCtrl(this);
  bar_->setObjectName("progress");
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->SetColor(barColour_);
}

OperationPage::~OperationPage() { AbortAndWait(); }

void OperationPage::AbortAndWait() {
  if (worker_.joinable()) {
    abort_.Set();
    port_.Close();
    worker_.join();
  }
}

void OperationPage::OnProgressMessage(uint32_t messageNumber, int percent) {
  if (messageNumber != progressMessage_) return;
  bar_->setValue(percent);
  emit progressShown(percent);
}

void OperationPage::PressAction(Action& action) {
  if (action.prepare && !action.prepare()) return;
  if (IsIdle(action)) {
    Start(action);
  } else {
    Abort(action);
  }
}

bool OperationPage::IsIdle(const Action& action) {
  return action.button->text().compare(action.idleCaption, Qt::CaseInsensitive) == 0;
}

void OperationPage::Start(Action& action) {
  if (running_.load()) return;  // an aborted worker has not returned yet
  if (!action.confirmCaption.isEmpty()) {
    const auto answer =
        QMessageBox::warning(this, action.confirmCaption, QString::fromUtf8(page_text::kConfirmOperation),
                             QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return;
  }
  if (action.beforeStart && !action.beforeStart()) return;
  if (action.startsBar) {
    bar_->setValue(0);
    bar_->SetColor(barColour_);
  }
  JoinFinishedWorker();

  progressSink_.ForgetLastReport();
  auto ctx = std::make_shared<OperationContext>(host_.State());
  ctx->progress = &progressSink_;
  ctx->prompt = &host_.Prompt();
  ctx->abort = &abort_;
  ctx->port = &port_;
  ctx->clock = &host_.WorkerClock();
  ctx->portName = host_.State().connection.portPath;
  if (action.fill) action.fill(*ctx);

  host_.SetSelectorEnabled(false);
  host_.SetOperationRunning(true);
  abort_.Reset();
  action.button->setText(action.busyCaption);
  running_.store(true);
  // The worker keeps its own copy of the work: the page's members may go
  // before the base class has waited for it.
  worker_ = std::thread([this, &action, work = action.work, ctx] {
    int result = 0;
    if (work) {
      std::lock_guard<std::mutex> turn(host_.BoardTurn());
      result = work(*ctx);
    }
    // The page joins this thread before it goes, so `this` is still here.
    running_.store(false);
    QMetaObject::invokeMethod(
        this, [this, &action, result] { Restore(action, result); }, Qt::QueuedConnection);
  });
  if (action.started) action.started();
}

void OperationPage::Abort(Action& action) {
  if (action.closePortOnAbort) port_.Close();
  abort_.Set();
  bar_->setValue(0);
  if (action.disableOnAbort) action.button->setEnabled(false);
}

void OperationPage::Restore(Action& action, int result) {
  JoinFinishedWorker();
  // Also after a failure or an abort: a half-filled bar would claim progress.
  if (result == 1 || action.resetBarOnFailure) OnProgressMessage(progressMessage_, 0);
  action.button->setEnabled(true);
  action.button->setText(action.idleCaption);
  host_.SetSelectorEnabled(true);
  host_.SetOperationRunning(false);
  if (action.finish) action.finish(result);
}

void OperationPage::JoinFinishedWorker() {
  if (worker_.joinable() && !running_.load()) worker_.join();
}

std::string OperationPage::ChooseFile(const char* folderKey, bool remember) {
  FileChoice choice;
  choice.title = kChooseFileTitle;
  choice.filter = kChooseFileFilter;
  choice.startFolder = RememberedFolder(host_.PathProfile(), folderKey);
  const std::string path = host_.Files().ChooseOpenFile(choice);
  if (path.empty()) return {};
  if (remember) RememberFolder(host_.PathProfile(), folderKey, path);
  return path;
}

std::string OperationPage::ChooseSaveFile(const char* title, const char* filter, const char* suffix,
                                          const std::string& current) {
  FileChoice choice;
  choice.title = title;
  choice.filter = filter;
  choice.startFolder = FolderPart(current);
  choice.defaultName = FileNamePart(current);
  choice.defaultSuffix = suffix;
  return host_.Files().ChooseSaveFile(choice);
}

void OperationPage::ChooseImageFile(const char* folderKey, std::string& path, QLineEdit* name) {
  const std::string chosen = ChooseFile(folderKey);
  if (chosen.empty()) return;
  path = chosen;
  name->setText(QString::fromStdString(ProposedImageName(chosen, host_.State().familyMode)));
}

bool OperationPage::FileChosen(const std::string& path, const char* missingText) {
  if (!path.empty()) return true;
  host_.Prompt().ShowMessage(missingText);
  return false;
}

bool OperationPage::Passes(const std::string& refusal) {
  if (refusal.empty()) return true;
  host_.Prompt().ShowMessage(refusal);
  return false;
}

void OperationPage::keyPressEvent(QKeyEvent* event) {
  if (swallowEnter_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

int RunAndSay(OperationContext& ctx, const std::function<int(OperationContext&)>& operation,
              const char* okText, const char* failText, bool sayOnlyIfSilent) {
  UserPrompt* const pagePrompt = ctx.prompt;
  NotingPrompt noting(pagePrompt);
  ctx.prompt = &noting;
  const int result = operation(ctx);
  ctx.prompt = pagePrompt;
  if (result != 0) {
    Say(ctx, okText);
  } else if (!sayOnlyIfSilent || !noting.Spoke()) {
    Say(ctx, failText);
  }
  return result;
}

}  // namespace zorbel
