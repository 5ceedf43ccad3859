// The Make ROM dialogs driven as a person would: two images added through
// their image dialogs, the ROM made, and the file compared with what the
// builders make from the same list file.
#include "app/profile_reader.h"
#include "controls/ip_address_edit.h"
#include "page_rig.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/spi_rom_builder.h"
#include "rom/ui/rom_dialogs.h"

namespace zorbel {
namespace {

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
        QDir().mkpath(ZORBEL_ARTIFACT_DIR);
        dialog->grab().save(QString(ZORBEL_ARTIFACT_DIR "/") + names[kind]);
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
