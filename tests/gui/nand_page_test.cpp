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
using testing::PageRig;

constexpr int kNandPage = 1;

}  // namespace

class NandPageTest : public QObject {
  Q_OBJECT

 private slots:
  void listShowsTheBoardsTable_data() { testing::AddRows("gui/nand_page.tsv", "wires", {"board"}); }
  void listShowsTheBoardsTable() {
    const sim::BoardKind kind = testing::Cells().Kind("board");
    const bool disk = kind == sim::BoardKind::kQuen;
    PageRig rig(kind);
    BoxAnswerer boxes;
    auto* page = rig.ConnectAndOpen<CNandPage>(kNandPage);
    QVERIFY(page);
    QCOMPARE(page->List()->ItemCount(), 0);  // count 0: an empty list, no message
    QVERIFY(boxes.Texts().empty());
    QCOMPARE(page->Frame()->title(), QString("Add New"));
    QCOMPARE(page->List()->model()->headerData(3, Qt::Horizontal).toString(), QString("Start block"));

    rig.PutImage(sim::Medium::kNand, 10, "kernel", 1, 0x40);
    rig.PutImage(sim::Medium::kNand, 9, "splash", 4, 0x30);
    rig.PutImage(sim::Medium::kNand, 2, "rootfs", 2, 0x100);
    rig.Show(0);
    QVERIFY(rig.Open<CNandPage>(kNandPage));
    QCOMPARE(page->List()->ItemCount(), 3);
    QCOMPARE(PageRig::Row(page, 1), (QStringList{"9", "splash", disk ? "logo" : "unknown", "0x30", "0x30"}));
    page->List()->SortByColumn(0, true);
    QCOMPARE(page->List()->ItemText(0, 0), QString("2"));
    QCOMPARE(page->List()->ItemText(2, 0), QString("10"));
    if (disk) {  // the board's ID is the third entry of "NAND ID.ini"
      QCOMPARE(rig.Board().NandIdParameters(), (std::array<uint32_t, 2>{2048, 64}));
      QVERIFY(rig.Screenshot("nand_page.png"));
    }
    // Logo is for the disk only.
    QCOMPARE(PageRig::Control<QRadioButton>(page->findChild<CNandAddPage*>(), "1215")->isEnabled(), disk);
    QVERIFY(boxes.Texts().empty());
  }

  void eraseSubPageOutlivesAMediaSwitch() {
    PageRig rig(sim::BoardKind::kVcom);
    auto* page = rig.ConnectAndOpen<CNandPage>(kNandPage);
    QVERIFY(page);
    PageRig::Click(page, "1052");
    rig.Show(5);  // SPI
    rig.PutImage(sim::Medium::kNand, 5, "fresh", 0, 0x50);
    QVERIFY(rig.Open<CNandPage>(kNandPage));
    auto* erase = page->findChild<CNandErasePage*>();
    QVERIFY(erase->isVisible() && !page->findChild<CNandAddPage*>()->isVisible());
    QCOMPARE(page->Frame()->title(), QString("Erase"));
    QCOMPARE(page->List()->ItemCount(), 1);
    QCOMPARE(page->List()->ItemText(0, 1), QString("fresh"));
    // Enter in a field neither closes the window nor erases.
    QTest::keyClick(PageRig::Control<QLineEdit>(erase, "1067"), Qt::Key_Return);
    QVERIFY(rig.Window().isVisible());
    QVERIFY(!erase->WorkerRunning());
  }

  void optionSetsTheReservedArea() {
    PageRig rig(PageRig::Options(sim::BoardKind::kQuen, 1, 4096));  // 4096 blocks of 16 KB: 64 MB
    BoxAnswerer boxes;
    auto* page = rig.ConnectAndOpen<CNandPage>(kNandPage);
    QVERIFY(page);
    PageRig::Click(page, "1054");
    QVERIFY(PageRig::WaitIdle(page));
    auto* option = page->findChild<CNandOptionPage*>();
    QVERIFY(option->isVisible());
    QCOMPARE(page->Frame()->title(), QString("Option"));
    QCOMPARE(PageRig::Control<QLineEdit>(option, "1219")->text(), QString("64"));
    auto* reserved = PageRig::Control<QLineEdit>(option, "1218");
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
    PageRig rig(sim::BoardKind::kQuen);
    auto* page = rig.ConnectAndOpen<CNandPage>(kNandPage);
    QVERIFY(page);
    auto* add = page->findChild<CNandAddPage*>();
    BoxAnswerer boxes;
    boxes.SetPaused(true);
    // The first read stops at the ID read's box, before it reads the table.
    rig.Board().InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kStatus, sim::Medium::kAny, 1, 0});
    QSignalSpy shown(page, &ListPage::refreshed);
    bool burnOffered = true;
    testing::Steps whileTheBoxIsOpen;
    whileTheBoxIsOpen.OnModal<QWidget>([&](QWidget*) {
      rig.PutImage(sim::Medium::kNand, 7, "late", 0, 0x70);
      page->RequestRefresh();
      burnOffered = add->isEnabled();  // no burn while the board is read
      boxes.SetPaused(false);
    });
    page->RequestRefresh();
    QVERIFY(QTest::qWaitFor([&] { return whileTheBoxIsOpen.Done(); }, 10000));
    QVERIFY(PageRig::WaitIdle(page));
    QVERIFY(!burnOffered);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(page->List()->ItemCount(), 1);
    QVERIFY(boxes.Seen(table_text::kNandIdReadFailed));
    QVERIFY(add->isEnabled());
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::NandPageTest)
#include "nand_page_test.moc"
