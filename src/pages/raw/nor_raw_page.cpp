#include "pages/raw/nor_raw_page.h"

#include <QEvent>

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "pages/page_host.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/table_read.h"
#include "rom/ui/make_rom_dialogs.h"

namespace zorbel {
namespace {

constexpr const char* kOffsetLabel = "Flash offset:     0x";
constexpr const char* kDeviceLabel = "Device:";
constexpr const char* kFirstOffset = "0";
// Offsets are typed as hexadecimal, at most 8 digits.
constexpr const char* kHexDigits = "[0-9A-Fa-f]{0,8}";
constexpr int kMaxHexDigits = 8;

}  // namespace

CNorRawPage::CNorRawPage(PageHost& host, QWidget* parent)
    : RawDataPage(host, "CNorRawPage", ProgressMessage::kNorRaw, parent) {
  AddFileRow("1036", "1037", 20);
  shownPath_->setText(" ...");
  offset_ = AddTypedField("1011", DluRect(98, 46, 60, 12), kHexDigits, kMaxHexDigits);
  offset_->setText(kFirstOffset);
  AddLabel(kOffsetLabel, DluRect(14, 48, 82, 10), offset_);
  device_ = AddField("1091", DluRect(228, 46, 120, 12), true);
  AddLabel(kDeviceLabel, DluRect(196, 48, 30, 10), device_);
  burn_ = AddButton("1039", kBurnCaption, DluRect(14, 78, 62, 16));
  verify_ = AddButton("1040", kVerifyCaption, DluRect(86, 78, 62, 16));
  makeRom_ = AddButton("3041", kMakeRomCaption, DluRect(158, 78, 62, 16));
  PlaceBar(110);
  SetSwallowEnter(true);
  failedComBurnBlocksVerify_ = true;

  connect(browse_, &QPushButton::clicked, this, &CNorRawPage::OnBrowse);
  connect(makeRom_, &QPushButton::clicked, this, &CNorRawPage::OnMakeRom);
  const auto offsetText = [this] { return offset_->text().toStdString(); };
  RawBurn burn;
  burn.medium = Medium::kNor;
  burn.diskOk = page_text::kDownloadOk;
  burn.diskFailed = page_text::kRawNorDownloadFailed;
  burn.fieldRule = [this, offsetText] {
    const std::string refusal = CheckRawNorOffset(offsetText());
    if (refusal.empty()) return true;
    host_.Prompt().ShowMessage(refusal);
    return false;
  };
  burn.fill = [offsetText](OperationContext& ctx) { ctx.head.address = offsetText(); };
  SetUpBurn(burn_, burn);
  SetUpVerify(verify_, Medium::kNor, true,
              [offsetText](OperationContext& ctx) { ctx.head.address = offsetText(); });
  EnablingRules();
}

void CNorRawPage::showEvent(QShowEvent* event) {
  RawDataPage::showEvent(event);
  EnablingRules();
  // Read once the page is on screen, as a message the page posts itself.
  QMetaObject::invokeMethod(this, &CNorRawPage::ReadDevice, Qt::QueuedConnection);
}

void CNorRawPage::changeEvent(QEvent* event) {
  RawDataPage::changeEvent(event);
  // The window disables its pages while a connection attempt changes the
  // connection: the builder's availability and the device follow it.
  if (event->type() != QEvent::EnabledChange) return;
  EnablingRules();
  if (isEnabled()) QMetaObject::invokeMethod(this, &CNorRawPage::ReadDevice, Qt::QueuedConnection);
}

void CNorRawPage::EnablingRules() {
  makeRom_->setEnabled(host_.State().connection.massStorageConnected == 0 && !WorkerRunning());
}

void CNorRawPage::ReadDevice() {
  const std::string& portPath = host_.State().connection.portPath;
  // A running operation holds the page's port; a connection attempt the
  // board's (the page is disabled meanwhile).
  if (portPath.empty() || !isVisible() || !isEnabled() || WorkerRunning()) return;
  if (const auto text = ReadNorDeviceText(port_, portPath, &host_.Prompt())) {
    device_->setText(QString::fromStdString(*text));
  }
}

void CNorRawPage::OnBrowse() {
  const std::string path = ChooseFile(PageFolderKey::kRawNor);
  if (!path.empty()) SetFilePath(path);
}

void CNorRawPage::OnMakeRom() {
  const MakeRomOutcome made = ExecMakeRomNorDlg(host_, this);
  if (made.ok && !made.romPath.empty()) SetFilePath(made.romPath);
}

}  // namespace zorbel
