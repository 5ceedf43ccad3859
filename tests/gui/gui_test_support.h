#pragma once
// Helpers of the widget tests: a scratch folder holding the stand-in product
// files (the tool's module folder and current directory), and an answerer
// that reads and dismisses the message boxes the window shows.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "standin_files.h"

namespace zorbel::testing {

class ScratchFolder {
 public:
  // Fresh stand-ins: the build folder may hold what a run of the window
  // wrote there ("ZorbelSD.ini", "path.ini", "t0.bin").
  ScratchFolder() : previous_(QDir::currentPath()) {
    std::string error;
    if (!sim::WriteStandIns(Path(), &error)) qFatal("stand-in files: %s", error.c_str());
    QDir::setCurrent(dir_.path());
  }
  ~ScratchFolder() { QDir::setCurrent(previous_); }
  std::string Path() const { return dir_.path().toStdString(); }
  std::string File(const char* name) const { return (std::filesystem::path(Path()) / name).string(); }
  // The tool's module folder: ends in a separator.
  std::string ModuleDirectory() const { return Path() + "/"; }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

// Dismisses every message box as it appears, keeping its text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(bool answerOk = true) : answerOk_(answerOk) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  const std::vector<std::string>& Texts() const { return texts_; }
  void Clear() { texts_.clear(); }
  // Waits until a box with this text was answered.
  bool WaitFor(const std::string& text, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return Seen(text); }, timeoutMs);
  }
  bool Seen(const std::string& text) const {
    for (const std::string& t : texts_) {
      if (t == text) return true;
    }
    return false;
  }
  void SetPaused(bool paused) { paused_ = paused; }

 private:
  void Poll() {
    if (paused_) return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      texts_.push_back(box->text().toStdString());
      QAbstractButton* button = box->button(answerOk_ ? QMessageBox::Ok : QMessageBox::Cancel);
      if (button == nullptr) button = box->button(QMessageBox::Ok);
      button->click();
    }
  }
  QTimer timer_;
  bool answerOk_;
  bool paused_ = false;
  std::vector<std::string> texts_;
};

// Installed for the whole run of every widget test that includes this file:
// a file dialog that opens would wait for a person (file choices go through
// a ScriptedFileChooser instead).
class FileDialogGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && qobject_cast<QFileDialog*>(watched) != nullptr) {
      qFatal("a test opened a file dialog");
    }
    return QObject::eventFilter(watched, event);
  }
};

inline void InstallFileDialogGuard() {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);  // so the guard sees every dialog
  qApp->installEventFilter(new FileDialogGuard(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(InstallFileDialogGuard)

}  // namespace zorbel::testing
