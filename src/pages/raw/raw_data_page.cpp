#include "pages/raw/raw_data_page.h"

#include <QRegularExpressionValidator>

#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "app/ui/label_buddy.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/page_host.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/vcom_operations.h"

namespace zorbel {
namespace {

// Burn, verify and read-back bars share one green.
constexpr uint32_t kRawBarColour = Rgb(90, 200, 60);
// Both SPI path rows look alike; their fields say which file they hold.
constexpr const char* kFileFieldName = "Image file";

}  // namespace

bool OverDisk(const OperationContext& ctx) { return ctx.state.connection.massStorageConnected != 0; }

RawDataPage::RawDataPage(PageHost& host, const char* className, uint32_t progressMessage, QWidget* parent)
    : OperationPage(host, className, progressMessage, kRawBarColour, parent) {
  resize(DluSize(500, 262));
}

// The workers read kept_ and the page's texts.
RawDataPage::~RawDataPage() { AbortAndWait(); }

QPushButton* RawDataPage::AddButton(const char* id, const char* caption, const QRect& where) {
  auto* button = new QPushButton(QString::fromUtf8(caption), this);
  button->setObjectName(id);
  button->setAutoDefault(false);
  button->setGeometry(where);
  return button;
}

QLineEdit* RawDataPage::AddField(const char* id, const QRect& where, bool readOnly) {
  auto* field = new QLineEdit(this);
  field->setObjectName(id);
  field->setGeometry(where);
  field->setReadOnly(readOnly);
  return field;
}

QLineEdit* RawDataPage::AddTypedField(const char* id, const QRect& where, const char* pattern,
                                      int maxLength) {
  QLineEdit* field = AddField(id, where, false);
  field->setMaxLength(maxLength);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), field));
  return field;
}

QLabel* RawDataPage::AddLabel(const char* text, const QRect& where, QWidget* field) {
  auto* label = new QLabel(QString::fromUtf8(text), this);
  label->setGeometry(where);
  if (field != nullptr) TieLabel(label, field);
  return label;
}

void RawDataPage::AddFileRow(const char* pathId, const char* browseId, int y) {
  shownPath_ = AddField(pathId, DluRect(14, y, 400, 12), true);
  shownPath_->setAccessibleName(QString::fromUtf8(kFileFieldName));
  shownPath_->setPlaceholderText(QString::fromUtf8(kFileFieldName));
  browse_ = AddButton(browseId, kBrowseCaption, DluRect(424, y - 1, 62, 14));
}

void RawDataPage::PlaceBar(int y) { bar_->setGeometry(DluRect(14, y, 472, 10)); }

void RawDataPage::SetFilePath(const std::string& path) {
  filePath_ = path;
  // No file: the field stays empty and shows what it is for.
  shownPath_->setText(path.empty() ? QString() : QString::fromStdString(" " + path));
}

void RawDataPage::LockWhileRunning(Action& action) {
  QPushButton* running = action.button;
  action.started = [this, running] {
    for (QPushButton* button : findChildren<QPushButton*>()) {
      if (button != running) button->setEnabled(false);
    }
  };
}

void RawDataPage::UnlockButtons() {
  for (QPushButton* button : findChildren<QPushButton*>()) button->setEnabled(true);
  EnablingRules();
}

void RawDataPage::SetUpBurn(QPushButton* button, RawBurn burn) {
  burn_ = button;
  burnAction_.button = button;
  burnAction_.idleCaption = QString::fromUtf8(kBurnCaption);
  burnAction_.confirmCaption = burn.confirmCaption;
  // The field rules hold for both roles of the button; the file is asked
  // for before the confirmation, not after it.
  burnAction_.prepare = [this, fieldRule = burn.fieldRule] {
    if (fieldRule && !fieldRule()) return false;
    return FileChosen(burnAction_, page_text::kChooseImageFile);
  };
  burnAction_.fill = [this, fill = burn.fill](OperationContext& ctx) {
    ctx.filePath = filePath_;
    ctx.keptHead = &kept_;
    burnOverDisk_ = OverDisk(ctx);
    if (fill) fill(ctx);
  };
  burnAction_.work = [burn](OperationContext& ctx) {
    const Medium medium = burn.medium;
    if (burn.diskVariant && OverDisk(ctx)) {
      return RunAndSay(
          ctx, [medium](OperationContext& c) { return MsWriteImage(c, medium, DataKind::kRaw); }, burn.diskOk,
          burn.diskFailed, false);
    }
    return RunAndSay(
        ctx, [medium](OperationContext& c) { return VcomBurnRaw(c, medium); }, page_text::kBurnOk,
        page_text::kBurnFailed, true);
  };
  LockWhileRunning(burnAction_);
  burnAction_.finish = [this](int result) {
    UnlockButtons();
    // A COM-port burn that failed leaves nothing worth verifying.
    if (result == 0 && !burnOverDisk_ && failedComBurnBlocksVerify_) verify_->setEnabled(false);
  };
  connect(button, &QPushButton::clicked, this, [this] { PressAction(burnAction_); });
}

bool RawDataPage::FileChosen(const Action& action, const char* refusal) {
  if (!IsIdle(action) || !filePath_.empty()) return true;
  host_.Prompt().ShowMessage(refusal);
  return false;
}

void RawDataPage::SetUpVerify(QPushButton* button, Medium medium, bool diskVariant,
                              std::function<void(OperationContext&)> fill) {
  verify_ = button;
  verifyAction_.button = button;
  verifyAction_.idleCaption = QString::fromUtf8(kVerifyCaption);
  verifyAction_.startsBar = false;
  verifyAction_.prepare = [this] { return FileChosen(verifyAction_, page_text::kChooseComparingFile); };
  verifyAction_.fill = [this, fill = std::move(fill)](OperationContext& ctx) {
    ctx.filePath = filePath_;
    ctx.keptHead = &kept_;
    if (fill) fill(ctx);
  };
  verifyAction_.work = [medium, diskVariant](OperationContext& ctx) {
    const bool disk = diskVariant && OverDisk(ctx);
    return RunAndSay(
        ctx,
        [medium, disk](OperationContext& c) {
          return disk ? MsVerify(c, medium, DataKind::kRaw) : VcomVerify(c, medium, DataKind::kRaw);
        },
        page_text::kVerifyOk, page_text::kVerifyFailed, false);
  };
  LockWhileRunning(verifyAction_);
  verifyAction_.finish = [this](int) { UnlockButtons(); };
  connect(button, &QPushButton::clicked, this, [this] { PressAction(verifyAction_); });
}

}  // namespace zorbel
