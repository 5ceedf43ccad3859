#pragma once
// Helpers of the widget tests: a scratch folder holding the stand-in product
// files (the tool's module folder and current directory), an answerer that
// reads and dismisses the message boxes the window shows, steps that act on
// modal dialogs and menus as they come up (polled, never after a fixed
// delay), and the tables of expected texts under tests/data/gui.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/test_table.h"
#include "standin_files.h"

namespace zorbel::testing {

// The rows of one table of a data file, named by their first cell, without it.
inline std::vector<TableRow> Rows(const std::string& file, const std::string& table) {
  std::vector<TableRow> rows;
  for (TableRow& row : LoadTable(file))
    if (row.front() == table) rows.emplace_back(row.begin() + 1, row.end());
  if (rows.empty()) QTest::qFail(("no rows of " + table).c_str(), __FILE__, __LINE__);
  return rows;
}

// A table as the rows of a Qt Test data function: the first cell names the
// row, the others fill the named columns (missing ones are empty).
inline void AddRows(const std::string& file, const std::string& table,
                    std::initializer_list<const char*> columns) {
  for (const char* column : columns) QTest::addColumn<QString>(column);
  for (const TableRow& row : Rows(file, table)) {
    QTestData& data = QTest::newRow(row[0].c_str());
    for (size_t i = 1; i <= columns.size(); ++i) data << QString::fromStdString(i < row.size() ? row[i] : "");
  }
}

// The cells of the current row of a data function made by AddRows.
struct Cells {
  QString operator[](const char* column) const {
    return *static_cast<QString*>(QTest::qData(column, qMetaTypeId<QString>()));
  }
  bool Yes(const char* column) const { return (*this)[column] == "yes"; }
  uint32_t Number(const char* column) const { return (*this)[column].toUInt(nullptr, 0); }
  sim::BoardKind Kind(const char* column) const { return *sim::ParseKind((*this)[column].toStdString()); }
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 13 + seed) % 251);
  return v;
}

inline bool Contains(const std::vector<uint8_t>& bytes, std::string_view part) {
  return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// A picture of the widget, saved as a test artefact.
inline bool SaveArtifact(QWidget* widget, const QString& name) {
  QDir().mkpath(ZORBEL_ARTIFACT_DIR);
  return widget->grab().save(QString(ZORBEL_ARTIFACT_DIR "/") + name);
}

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
  std::string Put(const char* name, const std::vector<uint8_t>& bytes) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  bool Exists(const char* name) const { return std::filesystem::exists(File(name)); }

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
  const QStringList& Texts() const { return texts_; }
  void Clear() { texts_.clear(); }
  // Waits until a box with this text was answered.
  bool WaitFor(const QString& text, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return Seen(text); }, timeoutMs);
  }
  bool Seen(const QString& text) const { return texts_.contains(text); }
  void SetPaused(bool paused) { paused_ = paused; }

 private:
  void Poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (paused_ || box == nullptr || !box->isVisible()) continue;
      texts_ << box->text();
      QAbstractButton* button = box->button(answerOk_ ? QMessageBox::Ok : QMessageBox::Cancel);
      (button != nullptr ? button : box->button(QMessageBox::Ok))->click();
    }
  }
  QTimer timer_;
  bool answerOk_;
  bool paused_ = false;
  QStringList texts_;
};

template <typename T>
T* Modal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

// Acts that each wait for their moment, polled while this lives; an act may
// open a modal dialog, in whose loop the next steps run.
class Steps {
 public:
  void Then(std::function<bool()> ready, std::function<void()> act) {
    steps_.emplace_back(std::move(ready), std::move(act));
    if (steps_.size() == 1) Schedule();
  }
  // Once a modal dialog (or box) of type T is up, act on it.
  template <typename T>
  void OnModal(std::function<void(T*)> act) {
    Then([] { return Modal<T>() != nullptr; }, [act] { act(Modal<T>()); });
  }
  bool Done() const { return steps_.empty(); }

 private:
  void Schedule() {
    QTimer::singleShot(10, &guard_, [this] { Poll(); });
  }
  void Poll() {
    if (steps_.empty()) return;
    if (!steps_.front().first()) return Schedule();
    const auto act = steps_.front().second;
    steps_.pop_front();
    if (!steps_.empty()) Schedule();
    act();
  }
  std::deque<std::pair<std::function<bool()>, std::function<void()>>> steps_;
  QObject guard_;  // its timers die with the steps, also when a test ends early
};

// Installed for the whole run of every widget test that includes this file:
// a file dialog that opens would wait for a person (file choices go through
// a ScriptedFileChooser instead).
struct FileDialogGuard : QObject {
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && qobject_cast<QFileDialog*>(watched))
      qFatal("a test opened a file dialog");
    return QObject::eventFilter(watched, event);
  }
};
inline void InstallFileDialogGuard() {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);  // so the guard sees every dialog
  qApp->installEventFilter(new FileDialogGuard(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(InstallFileDialogGuard)

}  // namespace zorbel::testing
