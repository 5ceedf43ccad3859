// The SPI, NOR and SD card pages in the window against the virtual board:
// the settings write into SPI flash over both wires, a NOR and an SD round
// trip checked against the board's table, and the rules that can break.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <iterator>

#include "controls/mac_progress_ctrl.h"
#include "page_rig.h"
#include "pages/nor/nor_page.h"
#include "pages/sd/sd_page.h"
#include "pages/sdram_page.h"
#include "pages/spi/spi_page.h"
#include "protocol/page_rules.h"
#include "protocol/protocol_texts.h"
#include "settings/delivery.h"
#include "settings/ui/device_settings_form.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;
using testing::PageRig;

constexpr int kNorPage = 3;
constexpr int kSpiPage = 5;
constexpr int kSdPage = 7;

// The list row of an image number.
QStringList RowOf(ListPage* page, const char* number) {
  for (int r = 0; r < page->List()->ItemCount(); ++r) {
    if (page->List()->ItemText(r, 0) == number) return PageRig::Row(page, r);
  }
  return {};
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class MediaPagesTest : public QObject {
  Q_OBJECT

 private slots:
  // Over the COM port: the list and the form, no image control; the write
  // stops at the bank rule once "1.txt" is written.
  void spiPageOverTheComPort() {
    PageRig rig(sim::BoardKind::kVcom);
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kSpi, 1, "boot", 1, 0);
    rig.PutImage(sim::Medium::kSpi, 3, "config", 0, 0x70);
    QVERIFY(rig.Connect());
    rig.PickMedium("SPI", kSpiPage);
    auto* page = rig.Page<CSpiPage>(kSpiPage);
    QVERIFY(page->isVisible() && PageRig::WaitIdle(page));
    QCOMPARE(PageRig::Row(page, 1).mid(0, 4), (QStringList{"3", "config", "data", "0x70"}));
    auto* detail = page->findChild<CSpiDetailPage*>();
    QVERIFY(detail->isVisible() && detail->Form()->isVisible() && detail->WriteButton()->isVisible());
    for (const char* id : {"1169", "1170", "1171", "1172", "1173", "1174", "1177", "1175", "1176", "1044", "1049",
                           "1166", "1167", "1048", "1168"}) {
      auto* control = PageRig::Control<QWidget>(page, id);
      QVERIFY2(control != nullptr && !control->isVisible(), id);
    }
    QVERIFY(!PageRig::Control<QPushButton>(page, "1166")->isEnabled());
    QVERIFY(rig.Screenshot("spi_page.png"));

    PageRig::Type(detail, {{"1236", "shop-floor"}, {"1237", "secret"}});
    detail->WriteButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kSpiStartNotAligned, 5000));
    QCOMPARE(boxes.Texts().size(), size_t{1});
    QVERIFY(!detail->WorkerRunning());
    const auto text = FileBytes(rig.Folder().File(kSettingsTextFile));
    QVERIFY(std::string(text.begin(), text.end()).find("shop-floor\r\n") != std::string::npos);
    QVERIFY(!rig.Board().FindImage(sim::Medium::kSpi, 2).has_value());
  }

  void spiSettingsWriteOverTheDisk() {
    PageRig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    QVERIFY(rig.Connect());
    rig.PickMedium("SPI", kSpiPage);
    auto* page = rig.Page<CSpiPage>(kSpiPage);
    QVERIFY(PageRig::WaitIdle(page));
    auto* detail = page->findChild<CSpiDetailPage*>();
    PageRig::Type(detail, {{"1236", "shop-floor"}, {"1237", "secret"}});
    QVERIFY(PageRig::Run(page, detail->WriteButton(), boxes, delivery_text::kWriteOk));
    QCOMPARE(detail->WriteButton()->text(), QString::fromUtf8(kWriteCaption));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kSpi, 2).value_or(sim::ImageEntry{}).start, 0x6fu);
    const auto text = FileBytes(rig.Folder().File(kSettingsTextFile));
    QCOMPARE(rig.Board().Flash(sim::Medium::kSpi, 0x6fu << 16, static_cast<uint32_t>(text.size())), text);
    QCOMPARE(PageRig::Row(page, 0).mid(0, 4), (QStringList{"2", "1.txt", "data", "0x6f"}));
  }

  void spiFailedModifyKeepsTheList() {
    PageRig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kSpi, 4, "kernel", 1, 0x10);
    QVERIFY(rig.Connect());
    rig.PickMedium("SPI", kSpiPage);
    auto* page = rig.Page<CSpiPage>(kSpiPage);
    QVERIFY(PageRig::WaitIdle(page));
    page->SubPages().Show(kModifySubPage);
    auto* modify = page->findChild<CSpiModifyPage*>();
    PageRig::Type(modify, {{"1181", "4"}});
    PageRig::Click(modify, "1184");
    rig.Board().InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kModify, sim::Medium::kSpi, 1, 0});
    QSignalSpy reads(page, &ListPage::refreshed);
    QVERIFY(PageRig::Run(page, modify->ApplyButton(), boxes, texts::kModifyError));
    QCOMPARE(reads.count(), 0);
    QCOMPARE(PageRig::Row(page, 0)[2], QString("execute"));
    QCOMPARE(boxes.Texts(), std::vector<std::string>{texts::kModifyError});  // worded once
  }

  void norRoundTrip() {
    PageRig rig(sim::BoardKind::kVcom);
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kNor, 7, "boot", 0x25, 0);
    QVERIFY(rig.Connect());
    rig.PickMedium("NOR", kNorPage);
    auto* page = rig.Page<CNorPage>(kNorPage);
    QVERIFY(page->isVisible() && PageRig::WaitIdle(page));
    QCOMPARE(page->DeviceField()->text(), QString("VNOR-ZB3200"));
    QCOMPARE(PageRig::Row(page, 0)[2], QString("axr"));
    auto* add = page->findChild<CNorAddPage*>();
    rig.Offer("zImage.bin", testing::Pattern(30000, 3));
    PageRig::Click(add, "1042");
    PageRig::Type(add, {{"1040", "1"}, {"1017", "8000"}, {"1019", "100000"}});
    PageRig::Click(add, "1023");  // Active
    PageRig::Click(add, "1025");  // Exec
    QVERIFY(PageRig::Run(page, add->BurnButton(), boxes, page_text::kBurnOk));
    QCOMPARE(boxes.Texts().front(), std::string(page_text::kConfirmOperation));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kNor, 1)->type, 0x05u);
    QCOMPARE(RowOf(page, "1").mid(0, 4), (QStringList{"1", "zImage", "ax", "0x100000"}));
    QVERIFY(rig.Screenshot("nor_page.png"));
    QVERIFY(PageRig::Run(page, add->VerifyButton(), boxes, page_text::kVerifyOk));

    PageRig::Click(page, "1081");
    auto* modify = page->findChild<CNorModifyPage*>();
    PageRig::Type(modify, {{"1015", "1"}});
    PageRig::Click(modify, "1030");  // Copy2RAM alone
    QVERIFY(PageRig::Run(page, modify->ApplyButton(), boxes, texts::kModifyOk));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kNor, 1)->type, 0x02u);
    QCOMPARE(RowOf(page, "1")[2], QString("c"));

    PageRig::Click(page, "1012");
    auto* erase = page->findChild<CNorErasePage*>();
    PageRig::Type(erase, {{"1014", "1"}});
    QVERIFY(PageRig::Run(page, erase->ApplyButton(), boxes, page_text::kEraseOk));
    QVERIFY(!rig.Board().FindImage(sim::Medium::kNor, 1).has_value());
    QCOMPARE(page->List()->ItemCount(), 1);
  }

  void norFailedBurnKeepsVerifyDisabled_data() {
    QTest::addColumn<bool>("portGone");
    QTest::addColumn<QString>("said");
    QTest::newRow("board refuses") << false << QString(texts::kBurnError);
    QTest::newRow("no port, nothing said") << true << QString(page_text::kBurnFailed);
  }
  void norFailedBurnKeepsVerifyDisabled() {
    QFETCH(bool, portGone);
    QFETCH(QString, said);
    PageRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    rig.PickMedium("NOR", kNorPage);
    auto* page = rig.Page<CNorPage>(kNorPage);
    QVERIFY(PageRig::WaitIdle(page));
    auto* add = page->findChild<CNorAddPage*>();
    rig.Offer("app.bin", testing::Pattern(20000, 3));
    PageRig::Click(add, "1042");
    PageRig::Type(add, {{"1040", "2"}, {"1017", "0"}});
    BoxAnswerer boxes;
    add->BurnButton()->click();  // no flash offset
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), std::vector<std::string>{page_text::kInputImageInformation}, 5000);
    PageRig::Type(add, {{"1019", "200000"}});
    if (portGone) rig.State().connection.portPath.clear();
    rig.Board().InjectFault({sim::FaultKind::kStatusErrorBits, sim::Operation::kBurn, sim::Medium::kNor, 3, 0});
    QSignalSpy shown(add, &OperationPage::progressShown);
    QVERIFY(PageRig::Run(page, add->BurnButton(), boxes, said.toStdString()));
    QCOMPARE(boxes.Texts().size(), size_t{3});  // the refusal, the confirmation and one failure
    QVERIFY(!add->VerifyButton()->isEnabled());
    const int last = shown.isEmpty() ? 0 : shown.last().at(0).toInt();
    QCOMPARE(add->ProgressBar()->value(), last);
    QCOMPARE(last > 0, !portGone);
  }

  void sdRoundTrip() {
    PageRig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    QVERIFY(rig.Connect());
    rig.PickMedium("SD Card", kSdPage);
    auto* page = rig.Page<CSdPage>(kSdPage);
    QVERIFY(page->isVisible() && PageRig::WaitIdle(page));
    auto* add = page->findChild<CSdAddPage*>();
    rig.Offer("rootfs.img", testing::Pattern(70000, 3));
    PageRig::Click(add, "1196");
    PageRig::Click(add, "1198");
    PageRig::Type(add, {{"1194", "1"}, {"1201", "8000"}, {"1202", "21"}});
    add->BurnButton()->click();
    const std::vector<std::string> refused{page_text::kConfirmOperation, page_text::kSdStartSectorTooSmall};
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), refused, 5000);
    QVERIFY(!add->WorkerRunning());
    PageRig::Type(add, {{"1202", "22"}});
    QVERIFY(PageRig::Run(page, add->BurnButton(), boxes, page_text::kBurnOk));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kSd, 1)->start, 0x22u);
    QCOMPARE(PageRig::Row(page, 0).mid(0, 4), (QStringList{"1", "rootfs", "execute", "0x22"}));
    QVERIFY(rig.Screenshot("sd_page.png"));
    QVERIFY(PageRig::Run(page, add->VerifyButton(), boxes, page_text::kVerifyOk));

    PageRig::Click(page, "1191");
    auto* modify = page->findChild<CSdModifyPage*>();
    PageRig::Type(modify, {{"1210", "1"}});
    PageRig::Click(modify, "1213");
    QVERIFY(PageRig::Run(page, modify->ApplyButton(), boxes, texts::kModifyOk));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kSd, 1)->type, 2u);
    QCOMPARE(PageRig::Row(page, 0)[2], QString("romfs"));

    PageRig::Click(page, "1192");
    auto* erase = page->findChild<CSdErasePage*>();
    PageRig::Type(erase, {{"1207", "1"}});
    QVERIFY(PageRig::Run(page, erase->ApplyButton(), boxes, page_text::kEraseOk));
    QVERIFY(!rig.Board().FindImage(sim::Medium::kSd, 1).has_value());
    QCOMPARE(page->List()->ItemCount(), 0);
    QVERIFY(rig.Board().ProtocolErrors().empty());
  }

  void sdOptionAndPort_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("family board") << int(sim::BoardKind::kQuen);
    QTest::newRow("older board") << int(sim::BoardKind::kOlder);
  }
  void sdOptionAndPort() {
    QFETCH(int, kind);
    const bool family = kind == int(sim::BoardKind::kQuen);
    PageRig rig(static_cast<sim::BoardKind>(kind));
    BoxAnswerer boxes;
    rig.PutImage(sim::Medium::kSd, 5, "on-card-0", 0, 0x40);
    QVERIFY(rig.Connect());
    rig.PickMedium("SD Card", kSdPage);
    auto* page = rig.Page<CSdPage>(kSdPage);
    QVERIFY(PageRig::WaitIdle(page));
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
    QCOMPARE(boxes.Texts().size(), size_t{1});
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::MediaPagesTest)
#include "media_pages_test.moc"
