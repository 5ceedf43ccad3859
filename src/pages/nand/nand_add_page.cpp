#include "pages/nand/nand_add_page.h"

#include <QEvent>

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/list_page.h"
#include "pages/page_widgets.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/vcom_operations.h"

namespace zorbel {
namespace {

constexpr uint32_t kBurnBarColour = Rgb(90, 200, 60);
constexpr int kFieldLength = 8;

}  // namespace

CNandAddPage::CNandAddPage(ListPage& list)
    : OperationPage(list, "CNandAddPage", ProgressMessage::kNandImage, kBurnBarColour, &list), list_(list) {
  resize(SubPageSize());
  number_ = AddLabelledEdit(this, "1054", "Image No :", DluRect(8, 12, 70, 10), DluRect(84, 10, 60, 12),
                            kFieldLength);
  name_ = AddLabelledEdit(this, "1055", "Image Name :", DluRect(8, 32, 70, 10), DluRect(84, 30, 116, 12), 0);
  name_->setReadOnly(true);
  browse_ = AddButton(this, "1056", "...", DluRect(204, 30, 22, 12));
  browse_->setAccessibleName("Choose burning file...");

  types_ = new QButtonGroup(this);
  AddRadio(this, types_, 0, "1083", "Data", DluRect(8, 52, 50, 10))->setChecked(true);
  AddRadio(this, types_, 1, "1084", "Execute", DluRect(66, 52, 55, 10));
  AddRadio(this, types_, 2, "1085", "RomFS", DluRect(128, 52, 50, 10));
  AddRadio(this, types_, 3, "1086", "System Image", DluRect(8, 68, 70, 10));
  logo_ = AddRadio(this, types_, 4, "1215", "Logo", DluRect(86, 68, 50, 10));

  exec_ = AddLabelledEdit(this, "1063", "Image execute address : 0x", DluRect(8, 92, 110, 10),
                          DluRect(124, 90, 70, 12), kFieldLength);
  start_ = AddLabelledEdit(this, "1064", "Image start block : 0x", DluRect(8, 112, 110, 10),
                           DluRect(124, 110, 70, 12), kFieldLength);

  bar_->setObjectName("1065");
  bar_->setGeometry(DluRect(8, 140, 218, 10));
  burn_ = AddButton(this, "1066", kBurnCaption, DluRect(40, 164, 60, 16));
  verify_ = AddButton(this, "1067", kVerifyCaption, DluRect(134, 164, 60, 16));

  // Enter in a field must neither burn nor close anything.
  SetSwallowEnter(true);

  burnAction_.button = burn_;
  burnAction_.idleCaption = kBurnCaption;
  burnAction_.confirmCaption = kConfirmBoxCaption;
  burnAction_.prepare = [this] { return CheckBurn(); };
  burnAction_.beforeStart = [this] { return FileChosen(page_text::kChooseImageFile); };
  burnAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    verify_->setEnabled(false);  // one conversation with the board at a time
  };
  burnAction_.work = [](OperationContext& ctx) {
    const int result = OverDisk(ctx.state) ? MsWriteImage(ctx, Medium::kNand, DataKind::kImage)
                                          : VcomBurnImage(ctx, Medium::kNand);
    ctx.prompt->ShowMessage(result == 1 ? page_text::kBurnOk : page_text::kBurnFailed);
    return result;
  };
  burnAction_.finish = [this](int result) {
    verify_->setEnabled(true);
    if (result == 1) list_.RequestRefresh();
  };

  verifyAction_.button = verify_;
  verifyAction_.idleCaption = kVerifyCaption;
  verifyAction_.startsBar = false;
  verifyAction_.disableOnAbort = false;
  verifyAction_.beforeStart = [this] {
    if (!FileChosen(page_text::kChooseComparingFile)) return false;
    if (const std::string refusal = CheckVerifyNumber(FieldText(number_), SystemImage()); !refusal.empty()) {
      host_.Prompt().ShowMessage(refusal);
      number_->setEnabled(true);
      return false;
    }
    return true;
  };
  verifyAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    burn_->setEnabled(false);
  };
  verifyAction_.work = [](OperationContext& ctx) {
    const int result = OverDisk(ctx.state) ? MsVerify(ctx, Medium::kNand, DataKind::kImage)
                                          : VcomVerify(ctx, Medium::kNand, DataKind::kImage);
    ctx.prompt->ShowMessage(result == 1 ? page_text::kVerifyOk : page_text::kVerifyFailed);
    return result;
  };
  verifyAction_.finish = [this](int) { burn_->setEnabled(true); };

  connect(types_, &QButtonGroup::idClicked, this, [this] { OnCommand(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    OnCommand();
    OnBrowse();
  });
  connect(burn_, &QPushButton::clicked, this, [this] {
    OnCommand();
    PressAction(burnAction_);
  });
  connect(verify_, &QPushButton::clicked, this, [this] {
    OnCommand();
    PressAction(verifyAction_);
  });
  OnCommand();
}

CNandAddPage::~CNandAddPage() { AbortAndWait(); }

bool CNandAddPage::SystemImage() const {
  return types_->checkedId() == static_cast<int>(ImageKind::kSystemImage);
}

void CNandAddPage::OnCommand() {
  UpdateLogo();
  const bool fields = !SystemImage();
  number_->setEnabled(fields);
  exec_->setEnabled(fields);
  start_->setEnabled(fields);
}

void CNandAddPage::UpdateLogo() {
  // The board takes logos over the disk only.
  const bool available = OverDisk(host_);
  logo_->setEnabled(available);
  if (!available && logo_->isChecked()) types_->button(static_cast<int>(ImageKind::kData))->setChecked(true);
}

void CNandAddPage::showEvent(QShowEvent* event) {
  OperationPage::showEvent(event);
  OnCommand();
}

void CNandAddPage::changeEvent(QEvent* event) {
  OperationPage::changeEvent(event);
  // The page is disabled and enabled again around every connection attempt.
  if (event->type() == QEvent::EnabledChange) UpdateLogo();
}

void CNandAddPage::OnBrowse() {
  const std::string path = ChooseFile(PageFolderKey::kNand);
  if (path.empty()) return;
  filePath_ = path;
  name_->setText(QString::fromStdString(ProposedImageName(path, host_.State().familyMode)));
}

bool CNandAddPage::CheckBurn() {
  const BurnFields fields{FieldText(number_), FieldText(exec_), FieldText(start_),
                          static_cast<uint32_t>(types_->checkedId())};
  const std::string refusal = CheckTypedImageBurn(fields);
  if (refusal.empty()) return true;
  host_.Prompt().ShowMessage(refusal);
  return false;
}

bool CNandAddPage::FileChosen(const char* missingText) {
  if (!filePath_.empty()) return true;
  host_.Prompt().ShowMessage(missingText);
  return false;
}

void CNandAddPage::Fill(OperationContext& ctx) {
  ctx.filePath = filePath_;
  ctx.keptHead = &kept_;
  HeadFields& head = ctx.head;
  head.imageNumber = FieldText(number_);
  head.imageNumberEnabled = number_->isEnabled();
  head.imageName = FieldText(name_);
  head.imageType = static_cast<uint32_t>(types_->checkedId());
  head.executeAddress = FieldText(exec_);
  head.start = FieldText(start_);
}

}  // namespace zorbel
