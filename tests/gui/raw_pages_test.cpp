// The raw-data pages against the virtual board: burn and verify per medium
// and wire checked in the board's flash, the NAND ROM check and conversion,
// the builder's block size, the SPI read-back and its refusals, and the
// remembered SPI files.
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/byte_order.h"
#include "app/clock.h"
#include "app/file_chooser.h"
#include "app/profile_reader.h"
#include "app/tool_state.h"
#include "app/ui/main_window.h"
#include "controls/mac_progress_ctrl.h"
#include "gui_test_support.h"
#include "pages/raw/nand_raw_page.h"
#include "pages/raw/nor_raw_page.h"
#include "pages/raw/spi_raw_page.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "rom/rom_list.h"
#include "rom/rom_messages.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

using testing::BoxAnswerer;

constexpr int kNandRawIndex = 2;
constexpr int kNorRawIndex = 4;
constexpr int kSpiRawIndex = 6;

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 13 + seed) % 251);
  return v;
}

// A NAND ROM file laid out by hand for blockSize: header, then per image its
// 64-byte header, data and erase fill.
std::vector<uint8_t> NandRom(uint32_t blockSize, const std::vector<std::vector<uint8_t>>& images) {
  std::vector<uint8_t> f = {'Q', 'K', 0x5A, 0xA5};
  AppendLe32(f, static_cast<uint32_t>(images.size()));
  AppendLe32(f, blockSize);
  for (size_t i = 0; i < images.size(); ++i) {
    std::vector<uint8_t> h(64, 0);
    StoreLe32(&h[0], static_cast<uint32_t>(i + 1));
    StoreLe32(&h[44], static_cast<uint32_t>(i * 4 + 1));
    std::copy(f.begin(), f.begin() + 4, h.begin() + 48);
    StoreLe32(&h[56], static_cast<uint32_t>(images[i].size()));
    f.insert(f.end(), h.begin(), h.end());
    f.insert(f.end(), images[i].begin(), images[i].end());
    const size_t rest = (images[i].size() + 16) % blockSize;
    if (rest != 0) f.insert(f.end(), blockSize - rest, 0xFF);
  }
  return f;
}

class RawRig {
 public:
  explicit RawRig(sim::BoardKind kind, uint8_t nandCode = 1) : board_(Options(kind, nandCode, &clock_)) {
    state_.moduleDirectory = folder_.ModuleDirectory();
    OpenWindow();
  }
  void OpenWindow() {
    window_ = std::make_unique<MainWindow>(state_, board_.Bus(), clock_);
    window_->SetFileChooser(files_);
    window_->show();
  }
  void CloseWindow() { window_.reset(); }
  bool Connect() {
    window_->OnConnect();
    return QTest::qWaitFor(
        [&] {
          const auto& c = state_.connection;
          return !window_->Connecting() && window_->Pages().Page(0)->isEnabled() &&
                 (c.vcomConnected != 0 || c.massStorageConnected != 0);
        },
        60000);
  }
  // Over the COM port the page is picked as a person does; the disk's
  // selector leads to the SDRAM page only, so the page is shown directly.
  template <typename Page>
  Page* Show(int index) {
    if (state_.connection.vcomConnected != 0) {
      auto* selector = window_->findChild<QComboBox*>("1000");
      selector->setCurrentIndex(index);
      emit selector->activated(index);
    } else {
      window_->Pages().Show(index);
    }
    return qobject_cast<Page*>(window_->Pages().Page(index));
  }
  static QPushButton* Button(QWidget* page, const char* id) { return page->findChild<QPushButton*>(id); }
  static QLineEdit* Field(QWidget* page, const char* id) { return page->findChild<QLineEdit*>(id); }
  // Presses a button and waits until its page is idle again.
  static bool Run(OperationPage* page, const char* id) {
    QPushButton* button = Button(page, id);
    const QString idle = button->text();
    button->click();
    return QTest::qWaitFor(
        [&] { return !page->WorkerRunning() && button->isEnabled() && button->text() == idle; }, 30000);
  }
  std::string File(const char* name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_.File(name);
    Write(path, bytes);
    return path;
  }
  std::string PathValue(const char* section, const char* key) {
    ProfileReader reader;
    reader.SetPath(folder_.File("path.ini"));
    return reader.ReadFile() ? reader.GetValue(section, key) : std::string();
  }

  ScriptedFileChooser& Files() { return files_; }
  sim::VirtualBoard& Board() { return board_; }
  ToolState& State() { return state_; }
  MainWindow& Window() { return *window_; }
  const testing::ScratchFolder& Folder() const { return folder_; }

 private:
  static sim::BoardOptions Options(sim::BoardKind kind, uint8_t nandCode, Clock* clock) {
    sim::BoardOptions options;
    options.kind = kind;
    options.nandBlockSizeCode = nandCode;
    options.clock = clock;
    return options;
  }

  testing::ScratchFolder folder_;
  FakeClock clock_;
  sim::VirtualBoard board_;
  ToolState state_;
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> window_;
};

void SaveArtefact(QWidget& window, const char* name) {
  QVERIFY(QDir().mkpath(ZORBEL_ARTIFACT_DIR));
  QVERIFY(window.grab().save(QString(ZORBEL_ARTIFACT_DIR) + "/" + name));
}

bool AllButtonsEnabled(QWidget* page) {
  for (QPushButton* b : page->findChildren<QPushButton*>()) {
    if (!b->isEnabled()) return false;
  }
  return true;
}

}  // namespace

class RawPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void norBurnWithTheOffsetEmptiedIsRefused() {
    RawRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    auto* page = rig.Show<CNorRawPage>(kNorRawIndex);
    // The board's NOR type is read once the page is shown.
    QVERIFY(QTest::qWaitFor([&] { return RawRig::Field(page, "1091")->text() == "VNOR-29LV320"; }, 10000));
    QCOMPARE(RawRig::Field(page, "1011")->text(), QString("0"));
    rig.Files().Answer(rig.File("nor.bin", Pattern(5000, 1)));
    RawRig::Button(page, "1037")->click();
    QCOMPARE(RawRig::Field(page, "1036")->text(), QString::fromStdString(" " + rig.Folder().File("nor.bin")));
    RawRig::Field(page, "1011")->clear();
    BoxAnswerer boxes;
    RawRig::Button(page, "1039")->click();
    QCOMPARE(boxes.Texts(), std::vector<std::string>{page_text::kInputExecuteAddress});
    QVERIFY(!page->WorkerRunning());
    QCOMPARE(RawRig::Button(page, "1039")->text(), QString("Burn"));
  }

  void burnThenVerifyLandsInTheFlash_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("burnOk");
    QTest::addColumn<QString>("artefact");
    QTest::newRow("NOR, COM port") << int(sim::BoardKind::kVcom) << kNorRawIndex << "20000"
                                   << page_text::kBurnOk << "nor_raw_page.png";
    QTest::newRow("NOR, disk") << int(sim::BoardKind::kQuen) << kNorRawIndex << "1F000"
                               << page_text::kDownloadOk << "";
    QTest::newRow("SPI, COM port") << int(sim::BoardKind::kVcom) << kSpiRawIndex << "" << page_text::kBurnOk
                                   << "spi_raw_page.png";
    QTest::newRow("SPI, disk") << int(sim::BoardKind::kQuen) << kSpiRawIndex << "" << page_text::kBurnOk
                               << "";
  }
  void burnThenVerifyLandsInTheFlash() {
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(QString, offset);
    QFETCH(QString, burnOk);
    QFETCH(QString, artefact);
    RawRig rig(static_cast<sim::BoardKind>(kind));
    QVERIFY(rig.Connect());
    auto* page = rig.Show<RawDataPage>(index);
    const bool nor = index == kNorRawIndex;
    const std::vector<uint8_t> data = Pattern(70000, 7);  // chunks of both wires, and a short last one
    rig.Files().Answer(rig.File("raw.bin", data));
    RawRig::Button(page, nor ? "1037" : "1188")->click();
    if (nor) RawRig::Field(page, "1011")->setText(offset);
    BoxAnswerer boxes;
    QVERIFY(RawRig::Run(page, nor ? "1039" : "1047"));
    QCOMPARE(boxes.Texts(), (std::vector<std::string>{page_text::kConfirmOperation, burnOk.toStdString()}));
    const sim::Medium medium = nor ? sim::Medium::kNor : sim::Medium::kSpi;
    const uint32_t at = offset.toUInt(nullptr, 16);
    QVERIFY(rig.Board().Flash(medium, at, static_cast<uint32_t>(data.size())) == data);
    boxes.Clear();
    QVERIFY(RawRig::Run(page, nor ? "1040" : "1049"));
    QCOMPARE(boxes.Texts(), std::vector<std::string>{page_text::kVerifyOk});
    QVERIFY(rig.Board().ProtocolErrors().empty());
    // Every button is back; NOR's builder only while no disk is connected.
    const bool disk = rig.State().connection.massStorageConnected != 0;
    QCOMPARE(AllButtonsEnabled(page), !(nor && disk));
    if (nor) QCOMPARE(RawRig::Button(page, "3041")->isEnabled(), !disk);
    if (!artefact.isEmpty()) SaveArtefact(rig.Window(), artefact.toUtf8().constData());
  }

  void abortedComBurnSaysBurnFailedAndLeavesVerifyDisabled() {
    RawRig rig(sim::BoardKind::kVcom);
    QVERIFY(rig.Connect());
    auto* page = rig.Show<CNorRawPage>(kNorRawIndex);
    rig.Files().Answer(rig.File("nor.bin", Pattern(20000, 3)));
    RawRig::Button(page, "1037")->click();
    rig.Board().InjectFault({sim::FaultKind::kShortChunkAck, sim::Operation::kBurn, sim::Medium::kNor, 2, 0});
    BoxAnswerer boxes;
    QPushButton* burn = RawRig::Button(page, "1039");
    burn->click();
    // Chunk 1 of 5 was acknowledged; the board holds back the second one.
    QVERIFY(QTest::qWaitFor([&] { return page->ProgressBar()->value() == 20; }, 10000));
    QCOMPARE(burn->text(), QString("Abort"));
    // Nothing else on the page may start while the transfer holds the port.
    QVERIFY(!RawRig::Button(page, "1040")->isEnabled());
    QVERIFY(!RawRig::Button(page, "1037")->isEnabled());
    QVERIFY(!RawRig::Button(page, "3041")->isEnabled());
    burn->click();
    QVERIFY(QTest::qWaitFor([&] { return !page->WorkerRunning() && burn->text() == "Burn"; }, 10000));
    QVERIFY(boxes.WaitFor(page_text::kBurnFailed, 5000));
    QVERIFY(burn->isEnabled());
    QVERIFY(!RawRig::Button(page, "1040")->isEnabled());
    QVERIFY(RawRig::Button(page, "3041")->isEnabled());
    QCOMPARE(page->ProgressBar()->value(), 0);
  }

  void nandRomIsCheckedConvertedOnBrowseAndBurnt() {
    RawRig rig(sim::BoardKind::kVcom, 2);  // the board's NAND has 128 KB blocks
    QVERIFY(rig.Connect());
    auto* page = rig.Show<CNandRawPage>(kNandRawIndex);
    BoxAnswerer boxes;
    // A raw dump without the header is refused, and its folder not remembered.
    rig.Files().Answer(rig.File("dump.bin", Pattern(3000, 2)));
    RawRig::Button(page, "1089")->click();
    QCOMPARE(boxes.Texts(), std::vector<std::string>{page_text::kInvalidNandImage});
    QVERIFY(page->FilePath().empty());
    QCOMPARE(rig.PathValue("PATH", "RAWNAND"), std::string());

    const std::vector<std::vector<uint8_t>> images = {Pattern(1000, 4), Pattern(40000, 5)};
    const std::string rom = rig.File("rom.bin", NandRom(16384, images));
    boxes.Clear();
    rig.Files().Answer(rom);
    RawRig::Button(page, "1089")->click();
    QCOMPARE(boxes.Texts(),
             (std::vector<std::string>{rom_text::kBlockSizeMismatch, rom_text::kConvertSuccess}));
    QVERIFY(Bytes(rom) == NandRom(131072, images));
    QCOMPARE(RawRig::Field(page, "1145")->text(), QString("2"));
    QCOMPARE(page->FilePath(), rom);
    QCOMPARE(rig.PathValue("PATH", "RAWNAND"), rig.Folder().ModuleDirectory());
    // The conversion left nothing beside the file.
    for (const auto& entry : std::filesystem::directory_iterator(rig.Folder().Path())) {
      QVERIFY2(entry.path().filename().string().find("rom.bin") == std::string::npos ||
                   entry.path() == std::filesystem::path(rom),
               entry.path().string().c_str());
    }

    boxes.Clear();
    QVERIFY(RawRig::Run(page, "1088"));
    QCOMPARE(boxes.Texts(), (std::vector<std::string>{page_text::kConfirmOperation, page_text::kBurnOk}));
    QVERIFY(rig.Board().ImageData(sim::Medium::kNand, 1) == images[0]);
    QVERIFY(rig.Board().ImageData(sim::Medium::kNand, 2) == images[1]);
    boxes.Clear();
    QVERIFY(RawRig::Run(page, "1091"));
    QCOMPARE(boxes.Texts(), std::vector<std::string>{page_text::kVerifyOk});
    QVERIFY(rig.Board().ProtocolErrors().empty());
    SaveArtefact(rig.Window(), "nand_raw_page.png");
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
    QTest::newRow("NAND, no COM port") << kNandRawIndex << false << 1 << "CMakeRomNandDlg" << 0x4000u << "";
    QTest::newRow("NAND, reply 2") << kNandRawIndex << true << 2 << "CMakeRomNandDlg" << 0x20000u << "";
    QTest::newRow("NAND, reply 0xFF")
        << kNandRawIndex << true << 0xFF << "" << 0u << rom_text::kBlockSizeError;
    QTest::newRow("NAND, reply 7") << kNandRawIndex << true << 7 << "" << 0u << rom_text::kUnknownBlockSize;
    QTest::newRow("NOR") << kNorRawIndex << true << 1 << "CMakeRomNorDlg" << 0u << "";
    QTest::newRow("SPI") << kSpiRawIndex << true << 1 << "CMakeRomSpiDlg" << 0u << "";
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
    auto* page = rig.Show<RawDataPage>(index);
    const std::string rom = rig.Folder().File("made.bin");
    if (blockSize != 0) {
      RomImage image;
      image.path = rig.File("system.bin", Pattern(3000, 6));
      image.name = "system";
      image.kind = RomImageKind::kSystem;
      RecordingPrompt quiet;
      const RomList list(RomListKind::kNand,
                         RomList::PathIn(rig.Folder().ModuleDirectory(), RomListKind::kNand));
      QVERIFY(list.Add(image, quiet).has_value());
      rig.Files().Answer(rom);
    }
    QString opened;
    QTimer intercept;
    QObject::connect(&intercept, &QTimer::timeout, [&] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (modal == nullptr || qobject_cast<QMessageBox*>(modal) != nullptr || !opened.isEmpty()) return;
      opened = modal->objectName();
      if (blockSize != 0) {
        modal->findChild<QPushButton*>("make")->click();
      } else {
        modal->reject();
      }
    });
    intercept.start(10);
    BoxAnswerer boxes;
    RawRig::Button(page, index == kNandRawIndex ? "1124" : index == kNorRawIndex ? "3041" : "1148")->click();
    QCOMPARE(opened, dialog);
    if (!message.isEmpty()) QCOMPARE(boxes.Texts(), std::vector<std::string>{message.toStdString()});
    if (blockSize == 0) {
      QVERIFY(page->FilePath().empty());
      return;
    }
    // The page takes the ROM made for the board's block size, and its count.
    QCOMPARE(page->FilePath(), rom);
    QCOMPARE(RawRig::Field(page, "1145")->text(), QString("1"));
    const std::vector<uint8_t> made = Bytes(rom);
    QVERIFY(made.size() > 12);
    QCOMPARE(LoadLe32(&made[8]), blockSize);
  }

  void spiReadBack_data() {
    QTest::addColumn<QString>("blocks");
    QTest::addColumn<bool>("saveFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("0 blocks") << "0" << true << page_text::kWrongBlocks;
    QTest::newRow("no count") << "" << true << page_text::kWrongBlocks;
    QTest::newRow("beyond a 32-bit length") << "65536" << true << page_text::kWrongBlocks;
    QTest::newRow("no save file") << "3" << false << page_text::kChooseExportedFile;
    QTest::newRow("3 blocks") << "3" << true << page_text::kReadOk;
  }
  void spiReadBack() {
    QFETCH(QString, blocks);
    QFETCH(bool, saveFile);
    QFETCH(QString, message);
    RawRig rig(sim::BoardKind::kQuen);
    QVERIFY(rig.Connect());
    auto* page = rig.Show<CSpiRawPage>(kSpiRawIndex);
    const std::vector<uint8_t> data = Pattern(5000, 8);
    sim::ImageEntry entry;
    entry.number = 1;
    entry.start = 1;  // the second 64 KB bank
    QVERIFY(rig.Board().PutImage(sim::Medium::kSpi, entry, data));
    const std::string save = rig.Folder().File("back.bin");
    if (saveFile) {
      rig.Files().Answer(save);
      RawRig::Button(page, "1189")->click();
    }
    RawRig::Field(page, "1235")->setText(blocks);
    BoxAnswerer boxes;
    QVERIFY(RawRig::Run(page, "1050"));
    QCOMPARE(boxes.Texts(), std::vector<std::string>{message.toStdString()});
    QVERIFY(AllButtonsEnabled(page));
    const bool read = message == page_text::kReadOk;
    QCOMPARE(std::filesystem::exists(save), read);
    if (!read) return;
    const std::vector<uint8_t> back = Bytes(save);
    QVERIFY(back == rig.Board().Flash(sim::Medium::kSpi, 0, 196608));
    QVERIFY(std::equal(data.begin(), data.end(), back.begin() + 65536));
  }

  void spiFilesSurviveARestartOfTheWindow() {
    RawRig rig(sim::BoardKind::kQuen);
    auto* page = rig.Show<CSpiRawPage>(kSpiRawIndex);
    const std::string image = rig.File("image.bin", Pattern(100, 9));
    const std::string save = rig.Folder().File("read back.bin");
    rig.Files().Answer(image);
    rig.Files().Answer(save);
    RawRig::Button(page, "1188")->click();
    RawRig::Button(page, "1189")->click();
    const auto requests = rig.Files().Requests();
    QCOMPARE(requests.size(), size_t{2});
    QVERIFY(requests[1].save);
    QCOMPARE(requests[1].choice.title, std::string("Choose Saving file..."));
    rig.CloseWindow();
    rig.OpenWindow();
    page = rig.Show<CSpiRawPage>(kSpiRawIndex);
    QCOMPARE(page->FilePath(), image);
    QCOMPARE(page->SavePath(), save);
    QCOMPARE(RawRig::Field(page, "1043")->text(), QString::fromStdString(" " + image));
    QCOMPARE(rig.PathValue("Image", "WriteImage"), image);
    QCOMPARE(rig.PathValue("PATH", "RAWSPI"), rig.Folder().ModuleDirectory());
  }
};

}  // namespace zorbel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zorbel::RawPagesTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "raw_pages_test.moc"
