#include "pages/raw/nand_raw_page.h"

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "pages/page_host.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "rom/nand_block_size.h"
#include "rom/ui/make_rom_dialogs.h"

namespace zorbel {
namespace {

constexpr const char* kImageCountLabel = "Make Rom Images :";

}  // namespace

CNandRawPage::CNandRawPage(PageHost& host, QWidget* parent)
    : RawDataPage(host, "CNandRawPage", ProgressMessage::kNandRaw, parent) {
  AddFileRow("1090", "1089", 20);
  count_ = AddField("1145", DluRect(98, 46, 40, 12), true);
  AddLabel(kImageCountLabel, DluRect(14, 48, 82, 10), count_);
  SetImageCount(0);
  burn_ = AddButton("1088", kBurnCaption, DluRect(14, 78, 62, 16));
  verify_ = AddButton("1091", kVerifyCaption, DluRect(86, 78, 62, 16));
  makeRom_ = AddButton("1124", kMakeRomCaption, DluRect(158, 78, 62, 16));
  PlaceBar(110);

  connect(browse_, &QPushButton::clicked, this, &CNandRawPage::OnBrowse);
  connect(makeRom_, &QPushButton::clicked, this, &CNandRawPage::OnMakeRom);
  // The page is offered over the COM port only: both operations use it.
  RawBurn burn;
  burn.medium = Medium::kNand;
  burn.diskVariant = false;
  burn.fill = [this](OperationContext& ctx) { ctx.head.imageCount = imageCount_; };
  SetUpBurn(burn_, burn);
  SetUpVerify(verify_, Medium::kNand, false);
}

void CNandRawPage::SetImageCount(uint32_t count) {
  imageCount_ = count;
  count_->setText(QString::number(count));
}

void CNandRawPage::OnBrowse() {
  const std::string path = ChooseFile(PageFolderKey::kRawNand, false);
  if (path.empty()) return;
  const NandCheckResult check =
      NandBlockSizeCheck(path, host_.State().connection.portPath, port_, host_.Prompt());
  // A file that could not even be opened is refused like one of the wrong
  // kind: its image count is unknown, and a count of another file would be
  // sent with it.
  if (check.result != 1) {
    SetFilePath({});
    SetImageCount(0);
    host_.Prompt().ShowMessage(page_text::kInvalidNandImage);
    return;
  }
  SetImageCount(check.imageCount);
  SetFilePath(path);
  RememberFolder(host_.PathProfile(), PageFolderKey::kRawNand, path);
}

void CNandRawPage::OnMakeRom() {
  const auto blockSize = MakeRomBlockSize(port_, host_.State().connection.portPath, host_.Prompt());
  if (!blockSize) return;
  const MakeRomOutcome made = ExecMakeRomNandDlg(host_, *blockSize, this);
  if (!made.ok || made.romPath.empty()) return;
  SetImageCount(static_cast<uint32_t>(made.imageCount));
  SetFilePath(made.romPath);
}

}  // namespace zorbel
