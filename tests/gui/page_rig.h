#pragma once
// A window on a virtual board in a scratch folder holding the stand-in files,
// for the window's and the pages' tests: the pages are reached as a person
// reaches them, and the board is looked at directly.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/clock.h"
#include "app/file_chooser.h"
#include "app/tool_state.h"
#include "app/ui/main_window.h"
#include "controls/mac_progress_ctrl.h"
#include "controls/sortable_list.h"
#include "gui_test_support.h"
#include "pages/list_page.h"
#include "pages/operation_page.h"
#include "protocol/page_rules.h"
#include "protocol/protocol_texts.h"
#include "virtual_board.h"

namespace zorbel::testing {

class PageRig {
 public:
  // realTime: the board and the window wait as they do for a person.
  explicit PageRig(sim::BoardOptions options, bool realTime = false)
      : clock_(realTime ? static_cast<Clock&>(realClock_) : fakeClock_),
        board_(WithClock(options, realTime ? nullptr : &fakeClock_)) {
    state_.moduleDirectory = folder_.ModuleDirectory();
    OpenWindow();
  }
  explicit PageRig(sim::BoardKind kind, bool realTime = false) : PageRig(Options(kind), realTime) {}
  // A board of that kind whose NAND answers that block size code.
  static sim::BoardOptions Options(sim::BoardKind kind, int nandCode = 1, uint32_t nandBlocks = 1024) {
    sim::BoardOptions options;
    options.kind = kind;
    options.nandBlockSizeCode = static_cast<uint8_t>(nandCode);
    options.nandBlockCount = nandBlocks;
    return options;
  }
  void OpenWindow() {
    window_ = std::make_unique<MainWindow>(state_, board_.Bus(), clock_);
    window_->SetFileChooser(files_);
    window_->show();
  }
  // Pages and their threads go with it.
  void CloseWindow() { window_.reset(); }

  // The window's own controls (the pages reuse some identifiers).
  template <typename T>
  T* Top(const char* id) {
    return window_->findChild<T*>(id, Qt::FindDirectChildrenOnly);
  }
  QComboBox* Selector() { return Top<QComboBox>("1000"); }
  QString Status() { return Top<QLabel>("1003")->text(); }

  // Presses Connect; the pages wait while the attempt changes the connection.
  bool Connect() {
    QTest::mouseClick(Top<QPushButton>("1004"), Qt::LeftButton);
    if (window_->Connecting() && window_->Pages().Page(0)->isEnabled()) return false;
    if (!QTest::qWaitFor([&] { return !window_->Connecting(); }, 60000)) return false;
    return Top<QPushButton>("1004")->isEnabled() && window_->Pages().Page(0)->isEnabled();
  }
  QStringList SelectorItems() {
    QStringList items;
    for (int i = 0; i < Selector()->count(); ++i) items << Selector()->itemText(i);
    return items;
  }
  void Pick(int index) {
    Selector()->setCurrentIndex(index);
    emit Selector()->activated(index);
  }
  // Over the COM port a page is picked as a person does (the selector's
  // entries are the pages in order); the selector of a disk connection leads
  // to the SDRAM page only, so there the page is shown directly.
  template <typename T = QWidget>
  T* Show(int page) {
    state_.connection.vcomConnected != 0 ? Pick(page) : void(window_->Pages().Show(page));
    return Page<T>(page);
  }
  // A list page shown and read; null if it is not.
  template <typename T>
  T* Open(int index) {
    T* page = Show<T>(index);
    return page->isVisible() && WaitIdle(page) ? page : nullptr;
  }
  template <typename T>
  T* ConnectAndOpen(int index) {
    return Connect() ? Open<T>(index) : nullptr;
  }
  QString VisiblePage() {
    for (int i = 0; i < window_->Pages().Count(); ++i)
      if (window_->Pages().Page(i)->isVisible()) return window_->Pages().Page(i)->objectName();
    return {};
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
  static bool Run(ListPage* page, QAbstractButton* button, BoxAnswerer& boxes, const QString& text) {
    button->click();
    return boxes.WaitFor(text) && WaitIdle(page);
  }
  // Presses a button of an operation page and waits until the page is idle
  // again: no worker, the button enabled with its idle caption.
  static bool Run(OperationPage* page, QAbstractButton* button) {
    const QString idle = button->text();
    button->click();
    return WaitIdle(page, button, idle);
  }
  static bool WaitIdle(OperationPage* page, QAbstractButton* button, const QString& idle,
                       int timeoutMs = 30000) {
    return QTest::qWaitFor(
        [&] { return !page->WorkerRunning() && button->isEnabled() && button->text() == idle; }, timeoutMs);
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
  // A file in the folder, offered as the next file choice.
  std::string Offer(const char* name, const std::vector<uint8_t>& bytes) {
    files_.Answer(folder_.Put(name, bytes));
    return folder_.File(name);
  }
  void PutImage(sim::Medium medium, uint32_t number, const char* name, uint32_t type, uint32_t start) {
    board_.PutImage(medium, {.number = number, .name = name, .type = type, .start = start, .end = start + 1},
                    std::vector<uint8_t>(100, 0x42));
  }
  bool Screenshot(const QString& name) {
    QCoreApplication::processEvents();
    return SaveArtifact(window_.get(), name);
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
  FakeClock fakeClock_;
  RealClock realClock_;
  Clock& clock_;
  sim::VirtualBoard board_;
  ToolState state_;
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace zorbel::testing
