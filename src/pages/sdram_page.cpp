#include "pages/sdram_page.h"

#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "app/user_prompt.h"
#include "controls/mac_progress_ctrl.h"
#include "pages/page_host.h"
#include "protocol/records.h"
#include "settings/delivery.h"
#include "settings/ui/device_settings_form.h"

namespace zorbel {
namespace {

constexpr uint32_t kSdramBarColour = Rgb(255, 0, 0);

}  // namespace

CSdramPage::CSdramPage(PageHost& host, QWidget* parent)
    : OperationPage(host, "CSdramPage", ProgressMessage::kSdram, kSdramBarColour, parent) {
  resize(DluSize(500, 262));
  form_ = new DeviceSettingsForm(this);
  form_->move(0, 0);

  write_ = new QPushButton(QString::fromUtf8(kWriteCaption), this);
  write_->setObjectName("1008");
  write_->setAutoDefault(false);
  write_->setGeometry(DluRect(88, 208, 60, 16));

  bar_->setGeometry(DluRect(14, 234, 472, 10));

  // The plain download of a chosen file is hidden in this form; its run
  // option and file choice stay.
  downloadOnly_ = new QRadioButton("Download only", this);
  downloadOnly_->setObjectName("1186");
  downloadOnly_->setGeometry(DluRect(300, 29, 90, 10));
  downloadOnly_->setChecked(true);
  downloadOnly_->hide();
  downloadRun_ = new QRadioButton("Download and run", this);
  downloadRun_->setObjectName("1187");
  downloadRun_->setGeometry(DluRect(300, 48, 90, 10));
  downloadRun_->hide();
  browse_ = new QPushButton("...", this);
  browse_->setObjectName("browse");
  browse_->setAutoDefault(false);
  browse_->setGeometry(DluRect(460, 67, 20, 12));
  browse_->hide();
  shownPath_ = new QLabel(" ...", this);
  shownPath_->setObjectName("path");
  shownPath_->setGeometry(DluRect(300, 67, 150, 12));
  shownPath_->hide();
  connect(browse_, &QPushButton::clicked, this, &CSdramPage::OnBrowse);

  // Enter in a field must neither close the window nor press a button.
  SetSwallowEnter(true);

  writeAction_.button = write_;
  writeAction_.idleCaption = QString::fromUtf8(kWriteCaption);
  writeAction_.prepare = [this] { return PrepareFiles(); };
  writeAction_.fill = [this](OperationContext& ctx) { ctx.head.mode = downloadRun_->isChecked() ? 1 : 0; };
  writeAction_.work = [](OperationContext& ctx) {
    const uint32_t runOption = ctx.head.mode;
    return DeliverSettings(ctx, SettingsRoute::kSdram, SettingsFilesFor(ctx.state), runOption);
  };
  writeAction_.finish = [this](int /*result*/) {
    if (downloadRun_->isChecked()) host_.SetStatusText(kDisconnectStatus);
  };
  connect(write_, &QPushButton::clicked, this, [this] { PressAction(writeAction_); });
}

CSdramPage::~CSdramPage() { AbortAndWait(); }

bool CSdramPage::PrepareFiles() {
  const bool overVcom = host_.State().connection.massStorageConnected == 0;
  const std::string failure =
      PrepareSettingsDelivery(form_->Read(), SettingsRoute::kSdram, SettingsFilesFor(host_.State()), overVcom);
  if (failure.empty()) return true;
  host_.Prompt().ShowMessage(failure);
  return false;
}

void CSdramPage::OnBrowse() {
  const std::string path = ChooseFile(PageFolderKey::kSdram);
  if (path.empty()) return;
  shownPath_->setText(QString::fromStdString(" " + path));
}

}  // namespace zorbel
