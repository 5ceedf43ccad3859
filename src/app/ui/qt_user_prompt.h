#pragma once
// Message boxes for workers: each box is shown modally on the UI thread,
// caption kAppTitle, and the calling worker waits until it is dismissed.
// Once the window shuts down, pending and later boxes are dismissed at once
// (a question answers Cancel), so a worker never keeps the window from
// closing.
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "app/user_prompt.h"

class QMessageBox;
class QWidget;

namespace zorbel {

class QtUserPrompt final : public QObject, public UserPrompt {
  Q_OBJECT

 public:
  explicit QtUserPrompt(QWidget* owner);
  ~QtUserPrompt() override;

  void ShowMessage(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;

  // Closes every open box and answers every later one at once.
  void Shutdown();
  bool IsShutDown() const;

 private:
  // 1 OK, 0 Cancel or dismissed.
  int Ask(const std::string& text, bool question);
  int ShowBox(const QString& text, bool question);

  QPointer<QWidget> owner_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  bool shutDown_ = false;
  std::set<QMessageBox*> open_;
};

}  // namespace zorbel
