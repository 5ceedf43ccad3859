#include "pages/nand/nand_sub_pages.h"

#include <QRegularExpressionValidator>

#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/list_page.h"
#include "pages/page_widgets.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"

namespace zorbel {
namespace {

constexpr uint32_t kEraseBarColour = Rgb(0, 0, 255);
constexpr uint32_t kOptionBarColour = Rgb(255, 0, 0);
constexpr int kFieldLength = 8;

// The check a press makes first; false when it showed its refusal.
bool Passes(PageHost& host, const std::string& refusal) {
  if (refusal.empty()) return true;
  host.Prompt().ShowMessage(refusal);
  return false;
}

}  // namespace

// ---- modify ---------------------------------------------------------------------
CNandModifyPage::CNandModifyPage(ListPage& list)
    : OperationPage(list, "CNandModifyPage", 0, 0, &list) {
  resize(SubPageSize());
  SetSwallowEnter(true);  // Enter would reach the window's default button, Exit
  bar_->hide();  // a type change is one short command
  number_ = AddLabelledEdit(this, "1071", "Image No :", DluRect(8, 22, 60, 10), DluRect(74, 20, 60, 12),
                            kFieldLength);
  types_ = new QButtonGroup(this);
  AddRadio(this, types_, 0, "1085", "Data", DluRect(8, 48, 50, 10))->setChecked(true);
  AddRadio(this, types_, 1, "1086", "Execute", DluRect(66, 48, 55, 10));
  AddRadio(this, types_, 2, "1087", "RomFS", DluRect(128, 48, 50, 10));
  apply_ = AddButton(this, "1078", kApplyCaption, DluRect(86, 80, 60, 16));

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  // No abort: a press while the change runs is ignored.
  applyAction_.busyCaption = kApplyCaption;
  applyAction_.startsBar = false;
  applyAction_.prepare = [this] { return Passes(host_, CheckImageNumberGiven(FieldText(number_))); };
  applyAction_.fill = [this](OperationContext& ctx) {
    ctx.head.imageNumber = FieldText(number_);
    ctx.head.imageType = static_cast<uint32_t>(types_->checkedId());
  };
  applyAction_.work = [](OperationContext& ctx) {
    const int result =
        OverDisk(ctx.state) ? MsModifyImage(ctx, Medium::kNand) : VcomModifyImage(ctx, Medium::kNand);
    if (result != 1) ctx.prompt->ShowMessage(page_text::kModifyFailed);
    return result;
  };
  applyAction_.finish = [&list](int result) {
    if (result == 1) list.RequestRefresh();
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

CNandModifyPage::~CNandModifyPage() { AbortAndWait(); }

// ---- erase ----------------------------------------------------------------------
CNandErasePage::CNandErasePage(ListPage& list)
    : OperationPage(list, "CNandErasePage", ProgressMessage::kNandErase, kEraseBarColour, &list) {
  resize(SubPageSize());
  SetSwallowEnter(true);  // Enter would reach the window's default button, Exit
  choices_ = new QButtonGroup(this);
  AddRadio(this, choices_, 0, "1052", "Erase image No", DluRect(8, 20, 80, 10))->setChecked(true);
  number_ = new QLineEdit(this);
  number_->setObjectName("1067");
  number_->setMaxLength(kFieldLength);
  number_->setAccessibleName("Erase image No");
  number_->setGeometry(DluRect(94, 18, 60, 12));
  AddRadio(this, choices_, 1, "1068", "Erase all Flash", DluRect(8, 40, 100, 10));
  AddRadio(this, choices_, 2, "1071", "Erase System Area", DluRect(8, 60, 100, 10));
  bar_->setObjectName("1069");
  bar_->setGeometry(DluRect(8, 90, 218, 10));
  apply_ = AddButton(this, "1070", kApplyCaption, DluRect(86, 112, 60, 16));

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  applyAction_.prepare = [this] {
    if (choices_->checkedId() != static_cast<int>(EraseChoice::kImage)) return true;
    return Passes(host_, CheckImageNumberGiven(FieldText(number_)));
  };
  applyAction_.fill = [this](OperationContext& ctx) {
    choice_ = static_cast<EraseChoice>(choices_->checkedId());
    ctx.head.imageNumber = FieldText(number_);
  };
  applyAction_.work = [this](OperationContext& ctx) {
    const int result = OverDisk(ctx.state) ? MsErase(ctx, Medium::kNand, choice_)
                                           : VcomErase(ctx, Medium::kNand, choice_);
    ctx.prompt->ShowMessage(result == 1 ? page_text::kEraseOk : page_text::kEraseFailed);
    return result;
  };
  applyAction_.finish = [&list](int result) {
    if (result == 1) list.RequestRefresh();
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

CNandErasePage::~CNandErasePage() { AbortAndWait(); }

// ---- option ---------------------------------------------------------------------
CNandOptionPage::CNandOptionPage(ListPage& list)
    : OperationPage(list, "CNandOptionPage", ProgressMessage::kNandOption, kOptionBarColour, &list) {
  resize(SubPageSize());
  SetSwallowEnter(true);  // Enter would reach the window's default button, Exit
  total_ = AddLabelledEdit(this, "1219", "NAND Flash Total Size", DluRect(8, 22, 110, 10),
                           DluRect(124, 20, 60, 12), 0);
  total_->setReadOnly(true);
  AddLabel(this, "MB", DluRect(190, 22, 20, 10));
  reserved_ = AddLabelledEdit(this, "1218", "System Reserved Area Size", DluRect(8, 42, 110, 10),
                              DluRect(124, 40, 60, 12), 0);
  reserved_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), reserved_));
  AddLabel(this, "MB", DluRect(190, 42, 20, 10));
  bar_->setObjectName("1220");
  bar_->setGeometry(DluRect(8, 70, 218, 10));
  apply_ = AddButton(this, "1221", kApplyCaption, DluRect(86, 92, 60, 16));

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  applyAction_.busyCaption = kApplyCaption;
  applyAction_.startsBar = false;
  applyAction_.prepare = [this] {
    const std::string refusal = CheckReservedSize(FieldText(reserved_), host_.State().nandFlashSizeMb);
    if (refusal == page_text::kReservedLargerThanTotal) {
      host_.Prompt().ShowMessage(refusal);
      reserved_->clear();
      return false;
    }
    return Passes(host_, refusal);
  };
  applyAction_.fill = [this](OperationContext& ctx) {
    ctx.head.reservedSize = FieldText(reserved_);
    // A second press would start a second worker on the same disk.
    apply_->setEnabled(false);
  };
  applyAction_.work = [](OperationContext& ctx) {
    const int result = MsSetReservedArea(ctx, Medium::kNand);
    ctx.prompt->ShowMessage(result == 1 ? page_text::kSetOk : page_text::kSetFailed);
    return result;
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

CNandOptionPage::~CNandOptionPage() { AbortAndWait(); }

void CNandOptionPage::showEvent(QShowEvent* event) {
  OperationPage::showEvent(event);
  total_->setText(QString::number(host_.State().nandFlashSizeMb));
}

}  // namespace zorbel
