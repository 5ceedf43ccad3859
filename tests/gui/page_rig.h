#pragma once
// A connected window on a virtual board, for the medium pages' tests: the
// pages are reached as a person reaches them, and the board is looked at
// directly.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <fstream>
#include <memory>

#include "app/clock.h"
#include "app/file_chooser.h"
#include "app/tool_state.h"
#include "app/ui/main_window.h"
#include "controls/sortable_list.h"
#include "gui_test_support.h"
#include "pages/list_page.h"
#include "virtual_board.h"

namespace zorbel::testing {

class PageRig {
 public:
  explicit PageRig(sim::BoardOptions options) : board_(WithClock(options, &clock_)) {
    state_.moduleDirectory = folder_.ModuleDirectory();
    window_ = std::make_unique<MainWindow>(state_, board_.Bus(), clock_);
    window_->SetFileChooser(files_);
    window_->show();
  }
  explicit PageRig(sim::BoardKind kind) : PageRig(Options(kind)) {}
  static sim::BoardOptions Options(sim::BoardKind kind) {
    sim::BoardOptions options;
    options.kind = kind;
    return options;
  }

  bool Connect() {
    window_->OnConnect();
    if (!QTest::qWaitFor([&] { return !window_->Connecting(); }, 60000)) return false;
    QTest::qWait(50);  // the attempt's last reports are queued
    return true;
  }
  // The selector of a disk connection leads to the SDRAM page only, so
  // there a page is shown as the selector of a COM-port connection would.
  void PickMedium(const char* text, int page) {
    if (state_.connection.massStorageConnected != 0) {
      window_->Pages().Show(page);
      return;
    }
    auto* selector = window_->findChild<QComboBox*>("1000");
    selector->setCurrentIndex(selector->findText(text));
    emit selector->activated(selector->currentIndex());
  }
  template <typename T>
  T* Page(int index) {
    return qobject_cast<T*>(window_->Pages().Page(index));
  }
  template <typename T>
  static T* Control(QWidget* in, const char* id) {
    return in->findChild<T*>(id);
  }
  // Types each text into the edit of that identifier.
  static void Type(QWidget* in, std::initializer_list<std::pair<const char*, const char*>> fields) {
    for (const auto& [id, text] : fields) Control<QLineEdit>(in, id)->setText(text);
  }
  static void Click(QWidget* in, const char* id) { Control<QAbstractButton>(in, id)->click(); }
  // Presses a button, then waits for the box the operation ends with and
  // for the list page to be idle again.
  static bool Run(ListPage* page, QAbstractButton* button, BoxAnswerer& boxes, const std::string& text) {
    button->click();
    return boxes.WaitFor(text) && WaitIdle(page);
  }
  // No read and no operation under way: every button is back to its idle caption.
  static bool WaitIdle(ListPage* page, int timeoutMs = 30000) {
    return QTest::qWaitFor([&] { return !page->Busy(); }, timeoutMs);
  }
  static QStringList Row(ListPage* page, int row) {
    QStringList cells;
    for (int c = 0; c < page->List()->ColumnCount(); ++c) cells << page->List()->ItemText(row, c);
    return cells;
  }
  std::string WriteFile(const char* name, size_t size) {
    const std::string path = folder_.File(name);
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + 3) & 0xFF));
    return path;
  }
  void PutImage(sim::Medium medium, uint32_t number, const char* name, uint32_t type, uint32_t start) {
    sim::ImageEntry image;
    image.number = number;
    image.name = name;
    image.type = type;
    image.start = start;
    image.end = start + 1;
    board_.PutImage(medium, image, std::vector<uint8_t>(100, 0x42));
  }
  // Saved as a test artefact.
  bool Screenshot(const char* name) {
    QTest::qWait(50);
    QDir().mkpath(ZORBEL_ARTIFACT_DIR);
    return window_->grab().save(QString(ZORBEL_ARTIFACT_DIR) + "/" + name);
  }

  sim::VirtualBoard& Board() { return board_; }
  ToolState& State() { return state_; }
  ScriptedFileChooser& Files() { return files_; }
  MainWindow& Window() { return *window_; }
  const ScratchFolder& Folder() const { return folder_; }

 private:
  static sim::BoardOptions WithClock(sim::BoardOptions options, Clock* clock) {
    options.clock = clock;
    return options;
  }

  ScratchFolder folder_;
  FakeClock clock_;
  sim::VirtualBoard board_;
  ToolState state_;
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace zorbel::testing
