// The main window against the virtual board: connecting over either wire,
// the selector and pages per connection, the settings form, writes and
// aborts, closing, the debug console, and the UI thread staying responsive.
#include "app/ui/main_window.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <cstdio>

#include "app/profile_reader.h"
#include "app/ui/debug_console.h"
#include "app/ui/loader_download_dialog.h"
#include "link/connect_worker.h"
#include "page_rig.h"
#include "pages/sdram_page.h"
#include "protocol/records.h"
#include "protocol/vcom_operations.h"
#include "settings/delivery.h"
#include "settings/device_settings.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;
using testing::ReadFile;

constexpr const char* kTable = "gui/window.tsv";

QString Help(const char* text) { return QString::fromUtf8(text).replace("\r\n", "\n"); }

// One cell of every row of a table of the window's.
QStringList Column(const char* table, size_t cell) {
  QStringList cells;
  for (const testing::TableRow& row : testing::Rows(kTable, table))
    cells << QString::fromStdString(row[cell]);
  return cells;
}

// The window's rig, with the SDRAM page's settings form at hand.
class Rig : public testing::PageRig {
 public:
  using PageRig::PageRig;
  CSdramPage* Sdram() { return Page<CSdramPage>(0); }
  template <typename T>
  T* Field(const char* id) {
    return Sdram()->findChild<T*>(id);
  }
  QPushButton* WriteButton() { return Sdram()->WriteButton(); }
  void FillForm(const char* name) {
    Type(Sdram(), {{"1235", name}, {"1236", "home-net"}, {"1237", "pass word"}});
  }
  // Starts a COM-port write the board holds up: it never acknowledges the first chunk.
  bool StartHeldWrite() {
    Board().InjectFault({sim::FaultKind::kShortChunkAck, sim::Operation::kDownload, sim::Medium::kAny, 1, 0});
    FillForm("Porch");
    QTest::mouseClick(WriteButton(), Qt::LeftButton);
    return QTest::qWaitFor([&] { return Sdram()->WorkerRunning(); }, 5000);
  }
  // Writes the form and waits for the page to be idle again.
  bool Write() { return Run(Sdram(), WriteButton()); }
};

}  // namespace

// A page that downloads a chosen file into SDRAM, to watch the UI thread
// while a large transfer runs.
struct BulkDownloadPage : OperationPage {
  BulkDownloadPage(PageHost& host, const std::string& file)
      : OperationPage(host, "BulkDownloadPage", ProgressMessage::kSdram, Rgb(255, 0, 0)) {
    action.button = new QPushButton("Download", this);
    action.idleCaption = "Download";
    action.fill = [file](OperationContext& ctx) {
      ctx.filePath = file;
      ctx.head.address = "8000";
    };
    action.work = [](OperationContext& ctx) { return VcomDownloadSdram(ctx); };
    action.finish = [this](int done) { result = done; };
    connect(action.button, &QPushButton::clicked, this, [this] { PressAction(action); });
  }
  Action action;
  int result = -1;  // the operation's, once it finished
};

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsDisconnectedWithItsNamedControls() {
    Rig rig(sim::BoardKind::kQuen);
    MainWindow& w = rig.Window();
    QCOMPARE(w.windowTitle(), QString::fromUtf8(kMainWindowTitle));
    QCOMPARE(rig.Top<QPushButton>("1004")->text(), QString::fromUtf8("连接"));
    QCOMPARE(rig.Top<QPushButton>("1")->text(), QString::fromUtf8("退出"));
    QCOMPARE(rig.Status(), QString(" Please plug board in"));
    QCOMPARE(rig.Top<QLabel>("1094")->text(), QString(" No Version"));
    QCOMPARE(rig.SelectorItems(), QStringList{"SDRAM"});
    QCOMPARE(rig.Top<QGroupBox>("1001")->title(), QString("SDRAM"));
    QCOMPARE(rig.Top<QPlainTextEdit>("1239")->toPlainText(), Help(kConnectHelp));
    QVERIFY(rig.Top<QPlainTextEdit>("1239")->font().bold());
    QCOMPARE(rig.VisiblePage(), QString());  // no page until a connection
    QCOMPARE(rig.State().sdPort, 0u);        // no "ZorbelSD.ini" beside it
    const QStringList classes = Column("pages", 1);
    QCOMPARE(w.Pages().Count(), classes.size());
    for (int i = 0; i < classes.size(); ++i) QCOMPARE(w.Pages().Page(i)->objectName(), classes[i]);
    // One past the last page: refused, nothing changes.
    const int current = w.Pages().CurrentIndex();
    QVERIFY(!w.Pages().Show(8));
    QCOMPARE(w.Pages().CurrentIndex(), current);
    QCOMPARE(rig.VisiblePage(), QString());
    // What a screen reader announces for each control of every page, shown or
    // not: its caption, or its label's text (a combo box on Linux is named by
    // its text and labelled by the label).
    for (QWidget* c : w.findChildren<QWidget*>()) {
      if (auto* label = qobject_cast<QLabel*>(c); label != nullptr && label->buddy() != nullptr) {
        QAccessibleInterface* field = QAccessible::queryAccessibleInterface(label->buddy());
        bool labelled = field->text(QAccessible::Name) == label->text();
        for (const auto& relation : field->relations(QAccessible::Label))
          labelled = labelled || relation.first->object() == label;
        QVERIFY2(labelled, qPrintable(label->buddy()->objectName()));
      }
      const bool part = qobject_cast<QComboBox*>(c->parentWidget()) ||        // a combo box's edit, a
                        qobject_cast<QAbstractItemView*>(c->parentWidget());  // list's corner button
      if ((qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) || qobject_cast<QComboBox*>(c)) &&
          !part)
        QVERIFY2(!QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name).isEmpty(),
                 qPrintable(c->parentWidget()->objectName() + "/" + c->objectName()));
    }
  }

  void aFailedFirstAttemptSelectsSdramAndShowsNoPage() {
    Rig rig(sim::BoardKind::kVcom);
    BoxAnswerer boxes;
    QVERIFY(QFile::remove(QString::fromStdString(rig.Folder().File("xusb.bin"))));
    QVERIFY(rig.Connect());
    QCOMPARE(rig.Status(), QString(kStatusComLoaderFailed));
    QCOMPARE(rig.Selector()->currentText(), QString("SDRAM"));
    QCOMPARE(rig.VisiblePage(), QString());
  }

  void connectsToAFamilyDiskAndKeepsTheSdramPage() {
    Rig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Connect());
    for (const std::string& e : rig.Board().ProtocolErrors()) qWarning("board: %s", e.c_str());
    QCOMPARE(rig.Status(), QString("Mass Storage Connected !"));
    QCOMPARE(rig.State().connection.massStorageConnected, 1);
    QCOMPARE(rig.State().familyMode, 1u);
    QVERIFY(rig.Top<QLabel>("1094")->text() != QString(" No Version"));
    QCOMPARE(rig.Top<QPlainTextEdit>("1239")->toPlainText(), Help(kConnectedHelp));
    const QStringList entries = Column("diskEntries", 0);
    QCOMPARE(rig.SelectorItems(), entries);
    QVERIFY(rig.Selector()->isEnabled());
    QCOMPARE(rig.VisiblePage(), QString("CSdramPage"));
    for (int i = 0; i < entries.size(); ++i) {
      rig.Pick(i);  // every entry leads back to the SDRAM page
      QCOMPARE(rig.VisiblePage(), QString("CSdramPage"));
      QCOMPARE(rig.Selector()->currentText(), QString("SDRAM"));
      QCOMPARE(rig.Top<QGroupBox>("1001")->title(), QString("SDRAM"));
    }
  }

  void connectsToAComPortAndShowsThePickedPage() {
    Rig rig(sim::BoardKind::kVcom);
    LoaderDownloadDialog* loader = rig.Window().LoaderDialog();
    QSignalSpy loaderShown(loader->Bar(), &QProgressBar::valueChanged);
    QVERIFY(rig.Connect());
    QCOMPARE(loader->windowTitle(), QString("Auto Downloading..."));
    QVERIFY(loaderShown.contains({100}));  // the loader's bar reached its end
    QCOMPARE(loader->Bar()->GetColor(), Rgb(0xF5, 0x5C, 0x3D));
    QCOMPARE(rig.State().connection.vcomConnected, 1);
    QCOMPARE(rig.State().connection.massStorageConnected, 0);
    QCOMPARE(rig.State().connection.portPath, rig.Board().PtyPath());
    QVERIFY(rig.Status().endsWith("Connected"));
    QVERIFY(!loader->isVisible());
    // The help pane keeps its connection instructions.
    QCOMPARE(rig.Top<QPlainTextEdit>("1239")->toPlainText(), Help(kConnectHelp));
    const QStringList classes = Column("pages", 1), entries = Column("pages", 2).mid(0, 7);  // not SD's
    QCOMPARE(rig.SelectorItems(), entries);
    QCOMPARE(rig.VisiblePage(), QString("CSdramPage"));
    for (int i = 6; i >= 0; --i) {
      rig.Pick(i);
      QCOMPARE(rig.VisiblePage(), classes[i]);
      QCOMPARE(rig.Selector()->currentIndex(), i);
      QCOMPARE(rig.Top<QGroupBox>("1001")->title(), entries[i]);
    }
    // Connect again, NAND picked, on a board whose loader runs but never
    // answers: no connection, and the page shown is SDRAM's, as selected.
    rig.Pick(1);
    QVERIFY(QTest::qWaitFor([&] { return rig.Top<QPushButton>("1004")->isEnabled(); }, 5000));  // table read
    rig.Board().InjectFault(
        {sim::FaultKind::kFailCommand, sim::Operation::kChooseMethod, sim::Medium::kAny, 1, 1000});
    QVERIFY(rig.Connect());
    QCOMPARE(rig.SelectorItems(), QStringList{"SDRAM"});
    QCOMPARE(rig.Selector()->currentText(), QString("SDRAM"));
    QCOMPARE(rig.VisiblePage(), QString("CSdramPage"));
  }

  void settingsFormChecksRunInOrderAndWriteNothing() {
    Rig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    const char* ids[] = {"1235", "1236", "1237", "1240", "1241", "1242", "1243", "1244"};
    for (const testing::TableRow& c : testing::Rows(kTable, "form")) {
      boxes.Clear();
      const bool ipMode = c[3] == "1";
      rig.Field<QComboBox>("1239")->setCurrentIndex(ipMode ? 1 : 0);
      for (size_t i = 0; i < 8; ++i) {
        auto* edit = rig.Field<QLineEdit>(ids[i]);
        if (i >= 3) QCOMPARE(edit->isVisibleTo(rig.Sdram()), ipMode);
        edit->setText(QString::fromStdString(c[i < 3 ? i : i + 1]));
      }
      QTest::mouseClick(rig.WriteButton(), Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QString::fromStdString(c[9])}, 5000);
      QVERIFY(!rig.Folder().Exists(kSettingsTextFile));
      QVERIFY(!rig.Folder().Exists(kSettingsImageFile));
      QCOMPARE(rig.WriteButton()->text(), QString::fromUtf8(kWriteCaption));
      QVERIFY(!rig.Sdram()->WorkerRunning());
    }
  }

  void writesTheSettingsImageIntoSdram_data() {
    testing::AddRows(kTable, "writes", {"board", "success", "realTime"});
  }
  void writesTheSettingsImageIntoSdram() {
    const testing::Cells row;
    Rig rig(row.Kind("board"), row.Yes("realTime"));
    QVERIFY(rig.Connect());
    BoxAnswerer boxes;
    rig.FillForm("Kitchen");
    rig.Field<QComboBox>("1238")->setCurrentIndex(2);  // "无" is written as WEP
    QVERIFY(rig.Write());
    QCOMPARE(boxes.Texts(), QStringList{row["success"]});
    QVERIFY(rig.Selector()->isEnabled());
    QCOMPARE(rig.Sdram()->ProgressBar()->value(), 0);

    const std::vector<uint8_t> text = ReadFile(rig.Folder().File(kSettingsTextFile));
    QVERIFY(testing::Contains(text, "\r\nKitchen\r\nhome-net\r\npass word\r\nWEP\r\n"));
    const std::vector<uint8_t> templ = ReadFile(rig.Folder().File(kTemplateImageFile));
    const std::vector<uint8_t> image = ReadFile(rig.Folder().File(kSettingsImageFile));
    QCOMPARE(image.size(), templ.size());
    // The settings text lands at the template's marker.
    const long marker =
        std::search(templ.begin(), templ.end(), std::begin(kSettingsMarker), std::end(kSettingsMarker)) -
        templ.begin();
    QVERIFY(marker < static_cast<long>(templ.size()));
    const std::vector<uint8_t> sdram = rig.Board().Sdram(0x8000, static_cast<uint32_t>(image.size()));
    QVERIFY(sdram == image);
    QVERIFY(std::equal(text.begin(), text.end(), sdram.begin() + marker));
    QVERIFY(rig.Board().ProtocolErrors().empty());

    // The button is ready for the next write.
    boxes.Clear();
    rig.Field<QLineEdit>("1235")->setText("Hall");
    QVERIFY(rig.Write());
    QVERIFY(boxes.Seen(row["success"]));
    QVERIFY(
        testing::Contains(rig.Board().Sdram(0x8000, static_cast<uint32_t>(image.size())), "\r\nHall\r\n"));
  }

  // A COM-port write the board holds up: Abort leaves the page idle; closing
  // the window during the next one aborts it and waits.
  void abortOrCloseDuringAComDownload() {
    Rig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    BoxAnswerer boxes;
    QVERIFY(rig.StartHeldWrite());
    QCOMPARE(rig.WriteButton()->text(), QString(kAbortCaption));
    QVERIFY(!rig.Selector()->isEnabled());
    // A new connection attempt would pull the port from under the transfer.
    QVERIFY(!rig.Top<QPushButton>("1004")->isEnabled());
    rig.Window().OnConnect();
    QVERIFY(!rig.Window().Connecting());
    QTest::qWait(100);  // the board is now holding back its acknowledgement
    QVERIFY(rig.Sdram()->WorkerRunning());
    QTest::mouseClick(rig.WriteButton(), Qt::LeftButton);
    QVERIFY(!rig.WriteButton()->isEnabled());
    QVERIFY(rig.WaitIdle(rig.Sdram(), rig.WriteButton(), QString::fromUtf8(kWriteCaption), 5000));
    QCOMPARE(rig.Sdram()->ProgressBar()->value(), 0);
    QVERIFY(rig.Selector()->isEnabled());
    QVERIFY(rig.Top<QPushButton>("1004")->isEnabled());
    QVERIFY(!boxes.Seen(delivery_text::kDownloadOk));

    QVERIFY(rig.StartHeldWrite());
    QElapsedTimer closing;
    closing.start();
    rig.Window().reject();
    QVERIFY(!rig.Sdram()->WorkerRunning());
    QVERIFY(closing.elapsed() < 5000);  // the port's close wakes the blocked read
    rig.CloseWindow();                  // pages and their threads go without a crash
    QCoreApplication::processEvents();
    QVERIFY(!rig.Folder().Exists("ZorbelSD.ini"));
  }

  void exitWritesTheSdPortFileAndEscapeDoesNot_data() { testing::AddRows(kTable, "exit", {"viaExit"}); }
  void exitWritesTheSdPortFileAndEscapeDoesNot() {
    const bool viaExit = testing::Cells().Yes("viaExit");
    Rig rig(sim::BoardKind::kQuen);
    rig.State().sdPort = 1;
    viaExit ? QTest::mouseClick(rig.Top<QPushButton>("1"), Qt::LeftButton)
            : QTest::keyClick(&rig.Window(), Qt::Key_Escape);
    QVERIFY(!rig.Window().isVisible());
    QCOMPARE(rig.Folder().Exists("ZorbelSD.ini"), viaExit);
    const std::vector<uint8_t> bytes = ReadFile(rig.Folder().File("ZorbelSD.ini"));
    QCOMPARE(std::string(bytes.begin(), bytes.end()).starts_with("[SD_Port]\r\n1\r\n"), viaExit);
  }

  void altPOpensOneConsoleShowingStandardOutput() {
    Rig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Window().Console() == nullptr);
    QTest::keyClick(&rig.Window(), Qt::Key_P, Qt::AltModifier);
    DebugConsole* console = rig.Window().Console();
    QVERIFY(console != nullptr);
    QVERIFY(console->isVisible());
    QVERIFY(console->Capturing());
    const auto shows = [console](const char* line) {
      std::printf("%s\n", line);
      std::fflush(stdout);
      return QTest::qWaitFor([&] { return console->toPlainText().contains(line); }, 5000);
    };
    QVERIFY(shows("console line one"));
    QTest::keyClick(rig.Top<QPushButton>("1004"), Qt::Key_P, Qt::AltModifier);
    QCOMPARE(rig.Window().Console(), console);
    QVERIFY(shows("console line two"));
  }

  void aboutAndMakeRomAreOfferedByTheContextMenuAndF1() {
    Rig rig(sim::BoardKind::kQuen);
    QStringList items;
    testing::Steps steps;
    steps.Then(&QApplication::activePopupWidget, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      for (QAction* a : menu->actions()) {
        items << a->text();
        if (a->menu() != nullptr)
          for (QAction* sub : a->menu()->actions()) items << sub->text();
      }
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 300),
                            rig.Window().mapToGlobal(QPoint(300, 300)));
    QApplication::sendEvent(&rig.Window(), &event);
    QCOMPARE(items, (QStringList{"&About ...", "Make ROM", "NOR...", "NAND...", "SPI..."}));

    // F1 opens About.
    rig.Window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.Window()));
    QStringList lines;
    steps.OnModal<QDialog>([&](QDialog* about) {
      for (QLabel* label : about->findChildren<QLabel*>()) lines << label->text();
      about->accept();
    });
    QTest::keyClick(rig.Top<QPushButton>("1004"), Qt::Key_F1);
    QVERIFY(lines.contains("Zorbel v2.10.002"));
  }

  void browseRemembersTheFolderInPathIni() {
    Rig rig(sim::BoardKind::kQuen);
    ScriptedFileChooser& files = rig.Files();
    const std::string chosen = rig.Folder().File("t.bin");
    auto* browse = rig.Sdram()->findChild<QPushButton*>("browse");
    for (int i = 0; i < 2; ++i) {
      files.Answer(chosen);
      browse->click();
    }
    const auto requests = files.Requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].choice.title, std::string("Choose burning file..."));
    QCOMPARE(requests[1].choice.startFolder, rig.Folder().ModuleDirectory());
    QCOMPARE(rig.Sdram()->findChild<QLabel*>("path")->text(), " " + QString::fromStdString(chosen));
    ProfileReader reader;
    reader.SetPath(rig.Folder().File("path.ini"));
    QVERIFY(reader.ReadFile());
    QCOMPARE(reader.GetValue("PATH", "SDRAM"), rig.Folder().ModuleDirectory());
    files.Answer("");  // cancelled: nothing changes
    browse->click();
    QCOMPARE(rig.Sdram()->findChild<QLabel*>("path")->text(), " " + QString::fromStdString(chosen));
  }

  // The status line shows line breaks as blanks and its longest texts whole;
  // no line of the help pane runs past its edge, at its own size and a larger one.
  void statusLineAndHelpPaneShowTheirTextsWhole() {
    Rig rig(sim::BoardKind::kQuen);
    QVERIFY(QTest::qWaitForWindowExposed(&rig.Window()));
    auto* status = rig.Top<QLabel>("1003");
    for (const testing::TableRow& row : testing::Rows(kTable, "status")) {
      rig.Window().SetStatusText(row[0]);
      QCOMPARE(status->text(), QString::fromStdString(row[1]));
      QVERIFY(status->fontMetrics().height() <= status->contentsRect().height());
      QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= status->contentsRect().width());
    }
    auto* help = rig.Top<QPlainTextEdit>("1239");
    for (const char* text : {kConnectHelp, kConnectedHelp}) {
      for (int pixels : {16, 24}) {
        QFont font = help->font();
        font.setPixelSize(pixels);
        help->setFont(font);
        help->setPlainText(Help(text));
        QCoreApplication::processEvents();
        QCOMPARE(help->horizontalScrollBar()->maximum(), 0);
      }
    }
  }

  // With no operation running, closing waits on no connection, board or
  // worker thread. Best of three, as a loaded machine may stall one.
  void closingWithNothingRunningWaitsOnNothing() {
    qint64 best = -1;
    for (int run = 0; run < 3 && (best < 0 || best >= 200); ++run) {
      Rig rig(sim::BoardKind::kVcom, true);
      QVERIFY(rig.Connect());
      QElapsedTimer closing;
      closing.start();
      QTest::mouseClick(rig.Top<QPushButton>("1"), Qt::LeftButton);
      rig.CloseWindow();
      best = best < 0 ? closing.elapsed() : std::min(best, closing.elapsed());
    }
    QVERIFY2(best < 200, qPrintable(QString("%1 ms").arg(best)));
  }

  void enterWritesNothingAndTheRunOptionStartsTheImage() {
    Rig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    BoxAnswerer boxes;
    rig.FillForm("Garage");
    // Enter in the form neither closes the window nor writes.
    QTest::keyClick(rig.Field<QLineEdit>("1236"), Qt::Key_Return);
    QTest::qWait(50);
    QVERIFY(rig.Window().isVisible());
    QVERIFY(boxes.Texts().empty());
    QVERIFY(!rig.Folder().Exists(kSettingsTextFile));
    QVERIFY(rig.Screenshot("main_window.png"));
    rig.Field<QRadioButton>("1187")->setChecked(true);
    QVERIFY(rig.Write());
    QVERIFY(boxes.Seen(delivery_text::kDownloadOk));
    QCOMPARE(rig.Status(), QString(kDisconnectStatus));
    QVERIFY(rig.Board().RanAddress().has_value());
    QCOMPARE(*rig.Board().RanAddress() & 0x7FFFFFFFu, 0x8000u);
  }

  void closingWhileAWorkersBoxIsOpenReleasesTheWorker() {
    Rig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Connect());
    rig.FillForm("Loft");
    bool closedInsideTheBox = false;
    testing::Steps closer;
    closer.OnModal<QMessageBox>([&](QMessageBox* box) {
      rig.Window().reject();  // the window closes while the worker waits for this box
      closedInsideTheBox = !box->isVisible();
    });
    QTest::mouseClick(rig.WriteButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !rig.Window().isVisible(); }, 20000));
    QVERIFY(closedInsideTheBox);
    QVERIFY(!rig.Sdram()->WorkerRunning());
  }

  // The bound is on the UI thread waiting, but a loaded machine can also
  // leave it unscheduled for a while; a UI thread that waits on the board
  // would show the gap on every run, so the best of three runs must meet it.
  void eventsKeepFlowingDuringA4MiBDownload() {
    Rig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    const std::vector<uint8_t> data = testing::Pattern(4u << 20, 9);
    const std::string file = rig.Folder().Put("bulk.bin", data);
    BoxAnswerer boxes;
    qint64 best = -1;
    for (int run = 0; run < 3 && (best < 0 || best >= 100); ++run) {
      BulkDownloadPage page(rig.Window(), file);
      page.show();
      std::vector<int> shown;
      QObject::connect(&page, &OperationPage::progressShown, [&](int percent) { shown.push_back(percent); });

      qint64 longestGap = 0;
      QElapsedTimer sinceLast;
      QTimer ticker;
      ticker.callOnTimeout([&] { longestGap = std::max(longestGap, sinceLast.restart()); });
      QTest::mouseClick(page.action.button, Qt::LeftButton);
      sinceLast.start();
      ticker.start(2);
      QVERIFY(QTest::qWaitFor([&] { return page.result != -1; }, 240000));
      ticker.stop();
      qInfo("run %d: longest gap in event processing %lld ms", run + 1, static_cast<long long>(longestGap));
      best = best < 0 ? longestGap : std::min(best, longestGap);

      QCOMPARE(page.result, 1);
      // At most one report per 5 %, rising to 100, reaches the page, then the reset to 0.
      QVERIFY2(shown.size() >= 2 && shown.size() <= 22, qPrintable(QString("%1 reports").arg(shown.size())));
      QCOMPARE(shown.back(), 0);
      shown.pop_back();
      QCOMPARE(shown.back(), 100);
      QVERIFY(std::ranges::adjacent_find(shown, std::greater_equal<>()) == shown.end());
      QVERIFY(std::ranges::all_of(shown, [](int percent) { return percent % 5 == 0; }));
      QVERIFY(rig.Board().Sdram(0x8000, static_cast<uint32_t>(data.size())) == data);
    }
    QVERIFY2(best < 100, qPrintable(QString("longest gap %1 ms").arg(best)));
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::MainWindowTest)
#include "main_window_test.moc"
