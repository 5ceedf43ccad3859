#include "pages/sd/sd_page.h"

#include <QRadioButton>
#include <memory>

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/page_widgets.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/table_read.h"

namespace zorbel {
namespace {

ListPageSpec SdSpec() {
  ListPageSpec spec;
  spec.className = "CSdPage";
  spec.medium = Medium::kSd;
  spec.frameId = "1193";
  spec.buttonIds = {"1190", "1191", "1192", "1194"};
  spec.readOptionSize = ReadSdCardSize;
  spec.optionSize = &ToolState::sdCardSizeMb;
  return spec;
}

TypedAddSpec SdAddSpec() {
  TypedAddSpec spec;
  spec.className = "CSdAddPage";
  spec.medium = Medium::kSd;
  spec.progressMessage = ProgressMessage::kSdImage;
  spec.folderKey = PageFolderKey::kSdCard;
  spec.numberId = "1194";
  spec.nameId = "1195";
  spec.browseId = "1196";
  spec.typeIds = {"1197", "1198", "1199", "1200", "1216"};
  spec.execId = "1201";
  spec.startId = "1202";
  spec.startLabel = "Image start sector : 0x";
  spec.startNote = "Note: It should be larger than 21h  ";
  spec.progressId = "1203";
  spec.burnId = "1204";
  spec.verifyId = "1205";
  spec.confirmCaption = kConfirmBoxCaption;
  spec.startRule = CheckSdStartSector;
  return spec;
}

}  // namespace

CSdPage::CSdPage(PageHost& host, QWidget* parent) : ListPage(host, SdSpec(), parent) {
  AddSubPagesOf<CSdAddPage, CSdModifyPage, CSdErasePage, CSdOptionPage>(
      {kSdAddPageResource, kSdModifyPageResource, kSdErasePageResource, kSdOptionPageResource});
}

CSdAddPage::CSdAddPage(ListPage& list) : TypedAddPage(list, SdAddSpec()) {}

CSdModifyPage::CSdModifyPage(ListPage& list)
    : ImageModifyPage(list, {"CSdModifyPage", Medium::kSd, "1210", {"1211", "1212", "1213"}, "1214",
                             FailureWording::kWhenUnworded}) {}

CSdErasePage::CSdErasePage(ListPage& list)
    : ImageErasePage(list, {"CSdErasePage", Medium::kSd, ProgressMessage::kSdErase, {"1192", "1206"}, "1207",
                            "1209", "1208", FailureWording::kAlways}) {}

// ---- option -----------------------------------------------------------------------
// The board posts a progress message while it sets the area; this page has
// never shown it, so its number is none.
CSdOptionPage::CSdOptionPage(ListPage& list)
    : ReservedAreaPage(list, {"CSdOptionPage", Medium::kSd, 0, "1222", "SD Card Total Size", "1218", "1224", "1223",
                              &ToolState::sdCardSizeMb}),
      list_(list) {
  format_ = new QCheckBox("Enable SD Format", this);
  format_->setObjectName("1225");
  format_->setGeometry(DluRect(8, 62, 100, 10));
  ports_ = new QButtonGroup(this);
  const char* ids[] = {"1228", "1229", "1230"};
  const char* texts[] = {"Port 0", "Port 1", "Port 2"};
  for (int i = 0; i < 3; ++i) AddRadio(this, ports_, i, ids[i], texts[i], DluRect(8 + 60 * i, 80, 55, 10));
  // The card's own settings stand above the bar and Apply.
  bar_->setGeometry(DluRect(8, 104, 218, 10));
  apply_->setGeometry(DluRect(86, 126, 60, 16));
  connect(ports_, &QButtonGroup::idClicked, this, [this](int port) { OnPort(port); });
}

void CSdOptionPage::showEvent(QShowEvent* event) {
  ReservedAreaPage::showEvent(event);
  if (QAbstractButton* radio = ports_->button(static_cast<int>(host_.State().sdPort))) radio->setChecked(true);
}

void CSdOptionPage::OnPort(int port) {
  ToolState& state = host_.State();
  state.sdPort = static_cast<uint32_t>(port);
  // An older board has one slot the tool can name: the port is only kept.
  if (state.familyMode == 0) return;
  list_.RunOnBoard([&state] { SendSdPortChange(state); }, {});
  list_.RequestRefresh();
  auto size = std::make_shared<uint32_t>(0);
  list_.RunOnBoard([&state, size] { *size = ReadSdCardSize(state, nullptr).value_or(0); },
                   [this, &state, size] {
                     state.sdCardSizeMb = *size;
                     ShowTotal();
                   });
}

}  // namespace zorbel
