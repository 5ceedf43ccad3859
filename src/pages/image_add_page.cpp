#include "pages/image_add_page.h"

#include <QEvent>

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

int VerifyImage(OperationContext& ctx, Medium medium) {
  return RunAndSay(
      ctx,
      [medium](OperationContext& c) {
        return UsesDiskVariant(medium, c.state) ? MsVerify(c, medium, DataKind::kImage)
                                                : VcomVerify(c, medium, DataKind::kImage);
      },
      page_text::kVerifyOk, page_text::kVerifyFailed, false);
}

TypedAddPage::TypedAddPage(ListPage& list, const TypedAddSpec& spec)
    : OperationPage(list, spec.className, spec.progressMessage, kBurnBarColour, &list), list_(list), spec_(spec) {
  resize(SubPageSize());
  number_ = AddLabelledEdit(this, spec.numberId, "Image No :", DluRect(8, 12, 70, 10), DluRect(84, 10, 60, 12),
                            kFieldLength);
  name_ = AddLabelledEdit(this, spec.nameId, "Image Name :", DluRect(8, 32, 70, 10), DluRect(84, 30, 116, 12), 0);
  name_->setReadOnly(true);
  browse_ = AddButton(this, spec.browseId, "...", DluRect(204, 30, 22, 12));
  browse_->setAccessibleName("Choose burning file...");

  types_ = new QButtonGroup(this);
  AddRadio(this, types_, 0, spec.typeIds[0], "Data", DluRect(8, 52, 50, 10))->setChecked(true);
  AddRadio(this, types_, 1, spec.typeIds[1], "Execute", DluRect(66, 52, 55, 10));
  AddRadio(this, types_, 2, spec.typeIds[2], "RomFS", DluRect(128, 52, 50, 10));
  AddRadio(this, types_, 3, spec.typeIds[3], "System Image", DluRect(8, 68, 70, 10));
  logo_ = AddRadio(this, types_, 4, spec.typeIds[4], "Logo", DluRect(86, 68, 50, 10));

  exec_ = AddLabelledEdit(this, spec.execId, "Image execute address : 0x", DluRect(8, 92, 110, 10),
                          DluRect(124, 90, 70, 12), kFieldLength);
  start_ = AddLabelledEdit(this, spec.startId, spec.startLabel, DluRect(8, 112, 110, 10),
                           DluRect(124, 110, 70, 12), kFieldLength);
  if (spec.startNote != nullptr) AddLabel(this, spec.startNote, DluRect(8, 126, 218, 10));

  bar_->setObjectName(QString::fromUtf8(spec.progressId));
  bar_->setGeometry(DluRect(8, 144, 218, 10));
  burn_ = AddButton(this, spec.burnId, kBurnCaption, DluRect(40, 166, 60, 16));
  verify_ = AddButton(this, spec.verifyId, kVerifyCaption, DluRect(134, 166, 60, 16));

  // Enter in a field must neither burn nor close anything.
  SetSwallowEnter(true);

  const Medium medium = spec.medium;
  // The disk operations never look at the port.
  const bool closesPort = medium != Medium::kSd;
  burnAction_.button = burn_;
  burnAction_.idleCaption = kBurnCaption;
  burnAction_.confirmCaption = spec.confirmCaption;
  burnAction_.closePortOnAbort = closesPort;
  burnAction_.prepare = [this] { return CheckBurn(); };
  burnAction_.beforeStart = [this] {
    if (spec_.startRule != nullptr && !Passes(spec_.startRule(FieldText(start_)))) return false;
    return FileChosen(filePath_, page_text::kChooseImageFile);
  };
  burnAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    verify_->setEnabled(false);  // one conversation with the board at a time
  };
  burnAction_.work = [medium](OperationContext& ctx) {
    return RunAndSay(
        ctx,
        [medium](OperationContext& c) {
          return UsesDiskVariant(medium, c.state) ? MsWriteImage(c, medium, DataKind::kImage)
                                                  : VcomBurnImage(c, medium);
        },
        page_text::kBurnOk, page_text::kBurnFailed, false);
  };
  burnAction_.finish = [this](int result) {
    verify_->setEnabled(true);
    if (result == 1) list_.RequestRefresh();
  };

  verifyAction_.button = verify_;
  verifyAction_.idleCaption = kVerifyCaption;
  verifyAction_.startsBar = false;
  verifyAction_.disableOnAbort = false;
  verifyAction_.closePortOnAbort = closesPort;
  verifyAction_.beforeStart = [this] {
    if (!FileChosen(filePath_, page_text::kChooseComparingFile)) return false;
    if (!Passes(CheckVerifyNumber(FieldText(number_), SystemImage()))) {
      number_->setEnabled(true);
      return false;
    }
    return true;
  };
  verifyAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    burn_->setEnabled(false);
  };
  verifyAction_.work = [medium](OperationContext& ctx) { return VerifyImage(ctx, medium); };
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

TypedAddPage::~TypedAddPage() { AbortAndWait(); }

bool TypedAddPage::SystemImage() const { return types_->checkedId() == static_cast<int>(ImageKind::kSystemImage); }

void TypedAddPage::OnCommand() {
  UpdateLogo();
  const bool fields = !SystemImage();
  number_->setEnabled(fields);
  exec_->setEnabled(fields);
  start_->setEnabled(fields);
}

void TypedAddPage::UpdateLogo() {
  // The board takes logos over the disk only.
  const bool available = UsesDiskVariant(spec_.medium, host_.State());
  logo_->setEnabled(available);
  if (!available && logo_->isChecked()) types_->button(static_cast<int>(ImageKind::kData))->setChecked(true);
}

void TypedAddPage::showEvent(QShowEvent* event) {
  OperationPage::showEvent(event);
  OnCommand();
}

void TypedAddPage::changeEvent(QEvent* event) {
  OperationPage::changeEvent(event);
  // The page is disabled and enabled again around every connection attempt.
  if (event->type() == QEvent::EnabledChange) UpdateLogo();
}

void TypedAddPage::OnBrowse() { ChooseImageFile(spec_.folderKey, filePath_, name_); }

bool TypedAddPage::CheckBurn() {
  const BurnFields fields{FieldText(number_), FieldText(exec_), FieldText(start_),
                          static_cast<uint32_t>(types_->checkedId())};
  return Passes(CheckTypedImageBurn(fields));
}

void TypedAddPage::Fill(OperationContext& ctx) {
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
