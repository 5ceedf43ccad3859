#include "app/ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "app/clock.h"
#include "app/paths.h"
#include "app/process_console.h"
#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/debug_console.h"
#include "app/ui/dialog_units.h"
#include "app/ui/label_buddy.h"
#include "app/ui/loader_download_dialog.h"
#include "app/ui/system_menu.h"
#include "link/connect_worker.h"
#include "link/device_bus.h"
#include "pages/list_page.h"
#include "pages/operation_page.h"
#include "pages/page_factory.h"
#include "rom/ui/make_rom_menu.h"

namespace zorbel {
namespace {

constexpr const char* kChooseTypeLabel = "Please choose type :";
constexpr const char* kFrameInitialCaption = "...";
constexpr const char* kAboutTitle = "About...";
constexpr const char* kAboutVersion = "Zorbel v2.10.002";
constexpr const char* kAboutNotice = "Copyright (C) the Zorbel Flash Writer developers";
constexpr const char* kHelpFontFace = "宋体";
constexpr int kHelpFontPixels = 16;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window's icon: a chip on a board, drawn rather than shipped.
QIcon AppIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(30, 110, 60));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(1, 1, 30, 30, 4, 4);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(9, 9, 14, 14);
  p.setPen(QPen(QColor(220, 190, 80), 2));
  for (int i = 0; i < 3; ++i) {
    const int at = 12 + 4 * i;
    p.drawLine(at, 4, at, 8);
    p.drawLine(at, 24, at, 28);
    p.drawLine(4, at, 8, at);
    p.drawLine(24, at, 28, at);
  }
  return QIcon(pixmap);
}

}  // namespace

// Reports of the connection sequence, carried over to the UI thread.
class MainWindow::Observer final : public ConnectionObserver {
 public:
  explicit Observer(MainWindow& window) : window_(window) {}

  void SetStatus(const std::string& text) override {
    Post([w = &window_, text] { w->SetStatusText(text); });
  }
  void SetVersionLabel(const std::string& text) override {
    Post([w = &window_, text] { w->version_->setText(FromUtf8(text)); });
  }
  void ShowConnectedHelp() override {
    Post([w = &window_] { w->ShowConnectedHelp(); });
  }
  void EnableConnectButton(bool enabled) override {
    Post([w = &window_, enabled] { w->connect_->setEnabled(enabled && w->operationsRunning_ == 0); });
  }
  void EnableSelector(bool enabled) override {
    Post([w = &window_, enabled] { w->SetSelectorEnabled(enabled); });
  }
  void RebuildSelector() override {
    Post([w = &window_] { w->RebuildSelector(); });
  }
  ProgressSink* BeginLoaderDownload() override {
    Post([w = &window_] { w->loaderDialog_->Begin(); });
    return &window_.loaderDialog_->Sink();
  }
  void EndLoaderDownload() override {
    Post([w = &window_] { w->loaderDialog_->End(); });
  }

 private:
  template <typename F>
  void Post(F f) {
    QMetaObject::invokeMethod(&window_, std::move(f), Qt::QueuedConnection);
  }
  MainWindow& window_;
};

MainWindow::MainWindow(ToolState& state, DeviceBus& bus, Clock& clock, QWidget* parent)
    : QDialog(parent),
      state_(state),
      bus_(bus),
      clock_(clock),
      prompt_(this),
      pages_([this](int resource, QWidget* parent) { return CreatePage(resource, *this, parent); }),
      observer_(std::make_unique<Observer>(*this)) {
  setObjectName("MainWindow");
  setWindowTitle(QString::fromUtf8(kMainWindowTitle));
  setFixedSize(DluSize(678, 322));
  aboutInSystemMenu_ = system_menu::AddAboutItem(*this, kAboutMenuItem);

  auto* chooseType = new QLabel(QString::fromUtf8(kChooseTypeLabel), this);
  chooseType->setGeometry(DluRect(7, 9, 70, 10));
  chooseType->hide();

  selector_ = new QComboBox(this);
  selector_->setObjectName("1000");
  selector_->setGeometry(DluRect(7, 7, 100, 14));
  selector_->addItem("SDRAM");
  TieLabel(chooseType, selector_);

  connect_ = new QPushButton(QString::fromUtf8(kConnectCaption), this);
  connect_->setObjectName("1004");
  connect_->setAutoDefault(false);
  connect_->setGeometry(DluRect(113, 6, 50, 16));

  status_ = new QLabel(QString::fromUtf8(kPlugBoardIn), this);
  status_->setObjectName("1003");
  // One line of whatever font the platform gives, centred on the row.
  const int statusHeight = std::max(DluY(10), status_->fontMetrics().height());
  status_->setGeometry(DluX(170), DluY(14) - statusHeight / 2, DluX(200), statusHeight);

  version_ = new QLabel(QString::fromUtf8(kNoVersion), this);
  version_->setObjectName("1094");
  version_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  version_->setGeometry(DluRect(376, 7, 143, 12));

  frame_ = new QGroupBox(QString::fromUtf8(kFrameInitialCaption), this);
  frame_->setObjectName("1001");
  frame_->setGeometry(DluRect(7, 25, 512, 272));
  frame_->hide();

  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  icon->setPixmap(AppIcon().pixmap(32, 32));
  icon->setGeometry(DluRect(7, 300, 24, 20));

  exit_ = new QPushButton(QString::fromUtf8(kExitCaption), this);
  exit_->setObjectName("1");
  exit_->setDefault(true);
  exit_->setGeometry(DluRect(469, 301, 50, 16));

  help_ = new QPlainTextEdit(this);
  help_->setObjectName("1239");
  help_->setReadOnly(true);
  // Wrapped inside the pane, so no font cuts a line off at the edge; the
  // Chinese lines may break between any two characters.
  help_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  help_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  help_->setGeometry(DluRect(526, 7, 145, 308));

  loaderDialog_ = new LoaderDownloadDialog(this);

  // Initialisation, in the order the window has always done it.
  ReadSdPort(state_, ModuleFile(state_.moduleDirectory, kSdPortFile));
  setWindowIcon(AppIcon());
  pathProfile_.SetPath(ModuleFile(state_.moduleDirectory, kPathFile));
  pages_.SetFrame(frame_->geometry(), true);
  for (int resource : kMainPageResources) pages_.AddPage(resource, this);
  pages_.HideCurrent(kCurrentPage);
  selector_->setCurrentIndex(0);
  frame_->setTitle(selector_->currentText());
  QFont helpFont(QString::fromUtf8(kHelpFontFace));
  helpFont.setPixelSize(kHelpFontPixels);
  helpFont.setBold(true);
  help_->setFont(helpFont);
  SetHelpText(kConnectHelp);

  connect(connect_, &QPushButton::clicked, this, &MainWindow::OnConnect);
  connect(exit_, &QPushButton::clicked, this, &MainWindow::OnExit);
  connect(selector_, &QComboBox::activated, this, &MainWindow::OnSelectorPicked);
  // About where no system menu offers it, and for those who look for it there.
  auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &MainWindow::ShowAbout);
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  Shutdown();
}

void MainWindow::SetSelectorEnabled(bool enabled) { selector_->setEnabled(enabled); }

void MainWindow::SetStatusText(const std::string& text) {
  // The texts keep the line breaks the command line prints; the status line
  // is one line and shows each break as a blank.
  QString shown = FromUtf8(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
  shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
  shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
  status_->setText(shown);
}

void MainWindow::SetOperationRunning(bool running) {
  operationsRunning_ += running ? 1 : -1;
  connect_->setEnabled(operationsRunning_ == 0 && !connecting_);
}

void MainWindow::SetPagesEnabled(bool enabled) {
  for (int i = 0; i < pages_.Count(); ++i) pages_.Page(i)->setEnabled(enabled);
}

void MainWindow::ConnectAttemptEnded() {
  if (connectThread_.joinable()) connectThread_.join();
  // Posted after every report of the attempt, so those have been shown.
  connecting_ = false;
  SetPagesEnabled(true);
  // A list page's read that ended while the attempt was closing could not
  // enable the button then.
  connect_->setEnabled(operationsRunning_ == 0);
}

void MainWindow::SetHelpText(const char* text) {
  QString shown = QString::fromUtf8(text);
  shown.replace("\r\n", "\n");
  help_->setPlainText(shown);
}

void MainWindow::ShowConnectedHelp() { SetHelpText(kConnectedHelp); }

void MainWindow::RebuildSelector() {
  const SelectorLayout layout =
      zorbel::RebuildSelector(state_.connection, state_.familyMode, selector_->currentIndex());
  entries_ = layout.entries;
  {
    QSignalBlocker quiet(selector_);
    selector_->clear();
    for (const SelectorEntry& entry : entries_) selector_->addItem(FromUtf8(entry.text));
    selector_->setCurrentIndex(layout.selection);
  }
  // A page left visible by an earlier connection must be the selected entry's.
  const QWidget* current = pages_.Page(pages_.CurrentIndex());
  if (layout.showPage || (current != nullptr && !current->isHidden())) pages_.Show(layout.page);
  frame_->setTitle(selector_->currentText());
}

void MainWindow::OnSelectorPicked(int /*index*/) {
  frame_->setTitle(selector_->currentText());
  RebuildSelector();
}

void MainWindow::OnConnect() {
  if (connect_->text() == QString::fromUtf8(kAbortCaption)) return;
  // An operation uses the connection the attempt would replace.
  if (connecting_ || operationsRunning_ > 0 || shutDown_) return;
  if (connectThread_.joinable()) connectThread_.join();
  connecting_ = true;
  connect_->setEnabled(false);
  SetPagesEnabled(false);
  connectAbort_.Reset();
  connectThread_ = std::thread([this] {
    ConnectWorker worker(state_, bus_, clock_, prompt_, *observer_);
    worker.SetAbortEvent(&connectAbort_);
    worker.Run();
    // The window joins this thread before it goes, so `this` is still here.
    QMetaObject::invokeMethod(
        this, [this] { ConnectAttemptEnded(); }, Qt::QueuedConnection);
  });
}

void MainWindow::OnExit() {
  WriteSdPort(state_, ModuleFile(state_.moduleDirectory, kSdPortFile));
  accept();
}

void MainWindow::done(int result) {
  Shutdown();
  QDialog::done(result);
}

void MainWindow::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // Boxes first: a worker waiting for one would never see its abort.
  prompt_.Shutdown();
  connectAbort_.Set();
  // Sub-pages of the list pages included.
  for (auto* page : findChildren<OperationPage*>()) page->AbortAndWait();
  for (auto* list : findChildren<ListPage*>()) list->StopAndWait();
  if (connectThread_.joinable()) connectThread_.join();
  loaderDialog_->End();
}

void MainWindow::ShowAbout() {
  QDialog about(this);
  about.setWindowTitle(QString::fromUtf8(kAboutTitle));
  auto* layout = new QVBoxLayout(&about);
  auto* icon = new QLabel(&about);
  icon->setPixmap(AppIcon().pixmap(32, 32));
  layout->addWidget(icon);
  layout->addWidget(new QLabel(QString::fromUtf8(kAboutVersion), &about));
  layout->addWidget(new QLabel(QString::fromUtf8(kAboutNotice), &about));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  layout->addWidget(buttons);
  about.exec();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  if (!aboutInSystemMenu_) menu.addAction(QString::fromUtf8(kAboutMenuItem), this, &MainWindow::ShowAbout);
  AddMakeRomMenu(menu, *this, this);
  menu.exec(event->globalPos());
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  if (system_menu::IsAboutCommand(message)) {
    ShowAbout();
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(eventType, message, result);
}

void MainWindow::OpenDebugConsole() {
  if (OpenProcessConsole()) return;
  if (console_ == nullptr) console_ = new DebugConsole(this);
  console_->Open();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_P && (key->modifiers() & Qt::AltModifier)) OpenDebugConsole();
  }
  return QDialog::eventFilter(watched, event);  // passed on as usual
}

}  // namespace zorbel
