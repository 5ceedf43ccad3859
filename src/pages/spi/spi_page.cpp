#include "pages/spi/spi_page.h"

#include <QRadioButton>

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "controls/sortable_list.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/image_add_page.h"
#include "pages/page_widgets.h"
#include "pages/sdram_page.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "settings/delivery.h"
#include "settings/ui/device_settings_form.h"

namespace zorbel {
namespace {

constexpr uint32_t kBurnBarColour = Rgb(90, 200, 60);
constexpr int kFieldLength = 8;

ListPageSpec SpiSpec() {
  ListPageSpec spec;
  spec.className = "CSpiPage";
  spec.medium = Medium::kSpi;
  spec.frameId = "1168";
  spec.buttonIds = {"1166", "1167", "1048", nullptr};
  spec.offersButtons = false;
  return spec;
}

// A control of the image part: present for the operations, never shown.
template <typename T>
T* Unoffered(T* control) {
  control->hide();
  control->setEnabled(false);
  return control;
}

}  // namespace

CSpiPage::CSpiPage(PageHost& host, QWidget* parent) : ListPage(host, SpiSpec(), parent) {
  List()->setObjectName("1165");
  AddSubPagesOf<CSpiDetailPage, CSpiModifyPage, CSpiErasePage>(
      {kSpiDetailPageResource, kSpiModifyPageResource, kSpiErasePageResource});
}

// ---- detail -----------------------------------------------------------------------
CSpiDetailPage::CSpiDetailPage(ListPage& list)
    : OperationPage(list, "CSpiDetailPage", ProgressMessage::kSpiImage, kBurnBarColour, &list),
      list_(list),
      filePath_(kSettingsTextFile) {
  // The frame is hidden here: the form takes all of it.
  resize(list.Frame()->size());
  form_ = new DeviceSettingsForm(this);
  form_->move(0, 0);
  write_ = AddButton(this, "1047", kWriteCaption, DluRect(88, 206, 60, 16));
  bar_->setObjectName("1046");
  bar_->setGeometry(DluRect(14, 230, 216, 10));

  const HeadFields image = SpiSettingsImageFields();
  number_ = Unoffered(AddLabelledEdit(this, "1169", "Image No :", DluRect(8, 12, 70, 10), DluRect(84, 10, 60, 12),
                                      kFieldLength));
  number_->setText(QString::fromStdString(image.imageNumber));
  name_ = Unoffered(
      AddLabelledEdit(this, "1170", "Image Name :", DluRect(8, 32, 70, 10), DluRect(84, 30, 116, 12), 0));
  name_->setReadOnly(true);
  name_->setText(QString::fromStdString(image.imageName));
  browse_ = Unoffered(AddButton(this, "1044", "...", DluRect(204, 30, 22, 12)));
  types_ = new QButtonGroup(this);
  const char* typeIds[] = {"1171", "1172", "1173", "1174", "1177"};
  const char* typeTexts[] = {"Data", "Execute", "RomFS", "System Image", "Logo"};
  for (int i = 0; i < 5; ++i) Unoffered(AddRadio(this, types_, i, typeIds[i], typeTexts[i], DluRect(8, 52, 50, 10)));
  types_->button(static_cast<int>(image.imageType))->setChecked(true);
  exec_ = Unoffered(AddLabelledEdit(this, "1175", "Image execute address : 0x", DluRect(8, 92, 110, 10),
                                    DluRect(124, 90, 70, 12), kFieldLength));
  exec_->setText(QString::fromStdString(image.executeAddress));
  start_ = Unoffered(AddLabelledEdit(this, "1176", "Image start bank: 0x", DluRect(8, 112, 110, 10),
                                     DluRect(124, 110, 70, 12), kFieldLength));
  start_->setText(QString::fromStdString(image.start));
  verify_ = Unoffered(AddButton(this, "1049", "Verify", DluRect(134, 206, 60, 16)));
  // The labels of hidden fields go with them.
  for (auto* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label->buddy() != nullptr && label->buddy()->isHidden()) label->hide();
  }
  connect(browse_, &QPushButton::clicked, this, [this] { ChooseImageFile(PageFolderKey::kSpi, filePath_, name_); });

  // The abort of a write or verify leaves the port to the operation.
  writeAction_.button = write_;
  writeAction_.idleCaption = QString::fromUtf8(kWriteCaption);
  writeAction_.busyCaption = QString::fromUtf8(kSpiBusyCaption);
  writeAction_.closePortOnAbort = false;
  writeAction_.prepare = [this] {
    // "1.txt" is written before the caption is looked at, also by an abort press.
    return Passes(PrepareSettingsDelivery(form_->Read(), SettingsRoute::kSpi, SettingsFiles{}, !OverDisk(host_)));
  };
  writeAction_.beforeStart = [this] { return FileChosen(filePath_, page_text::kChooseImageFile); };
  writeAction_.fill = [this](OperationContext& ctx) {
    Fill(ctx);
    verify_->setEnabled(false);
  };
  writeAction_.work = [](OperationContext& ctx) {
    return DeliverSettings(ctx, SettingsRoute::kSpi, SettingsFiles{}, 0);
  };
  writeAction_.finish = [this](int result) {
    verify_->setEnabled(true);
    if (result == 1) list_.RequestRefresh();
  };
  connect(write_, &QPushButton::clicked, this, [this] { PressAction(writeAction_); });

  verifyAction_.button = verify_;
  verifyAction_.idleCaption = "Verify";
  verifyAction_.busyCaption = QString::fromUtf8(kSpiBusyCaption);
  verifyAction_.startsBar = false;
  verifyAction_.closePortOnAbort = false;
  verifyAction_.beforeStart = [this] {
    if (!FileChosen(filePath_, page_text::kChooseComparingFile)) return false;
    const bool systemImage = types_->checkedId() == static_cast<int>(ImageKind::kSystemImage);
    return Passes(CheckVerifyNumber(FieldText(number_), systemImage));
  };
  verifyAction_.fill = [this](OperationContext& ctx) { Fill(ctx); };
  verifyAction_.work = [](OperationContext& ctx) { return VerifyImage(ctx, Medium::kSpi); };
  connect(verify_, &QPushButton::clicked, this, [this] { PressAction(verifyAction_); });
}

CSpiDetailPage::~CSpiDetailPage() { AbortAndWait(); }

void CSpiDetailPage::Fill(OperationContext& ctx) {
  ctx.filePath = filePath_;
  ctx.keptHead = &kept_;
  HeadFields& head = ctx.head;
  head.imageNumber = FieldText(number_);
  head.imageName = FieldText(name_);
  head.imageType = static_cast<uint32_t>(types_->checkedId());
  head.executeAddress = FieldText(exec_);
  head.start = FieldText(start_);
}

// ---- modify, erase -----------------------------------------------------------------
CSpiModifyPage::CSpiModifyPage(ListPage& list)
    : ImageModifyPage(list, {"CSpiModifyPage", Medium::kSpi, "1181", {"1182", "1183", "1184"}, "1185",
                             FailureWording::kWhenUnworded}) {}

CSpiErasePage::CSpiErasePage(ListPage& list)
    : ImageErasePage(list, {"CSpiErasePage", Medium::kSpi, ProgressMessage::kSpiErase, {"1048", "1178"}, "1177",
                            "1180", "1179", FailureWording::kAlways}) {
  // The flash size is the board's business; the field stays unused.
  auto* size = AddLabelledEdit(this, "1233", "SPI Flash Size:", DluRect(8, 64, 70, 10), DluRect(84, 62, 60, 12), 0);
  size->setEnabled(false);
  AddLabel(this, "KB", DluRect(150, 64, 20, 10));
}

}  // namespace zorbel
