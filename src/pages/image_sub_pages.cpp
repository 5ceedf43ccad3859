#include "pages/image_sub_pages.h"

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

constexpr const char* kTypeTexts[] = {"Data", "Execute", "RomFS"};
constexpr const char* kFlagTexts[] = {"Active", "Copy2RAM", "Exec", "File", "Compressed", "RomFS"};
constexpr const char* kEraseTexts[] = {"Erase image No", "Erase all Flash", "Erase System Area"};

}  // namespace

std::vector<QCheckBox*> AddNorFlagBoxes(QWidget* page, const std::vector<const char*>& ids, int top) {
  std::vector<QCheckBox*> boxes;
  for (size_t i = 0; i < ids.size(); ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(kFlagTexts[i]), page);
    box->setObjectName(QString::fromUtf8(ids[i]));
    box->setGeometry(DluRect(8 + 72 * static_cast<int>(i % 3), top + 16 * static_cast<int>(i / 3), 66, 10));
    boxes.push_back(box);
  }
  return boxes;
}

uint32_t CheckedFlags(const std::vector<QCheckBox*>& boxes) {
  uint32_t flags = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i]->isChecked()) flags |= 1u << i;
  }
  return flags;
}

// ---- modify ---------------------------------------------------------------------
ImageModifyPage::ImageModifyPage(ListPage& list, const ModifySpec& spec)
    : OperationPage(list, spec.className, 0, 0, &list) {
  resize(SubPageSize());
  bar_->hide();  // a type change is one short command
  number_ = AddLabelledEdit(this, spec.numberId, "Image No :", DluRect(8, 22, 60, 10),
                            DluRect(74, 20, 60, 12), kFieldLength);
  if (spec.medium == Medium::kNor) {
    flags_ = AddNorFlagBoxes(this, spec.typeIds, 44);
  } else {
    types_ = new QButtonGroup(this);
    for (size_t i = 0; i < spec.typeIds.size(); ++i) {
      AddRadio(this, types_, static_cast<int>(i), spec.typeIds[i], kTypeTexts[i],
               DluRect(8 + 60 * static_cast<int>(i), 48, 55, 10));
    }
    types_->button(0)->setChecked(true);
  }
  apply_ = AddButton(this, spec.applyId, kApplyCaption, DluRect(86, 90, 60, 16));
  SetSwallowEnter(true);  // Enter would reach the window's default button, Exit

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  // No abort: a press while the change runs is ignored.
  applyAction_.busyCaption = kApplyCaption;
  applyAction_.startsBar = false;
  applyAction_.prepare = [this] { return Passes(CheckImageNumberGiven(FieldText(number_))); };
  applyAction_.fill = [this](OperationContext& ctx) {
    ctx.head.imageNumber = FieldText(number_);
    ctx.head.imageType = TypeValue();
  };
  applyAction_.work = [medium = spec.medium, silent = spec.failure == FailureWording::kWhenUnworded](
                           OperationContext& ctx) {
    return RunAndSay(
        ctx,
        [medium](OperationContext& c) {
          return UsesDiskVariant(medium, c.state) ? MsModifyImage(c, medium) : VcomModifyImage(c, medium);
        },
        nullptr, page_text::kModifyFailed, silent);
  };
  applyAction_.finish = [&list](int result) {
    if (result == 1) list.RequestRefresh();
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

ImageModifyPage::~ImageModifyPage() { AbortAndWait(); }

uint32_t ImageModifyPage::TypeValue() const {
  if (types_ != nullptr) return static_cast<uint32_t>(types_->checkedId());
  return CheckedFlags(flags_);
}

// ---- erase ----------------------------------------------------------------------
ImageErasePage::ImageErasePage(ListPage& list, const EraseSpec& spec)
    : OperationPage(list, spec.className, spec.progressMessage, kEraseBarColour, &list) {
  resize(SubPageSize());
  SetSwallowEnter(true);
  choices_ = new QButtonGroup(this);
  for (size_t i = 0; i < spec.choiceIds.size(); ++i) {
    AddRadio(this, choices_, static_cast<int>(i), spec.choiceIds[i], kEraseTexts[i],
             DluRect(8, 20 + 20 * static_cast<int>(i), 84, 10));
  }
  choices_->button(0)->setChecked(true);
  number_ = new QLineEdit(this);
  number_->setObjectName(QString::fromUtf8(spec.numberId));
  number_->setMaxLength(kFieldLength);
  number_->setAccessibleName(kEraseTexts[0]);
  number_->setGeometry(DluRect(96, 18, 60, 12));
  bar_->setObjectName(QString::fromUtf8(spec.progressId));
  bar_->setGeometry(DluRect(8, 90, 218, 10));
  apply_ = AddButton(this, spec.applyId, kApplyCaption, DluRect(86, 112, 60, 16));

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  // The disk operations never look at the port.
  applyAction_.closePortOnAbort = spec.medium != Medium::kSd;
  applyAction_.prepare = [this] {
    if (choices_->checkedId() != static_cast<int>(EraseChoice::kImage)) return true;
    return Passes(CheckImageNumberGiven(FieldText(number_)));
  };
  applyAction_.fill = [this](OperationContext& ctx) {
    choice_ = static_cast<EraseChoice>(choices_->checkedId());
    ctx.head.imageNumber = FieldText(number_);
  };
  applyAction_.work = [this, medium = spec.medium, silent = spec.failure == FailureWording::kWhenUnworded](
                           OperationContext& ctx) {
    return RunAndSay(
        ctx,
        [this, medium](OperationContext& c) {
          return UsesDiskVariant(medium, c.state) ? MsErase(c, medium, choice_) : VcomErase(c, medium, choice_);
        },
        page_text::kEraseOk, page_text::kEraseFailed, silent);
  };
  applyAction_.finish = [&list](int result) {
    if (result == 1) list.RequestRefresh();
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

ImageErasePage::~ImageErasePage() { AbortAndWait(); }

// ---- reserved area ------------------------------------------------------------------
ReservedAreaPage::ReservedAreaPage(ListPage& list, const ReservedAreaSpec& spec)
    : OperationPage(list, spec.className, spec.progressMessage, kOptionBarColour, &list), spec_(spec) {
  resize(SubPageSize());
  SetSwallowEnter(true);
  total_ = AddLabelledEdit(this, spec.totalId, spec.totalLabel, DluRect(8, 22, 110, 10),
                           DluRect(124, 20, 60, 12), 0);
  total_->setReadOnly(true);
  AddLabel(this, "MB", DluRect(190, 22, 20, 10));
  reserved_ = AddLabelledEdit(this, spec.reservedId, "System Reserved Area Size", DluRect(8, 42, 110, 10),
                              DluRect(124, 40, 60, 12), 0);
  reserved_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), reserved_));
  AddLabel(this, "MB", DluRect(190, 42, 20, 10));
  bar_->setObjectName(QString::fromUtf8(spec.progressId));
  bar_->setGeometry(DluRect(8, 70, 218, 10));
  apply_ = AddButton(this, spec.applyId, kApplyCaption, DluRect(86, 92, 60, 16));

  applyAction_.button = apply_;
  applyAction_.idleCaption = kApplyCaption;
  applyAction_.busyCaption = kApplyCaption;
  applyAction_.startsBar = false;
  applyAction_.prepare = [this] {
    const std::string refusal = CheckReservedSize(FieldText(reserved_), host_.State().*spec_.totalSize);
    if (refusal == page_text::kReservedLargerThanTotal) {
      host_.Prompt().ShowMessage(refusal);
      reserved_->clear();
      return false;
    }
    return Passes(refusal);
  };
  applyAction_.fill = [this](OperationContext& ctx) {
    ctx.head.reservedSize = FieldText(reserved_);
    ctx.head.sdFormat = FormatRequested();
    // A second press would start a second worker on the same disk.
    apply_->setEnabled(false);
  };
  applyAction_.work = [medium = spec.medium](OperationContext& ctx) {
    return RunAndSay(
        ctx, [medium](OperationContext& c) { return MsSetReservedArea(c, medium); }, page_text::kSetOk,
        page_text::kSetFailed, false);
  };
  connect(apply_, &QPushButton::clicked, this, [this] { PressAction(applyAction_); });
}

ReservedAreaPage::~ReservedAreaPage() { AbortAndWait(); }

void ReservedAreaPage::showEvent(QShowEvent* event) {
  OperationPage::showEvent(event);
  ShowTotal();
}

void ReservedAreaPage::ShowTotal() { total_->setText(QString::number(host_.State().*spec_.totalSize)); }

}  // namespace zorbel
