#include "pages/raw/spi_raw_page.h"

#include "app/tool_settings.h"
#include "app/ui/dialog_units.h"
#include "pages/page_host.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "rom/ui/make_rom_dialogs.h"

namespace zorbel {
namespace {

constexpr const char* kSpiConfirmCaption = "Zorbel Burn";
constexpr const char* kSaveFileName = "Save file";
constexpr const char* kBlocksLabel = "Read blocks for Save file:";
constexpr const char* kBlocksUnit = "blocks (1 block is 64 KB)";
constexpr const char* kFlashSizeLabel = "SPI Flash Size:";
constexpr const char* kFlashSizeUnit = "KB";
constexpr const char* kSaveTitle = "Choose Saving file...";
constexpr const char* kSaveFilter = "Bin Files (*.bin);;All Files (*.*)";
constexpr const char* kSaveSuffix = "bin";
// The count is typed as a decimal number of at most 9 digits.
constexpr const char* kDecimalDigits = "[0-9]{0,9}";
constexpr int kMaxBlockDigits = 9;

}  // namespace

CSpiRawPage::CSpiRawPage(PageHost& host, QWidget* parent)
    : RawDataPage(host, "CSpiRawPage", ProgressMessage::kSpiRaw, parent) {
  AddFileRow("1043", "1188", 20);
  shownSavePath_ = AddField("1044", DluRect(14, 42, 400, 12), true);
  shownSavePath_->setAccessibleName(kSaveFileName);
  shownSavePath_->setPlaceholderText(kSaveFileName);
  saveBrowse_ = AddButton("1189", kBrowseCaption, DluRect(424, 41, 62, 14));

  blocks_ = AddTypedField("1235", DluRect(118, 66, 50, 12), kDecimalDigits, kMaxBlockDigits);
  AddLabel(kBlocksLabel, DluRect(14, 68, 102, 10), blocks_);
  AddLabel(kBlocksUnit, DluRect(172, 68, 110, 10));
  // The flash size is never obtained from the board: shown, not used.
  auto* flashSize = AddField("1234", DluRect(364, 66, 50, 12), false);
  flashSize->setEnabled(false);
  AddLabel(kFlashSizeLabel, DluRect(300, 68, 62, 10), flashSize);
  AddLabel(kFlashSizeUnit, DluRect(418, 68, 20, 10));

  burn_ = AddButton("1047", kBurnCaption, DluRect(14, 94, 62, 16));
  verify_ = AddButton("1049", kVerifyCaption, DluRect(86, 94, 62, 16));
  read_ = AddButton("1050", kReadCaption, DluRect(158, 94, 62, 16));
  makeRom_ = AddButton("1148", kMakeRomCaption, DluRect(230, 94, 62, 16));
  PlaceBar(126);
  failedComBurnBlocksVerify_ = true;

  connect(browse_, &QPushButton::clicked, this, &CSpiRawPage::OnBrowse);
  connect(saveBrowse_, &QPushButton::clicked, this, &CSpiRawPage::OnSaveBrowse);
  connect(makeRom_, &QPushButton::clicked, this, &CSpiRawPage::OnMakeRom);
  RawBurn burn;
  burn.medium = Medium::kSpi;
  burn.confirmCaption = QString::fromUtf8(kSpiConfirmCaption);
  SetUpBurn(burn_, burn);
  SetUpVerify(verify_, Medium::kSpi, true);

  readAction_.button = read_;
  readAction_.idleCaption = QString::fromUtf8(kReadCaption);
  readAction_.startsBar = false;
  readAction_.prepare = [this] { return PrepareRead(); };
  readAction_.fill = [this](OperationContext& ctx) { ctx.filePath = savePath_; };
  LockWhileRunning(readAction_);
  readAction_.finish = [this](int) { UnlockButtons(); };
  connect(read_, &QPushButton::clicked, this, [this] { PressAction(readAction_); });

  ProfileReader& profile = host_.PathProfile();
  SetSavePath(RememberedFile(profile, kReadImageKey));
  SetFilePath(RememberedFile(profile, kWriteImageKey));
}

// The count and the file are checked before anything starts, so a refusal
// leaves every button as it was.
bool CSpiRawPage::PrepareRead() {
  if (!IsIdle(readAction_)) return true;
  const auto blocks = ParseSpiReadBlocks(blocks_->text().toStdString());
  if (!blocks) {
    host_.Prompt().ShowMessage(page_text::kWrongBlocks);
    return false;
  }
  if (savePath_.empty()) {
    host_.Prompt().ShowMessage(page_text::kChooseExportedFile);
    return false;
  }
  const uint32_t length = *blocks * kSpiReadBlockSize;
  // The read-back always goes over the disk.
  readAction_.work = [length](OperationContext& ctx) {
    return RunAndSay(
        ctx, [length](OperationContext& c) { return MsReadRawSpi(c, length); }, page_text::kReadOk,
        page_text::kReadFailed, false);
  };
  return true;
}

void CSpiRawPage::SetSavePath(const std::string& path) {
  savePath_ = path;
  shownSavePath_->setText(QString::fromStdString(path));
}

void CSpiRawPage::OnBrowse() {
  const std::string path = ChooseFile(PageFolderKey::kRawSpi);
  if (path.empty()) return;
  SetFilePath(path);
  RememberFile(host_.PathProfile(), kWriteImageKey, path);
}

void CSpiRawPage::OnSaveBrowse() {
  const std::string path = ChooseSaveFile(kSaveTitle, kSaveFilter, kSaveSuffix, savePath_);
  if (path.empty()) return;
  SetSavePath(path);
  RememberFile(host_.PathProfile(), kReadImageKey, path);
}

void CSpiRawPage::OnMakeRom() {
  const MakeRomOutcome made = ExecMakeRomSpiDlg(host_, this);
  if (!made.ok || made.romPath.empty()) return;
  SetFilePath(made.romPath);
  RememberFile(host_.PathProfile(), kWriteImageKey, made.romPath);
}

}  // namespace zorbel
