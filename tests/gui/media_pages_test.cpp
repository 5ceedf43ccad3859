// The list pages in the window against the virtual board: burn refusals and
// a round trip (burn, verify, modify, erase) per medium checked against the
// board's table, the NAND page's table and sub-pages over both wires, the
// settings write into SPI flash over both wires, and the rules that can break.
#include "page_rig.h"
#include "pages/image_sub_pages.h"
#include "pages/nand/nand_add_page.h"
#include "pages/nand/nand_page.h"
#include "pages/nand/nand_sub_pages.h"
#include "pages/nor/nor_page.h"
#include "pages/sd/sd_page.h"
#include "pages/sdram_page.h"
#include "pages/spi/spi_page.h"
#include "settings/delivery.h"
#include "settings/ui/device_settings_form.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;
using testing::PageRig;

constexpr int kNandPage = 1;
constexpr int kSpiPage = 5;
constexpr const char* kTable = "gui/media_pages.tsv";

// The list page of a medium and its add page, as the pages table names their controls.
struct MediumPage {
  explicit MediumPage(const QString& medium) {
    for (const testing::TableRow& row : testing::Rows(kTable, "pages"))
      if (QString::fromStdString(row[0]) == medium) ids = row;
  }
  bool Open(PageRig& rig) {
    list = rig.Open<ListPage>(std::stoi(Id("index")));
    add = list ? list->findChild<QPushButton*>(Id("browse"))->parentWidget() : nullptr;
    return add != nullptr;
  }
  // The cell of that column of the pages table.
  const char* Id(std::string_view column) const {
    constexpr std::string_view kColumns[] = {"medium", "index",        "browse", "burn",       "verify",
                                             "modify", "modifyNumber", "erase",  "eraseNumber"};
    return ids.at(static_cast<size_t>(std::ranges::find(kColumns, column) - kColumns)).c_str();
  }
  QPushButton* Button(QWidget* in, std::string_view column) const {
    return in->findChild<QPushButton*>(Id(column));
  }

  testing::TableRow ids;
  ListPage* list = nullptr;
  QWidget* add = nullptr;
};

// Presses the buttons, then types "id=text" into the edits.
void Fill(QWidget* in, const QString& buttons, const QString& fields) {
  for (const QString& id : buttons.split(' ', Qt::SkipEmptyParts)) PageRig::Click(in, qPrintable(id));
  for (const QString& field : fields.split(' ', Qt::SkipEmptyParts)) {
    const QStringList idText = field.split('=');
    PageRig::Control<QLineEdit>(in, qPrintable(idText[0]))->setText(idText[1]);
  }
}

// The list row of an image number.
QStringList RowOf(ListPage* page, const QString& number) {
  for (int r = 0; r < page->List()->ItemCount(); ++r)
    if (page->List()->ItemText(r, 0) == number) return PageRig::Row(page, r).mid(0, 4);
  return {};
}

}  // namespace

class MediaPagesTest : public QObject {
  Q_OBJECT

 private slots:
  // The page's own checks come before any work: nothing starts.
  void burnRefused_data() {
    testing::AddRows(kTable, "burnRefused",
                     {"board", "medium", "answerOk", "type", "fields", "numberEnabled", "boxes"});
  }
  void burnRefused() {
    const testing::Cells row;
    PageRig rig(row.Kind("board"));
    QVERIFY(rig.Connect());
    MediumPage page(row["medium"]);
    QVERIFY(page.Open(rig));
    Fill(page.add, row["type"], {});
    // A system image leaves the number, address and block to the board.
    QCOMPARE(PageRig::Control<QLineEdit>(page.add, qPrintable(row["fields"].section('=', 0, 0)))->isEnabled(),
             row.Yes("numberEnabled"));
    Fill(page.add, {}, row["fields"]);
    BoxAnswerer answerer(row.Yes("answerOk"));
    page.Button(page.add, "burn")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.Texts(), row["boxes"].split('|'), 5000);
    QVERIFY(!qobject_cast<OperationPage*>(page.add)->WorkerRunning());
    QCOMPARE(page.Button(page.add, "burn")->text(), QString(kBurnCaption));
    QVERIFY(rig.Selector()->isEnabled());
  }

  void roundTrip_data() {
    testing::AddRows(kTable, "roundTrip",
                     {"board", "medium", "before", "file", "size", "types", "fields", "type", "start",
                      "listed", "modifyType", "typeModified", "listedModified", "left", "screenshot"});
  }
  void roundTrip() {
    const testing::Cells row;
    PageRig rig(row.Kind("board"));
    MediumPage page(row["medium"]);
    const sim::Medium medium = row["medium"] == "NAND"  ? sim::Medium::kNand
                               : row["medium"] == "NOR" ? sim::Medium::kNor
                                                        : sim::Medium::kSd;
    const QStringList there = row["before"].split('|');
    if (!row["before"].isEmpty())
      rig.PutImage(medium, there[0].toUInt(), qPrintable(there[1]), there[2].toUInt(nullptr, 0),
                   there[3].toUInt());
    QVERIFY(rig.Connect());
    QVERIFY(page.Open(rig));
    if (!row["before"].isEmpty()) QCOMPARE(RowOf(page.list, there[0])[2], there[4]);
    if (row["medium"] == "NOR")
      QCOMPARE(qobject_cast<CNorPage*>(page.list)->DeviceField()->text(), QString("VNOR-ZB3200"));
    BoxAnswerer boxes;
    rig.Offer(qPrintable(row["file"]), testing::Pattern(row["size"].toUInt(), 3));
    page.Button(page.add, "browse")->click();
    Fill(page.add, row["types"], row["fields"]);
    const QString number = row["fields"].section('=', 1, 1).section(' ', 0, 0);
    QVERIFY(PageRig::Run(page.list, page.Button(page.add, "burn"), boxes, page_text::kBurnOk));
    QCOMPARE(boxes.Texts(), (QStringList{page_text::kConfirmOperation, page_text::kBurnOk}));
    const auto image = rig.Board().FindImage(medium, number.toUInt());
    QVERIFY(image.has_value());
    QCOMPARE(image->type, row.Number("type"));
    QCOMPARE(image->start, row.Number("start"));
    QCOMPARE(page.list->List()->ItemCount(), row["before"].isEmpty() ? 1 : 2);  // read again after the burn
    QCOMPARE(RowOf(page.list, number), row["listed"].split('|'));
    if (!row["screenshot"].isEmpty()) QVERIFY(rig.Screenshot(row["screenshot"]));
    QVERIFY(PageRig::Run(page.list, page.Button(page.add, "verify"), boxes, page_text::kVerifyOk));

    page.Button(page.list, "modify")->click();
    auto* modify = page.list->findChild<ImageModifyPage*>();
    QVERIFY(modify->isVisible());
    QCOMPARE(page.list->Frame()->title(), QString("Modify"));
    Fill(modify, row["modifyType"], QString("%1=%2").arg(page.Id("modifyNumber"), number));
    QVERIFY(PageRig::Run(page.list, modify->ApplyButton(), boxes, texts::kModifyOk));
    QCOMPARE(rig.Board().FindImage(medium, number.toUInt())->type, row.Number("typeModified"));
    QCOMPARE(RowOf(page.list, number)[2], row["listedModified"]);

    page.Button(page.list, "erase")->click();
    auto* erase = page.list->findChild<ImageErasePage*>();
    Fill(erase, {}, QString("%1=%2").arg(page.Id("eraseNumber"), number));
    QVERIFY(PageRig::Run(page.list, erase->ApplyButton(), boxes, page_text::kEraseOk));
    QVERIFY(!rig.Board().FindImage(medium, number.toUInt()).has_value());
    QCOMPARE(page.list->List()->ItemCount(), row["left"].toInt());
    QVERIFY(!boxes.Seen(page_text::kBurnFailed) && !boxes.Seen(page_text::kModifyFailed));
    QVERIFY(rig.Board().ProtocolErrors().empty());
  }

  // The SPI page's settings write: over the COM port the list and the form,
  // no image control, and the write stops at the bank rule once "1.txt" is
  // written; over the disk "1.txt" lands in flash.
  void spiSettingsWrite_data() { testing::AddRows(kTable, "spiWrite", {"board", "said", "listed"}); }
  void spiSettingsWrite() {
    const testing::Cells row;
    const bool com = row["board"] == "vcom";
    PageRig rig(row.Kind("board"));
    BoxAnswerer boxes;
    if (com) rig.PutImage(sim::Medium::kSpi, 1, "boot", 1, 0);
    if (com) rig.PutImage(sim::Medium::kSpi, 3, "config", 0, 0x70);
    auto* page = rig.ConnectAndOpen<CSpiPage>(kSpiPage);
    QVERIFY(page);
    auto* detail = page->findChild<CSpiDetailPage*>();
    QVERIFY(detail->isVisible() && detail->Form()->isVisible() && detail->WriteButton()->isVisible());
    const testing::TableRow hidden = com ? testing::Rows(kTable, "spiHidden").front() : testing::TableRow();
    for (const std::string& id : hidden) {
      auto* control = PageRig::Control<QWidget>(page, id.c_str());
      QVERIFY2(control != nullptr && !control->isVisible(), id.c_str());
    }
    if (com) QVERIFY(!PageRig::Control<QPushButton>(page, "1166")->isEnabled());
    if (com) QVERIFY(rig.Screenshot("spi_page.png"));

    PageRig::Type(detail, {{"1236", "shop-floor"}, {"1237", "secret"}});
    QVERIFY(PageRig::Run(page, detail->WriteButton(), boxes, row["said"]));
    QCOMPARE(boxes.Texts(), QStringList{row["said"]});
    QVERIFY(!detail->WorkerRunning());
    QCOMPARE(detail->WriteButton()->text(), QString::fromUtf8(kWriteCaption));
    const auto text = testing::ReadFile(rig.Folder().File(kSettingsTextFile));
    QVERIFY(testing::Contains(text, "shop-floor\r\n"));
    QCOMPARE(RowOf(page, row["listed"].section('|', 0, 0)), row["listed"].split('|'));
    const auto image = rig.Board().FindImage(sim::Medium::kSpi, 2);
    QCOMPARE(image.has_value(), !com);
    if (image) QCOMPARE(image->start, 0x6fu);
    if (image)
      QCOMPARE(rig.Board().Flash(sim::Medium::kSpi, 0x6fu << 16, static_cast<uint32_t>(text.size())), text);
  }

  void spiFailedModifyKeepsTheList() {
    PageRig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kSpi, 4, "kernel", 1, 0x10);
    auto* page = rig.ConnectAndOpen<CSpiPage>(kSpiPage);
    QVERIFY(page);
    page->SubPages().Show(kModifySubPage);
    auto* modify = page->findChild<CSpiModifyPage*>();
    PageRig::Type(modify, {{"1181", "4"}});
    PageRig::Click(modify, "1184");
    rig.Board().InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kModify, sim::Medium::kSpi, 1, 0});
    QSignalSpy reads(page, &ListPage::refreshed);
    QVERIFY(PageRig::Run(page, modify->ApplyButton(), boxes, texts::kModifyError));
    QCOMPARE(reads.count(), 0);
    QCOMPARE(PageRig::Row(page, 0)[2], QString("execute"));
    QCOMPARE(boxes.Texts(), QStringList{texts::kModifyError});  // worded once
  }

  void norFailedBurnKeepsVerifyDisabled_data() {
    testing::AddRows(kTable, "norFailedBurn", {"portGone", "said"});
  }
  void norFailedBurnKeepsVerifyDisabled() {
    const testing::Cells row;
    const bool portGone = row.Yes("portGone");
    PageRig rig(sim::BoardKind::kVcom);
    auto* page = rig.ConnectAndOpen<CNorPage>(3);
    QVERIFY(page);
    auto* add = page->findChild<CNorAddPage*>();
    rig.Offer("app.bin", testing::Pattern(20000, 3));
    PageRig::Click(add, "1042");
    PageRig::Type(add, {{"1040", "2"}, {"1017", "0"}, {"1019", "200000"}});
    BoxAnswerer boxes;
    if (portGone) rig.State().connection.portPath.clear();
    rig.Board().InjectFault(
        {sim::FaultKind::kStatusErrorBits, sim::Operation::kBurn, sim::Medium::kNor, 3, 0});
    QSignalSpy shown(add, &OperationPage::progressShown);
    QVERIFY(PageRig::Run(page, add->BurnButton(), boxes, row["said"]));
    QCOMPARE(boxes.Texts().size(), 2);  // the confirmation and one failure
    QVERIFY(!add->VerifyButton()->isEnabled());
    const int last = shown.isEmpty() ? 0 : shown.last().at(0).toInt();
    QCOMPARE(add->ProgressBar()->value(), last);
    QCOMPARE(last > 0, !portGone);
  }

  void sdOptionAndPort_data() { testing::AddRows(kTable, "sdOption", {"board"}); }
  void sdOptionAndPort() {
    const sim::BoardKind kind = testing::Cells().Kind("board");
    const bool family = kind == sim::BoardKind::kQuen;
    PageRig rig(kind);
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kSd, 5, "on-card-0", 0, 0x40);
    auto* page = rig.ConnectAndOpen<CSdPage>(7);
    QVERIFY(page);
    PageRig::Click(page, "1194");
    QVERIFY(PageRig::WaitIdle(page));
    auto* option = page->findChild<CSdOptionPage*>();
    auto* total = PageRig::Control<QLineEdit>(option, "1222");
    QCOMPARE(total->text(), QString("1024"));
    QVERIFY(PageRig::Control<QRadioButton>(option, "1228")->isChecked());
    PageRig::Type(option, {{"1218", "1024"}});  // all of it
    PageRig::Click(option, "1225");
    option->ApplyButton()->click();
    QVERIFY(!option->ApplyButton()->isEnabled());
    QVERIFY(boxes.WaitFor(page_text::kSetOk));
    QVERIFY(QTest::qWaitFor([&] { return option->ApplyButton()->isEnabled(); }, 10000));
    QCOMPARE(rig.Board().SdReservedMb(), 1024u);
    QCOMPARE(rig.Board().SdFormatRequested(), family);  // an older board is never asked

    PageRig::Click(option, "1229");
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(rig.State().sdPort, 1u);
    QCOMPARE(int(rig.Board().SdPort()), family ? 1 : 0);
    QCOMPARE(total->text(), QString(family ? "512" : "1024"));
    QCOMPARE(page->List()->ItemCount(), family ? 0 : 1);
    QCOMPARE(boxes.Texts().size(), 1);
  }

  void listShowsTheBoardsTable_data() { testing::AddRows(kTable, "nandWires", {"board"}); }
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

QTEST_MAIN(zorbel::MediaPagesTest)
#include "media_pages_test.moc"
