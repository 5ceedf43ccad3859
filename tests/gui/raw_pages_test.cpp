// The raw-data pages against the virtual board: burn and verify per medium
// and wire checked in the board's flash (a NAND ROM of another block size
// converted on Browse first), refusals and aborts, the Make ROM dialogs, the
// SPI read-back and the remembered SPI files.
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/byte_order.h"
#include "app/clock.h"
#include "app/file_chooser.h"
#include "app/tool_state.h"
#include "app/ui/main_window.h"
#include "controls/mac_progress_ctrl.h"
#include "gui_test_support.h"
#include "pages/raw/nand_raw_page.h"
#include "pages/raw/spi_raw_page.h"
#include "protocol/page_rules.h"
#include "rom/rom_list.h"
#include "rom/rom_messages.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;
using Texts = std::vector<std::string>;

constexpr int kNandRaw = 2;
constexpr int kNorRaw = 4;
constexpr int kSpiRaw = 6;

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 13 + seed) % 251);
  return v;
}

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

class RawRig {
 public:
  explicit RawRig(sim::BoardKind kind, uint8_t nandCode = 1)
      : board_([&] {
          sim::BoardOptions options;
          options.kind = kind;
          options.clock = &clock_;
          options.nandBlockSizeCode = nandCode;
          return options;
        }()) {
    state_.moduleDirectory = folder_.ModuleDirectory();
    OpenWindow();
  }
  void OpenWindow() {
    window_ = std::make_unique<MainWindow>(state_, board_.Bus(), clock_);
    window_->SetFileChooser(files_);
    window_->show();
  }
  bool Connect() {
    window_->OnConnect();
    const auto& c = state_.connection;
    return QTest::qWaitFor(
        [&] {
          return !window_->Connecting() && window_->Pages().Page(0)->isEnabled() &&
                 (c.vcomConnected != 0 || c.massStorageConnected != 0);
        },
        60000);
  }
  // Over the COM port the page is picked as a person does; the disk's
  // selector leads to the SDRAM page only, so the page is shown directly.
  RawDataPage* Show(int index) {
    if (state_.connection.vcomConnected != 0) {
      auto* selector = window_->findChild<QComboBox*>("1000");
      selector->setCurrentIndex(index);
      emit selector->activated(index);
    } else {
      window_->Pages().Show(index);
    }
    return qobject_cast<RawDataPage*>(window_->Pages().Page(index));
  }
  // Presses a button and waits until its page is idle again.
  static bool Run(OperationPage* page, const char* id) {
    QPushButton* button = Button(page, id);
    const QString idle = button->text();
    button->click();
    return QTest::qWaitFor(
        [&] { return !page->WorkerRunning() && button->isEnabled() && button->text() == idle; }, 30000);
  }
  std::string Put(const char* name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_.File(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // A file in the folder, offered as the next file choice.
  std::string Offer(const char* name, const std::vector<uint8_t>& bytes) {
    files_.Answer(Put(name, bytes));
    return folder_.File(name);
  }
  static QPushButton* Button(QWidget* page, const char* id) { return page->findChild<QPushButton*>(id); }
  static QLineEdit* Field(QWidget* page, const char* id) { return page->findChild<QLineEdit*>(id); }

  testing::ScratchFolder folder_;
  FakeClock clock_;
  sim::VirtualBoard board_;
  ToolState state_;
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> window_;
};

bool AllButtonsEnabled(QWidget* page) {
  return std::ranges::all_of(page->findChildren<QPushButton*>(), &QWidget::isEnabled);
}

}  // namespace

class RawPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void burnThenVerifyLandsInTheFlash_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("burnOk");
    QTest::newRow("NOR, COM port") << int(sim::BoardKind::kVcom) << kNorRaw << page_text::kBurnOk;
    QTest::newRow("NOR, disk") << int(sim::BoardKind::kQuen) << kNorRaw << page_text::kDownloadOk;
    QTest::newRow("NAND, COM port") << int(sim::BoardKind::kVcom) << kNandRaw << page_text::kBurnOk;
    QTest::newRow("SPI, COM port") << int(sim::BoardKind::kVcom) << kSpiRaw << page_text::kBurnOk;
    QTest::newRow("SPI, disk") << int(sim::BoardKind::kQuen) << kSpiRaw << page_text::kBurnOk;
  }
  void burnThenVerifyLandsInTheFlash() {
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(QString, burnOk);
    RawRig rig(static_cast<sim::BoardKind>(kind), 2);  // the board's NAND has 128 KB blocks
    QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show(index);
    const char* ids[][3] = {
        {}, {}, {"1089", "1088", "1091"}, {}, {"1037", "1039", "1040"}, {}, {"1188", "1047", "1049"}};
    const auto& [browse, burn, verify] = ids[index];
    const std::vector<uint8_t> data = Pattern(70000, 7);  // chunks of both wires, and a short last one
    BoxAnswerer boxes;
    if (index == kNandRaw) {  // a dump without the ROM header is refused, its folder not remembered
      rig.Offer("dump.bin", data);
      RawRig::Button(page, browse)->click();
      QCOMPARE(boxes.Texts(), Texts{page_text::kInvalidNandImage});
      QVERIFY(page->FilePath().empty() && !std::filesystem::exists(rig.folder_.File("path.ini")));
      boxes.Clear();
    }
    const std::string file = rig.Offer("raw.bin", index == kNandRaw ? NandRom(16384, data) : data);
    RawRig::Button(page, browse)->click();
    if (index == kNandRaw) {
      QCOMPARE(boxes.Texts(), (Texts{rom_text::kBlockSizeMismatch, rom_text::kConvertSuccess}));
      QVERIFY(Bytes(file) == NandRom(131072, data));
      QCOMPARE(RawRig::Field(page, "1145")->text(), QString("1"));
      // The conversion left nothing beside the file.
      for (const auto& entry : std::filesystem::directory_iterator(rig.folder_.Path())) {
        const std::string name = entry.path().filename().string();
        QVERIFY2(name == "raw.bin" || name.find("raw") == std::string::npos, name.c_str());
      }
    }
    if (index == kNorRaw) RawRig::Field(page, "1011")->setText("1F000");
    boxes.Clear();
    QVERIFY(RawRig::Run(page, burn));
    QCOMPARE(boxes.Texts(), (Texts{page_text::kConfirmOperation, burnOk.toStdString()}));
    const uint32_t size = static_cast<uint32_t>(data.size());
    if (index == kNorRaw) QVERIFY(rig.board_.Flash(sim::Medium::kNor, 0x1F000, size) == data);
    if (index == kNandRaw) QVERIFY(rig.board_.ImageData(sim::Medium::kNand, 1) == data);
    if (index == kSpiRaw) QVERIFY(rig.board_.Flash(sim::Medium::kSpi, 0, size) == data);
    boxes.Clear();
    QVERIFY(RawRig::Run(page, verify));
    QCOMPARE(boxes.Texts(), Texts{page_text::kVerifyOk});
    QVERIFY(rig.board_.ProtocolErrors().empty());
    // Every button is back; NOR's builder only while no disk is connected.
    const bool disk = rig.state_.connection.massStorageConnected != 0;
    QCOMPARE(AllButtonsEnabled(page), !(index == kNorRaw && disk));
    if (disk) return;
    QVERIFY(QDir().mkpath(ZORBEL_ARTIFACT_DIR));
    QVERIFY(rig.window_->grab().save(QString(ZORBEL_ARTIFACT_DIR "/") + page->objectName() + ".png"));
  }

  void norRefusalsAndAnAbortedBurn() {
    RawRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show(kNorRaw);
    // The board's NOR type is read once the page is shown.
    QVERIFY(QTest::qWaitFor([&] { return RawRig::Field(page, "1091")->text() == "VNOR-ZB3200"; }, 10000));
    BoxAnswerer boxes;
    QPushButton* burn = RawRig::Button(page, "1039");
    burn->click();
    RawRig::Field(page, "1011")->clear();
    rig.Offer("nor.bin", Pattern(20000, 3));
    RawRig::Button(page, "1037")->click();
    burn->click();
    QCOMPARE(boxes.Texts(), (Texts{page_text::kChooseImageFile, page_text::kInputExecuteAddress}));
    QVERIFY(!page->WorkerRunning());

    RawRig::Field(page, "1011")->setText("0");
    rig.board_.InjectFault({sim::FaultKind::kShortChunkAck, sim::Operation::kBurn, sim::Medium::kNor, 2, 0});
    boxes.Clear();
    burn->click();
    // Chunk 1 of 5 was acknowledged; the board holds back the second one.
    QVERIFY(QTest::qWaitFor([&] { return page->ProgressBar()->value() == 20; }, 10000));
    // Nothing else on the page may start while the transfer holds the port.
    QVERIFY(!RawRig::Button(page, "1037")->isEnabled());
    burn->click();
    QVERIFY(QTest::qWaitFor([&] { return !page->WorkerRunning() && burn->text() == "Burn"; }, 10000));
    // The operation says nothing of an abort; the page says the burn failed.
    QCOMPARE(boxes.Texts(), (Texts{page_text::kConfirmOperation, page_text::kBurnFailed}));
    QVERIFY(!RawRig::Button(page, "1040")->isEnabled());
    QVERIFY(RawRig::Button(page, "3041")->isEnabled());
    QCOMPARE(page->ProgressBar()->value(), 0);
  }

  // The builder opens modally; the test makes the ROM in it (NAND) or
  // cancels it, and notes which dialog it was.
  void makeRomOpensTheBuilder_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<uint>("blockSize");  // of the ROM made; 0: cancelled
    QTest::addColumn<QString>("message");
    QTest::newRow("NAND, no COM port") << kNandRaw << false << 1 << "CMakeRomNandDlg" << 0x4000u << "";
    QTest::newRow("NAND, reply 2") << kNandRaw << true << 2 << "CMakeRomNandDlg" << 0x20000u << "";
    QTest::newRow("NAND, reply 0xFF") << kNandRaw << true << 0xFF << "" << 0u << rom_text::kBlockSizeError;
    QTest::newRow("NAND, reply 7") << kNandRaw << true << 7 << "" << 0u << rom_text::kUnknownBlockSize;
    QTest::newRow("NOR") << kNorRaw << true << 1 << "CMakeRomNorDlg" << 0u << "";
    QTest::newRow("SPI") << kSpiRaw << true << 1 << "CMakeRomSpiDlg" << 0u << "";
  }
  void makeRomOpensTheBuilder() {
    QFETCH(int, index);
    QFETCH(bool, connect);
    QFETCH(int, code);
    QFETCH(QString, dialog);
    QFETCH(uint, blockSize);
    QFETCH(QString, message);
    RawRig rig(sim::BoardKind::kVcom, static_cast<uint8_t>(code));
    if (connect) QVERIFY(rig.Connect());
    RawDataPage* page = rig.Show(index);
    const std::string rom = rig.folder_.File("made.bin");
    if (blockSize != 0) {
      RomImage image;
      image.path = rig.Put("system.bin", Pattern(3000, 6));
      image.name = "system";
      image.kind = RomImageKind::kSystem;
      RecordingPrompt quiet;
      const RomList list(RomListKind::kNand,
                         RomList::PathIn(rig.folder_.ModuleDirectory(), RomListKind::kNand));
      QVERIFY(list.Add(image, quiet).has_value());
      rig.files_.Answer(rom);
    }
    QString opened;
    QTimer intercept;
    QObject::connect(&intercept, &QTimer::timeout, [&] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (modal == nullptr || qobject_cast<QMessageBox*>(modal) != nullptr || !opened.isEmpty()) return;
      opened = modal->objectName();
      if (blockSize == 0) return modal->reject();
      modal->findChild<QPushButton*>("make")->click();
    });
    intercept.start(10);
    BoxAnswerer boxes;
    RawRig::Button(page, index == kNandRaw ? "1124" : index == kNorRaw ? "3041" : "1148")->click();
    QCOMPARE(opened, dialog);
    if (!message.isEmpty()) QCOMPARE(boxes.Texts(), Texts{message.toStdString()});
    // The page takes the ROM made for the board's block size, and its count.
    QCOMPARE(page->FilePath(), blockSize == 0 ? std::string() : rom);
    if (blockSize == 0) return;
    QCOMPARE(RawRig::Field(page, "1145")->text(), QString("1"));
    QCOMPARE(LoadLe32(&Bytes(rom).at(8)), blockSize);
  }

  void spiReadBackAndItsFilesAcrossARestart_data() {
    QTest::addColumn<QString>("blocks");
    QTest::addColumn<bool>("saveFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("0 blocks") << "0" << true << page_text::kWrongBlocks;
    QTest::newRow("beyond a 32-bit length") << "65536" << true << page_text::kWrongBlocks;
    QTest::newRow("no save file") << "3" << false << page_text::kChooseExportedFile;
    QTest::newRow("3 blocks") << "3" << true << page_text::kReadOk;
  }
  void spiReadBackAndItsFilesAcrossARestart() {
    QFETCH(QString, blocks);
    QFETCH(bool, saveFile);
    QFETCH(QString, message);
    RawRig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Connect());
    sim::ImageEntry entry;
    entry.number = 1;
    entry.start = 1;  // the second 64 KB bank
    const std::vector<uint8_t> data = Pattern(5000, 8);
    QVERIFY(rig.board_.PutImage(sim::Medium::kSpi, entry, data));
    auto* page = qobject_cast<CSpiRawPage*>(rig.Show(kSpiRaw));
    const std::string image = rig.Offer("image.bin", data);
    RawRig::Button(page, "1188")->click();
    const std::string save = rig.folder_.File("read back.bin");
    if (saveFile) rig.files_.Answer(save);
    RawRig::Button(page, "1189")->click();
    RawRig::Field(page, "1235")->setText(blocks);
    BoxAnswerer boxes;
    QVERIFY(RawRig::Run(page, "1050"));
    QCOMPARE(boxes.Texts(), Texts{message.toStdString()});
    QVERIFY(AllButtonsEnabled(page));
    const std::vector<uint8_t> back = Bytes(save);
    const bool read = message == page_text::kReadOk;
    QCOMPARE(back.size(), read ? size_t{196608} : size_t{0});
    if (read) QVERIFY(back == rig.board_.Flash(sim::Medium::kSpi, 0, 196608));
    if (read) QVERIFY(std::equal(data.begin(), data.end(), back.begin() + 65536));

    // Both files are remembered in "path.ini" for the next window.
    rig.window_.reset();
    rig.OpenWindow();
    page = qobject_cast<CSpiRawPage*>(rig.Show(kSpiRaw));
    QCOMPARE(RawRig::Field(page, "1043")->text(), QString::fromStdString(" " + image));
    QCOMPARE(page->SavePath(), saveFile ? save : std::string());
  }
};

}  // namespace zorbel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zorbel::RawPagesTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "raw_pages_test.moc"
