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

void FillSettings(CSpiDetailPage* detail) {
  PageRig::Control<QLineEdit>(detail, "1236")->setText("shop-floor");
  PageRig::Control<QLineEdit>(detail, "1237")->setText("secret");
}

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
    rig.PutImage(sim::Medium::kSpi, 1, "u-boot", 1, 0);
    rig.PutImage(sim::Medium::kSpi, 3, "config", 0, 0x70);
    QVERIFY(rig.Connect());
    rig.PickMedium("SPI", kSpiPage);
    auto* page = rig.Page<CSpiPage>(kSpiPage);
    QVERIFY(page->isVisible() && PageRig::WaitIdle(page));
    QCOMPARE(page->List()->ItemCount(), 2);
    QCOMPARE(PageRig::Row(page, 1).mid(0, 4), (QStringList{"3", "config", "data", "0x70"}));
    auto* detail = page->findChild<CSpiDetailPage*>();
    QVERIFY(detail->isVisible() && detail->Form()->isVisible() && detail->WriteButton()->isVisible());
    for (const char* id : {"1169", "1170", "1171", "1172", "1173", "1174", "1177", "1175", "1176", "1044", "1049"}) {
      auto* control = PageRig::Control<QWidget>(detail, id);
      QVERIFY2(control != nullptr && !control->isVisible(), id);
    }
    for (const char* id : {"1166", "1167", "1048"}) {
      auto* button = PageRig::Control<QPushButton>(page, id);
      QVERIFY2(!button->isVisible() && !button->isEnabled(), id);
    }
    QVERIFY(!page->Frame()->isVisible());
    QVERIFY(rig.Screenshot("spi_page.png"));

    FillSettings(detail);
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
    FillSettings(detail);
    detail->WriteButton()->click();
    QCOMPARE(detail->WriteButton()->text(), QString::fromUtf8(kSpiBusyCaption));
    QVERIFY(boxes.WaitFor(delivery_text::kWriteOk));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(detail->WriteButton()->text(), QString::fromUtf8(kWriteCaption));
    const auto image = rig.Board().FindImage(sim::Medium::kSpi, 2);
    QVERIFY(image.has_value());
    QCOMPARE(image->name, std::string(kSettingsTextFile));
    QCOMPARE(image->type, 0u);
    QCOMPARE(image->start, 0x6fu);
    const auto text = FileBytes(rig.Folder().File(kSettingsTextFile));
    QCOMPARE(rig.Board().ImageData(sim::Medium::kSpi, 2), text);
    QCOMPARE(rig.Board().Flash(sim::Medium::kSpi, 0x6fu << 16, static_cast<uint32_t>(text.size())), text);
    QCOMPARE(PageRig::Row(page, 0).mid(0, 4), (QStringList{"2", "1.txt", "data", "0x6f"}));
    QVERIFY(rig.Board().ProtocolErrors().empty());
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
    PageRig::Control<QLineEdit>(modify, "1181")->setText("4");
    PageRig::Control<QRadioButton>(modify, "1184")->click();
    rig.Board().InjectFault({sim::FaultKind::kFailCommand, sim::Operation::kModify, sim::Medium::kSpi, 1, 0});
    QSignalSpy reads(page, &ListPage::refreshed);
    modify->ApplyButton()->click();
    QVERIFY(boxes.WaitFor(texts::kModifyError));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(reads.count(), 0);
    QCOMPARE(PageRig::Row(page, 0)[2], QString("execute"));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kSpi, 4)->type, 1u);
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
    QCOMPARE(page->DeviceField()->text(), QString("VNOR-29LV320"));
    QCOMPARE(PageRig::Row(page, 0)[2], QString("axr"));
    auto* add = page->findChild<CNorAddPage*>();
    rig.Files().Answer(rig.WriteFile("zImage.bin", 30000));
    PageRig::Control<QPushButton>(add, "1042")->click();
    QCOMPARE(PageRig::Control<QLineEdit>(add, "1016")->text(), QString("zImage"));
    PageRig::Control<QLineEdit>(add, "1040")->setText("1");
    PageRig::Control<QCheckBox>(add, "1023")->setChecked(true);
    PageRig::Control<QCheckBox>(add, "1025")->setChecked(true);
    PageRig::Control<QLineEdit>(add, "1017")->setText("8000");
    PageRig::Control<QLineEdit>(add, "1019")->setText("100000");
    add->BurnButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kBurnOk));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(boxes.Texts().front(), std::string(page_text::kConfirmOperation));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kNor, 1)->type, 0x05u);
    QCOMPARE(RowOf(page, "1").mid(0, 4), (QStringList{"1", "zImage", "ax", "0x100000"}));
    QVERIFY(rig.Screenshot("nor_page.png"));

    add->VerifyButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kVerifyOk));
    QVERIFY(PageRig::WaitIdle(page));

    PageRig::Control<QPushButton>(page, "1081")->click();
    auto* modify = page->findChild<CNorModifyPage*>();
    QVERIFY(modify->isVisible());
    PageRig::Control<QLineEdit>(modify, "1015")->setText("1");
    PageRig::Control<QCheckBox>(modify, "1030")->setChecked(true);
    modify->ApplyButton()->click();
    QVERIFY(boxes.WaitFor(texts::kModifyOk));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kNor, 1)->type, 0x02u);
    QCOMPARE(RowOf(page, "1")[2], QString("c"));

    PageRig::Control<QPushButton>(page, "1012")->click();
    auto* erase = page->findChild<CNorErasePage*>();
    PageRig::Control<QLineEdit>(erase, "1014")->setText("1");
    erase->ApplyButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kEraseOk));
    QVERIFY(PageRig::WaitIdle(page));
    QVERIFY(!rig.Board().FindImage(sim::Medium::kNor, 1).has_value());
    QCOMPARE(page->List()->ItemCount(), 1);
    QVERIFY(rig.Board().ProtocolErrors().empty());
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
    rig.Files().Answer(rig.WriteFile("app.bin", 20000));
    PageRig::Control<QPushButton>(add, "1042")->click();
    PageRig::Control<QLineEdit>(add, "1040")->setText("2");
    PageRig::Control<QLineEdit>(add, "1017")->setText("0");
    {
      BoxAnswerer boxes;
      add->BurnButton()->click();  // no flash offset
      QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts().size(), size_t{1}, 5000);
      QCOMPARE(boxes.Texts().front(), std::string(page_text::kInputImageInformation));
    }
    PageRig::Control<QLineEdit>(add, "1019")->setText("200000");
    if (portGone) {
      rig.State().connection.portPath.clear();
    } else {
      rig.Board().InjectFault({sim::FaultKind::kStatusErrorBits, sim::Operation::kBurn, sim::Medium::kNor, 3, 0});
    }
    QSignalSpy shown(add, &OperationPage::progressShown);
    BoxAnswerer boxes;
    add->BurnButton()->click();
    QVERIFY(boxes.WaitFor(said.toStdString()));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(boxes.Texts().size(), size_t{2});  // the confirmation and the one failure
    QVERIFY(!add->VerifyButton()->isEnabled());
    QCOMPARE(add->BurnButton()->text(), QString(kBurnCaption));
    const int last = shown.isEmpty() ? 0 : shown.last().at(0).toInt();
    QCOMPARE(add->ProgressBar()->value(), last);
    if (!portGone) QVERIFY(last > 0);
  }

  void sdRoundTrip() {
    PageRig rig(sim::BoardKind::kQuen);
    BoxAnswerer boxes;
    QVERIFY(rig.Connect());
    rig.PickMedium("SD Card", kSdPage);
    auto* page = rig.Page<CSdPage>(kSdPage);
    QVERIFY(page->isVisible() && PageRig::WaitIdle(page));
    auto* add = page->findChild<CSdAddPage*>();
    rig.Files().Answer(rig.WriteFile("rootfs.img", 70000));
    PageRig::Control<QPushButton>(add, "1196")->click();
    PageRig::Control<QLineEdit>(add, "1194")->setText("1");
    PageRig::Control<QRadioButton>(add, "1198")->click();
    PageRig::Control<QLineEdit>(add, "1201")->setText("8000");
    auto* start = PageRig::Control<QLineEdit>(add, "1202");
    start->setText("21");
    add->BurnButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts().size(), size_t{2}, 5000);
    const std::vector<std::string> refused{page_text::kConfirmOperation, page_text::kSdStartSectorTooSmall};
    QCOMPARE(boxes.Texts(), refused);
    QVERIFY(!add->WorkerRunning());
    start->setText("22");
    add->BurnButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kBurnOk));
    QVERIFY(PageRig::WaitIdle(page));
    auto image = rig.Board().FindImage(sim::Medium::kSd, 1);
    QVERIFY(image.has_value());
    QCOMPARE(image->start, 0x22u);
    QCOMPARE(PageRig::Row(page, 0).mid(0, 4), (QStringList{"1", "rootfs", "execute", "0x22"}));
    QVERIFY(rig.Screenshot("sd_page.png"));

    add->VerifyButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kVerifyOk));
    QVERIFY(PageRig::WaitIdle(page));

    PageRig::Control<QPushButton>(page, "1191")->click();
    auto* modify = page->findChild<CSdModifyPage*>();
    PageRig::Control<QLineEdit>(modify, "1210")->setText("1");
    PageRig::Control<QRadioButton>(modify, "1213")->click();
    modify->ApplyButton()->click();
    QVERIFY(boxes.WaitFor(texts::kModifyOk));
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(rig.Board().FindImage(sim::Medium::kSd, 1)->type, 2u);
    QCOMPARE(PageRig::Row(page, 0)[2], QString("romfs"));

    PageRig::Control<QPushButton>(page, "1192")->click();
    auto* erase = page->findChild<CSdErasePage*>();
    PageRig::Control<QLineEdit>(erase, "1207")->setText("1");
    erase->ApplyButton()->click();
    QVERIFY(boxes.WaitFor(page_text::kEraseOk));
    QVERIFY(PageRig::WaitIdle(page));
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
    PageRig::Control<QPushButton>(page, "1194")->click();
    QVERIFY(PageRig::WaitIdle(page));
    auto* option = page->findChild<CSdOptionPage*>();
    QVERIFY(option->isVisible());
    auto* total = PageRig::Control<QLineEdit>(option, "1222");
    QCOMPARE(total->text(), QString("1024"));
    QVERIFY(PageRig::Control<QRadioButton>(option, "1228")->isChecked());
    QVERIFY(rig.Screenshot("sd_option.png"));
    PageRig::Control<QLineEdit>(option, "1218")->setText("1024");  // all of it
    PageRig::Control<QCheckBox>(option, "1225")->click();
    option->ApplyButton()->click();
    QVERIFY(!option->ApplyButton()->isEnabled());
    QVERIFY(boxes.WaitFor(page_text::kSetOk));
    QVERIFY(QTest::qWaitFor([&] { return option->ApplyButton()->isEnabled(); }, 10000));
    QCOMPARE(rig.Board().SdReservedMb(), 1024u);
    QCOMPARE(rig.Board().SdFormatRequested(), family);  // an older board is never asked

    PageRig::Control<QRadioButton>(option, "1229")->click();
    QVERIFY(PageRig::WaitIdle(page));
    QCOMPARE(rig.State().sdPort, 1u);
    QCOMPARE(int(rig.Board().SdPort()), family ? 1 : 0);
    QCOMPARE(total->text(), QString(family ? "512" : "1024"));
    QCOMPARE(page->List()->ItemCount(), family ? 0 : 1);
    QCOMPARE(boxes.Texts().size(), size_t{1});
    QVERIFY(rig.Board().ProtocolErrors().empty());
  }
};

}  // namespace zorbel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zorbel::MediaPagesTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "media_pages_test.moc"
