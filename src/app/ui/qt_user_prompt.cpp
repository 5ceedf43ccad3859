#include "app/ui/qt_user_prompt.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <memory>

namespace zorbel {

QtUserPrompt::QtUserPrompt(QWidget* owner) : QObject(nullptr), owner_(owner) {}

QtUserPrompt::~QtUserPrompt() { Shutdown(); }

void QtUserPrompt::ShowMessage(const std::string& text) { Ask(text, false); }

bool QtUserPrompt::AskOkCancel(const std::string& text) { return Ask(text, true) == 1; }

bool QtUserPrompt::IsShutDown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shutDown_;
}

void QtUserPrompt::Shutdown() {
  std::set<QMessageBox*> open;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    open = open_;
  }
  answered_.notify_all();
  for (QMessageBox* box : open) box->done(QMessageBox::Cancel);
}

int QtUserPrompt::ShowBox(const QString& text, bool question) {
  QMessageBox box(owner_.data());
  box.setWindowTitle(QString::fromUtf8(kAppTitle));
  box.setText(text);
  box.setTextFormat(Qt::PlainText);
  if (question) {
    box.setIcon(QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  } else {
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return 0;
    open_.insert(&box);
  }
  const int answer = box.exec();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(&box);
  }
  return answer == QMessageBox::Ok ? 1 : 0;
}

int QtUserPrompt::Ask(const std::string& text, bool question) {
  const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (QThread::currentThread() == thread()) return ShowBox(qtext, question);

  struct Pending {
    bool done = false;
    int answer = 0;
  };
  auto pending = std::make_shared<Pending>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return 0;
  }
  QMetaObject::invokeMethod(
      this,
      [this, pending, qtext, question] {
        const int answer = ShowBox(qtext, question);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          pending->done = true;
          pending->answer = answer;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait(lock, [&] { return pending->done || shutDown_; });
  return pending->done ? pending->answer : 0;
}

}  // namespace zorbel
