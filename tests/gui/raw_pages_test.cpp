// The raw-data pages against the virtual board: burn and verify per medium
// and wire checked in the board's flash (a NAND ROM of another block size
// converted on Browse first), refusals and aborts, the Make ROM dialogs
// opened from the pages and driven as a person would (two images added, the
// ROM compared with what the builders make from the same list file), the
// SPI read-back and the remembered SPI files.
#include <QMessageBox>
#include <algorithm>
#include <filesystem>

#include "app/byte_order.h"
#include "app/profile_reader.h"
#include "controls/ip_address_edit.h"
#include "page_rig.h"
#include "pages/raw/nand_raw_page.h"
#include "pages/raw/spi_raw_page.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/rom_list.h"
#include "rom/rom_messages.h"
#include "rom/spi_rom_builder.h"
#include "rom/ui/rom_dialogs.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;
using testing::PageRig;
using testing::Pattern;
using testing::ReadFile;

constexpr int kNandRaw = 2;
constexpr int kNorRaw = 4;
constexpr int kSpiRaw = 6;
constexpr const char* kTable = "gui/raw_pages.tsv";

// A NAND ROM file of one image (number 1, block 1), laid out for blockSize.
std::vector<uint8_t> NandRom(uint32_t blockSize, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> f = {'Q', 'K', 0x5A, 0xA5, 1, 0, 0, 0};
  AppendLe32(f, blockSize);
  std::vector<uint8_t> h(64, 0);
  h[0] = h[44] = 1;
  std::copy(f.begin(), f.begin() + 4, h.begin() + 48);
  StoreLe32(&h[56], static_cast<uint32_t>(data.size()));
  f.insert(f.end(), h.begin(), h.end());
  f.insert(f.end(), data.begin(), data.end());
  const size_t rest = (data.size() + 16) % blockSize;
  if (rest != 0) f.insert(f.end(), blockSize - rest, 0xFF);
  return f;
}

QPushButton* Button(QWidget* page, const char* id) { return page->findChild<QPushButton*>(id); }
QLineEdit* Field(QWidget* page, const char* id) { return page->findChild<QLineEdit*>(id); }

bool AllButtonsEnabled(QWidget* page) {
  return std::ranges::all_of(page->findChildren<QPushButton*>(), &QWidget::isEnabled);
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  if (child == nullptr) qFatal("no %s", name);
  return child;
}

}  // namespace

class RawPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void burnThenVerifyLandsInTheFlash_data() {
    testing::AddRows(kTable, "burn", {"board", "index", "browse", "burn", "verify", "burnOk"});
  }
  void burnThenVerifyLandsInTheFlash() {
    const testing::Cells row;
    const int shown = row["index"].toInt();
    PageRig rig(PageRig::Options(row.Kind("board"), 2));  // the board's NAND has 128 KB blocks
    QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show<RawDataPage>(shown);
    const std::vector<uint8_t> data = Pattern(70000, 7);  // chunks of both wires, and a short last one
    BoxAnswerer boxes;
    if (shown == kNandRaw) {  // a dump without the ROM header is refused, its folder not remembered
      rig.Offer("dump.bin", data);
      Button(page, qPrintable(row["browse"]))->click();
      QCOMPARE(boxes.Texts(), QStringList{page_text::kInvalidNandImage});
      QVERIFY(page->FilePath().empty() && !rig.Folder().Exists("path.ini"));
      boxes.Clear();
    }
    const std::string file = rig.Offer("raw.bin", shown == kNandRaw ? NandRom(16384, data) : data);
    Button(page, qPrintable(row["browse"]))->click();
    if (shown == kNandRaw) {
      QCOMPARE(boxes.Texts(), (QStringList{rom_text::kBlockSizeMismatch, rom_text::kConvertSuccess}));
      QVERIFY(ReadFile(file) == NandRom(131072, data));
      QCOMPARE(Field(page, "1145")->text(), QString("1"));
      // The conversion left nothing beside the file.
      for (const auto& entry : std::filesystem::directory_iterator(rig.Folder().Path())) {
        const std::string name = entry.path().filename().string();
        QVERIFY2(name == "raw.bin" || name.find("raw") == std::string::npos, name.c_str());
      }
    }
    if (shown == kNorRaw) Field(page, "1011")->setText("1F000");
    boxes.Clear();
    QVERIFY(PageRig::Run(page, Button(page, qPrintable(row["burn"]))));
    QCOMPARE(boxes.Texts(), (QStringList{page_text::kConfirmOperation, row["burnOk"]}));
    const uint32_t size = static_cast<uint32_t>(data.size());
    if (shown == kNorRaw) QVERIFY(rig.Board().Flash(sim::Medium::kNor, 0x1F000, size) == data);
    if (shown == kNandRaw) QVERIFY(rig.Board().ImageData(sim::Medium::kNand, 1) == data);
    if (shown == kSpiRaw) QVERIFY(rig.Board().Flash(sim::Medium::kSpi, 0, size) == data);
    boxes.Clear();
    QVERIFY(PageRig::Run(page, Button(page, qPrintable(row["verify"]))));
    QCOMPARE(boxes.Texts(), QStringList{page_text::kVerifyOk});
    QVERIFY(rig.Board().ProtocolErrors().empty());
    // Every button is back; NOR's builder only while no disk is connected.
    const bool disk = rig.State().connection.massStorageConnected != 0;
    QCOMPARE(AllButtonsEnabled(page), !(shown == kNorRaw && disk));
    if (!disk) QVERIFY(rig.Screenshot(page->objectName() + ".png"));
  }

  void norRefusalsAndAnAbortedBurn() {
    PageRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show<RawDataPage>(kNorRaw);
    // The board's NOR type is read once the page is shown.
    QVERIFY(QTest::qWaitFor([&] { return Field(page, "1091")->text() == "VNOR-ZB3200"; }, 10000));
    BoxAnswerer boxes;
    QPushButton* burn = Button(page, "1039");
    burn->click();
    Field(page, "1011")->clear();
    rig.Offer("nor.bin", Pattern(20000, 3));
    Button(page, "1037")->click();
    burn->click();
    QCOMPARE(boxes.Texts(), (QStringList{page_text::kChooseImageFile, page_text::kInputExecuteAddress}));
    QVERIFY(!page->WorkerRunning());

    Field(page, "1011")->setText("0");
    rig.Board().InjectFault({sim::FaultKind::kShortChunkAck, sim::Operation::kBurn, sim::Medium::kNor, 2, 0});
    boxes.Clear();
    burn->click();
    // Chunk 1 of 5 was acknowledged; the board holds back the second one.
    QVERIFY(QTest::qWaitFor([&] { return page->ProgressBar()->value() == 20; }, 10000));
    // Nothing else on the page may start while the transfer holds the port.
    QVERIFY(!Button(page, "1037")->isEnabled());
    burn->click();
    QVERIFY(QTest::qWaitFor([&] { return !page->WorkerRunning() && burn->text() == "Burn"; }, 10000));
    // The operation says nothing of an abort; the page says the burn failed.
    QCOMPARE(boxes.Texts(), (QStringList{page_text::kConfirmOperation, page_text::kBurnFailed}));
    QVERIFY(!Button(page, "1040")->isEnabled());
    QVERIFY(Button(page, "3041")->isEnabled());
    QCOMPARE(page->ProgressBar()->value(), 0);
  }

  // The builder opens modally; the test makes the ROM in it (NAND) or
  // cancels it, and notes which dialog it was.
  void makeRomOpensTheBuilder_data() {
    testing::AddRows(kTable, "makeRom",
                     {"index", "button", "connect", "code", "dialog", "blockSize", "message"});
  }
  void makeRomOpensTheBuilder() {
    const testing::Cells row;
    const uint32_t made = row.Number("blockSize");
    PageRig rig(PageRig::Options(sim::BoardKind::kVcom, row["code"].toInt()));
    if (row.Yes("connect")) QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show<RawDataPage>(row["index"].toInt());
    const std::string rom = rig.Folder().File("made.bin");
    if (made != 0) {
      RomImage image;
      image.path = rig.Folder().Put("system.bin", Pattern(3000, 6));
      image.name = "system";
      image.kind = RomImageKind::kSystem;
      RecordingPrompt quiet;
      const RomList list(RomListKind::kNand,
                         RomList::PathIn(rig.Folder().ModuleDirectory(), RomListKind::kNand));
      QVERIFY(list.Add(image, quiet).has_value());
      rig.Files().Answer(rom);
    }
    QString opened;
    testing::Steps intercept;
    intercept.OnModal<MakeRomDialog>([&](MakeRomDialog* dialog) {
      opened = dialog->objectName();
      if (made == 0) return dialog->reject();
      dialog->findChild<QPushButton*>("make")->click();
    });
    BoxAnswerer boxes;
    Button(page, qPrintable(row["button"]))->click();
    QCOMPARE(opened, row["dialog"]);
    if (!row["message"].isEmpty()) QCOMPARE(boxes.Texts(), QStringList{row["message"]});
    // The page takes the ROM made for the board's block size, and its count.
    QCOMPARE(page->FilePath(), made == 0 ? std::string() : rom);
    if (made == 0) return;
    QCOMPARE(Field(page, "1145")->text(), QString("1"));
    QCOMPARE(LoadLe32(&ReadFile(rom).at(8)), made);
  }

  void spiReadBackAndItsFilesAcrossARestart_data() {
    testing::AddRows(kTable, "spiRead", {"blocks", "saveFile", "message"});
  }
  void spiReadBackAndItsFilesAcrossARestart() {
    const testing::Cells row;
    PageRig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Connect());
    const std::vector<uint8_t> data = Pattern(5000, 8);
    QVERIFY(rig.Board().PutImage(sim::Medium::kSpi, {.number = 1, .name = {}, .start = 1},
                                 data));  // the second 64 KB bank
    auto* page = rig.Show<CSpiRawPage>(kSpiRaw);
    const std::string image = rig.Offer("image.bin", data);
    Button(page, "1188")->click();
    const std::string save = rig.Folder().File("read back.bin");
    if (row.Yes("saveFile")) rig.Files().Answer(save);
    Button(page, "1189")->click();
    Field(page, "1235")->setText(row["blocks"]);
    BoxAnswerer boxes;
    QVERIFY(PageRig::Run(page, Button(page, "1050")));
    QCOMPARE(boxes.Texts(), QStringList{row["message"]});
    QVERIFY(AllButtonsEnabled(page));
    const std::vector<uint8_t> back = ReadFile(save);
    const bool read = row["message"] == page_text::kReadOk;
    QCOMPARE(back.size(), read ? size_t{196608} : size_t{0});
    if (read) QVERIFY(back == rig.Board().Flash(sim::Medium::kSpi, 0, 196608));
    if (read) QVERIFY(std::equal(data.begin(), data.end(), back.begin() + 65536));

    // Both files are remembered in "path.ini" for the next window.
    rig.CloseWindow();
    rig.OpenWindow();
    page = rig.Show<CSpiRawPage>(kSpiRaw);
    QCOMPARE(Field(page, "1043")->text(), QString::fromStdString(" " + image));
    QCOMPARE(page->SavePath(), row.Yes("saveFile") ? save : std::string());
  }

  void twoImagesMakeTheRomTheBuilderMakes_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("nor") << int(RomListKind::kNor);
    QTest::newRow("nand") << int(RomListKind::kNand);
    QTest::newRow("spi") << int(RomListKind::kSpi);
  }

  void twoImagesMakeTheRomTheBuilderMakes() {
    QFETCH(int, kind);
    const auto medium = static_cast<RomListKind>(kind);
    PageRig rig(sim::BoardKind::kQuen);  // the window is the dialogs' host
    const std::string folder = rig.Folder().ModuleDirectory();
    PageHost& host = rig.Window();
    BoxAnswerer boxes;
    if (medium == RomListKind::kNor) rig.Offer("boot_loader.bin", Pattern(4000, 1));
    rig.Offer("first_image_name_x.bin", Pattern(70000, 2));
    rig.Offer("second.img", Pattern(1000, 3));
    const std::string rom = folder + "out.bin";
    rig.Files().Answer(rom);
    const struct {
      const char *number, *kind, *start;
    } images[] = {{medium == RomListKind::kNor ? "1" : "0", "System Image", "00020000"},
                  {"3", "RomFS", medium == RomListKind::kSpi ? "00100000" : "00040000"}};

    testing::Steps steps;
    steps.OnModal<MakeRomDialog>([](MakeRomDialog* dialog) {
      if (auto* name = dialog->findChild<QLineEdit*>("imageName")) {
        QTest::keyClick(name, Qt::Key_Return);  // Enter never closes it
        QTest::keyClicks(Child<QLineEdit>(dialog, "mac"), "0011223344aa");
        Child<IpAddressEdit>(dialog, "ip")->SetAddress({10, 0, 0, 9});
        Child<QPushButton>(dialog, "bootBrowse")->click();
      }
      Child<QPushButton>(dialog, "add")->click();
    });
    for (const auto& image : images) {
      steps.OnModal<RomImageDialog>([&image](RomImageDialog* dialog) {
        Child<QLineEdit>(dialog, "number")->setText(image.number);
        Child<QPushButton>(dialog, "browse")->click();
        if (auto* kindButton = dialog->findChild<QRadioButton*>(image.kind)) kindButton->click();
        if (auto* base = dialog->findChild<QLineEdit*>("base")) base->setText(image.start);
        if (auto* start = dialog->findChild<QLineEdit*>("start"); start && start->isEnabled())
          start->setText(image.start);
        Child<QPushButton>(dialog, "ok")->click();
      });
      steps.OnModal<MakeRomDialog>([&, last = &image == &images[1]](MakeRomDialog* dialog) {
        if (!last) return Child<QPushButton>(dialog, "add")->click();
        const char* names[] = {"make_rom_nor.png", "make_rom_nand.png", "make_rom_spi.png"};
        testing::SaveArtifact(dialog, names[kind]);
        Child<QPushButton>(dialog, "make")->click();
      });
    }
    const MakeRomOutcome outcome = medium == RomListKind::kNor    ? ExecMakeRomNorDlg(host, nullptr)
                                   : medium == RomListKind::kNand ? ExecMakeRomNandDlg(host, 0x4000, nullptr)
                                                                  : ExecMakeRomSpiDlg(host, nullptr);
    QVERIFY(steps.Done());
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.romPath, rom);
    QCOMPARE(outcome.imageCount, medium == RomListKind::kNand ? 2 : 0);
    QCOMPARE(boxes.Texts(), QStringList{"creation success !!"});

    // The same list file, built by the builders into another file.
    ProfileReader list;
    list.SetPath(RomList::PathIn(folder, medium));
    QVERIFY(list.ReadFile());
    QCOMPARE(list.GetValue(std::string("Image ") + images[0].number, "Name"), std::string("first_image_nam"));
    const std::string again = folder + "again.bin", ini = folder + "again.ini";
    list.SetValue("Target Image", "Image", again, true);
    list.SetPath(ini);
    QVERIFY(list.WriteFile());
    RecordingPrompt prompt;
    QCOMPARE(medium == RomListKind::kNor    ? NorRomBuilder(NorRomRequest{ini}, prompt)
             : medium == RomListKind::kNand ? NandRomBuilder(NandRomRequest{ini, 2}, prompt)
                                            : SpiRomBuilder(SpiRomRequest{ini}, prompt),
             0);
    QCOMPARE(ReadFile(rom), ReadFile(again));

    // The list is still there when the dialog opens again.
    std::unique_ptr<MakeRomDialog> reopened;
    if (medium == RomListKind::kNor) reopened = std::make_unique<CMakeRomNorDlg>(host, nullptr);
    if (medium == RomListKind::kNand) reopened = std::make_unique<CMakeRomNandDlg>(host, 0x4000, nullptr);
    if (medium == RomListKind::kSpi) reopened = std::make_unique<CMakeRomSpiDlg>(host, nullptr);
    QCOMPARE(reopened->ImageList()->ItemCount(), 2);
    QCOMPARE(reopened->ImageList()->ItemText(1, 0), QString("3"));
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::RawPagesTest)
#include "raw_pages_test.moc"
