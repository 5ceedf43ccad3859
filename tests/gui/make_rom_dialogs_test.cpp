// The Make ROM dialogs driven as a person would: two images added through
// their image dialogs, the ROM made, and the file compared with what the
// builders make from the same list file.
#include <deque>
#include <functional>

#include "app/profile_reader.h"
#include "controls/ip_address_edit.h"
#include "page_rig.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/spi_rom_builder.h"
#include "rom/ui/rom_dialogs.h"

namespace zorbel {
namespace {

// Steps that each wait for their moment; an act may open a modal dialog, in
// whose loop the next steps run.
class Steps {
 public:
  void Then(std::function<bool()> ready, std::function<void()> act) { steps_.push_back({ready, act}); }
  void Start() { Schedule(); }
  bool Done() const { return steps_.empty(); }

 private:
  // Timers die with the steps, also when a test ends early.
  void Schedule() {
    QTimer::singleShot(10, &guard_, [this] { Poll(); });
  }
  void Poll() {
    if (steps_.empty()) return;
    if (!steps_.front().first()) return Schedule();
    const auto act = steps_.front().second;
    steps_.pop_front();
    Schedule();
    act();
  }
  std::deque<std::pair<std::function<bool()>, std::function<void()>>> steps_;
  QObject guard_;
};

template <typename T>
T* Modal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  if (child == nullptr) qFatal("no %s", name);
  return child;
}

}  // namespace

class MakeRomDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void twoImagesMakeTheRomTheBuilderMakes_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("nor") << int(RomListKind::kNor);
    QTest::newRow("nand") << int(RomListKind::kNand);
    QTest::newRow("spi") << int(RomListKind::kSpi);
  }

  void twoImagesMakeTheRomTheBuilderMakes() {
    QFETCH(int, kind);
    const auto medium = static_cast<RomListKind>(kind);
    testing::PageRig rig(sim::BoardKind::kQuen);  // the window is the dialogs' host
    const std::string folder = rig.Folder().ModuleDirectory();
    PageHost& host = rig.Window();
    testing::BoxAnswerer boxes;
    if (medium == RomListKind::kNor) rig.Offer("boot_loader.bin", testing::Pattern(4000, 1));
    rig.Offer("first_image_name_x.bin", testing::Pattern(70000, 2));
    rig.Offer("second.img", testing::Pattern(1000, 3));
    const std::string rom = folder + "out.bin";
    rig.Files().Answer(rom);
    // Number, kind, start of each image.
    const struct {
      const char* number;
      const char* kind;
      const char* start;
    } images[] = {{medium == RomListKind::kNor ? "1" : "0", "System Image", "00020000"},
                  {"3", "RomFS", medium == RomListKind::kSpi ? "00100000" : "00040000"}};

    Steps steps;
    steps.Then(Modal<MakeRomDialog>, [] {
      MakeRomDialog* dialog = Modal<MakeRomDialog>();
      if (auto* name = dialog->findChild<QLineEdit*>("imageName")) {
        QTest::keyClick(name, Qt::Key_Return);  // Enter never closes it
        QTest::keyClicks(Child<QLineEdit>(dialog, "mac"), "0011223344aa");
        Child<IpAddressEdit>(dialog, "ip")->SetAddress({10, 0, 0, 9});
        Child<QPushButton>(dialog, "bootBrowse")->click();
      }
      Child<QPushButton>(dialog, "add")->click();
    });
    for (const auto& image : images) {
      steps.Then(Modal<RomImageDialog>, [&image] {
        RomImageDialog* dialog = Modal<RomImageDialog>();
        Child<QLineEdit>(dialog, "number")->setText(image.number);
        Child<QPushButton>(dialog, "browse")->click();
        if (auto* kindButton = dialog->findChild<QRadioButton*>(image.kind)) kindButton->click();
        if (auto* base = dialog->findChild<QLineEdit*>("base")) base->setText(image.start);
        if (auto* start = dialog->findChild<QLineEdit*>("start"); start && start->isEnabled())
          start->setText(image.start);
        Child<QPushButton>(dialog, "ok")->click();
      });
      steps.Then(Modal<MakeRomDialog>, [&, last = &image == &images[1]] {
        MakeRomDialog* dialog = Modal<MakeRomDialog>();
        if (!last) return Child<QPushButton>(dialog, "add")->click();
        const char* names[] = {"make_rom_nor.png", "make_rom_nand.png", "make_rom_spi.png"};
        QDir().mkpath(ZORBEL_ARTIFACT_DIR);
        dialog->grab().save(QString(ZORBEL_ARTIFACT_DIR "/") + names[kind]);
        Child<QPushButton>(dialog, "make")->click();
      });
    }
    steps.Start();
    MakeRomOutcome outcome;
    if (medium == RomListKind::kNor) outcome = ExecMakeRomNorDlg(host, nullptr);
    if (medium == RomListKind::kNand) outcome = ExecMakeRomNandDlg(host, 0x4000, nullptr);
    if (medium == RomListKind::kSpi) outcome = ExecMakeRomSpiDlg(host, nullptr);
    QVERIFY(steps.Done());
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.romPath, rom);
    QCOMPARE(outcome.imageCount, medium == RomListKind::kNand ? 2 : 0);
    QCOMPARE(boxes.Texts(), std::vector<std::string>{"creation success !!"});

    // The same list file, built by the builders into another file.
    const std::string listFile = RomList::PathIn(folder, medium);
    ProfileReader list;
    list.SetPath(listFile);
    QVERIFY(list.ReadFile());
    QCOMPARE(list.GetValue(std::string("Image ") + images[0].number, "Name"), std::string("first_image_nam"));
    const std::string again = folder + "again.bin";
    list.SetValue("Target Image", "Image", again, true);
    list.SetPath(folder + "again.ini");
    QVERIFY(list.WriteFile());
    RecordingPrompt prompt;
    int built = -1;
    if (medium == RomListKind::kNor) built = NorRomBuilder(NorRomRequest{folder + "again.ini"}, prompt);
    if (medium == RomListKind::kNand) built = NandRomBuilder(NandRomRequest{folder + "again.ini", 2}, prompt);
    if (medium == RomListKind::kSpi) built = SpiRomBuilder(SpiRomRequest{folder + "again.ini"}, prompt);
    QCOMPARE(built, 0);
    QCOMPARE(testing::ReadFile(rom), testing::ReadFile(again));

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

QTEST_MAIN(zorbel::MakeRomDialogsTest)
#include "make_rom_dialogs_test.moc"
