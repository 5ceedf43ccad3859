// The NAND pages in the window against the virtual board, over the disk and
// the COM port: the table, the sub-pages and their rules (the round trip and
// the burn refusals are rows of the list pages' tests).
#include "pages/nand/nand_page.h"

#include "page_rig.h"
#include "pages/nand/nand_add_page.h"
#include "pages/nand/nand_sub_pages.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;

constexpr int kNandPage = 1;

// A connected window on a virtual board with the NAND page picked.
class NandRig : public testing::PageRig {
 public:
  explicit NandRig(sim::BoardKind kind, uint32_t nandBlocks = 1024)
      : PageRig(NandOptions(kind, nandBlocks)) {}
  bool ConnectAndPickNand() { return Connect() && Open<CNandPage>(kNandPage) != nullptr; }
  CNandPage* Page() { return PageRig::Page<CNandPage>(1); }
  template <typename T>
  T* Sub() {
    return Page()->findChild<T*>();
  }
  void Press(const char* listButton) { Control<QPushButton>(Page(), listButton)->click(); }
  bool WaitIdle() { return PageRig::WaitIdle(Page()); }
  QStringList Row(int row) { return PageRig::Row(Page(), row); }
  void PutImage(uint32_t number, const char* name, uint32_t type, uint32_t start) {
    PageRig::PutImage(sim::Medium::kNand, number, name, type, start);
  }

 private:
  static sim::BoardOptions NandOptions(sim::BoardKind kind, uint32_t nandBlocks) {
    sim::BoardOptions options = Options(kind);
    options.nandBlockCount = nandBlocks;
    return options;
  }
};

}  // namespace

class NandPageTest : public QObject {
  Q_OBJECT

 private slots:
  void listShowsTheBoardsTable_data() { testing::AddRows("gui/nand_page.tsv", "wires", {"board"}); }
  void listShowsTheBoardsTable() {
    const sim::BoardKind kind = testing::Cells().Kind("board");
    const bool disk = kind == sim::BoardKind::kQuen;
    NandRig rig(kind);
    BoxAnswerer boxes;
    QVERIFY(rig.ConnectAndPickNand());
    QCOMPARE(rig.Page()->List()->ItemCount(), 0);  // count 0: an empty list, no message
    QVERIFY(boxes.Texts().empty());
    QCOMPARE(rig.Page()->Frame()->title(), QString("Add New"));
    QCOMPARE(rig.Page()->List()->model()->headerData(3, Qt::Horizontal).toString(), QString("Start block"));

    rig.PutImage(10, "kernel", 1, 0x40);
    rig.PutImage(9, "splash", 4, 0x30);
    rig.PutImage(2, "rootfs", 2, 0x100);
    rig.Show(0);
    rig.Show(kNandPage);
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Page()->List()->ItemCount(), 3);
    QCOMPARE(rig.Row(1), (QStringList{"9", "splash", disk ? "logo" : "unknown", "0x30", "0x30"}));
    rig.Page()->List()->SortByColumn(0, true);
    QCOMPARE(rig.Row(0)[0], QString("2"));
    QCOMPARE(rig.Row(2)[0], QString("10"));
    if (disk) {  // the board's ID is the third entry of "NAND ID.ini"
      QCOMPARE(rig.Board().NandIdParameters(), (std::array<uint32_t, 2>{2048, 64}));
      QVERIFY(rig.Screenshot("nand_page.png"));
    }
    // Logo is for the disk only.
    QCOMPARE(rig.Control<QRadioButton>(rig.Sub<CNandAddPage>(), "1215")->isEnabled(), disk);
    QVERIFY(boxes.Texts().empty());
  }

  void eraseSubPageOutlivesAMediaSwitch() {
    NandRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.ConnectAndPickNand());
    rig.Press("1052");
    rig.Show(5);  // SPI
    rig.PutImage(5, "fresh", 0, 0x50);
    rig.Show(kNandPage);
    QVERIFY(rig.WaitIdle());
    QVERIFY(rig.Sub<CNandErasePage>()->isVisible());
    QVERIFY(!rig.Sub<CNandAddPage>()->isVisible());
    QCOMPARE(rig.Page()->Frame()->title(), QString("Erase"));
    QCOMPARE(rig.Page()->List()->ItemCount(), 1);
    QCOMPARE(rig.Row(0)[1], QString("fresh"));
    // Enter in a field neither closes the window nor erases.
    QTest::keyClick(rig.Control<QLineEdit>(rig.Sub<CNandErasePage>(), "1067"), Qt::Key_Return);
    QVERIFY(rig.Window().isVisible());
    QVERIFY(!rig.Sub<CNandErasePage>()->WorkerRunning());
  }

  void optionSetsTheReservedArea() {
    NandRig rig(sim::BoardKind::kQuen, 4096);  // 4096 blocks of 16 KB: 64 MB
    BoxAnswerer boxes;
    QVERIFY(rig.ConnectAndPickNand());
    rig.Press("1054");
    QVERIFY(rig.WaitIdle());
    auto* option = rig.Sub<CNandOptionPage>();
    QVERIFY(option->isVisible());
    QCOMPARE(rig.Page()->Frame()->title(), QString("Option"));
    QCOMPARE(rig.Control<QLineEdit>(option, "1219")->text(), QString("64"));
    auto* reserved = rig.Control<QLineEdit>(option, "1218");
    reserved->setText("100");
    option->ApplyButton()->click();
    QVERIFY(boxes.Seen(page_text::kReservedLargerThanTotal));
    QCOMPARE(reserved->text(), QString());
    QCOMPARE(rig.Board().NandReservedMb(), 0u);

    reserved->setText("8");
    option->ApplyButton()->click();
    QVERIFY(!option->ApplyButton()->isEnabled());  // no second worker on the same disk
    QVERIFY(boxes.WaitFor(page_text::kSetOk));
    QVERIFY(QTest::qWaitFor([&] { return option->ApplyButton()->isEnabled(); }, 10000));
    QCOMPARE(rig.Board().NandReservedMb(), 8u);
  }

  void aNewerRefreshWinsOverOneStillRunning() {
    NandRig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.ConnectAndPickNand());
    BoxAnswerer boxes;
    boxes.SetPaused(true);
    // The first read stops at the ID read's box, before it reads the table.
    rig.Board().InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kStatus, sim::Medium::kAny, 1, 0});
    QSignalSpy shown(rig.Page(), &ListPage::refreshed);
    bool burnOffered = true;
    QTimer whileTheBoxIsOpen;
    QObject::connect(&whileTheBoxIsOpen, &QTimer::timeout, [&] {
      if (QApplication::activeModalWidget() == nullptr) return;
      whileTheBoxIsOpen.stop();
      rig.PutImage(7, "late", 0, 0x70);
      rig.Page()->RequestRefresh();
      burnOffered = rig.Sub<CNandAddPage>()->isEnabled();  // no burn while the board is read
      boxes.SetPaused(false);
    });
    whileTheBoxIsOpen.start(10);
    rig.Page()->RequestRefresh();
    QVERIFY(QTest::qWaitFor([&] { return !whileTheBoxIsOpen.isActive(); }, 10000));
    QVERIFY(rig.WaitIdle());
    QVERIFY(!burnOffered);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(rig.Page()->List()->ItemCount(), 1);
    QVERIFY(boxes.Seen(table_text::kNandIdReadFailed));
    QVERIFY(rig.Sub<CNandAddPage>()->isEnabled());
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::NandPageTest)
#include "nand_page_test.moc"
