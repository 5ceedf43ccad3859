#include "pages/nor/nor_page.h"

#include "app/tool_settings.h"
#include "app/ui/dialog_units.h"
#include "controls/sortable_list.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/image_add_page.h"
#include "pages/page_widgets.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/vcom_operations.h"

namespace zorbel {
namespace {

constexpr uint32_t kBurnBarColour = Rgb(90, 200, 60);
constexpr int kFieldLength = 8;

ListPageSpec NorSpec() {
  ListPageSpec spec;
  spec.className = "CNorPage";
  spec.medium = Medium::kNor;
  spec.frameId = "1082";
  spec.buttonIds = {"1080", "1081", "1012", nullptr};
  return spec;
}

}  // namespace

CNorPage::CNorPage(PageHost& host, QWidget* parent) : ListPage(host, NorSpec(), parent) {
  List()->setObjectName("1079");
  List()->setGeometry(DluRect(7, 22, 236, 211));
  device_ = new QLabel(this);
  device_->setObjectName("1092");
  device_->setGeometry(DluRect(40, 7, 203, 10));
  AddLabel(this, "Device:", DluRect(7, 7, 32, 10))->setBuddy(device_);
  AddSubPagesOf<CNorAddPage, CNorModifyPage, CNorErasePage>(
      {kNorAddPageResource, kNorModifyPageResource, kNorErasePageResource});
}

void CNorPage::TableShown(const TableSnapshot& snapshot) {
  // What this read found: a failed type read leaves no stale device named.
  device_->setText(QString::fromStdString(snapshot.norDeviceText));
}

// ---- add --------------------------------------------------------------------------
CNorAddPage::CNorAddPage(ListPage& list)
    : OperationPage(list, "CNorAddPage", ProgressMessage::kNorImage, kBurnBarColour, &list), list_(list) {
  resize(SubPageSize());
  number_ = AddLabelledEdit(this, "1040", "Image No :", DluRect(8, 12, 70, 10), DluRect(84, 10, 60, 12), 0);
  name_ = AddLabelledEdit(this, "1016", "Image Name :", DluRect(8, 32, 70, 10), DluRect(84, 30, 116, 12), 0);
  name_->setReadOnly(true);
  browse_ = AddButton(this, "1042", "...", DluRect(204, 30, 22, 12));
  browse_->setAccessibleName("Choose burning file...");
  flags_ = AddNorFlagBoxes(this, {"1023", "1024", "1025", "1026", "1027", "1028"}, 52);
  exec_ = AddLabelledEdit(this, "1017", "Image execute address : 0x", DluRect(8, 92, 110, 10),
                          DluRect(124, 90, 70, 12), kFieldLength);
  offset_ = AddLabelledEdit(this, "1019", "Flash offset : 0x", DluRect(8, 112, 110, 10), DluRect(124, 110, 70, 12),
                            kFieldLength);
  bar_->setObjectName("1041");
  bar_->setGeometry(DluRect(8, 140, 218, 10));
  burn_ = AddButton(this, "1020", kBurnCaption, DluRect(40, 164, 60, 16));
  verify_ = AddButton(this, "1021", kVerifyCaption, DluRect(134, 164, 60, 16));
  connect(browse_, &QPushButton::clicked, this, [this] { ChooseImageFile(PageFolderKey::kNor, filePath_, name_); });

  burnAction_.button = burn_;
  burnAction_.idleCaption = kBurnCaption;
  burnAction_.confirmCaption = kNorConfirmCaption;
  burnAction_.prepare = [this] {
    return Passes(CheckNorImageBurn({FieldText(number_), FieldText(exec_), FieldText(offset_), 0}));
  };
  burnAction_.beforeStart = [this] { return FileChosen(filePath_, page_text::kChooseImageFile); };
  burnAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    verify_->setEnabled(false);
  };
  // A failed burn keeps its bar and names itself when the operation did not.
  burnAction_.resetBarOnFailure = false;
  burnAction_.work = [](OperationContext& ctx) {
    return RunAndSay(
        ctx, [](OperationContext& c) { return VcomBurnImage(c, Medium::kNor); }, page_text::kBurnOk,
        page_text::kBurnFailed, true);
  };
  burnAction_.finish = [this](int result) {
    // Only a burnt image can be verified.
    if (result != 1) return;
    verify_->setEnabled(true);
    list_.RequestRefresh();
  };
  connect(burn_, &QPushButton::clicked, this, [this] { PressAction(burnAction_); });

  verifyAction_.button = verify_;
  verifyAction_.idleCaption = kVerifyCaption;
  verifyAction_.startsBar = false;
  verifyAction_.prepare = [this] {
    if (verify_->text() != kVerifyCaption) verifyAborted_ = true;
    return true;
  };
  verifyAction_.beforeStart = [this] {
    if (!FileChosen(filePath_, page_text::kChooseComparingFile)) return false;
    return Passes(CheckVerifyNumber(FieldText(number_), false));
  };
  verifyAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    burn_->setEnabled(false);
  };
  verifyAction_.work = [](OperationContext& ctx) { return VerifyImage(ctx, Medium::kNor); };
  verifyAction_.finish = [this](int) {
    burn_->setEnabled(true);
    // An aborted verify leaves Verify to the next successful burn.
    if (verifyAborted_) verify_->setEnabled(false);
    verifyAborted_ = false;
  };
  connect(verify_, &QPushButton::clicked, this, [this] { PressAction(verifyAction_); });
}

CNorAddPage::~CNorAddPage() { AbortAndWait(); }

void CNorAddPage::Fill(OperationContext& ctx) {
  ctx.filePath = filePath_;
  ctx.keptHead = &kept_;
  HeadFields& head = ctx.head;
  head.imageNumber = FieldText(number_);
  head.imageName = FieldText(name_);
  head.imageType = CheckedFlags(flags_);
  head.executeAddress = FieldText(exec_);
  head.start = FieldText(offset_);
}

// ---- modify, erase -----------------------------------------------------------------
CNorModifyPage::CNorModifyPage(ListPage& list)
    : ImageModifyPage(list, {"CNorModifyPage", Medium::kNor, "1015",
                             {"1029", "1030", "1031", "1032", "1033", "1034"}, "1016",
                             FailureWording::kWhenUnworded}) {}

CNorErasePage::CNorErasePage(ListPage& list)
    : ImageErasePage(list, {"CNorErasePage", Medium::kNor, ProgressMessage::kNorErase, {"1012", "1013"}, "1014",
                            "1022", "1048", FailureWording::kWhenUnworded}) {}

}  // namespace zorbel
