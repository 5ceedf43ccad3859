#include "rom/ui/rom_dialogs.h"

#include <algorithm>

#include <QButtonGroup>
#include <QHeaderView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/file_chooser.h"
#include "app/paths.h"
#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/label_buddy.h"
#include "controls/ip_address_edit.h"
#include "controls/masked_edit.h"
#include "controls/sortable_list.h"
#include "pages/page_host.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/rom_layout.h"
#include "rom/spi_rom_builder.h"

namespace zorbel {
namespace {

namespace text = rom_list_text;

constexpr const char* kChooseImageTitle = "Choose image file...";
constexpr const char* kChooseBootloaderTitle = "Choose bootloader file...";
constexpr const char* kSetRomTitle = "Set rom bin file...";
constexpr const char* kImageFilter = "Bin,Img Files  (*.bin *.img *.gz);;All Files (*.*)";
constexpr const char* kRomFilter = "Bin Files (*.bin);;All Files (*.*)";
constexpr const char* kNorColumns = "No, 50; Name, 120; Type, 90;Base address, 120;Load address, 120";
constexpr const char* kNandColumns =
    "No, 25; Name, 90; Type, 80;Execute address,\t\t100;Start block, 100;End block, 120";
constexpr const char* kSpiColumns =
    "No, 25; Name, 90; Type, 80;Execute address,\t\t100;Start offset, 100;End offset, 120";
constexpr const char* kStartBankLabel = "Image start bank : 0x";
constexpr const char* kStartOffsetLabel = "Image start offset : 0x";
constexpr const char* kStartBlockLabel = "Image start block : 0x";
constexpr const char* kSystemExec = "200";
constexpr const char* kSystemStart = "0";
constexpr int kNameMax = 32;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// A label for a field, tied to it, so screen readers and Alt keys find it.
QLabel* LabelFor(const char* caption, QWidget* field) {
  auto* label = new QLabel(QString::fromUtf8(caption), field->parentWidget());
  TieLabel(label, field);
  return label;
}

// A label and its field side by side; span 0 leaves the field's cells to the caller.
void AddField(QGridLayout* grid, int row, int column, const char* caption, QWidget* field, int span = 1) {
  grid->addWidget(LabelFor(caption, field), row, column);
  if (span > 0) grid->addWidget(field, row, column + 1, 1, span);
}

QLineEdit* NewEdit(QWidget* parent, const char* objectName, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(objectName);
  edit->setMaxLength(maxLength);
  return edit;
}

void SetPattern(QLineEdit* edit, const char* pattern) {
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
}

QPushButton* NewButton(QWidget* parent, const char* caption, const char* objectName) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

std::string StartFolder(const std::string& path) {
  const std::string folder = FolderPart(path);
  return folder.empty() ? std::string(kDefaultFolder) : folder;
}

std::string ChooseImageFile(PageHost& host, const char* title, const std::string& current) {
  FileChoice choice;
  choice.title = title;
  choice.filter = kImageFilter;
  choice.startFolder = StartFolder(current);
  return host.Files().ChooseOpenFile(choice);
}

struct KindButton {
  RomImageKind kind;
  const char* caption;
};
constexpr KindButton kKindButtons[] = {{RomImageKind::kData, "Data"},
                                       {RomImageKind::kExecute, "Execute"},
                                       {RomImageKind::kRomfs, "RomFS"},
                                       {RomImageKind::kSystem, "System Image"},
                                       {RomImageKind::kLogo, "Logo"}};

struct FlagBox {
  bool RomImage::*member;
  const char* caption;
};
constexpr FlagBox kFlagBoxes[] = {{&RomImage::active, "Active"},     {&RomImage::copyToRam, "Copy2RAM"},
                                  {&RomImage::execution, "Exec"},    {&RomImage::file, "File"},
                                  {&RomImage::compressed, "Compressed"}, {&RomImage::romfs, "RomFS"},
                                  {&RomImage::noFooter, "No footer"}};

}  // namespace

// ---- image dialogs ----------------------------------------------------------------

RomImageDialog::RomImageDialog(const char* className, PageHost& host, const RomList& list, const RomImage& image,
                               int previousNumber, const QString& title, QWidget* parent)
    : QDialog(parent), host_(host), list_(list), image_(image), previousNumber_(previousNumber) {
  setObjectName(className);
  setWindowTitle(title);
  const RomListKind kind = list.Kind();
  auto* grid = new QGridLayout(this);
  number_ = NewEdit(this, "number", 2);
  SetPattern(number_, "[0-9]{0,2}");
  number_->setText(QString::number(image.number));
  number_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
  name_ = NewEdit(this, "name", 32767);
  name_->setText(Q(image.name));
  path_ = NewEdit(this, "path", 32767);
  path_->setReadOnly(true);
  path_->setText(Q(image.path));
  path_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
  auto* browse = NewButton(this, "...", "browse");
  browse->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("...")) * 3);
  AddField(grid, 0, 0, "Image No :", number_);
  AddField(grid, 1, 0, "Image Name :", name_, 2);
  AddField(grid, 2, 0, "Image file :", path_, 2);
  grid->addWidget(browse, 2, 3);
  int row = 3;
  if (kind == RomListKind::kNor) {
    auto* box = new QGroupBox(tr("Image type"), this);
    auto* flags = new QGridLayout(box);
    for (const FlagBox& f : kFlagBoxes) {
      auto* check = new QCheckBox(QString::fromUtf8(f.caption), box);
      check->setObjectName(f.caption);
      check->setChecked(image.*f.member);
      flags->addWidget(check, static_cast<int>(flags_.size()) / 4, static_cast<int>(flags_.size()) % 4);
      flags_.push_back(check);
    }
    grid->addWidget(box, row++, 0, 1, 4);
    base_ = HexField(image.base, "base");
    load_ = HexField(image.load, "load");
    AddField(grid, row++, 0, "Base address : 0x", base_);
    AddField(grid, row++, 0, "Load address : 0x", load_);
  } else {
    auto* box = new QGroupBox(tr("Image type"), this);
    auto* radios = new QHBoxLayout(box);
    kinds_ = new QButtonGroup(this);
    for (const KindButton& k : kKindButtons) {
      if (k.kind == RomImageKind::kLogo && kind != RomListKind::kSpi) continue;
      auto* radio = new QRadioButton(QString::fromUtf8(k.caption), box);
      radio->setObjectName(k.caption);
      radio->setChecked(k.kind == image.kind);
      kinds_->addButton(radio, static_cast<int>(k.kind));
      radios->addWidget(radio);
    }
    grid->addWidget(box, row++, 0, 1, 4);
    exec_ = HexField(image.exec, "exec");
    start_ = HexField(image.start, "start");
    const char* startLabel = kind == RomListKind::kNand ? kStartBlockLabel
                             : list.Options().spiBankMode ? kStartBankLabel
                                                          : kStartOffsetLabel;
    AddField(grid, row++, 0, "Execute address : 0x", exec_);
    AddField(grid, row++, 0, startLabel, start_);
    connect(kinds_, &QButtonGroup::idClicked, this, &RomImageDialog::OnKindChosen);
    if (image.kind == RomImageKind::kSystem) OnKindChosen();
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  grid->addWidget(buttons, row, 0, 1, 4);
  grid->setColumnStretch(2, 1);
  connect(browse, &QPushButton::clicked, this, &RomImageDialog::OnBrowse);
  connect(buttons, &QDialogButtonBox::accepted, this, &RomImageDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RomImageDialog::reject);
}

QLineEdit* RomImageDialog::HexField(const std::string& value, const char* objectName) {
  QLineEdit* edit = NewEdit(this, objectName, 8);
  SetPattern(edit, "[0-9A-Fa-f ]{0,8}");
  edit->setText(Q(value));
  return edit;
}

void RomImageDialog::OnBrowse() {
  const std::string path = ChooseImageFile(host_, kChooseImageTitle, image_.path);
  if (path.empty()) return;
  image_.path = path;
  path_->setText(Q(path));
  name_->setText(Q(RomImageName(path, list_.Options().familyMode)));
}

void RomImageDialog::OnKindChosen() {
  const bool system = kinds_->checkedId() == static_cast<int>(RomImageKind::kSystem);
  if (system) {
    const bool bank = list_.Kind() == RomListKind::kSpi && list_.Options().spiBankMode;
    exec_->setText(bank ? QString() : QString::fromLatin1(kSystemExec));
    start_->setText(QString::fromLatin1(kSystemStart));
  }
  exec_->setEnabled(!system);
  start_->setEnabled(!system);
}

void RomImageDialog::ReadFields() {
  bool ok = false;
  image_.number = number_->text().toInt(&ok);
  if (!ok) image_.number = -1;  // refused by the range check
  image_.name = S(name_->text());
  if (base_ != nullptr) {
    for (size_t i = 0; i < flags_.size(); ++i) image_.*kFlagBoxes[i].member = flags_[i]->isChecked();
    image_.base = S(base_->text());
    image_.load = S(load_->text());
  } else {
    if (kinds_->checkedId() >= 0) image_.kind = static_cast<RomImageKind>(kinds_->checkedId());
    image_.exec = S(exec_->text());
    image_.start = S(start_->text());
  }
}

void RomImageDialog::accept() {
  ReadFields();
  if (list_.CheckImage(image_, previousNumber_, host_.Prompt())) QDialog::accept();
}

// ---- Add PHY Type -------------------------------------------------------------------

CAddPhyTypeDlg::CAddPhyTypeDlg(PageHost& host, const RomList& list, const std::vector<std::string>& entries,
                               QWidget* parent)
    : QDialog(parent), host_(host), list_(list), entries_(entries) {
  setObjectName("CAddPhyTypeDlg");
  setWindowTitle(tr("Add PHY Type"));
  auto* layout = new QGridLayout(this);
  name_ = NewEdit(this, "name", kNameMax);
  name_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);
  AddField(layout, 0, 0, "PHY name :", name_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName("ok");
  ok->setEnabled(false);  // an empty name is no type
  layout->addWidget(buttons, 1, 0, 1, 2);
  connect(name_, &QLineEdit::textChanged, ok, [ok](const QString& t) { ok->setEnabled(!t.isEmpty()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddPhyTypeDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAddPhyTypeDlg::reject);
}

std::string CAddPhyTypeDlg::Name() const { return S(name_->text()); }

void CAddPhyTypeDlg::accept() {
  if (list_.CheckPhyName(Name(), entries_, host_.Prompt())) QDialog::accept();
}

// ---- Make ROM dialogs ---------------------------------------------------------------

MakeRomDialog::MakeRomDialog(const char* className, const char* title, PageHost& host, RomListKind kind,
                             RomListOptions options, QWidget* parent)
    : QDialog(parent),
      host_(host),
      romList_(kind, RomList::PathIn(host.State().moduleDirectory, kind), options) {
  setObjectName(className);
  setWindowTitle(QString::fromUtf8(title));
}

void MakeRomDialog::Finish(QWidget* top) {
  auto* layout = new QVBoxLayout(this);
  if (top != nullptr) layout->addWidget(top);
  auto* body = new QHBoxLayout;
  list_ = new SortableList(this);
  list_->setObjectName("list");
  list_->setAccessibleName(tr("Images"));
  const RomListKind kind = romList_.Kind();
  list_->SetColumns(kind == RomListKind::kNor ? kNorColumns : kind == RomListKind::kNand ? kNandColumns : kSpiColumns);
  // Widths are given for a smaller font: a title is never cut.
  int width = 0;
  for (int c = 0; c < list_->ColumnCount(); ++c) {
    const QString title = list_->model()->headerData(c, Qt::Horizontal).toString();
    list_->setColumnWidth(c, std::max(list_->columnWidth(c), fontMetrics().horizontalAdvance(title) + 24));
    width += list_->columnWidth(c);
  }
  list_->setMinimumSize(width + 4, list_->verticalHeader()->defaultSectionSize() * 8 + 4);
  for (const RomListRow& row : romList_.Rows()) AppendRow(row);
  body->addWidget(list_, 1);
  auto* buttons = new QVBoxLayout;
  QPushButton* add = NewButton(this, "Add", "add");
  QPushButton* modify = NewButton(this, "Modify", "modify");
  QPushButton* remove = NewButton(this, "Remove", "remove");
  QPushButton* make = NewButton(this, "Make", "make");
  QPushButton* cancel = NewButton(this, "Cancel", "cancel");
  for (QPushButton* b : {add, modify, remove}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(make);
  buttons->addWidget(cancel);
  body->addLayout(buttons);
  layout->addLayout(body, 1);
  connect(add, &QPushButton::clicked, this, &MakeRomDialog::OnAdd);
  connect(modify, &QPushButton::clicked, this, &MakeRomDialog::OnModify);
  connect(remove, &QPushButton::clicked, this, &MakeRomDialog::OnRemove);
  connect(make, &QPushButton::clicked, this, &MakeRomDialog::OnMake);
  connect(cancel, &QPushButton::clicked, this, &MakeRomDialog::reject);
}

void MakeRomDialog::keyPressEvent(QKeyEvent* event) {
  // Enter in a field would otherwise close the dialog without building.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MakeRomDialog::AppendRow(const RomListRow& row) {
  QStringList texts;
  for (const std::string& t : row.columns) texts << Q(t);
  list_->InsertItem(list_->ItemCount(), texts, static_cast<uint32_t>(row.number));
}

bool MakeRomDialog::RunImageDialog(const QString& title, RomImage* image, int previousNumber) {
  std::unique_ptr<RomImageDialog> dialog;
  switch (romList_.Kind()) {
    case RomListKind::kNor:
      dialog = std::make_unique<CNorRomImageDlg>(host_, romList_, *image, previousNumber, title, this);
      break;
    case RomListKind::kNand:
      dialog = std::make_unique<CNandRomImageDlg>(host_, romList_, *image, previousNumber, title, this);
      break;
    case RomListKind::kSpi:
      dialog = std::make_unique<CSpiRomImageDlg>(host_, romList_, *image, previousNumber, title, this);
      break;
  }
  if (dialog->exec() != QDialog::Accepted) return false;
  *image = dialog->Image();
  return true;
}

void MakeRomDialog::OnAdd() {
  RomImage image;
  if (romList_.Kind() == RomListKind::kNor) image.number = 1;
  if (!RunImageDialog(tr("Add"), &image, -1)) return;
  if (const auto row = romList_.Add(image, host_.Prompt())) AppendRow(*row);
}

void MakeRomDialog::OnModify() {
  const int row = list_->NextSelectedItem();
  if (row < 0 || list_->NextSelectedItem(row) >= 0) {
    host_.Prompt().ShowMessage(text::kSelectOneToModify);
    return;
  }
  const int number = static_cast<int>(list_->ItemData(row));
  std::optional<RomImage> image = romList_.Image(number);
  if (!image) {
    host_.Prompt().ShowMessage(text::kOpenConfigError);
    return;
  }
  if (!RunImageDialog(tr("Modify"), &*image, number)) return;
  if (const auto changed = romList_.Modify(number, *image, host_.Prompt())) {
    list_->DeleteItem(row);
    AppendRow(*changed);
  }
}

void MakeRomDialog::OnRemove() {
  std::vector<int> rows;
  for (int row = list_->NextSelectedItem(); row >= 0; row = list_->NextSelectedItem(row)) rows.push_back(row);
  if (rows.empty()) {
    host_.Prompt().ShowMessage(text::kSelectToRemove);
    return;
  }
  // From the bottom, so the rows still to go keep their indexes. A file that
  // cannot be changed stops the removal: its rows stay as it holds them.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (!romList_.Remove(static_cast<int>(list_->ItemData(*it)), host_.Prompt())) return;
    list_->DeleteItem(*it);
  }
}

std::string MakeRomDialog::ChooseRomFile() {
  FileChoice choice;
  choice.title = kSetRomTitle;
  choice.filter = kRomFilter;
  choice.startFolder = romList_.TargetFolder();
  choice.defaultSuffix = "bin";
  return host_.Files().ChooseSaveFile(choice);
}

void MakeRomDialog::Built(int result, const std::string& romPath, int imageCount) {
  if (result < 0) {
    host_.Prompt().ShowMessage(text::kCreateRomError);
    return;
  }
  outcome_ = MakeRomOutcome{true, romPath, imageCount};
  accept();
}

// ---- NOR ----------------------------------------------------------------------------

CMakeRomNorDlg::CMakeRomNorDlg(PageHost& host, QWidget* parent)
    : MakeRomDialog("CMakeRomNorDlg", "Make ROM (NOR)", host, RomListKind::kNor,
                    RomListOptions{host.State().familyMode}, parent) {
  auto* top = new QWidget(this);
  auto* topLayout = new QVBoxLayout(top);
  topLayout->setContentsMargins(0, 0, 0, 0);

  auto* bootBox = new QGroupBox(tr("Boot Image"), top);
  auto* bootGrid = new QGridLayout(bootBox);
  bootloader_ = NewEdit(bootBox, "bootloader", 32767);
  bootloader_->setReadOnly(true);
  auto* browse = NewButton(bootBox, "...", "bootBrowse");
  browse->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("...")) * 3);
  imageName_ = NewEdit(bootBox, "imageName", kNameMax);
  AddField(bootGrid, 0, 0, "Bootloader :", bootloader_);
  bootGrid->addWidget(browse, 0, 2);
  AddField(bootGrid, 1, 0, "Image Name :", imageName_);
  topLayout->addWidget(bootBox);

  auto* infoBox = new QGroupBox(tr("Boot Info"), top);
  auto* grid = new QGridLayout(infoBox);
  serial_ = NewEdit(infoBox, "serialNo", 4);
  SetPattern(serial_, "[0-9]{0,4}");
  bufferBase_ = NewEdit(infoBox, "bufferBase", 8);
  bufferSize_ = NewEdit(infoBox, "bufferSize", 8);
  for (QLineEdit* e : {bufferBase_, bufferSize_}) SetPattern(e, "[0-9A-Fa-f]{0,8}");
  for (QLineEdit* e : {serial_, bufferBase_, bufferSize_})
    e->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
  baudrate_ = new QComboBox(infoBox);
  baudrate_->setObjectName("baudrate");
  baudrate_->addItems({QStringLiteral("57600"), QStringLiteral("115200")});
  mac_ = new MaskedEdit(infoBox);
  mac_->setObjectName("mac");
  mac_->setMinimumWidth(fontMetrics().horizontalAdvance(QString::fromLatin1(kMacMask)) + 16);
  ip_ = new IpAddressEdit(infoBox);
  ip_->setObjectName("ip");
  phy_ = new QComboBox(infoBox);
  phy_->setObjectName("phy");
  auto* phyAdd = NewButton(infoBox, "Add", "phyAdd");
  auto* phyDel = NewButton(infoBox, "Del", "phyDel");
  auto pair = [infoBox](const char* name, QRadioButton** enable) {
    auto* w = new QWidget(infoBox);
    w->setObjectName(name);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    auto* off = new QRadioButton(tr("Disable"), w);
    *enable = new QRadioButton(tr("Enable"), w);
    off->setObjectName("disable");
    (*enable)->setObjectName("enable");
    off->setChecked(true);
    h->addWidget(off);
    h->addWidget(*enable);
    h->addStretch(1);
    return w;
  };
  QWidget* turbo = pair("turbo", &turboEnable_);
  QWidget* dhcp = pair("dhcp", &dhcpEnable_);
  const std::pair<const char*, QWidget*> fields[] = {
      {"Serial No :", serial_},   {"Baudrate :", baudrate_}, {"Buffer Base : 0x", bufferBase_},
      {"Buffer Size : 0x", bufferSize_}, {"Turbo mode :", turbo}, {"DHCP :", dhcp},
      {"MAC :", mac_},            {"IP :", ip_}};
  for (int i = 0; i < static_cast<int>(std::size(fields)); ++i) {
    AddField(grid, i / 2, (i % 2) * 2, fields[i].first, fields[i].second);
  }
  auto* phyRow = new QHBoxLayout;
  phyRow->addWidget(phy_, 1);
  phyRow->addWidget(phyAdd);
  phyRow->addWidget(phyDel);
  AddField(grid, 4, 0, "PHY :", phy_, 0);
  grid->addLayout(phyRow, 4, 1, 1, 3);
  grid->setColumnStretch(4, 1);  // the fields keep their natural widths
  topLayout->addWidget(infoBox);
  Finish(top);

  const NorBootSettings boot = romList_.LoadBoot();
  bootloaderPath_ = boot.bootloaderPath;
  bootloader_->setText(Q(boot.bootloaderPath));
  imageName_->setText(Q(boot.imageName));
  serial_->setText(Q(boot.serialNumber));
  bufferBase_->setText(Q(boot.bufferBase));
  bufferSize_->setText(Q(boot.bufferSize));
  const int baud = baudrate_->findText(Q(boot.baudrate));
  baudrate_->setCurrentIndex(baud >= 0 ? baud : 1);
  turboEnable_->setChecked(boot.turbo);
  if (!boot.turbo) turbo->findChild<QRadioButton*>("disable")->setChecked(true);
  mac_->setText(Q(boot.mac));
  ip_->SetAddress(boot.ip);
  dhcpEnable_->setChecked(boot.dhcp);
  if (!boot.dhcp) dhcp->findChild<QRadioButton*>("disable")->setChecked(true);
  for (const std::string& p : boot.phys) phy_->addItem(Q(p));
  phy_->setCurrentIndex(boot.phy);

  connect(browse, &QPushButton::clicked, this, &CMakeRomNorDlg::OnChooseBootloader);
  connect(phyAdd, &QPushButton::clicked, this, &CMakeRomNorDlg::OnPhyAdd);
  connect(phyDel, &QPushButton::clicked, this, &CMakeRomNorDlg::OnPhyDel);
}

NorBootSettings CMakeRomNorDlg::ReadBoot() const {
  NorBootSettings boot;
  boot.bootloaderPath = bootloaderPath_;
  boot.imageName = S(imageName_->text());
  boot.serialNumber = S(serial_->text());
  boot.bufferBase = S(bufferBase_->text());
  boot.bufferSize = S(bufferSize_->text());
  boot.baudrate = S(baudrate_->currentText());
  boot.turbo = turboEnable_->isChecked();
  boot.mac = S(mac_->text());
  boot.ip = ip_->Address();
  boot.dhcp = dhcpEnable_->isChecked();
  boot.phys.clear();
  for (int i = 0; i < phy_->count(); ++i) boot.phys.push_back(S(phy_->itemText(i)));
  boot.phy = phy_->currentIndex();
  return boot;
}

void CMakeRomNorDlg::OnMake() {
  const NorBootSettings boot = ReadBoot();
  if (!romList_.CheckMakeable(host_.Prompt())) return;
  const std::string romPath = ChooseRomFile();
  if (romPath.empty() || !romList_.StoreBoot(boot, romPath, host_.Prompt())) return;
  Built(NorRomBuilder(NorRomRequest{romList_.Path()}, host_.Prompt()), romPath, 0);
}

void CMakeRomNorDlg::OnChooseBootloader() {
  const std::string path = ChooseImageFile(host_, kChooseBootloaderTitle, bootloaderPath_);
  if (path.empty()) return;
  bootloaderPath_ = path;
  bootloader_->setText(Q(path));
  imageName_->setText(Q(RomImageName(path, romList_.Options().familyMode)));
}

void CMakeRomNorDlg::OnPhyAdd() {
  std::vector<std::string> entries;
  for (int i = 0; i < phy_->count(); ++i) entries.push_back(S(phy_->itemText(i)));
  CAddPhyTypeDlg dialog(host_, romList_, entries, this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (romList_.AddPhy(dialog.Name(), host_.Prompt())) phy_->addItem(Q(dialog.Name()));
}

void CMakeRomNorDlg::OnPhyDel() {
  const int index = phy_->currentIndex();
  if (!romList_.DeletePhy(index, S(phy_->currentText()), host_.Prompt())) return;
  phy_->removeItem(index);
  phy_->setCurrentIndex(0);
}

// ---- NAND ---------------------------------------------------------------------------

CMakeRomNandDlg::CMakeRomNandDlg(PageHost& host, uint32_t blockSize, QWidget* parent)
    : MakeRomDialog("CMakeRomNandDlg", "Make ROM (NAND)", host, RomListKind::kNand,
                    // End columns need a block size even if a caller passes none.
                    RomListOptions{host.State().familyMode, IsNandBlockSize(blockSize) ? blockSize : kNandBlock16k,
                                   false},
                    parent),
      blockSize_(blockSize) {
  auto* top = new QWidget(this);
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(0, 0, 0, 0);
  blockChoice_ = new QComboBox(top);
  blockChoice_->setObjectName("blockSize");
  blockChoice_->addItems({QStringLiteral("16k"), QStringLiteral("128k"), QStringLiteral("256k")});
  blockChoice_->setCurrentIndex(0);
  row->addWidget(LabelFor("Block size :", blockChoice_));
  row->addWidget(blockChoice_);
  row->addStretch(1);
  Finish(top);
}

void CMakeRomNandDlg::OnMake() {
  if (!romList_.CheckMakeable(host_.Prompt())) return;
  NandRomRequest request;
  request.listFile = romList_.Path();
  request.imageCount = static_cast<uint32_t>(ImageList()->ItemCount());
  request.choice = ParseNandBlockChoice(S(blockChoice_->currentText())).value_or(NandBlockChoice::k16k);
  request.vcomConnected = !host_.State().connection.portPath.empty();
  request.boardBlockSize = blockSize_;
  const std::string romPath = ChooseRomFile();
  if (romPath.empty() || !romList_.StoreTarget(romPath, host_.Prompt())) return;
  Built(NandRomBuilder(request, host_.Prompt()), romPath, static_cast<int>(request.imageCount));
}

// ---- SPI ----------------------------------------------------------------------------

namespace {
// Start positions count in banks only while the board is connected as a
// disk; before any connection both flags are still set, which is offset mode.
bool SpiBankMode(const ConnectionState& c) { return c.massStorageConnected != 0 && c.vcomConnected == 0; }
}  // namespace

CMakeRomSpiDlg::CMakeRomSpiDlg(PageHost& host, QWidget* parent)
    : MakeRomDialog("CMakeRomSpiDlg", "Make ROM (SPI)", host, RomListKind::kSpi,
                    RomListOptions{host.State().familyMode, kNandBlock16k,
                                   SpiBankMode(host.State().connection)},
                    parent) {
  Finish(nullptr);
}

void CMakeRomSpiDlg::OnMake() {
  if (!romList_.CheckMakeable(host_.Prompt())) return;
  ToolState& state = host_.State();
  SpiRomRequest request;
  request.listFile = romList_.Path();
  request.chipFamily = state.chipFamily;
  request.bankMode = romList_.Options().spiBankMode;
  request.chip = state.chipFamily >= 1 ? &state.chip : nullptr;
  const std::string romPath = ChooseRomFile();
  if (romPath.empty() || !romList_.StoreTarget(romPath, host_.Prompt())) return;
  Built(SpiRomBuilder(request, host_.Prompt()), romPath, 0);
}

}  // namespace zorbel
