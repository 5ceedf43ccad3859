#include "app/ui/loader_download_dialog.h"

#include <QLabel>

#include "app/ui/dialog_units.h"
#include "controls/mac_progress_ctrl.h"
#include "link/loader_download.h"

namespace zorbel {

LoaderDownloadDialog::LoaderDownloadDialog(QWidget* parent)
    : QDialog(parent),
      sink_(
          this, [this](uint32_t number, int percent) { OnMessage(number, percent); },
          [this](uint32_t rgb) { bar_->SetColor(rgb); }) {
  setObjectName("LoaderDownloadDialog");
  setWindowTitle(QString::fromUtf8(kLoaderDialogCaption));
  setFixedSize(DluSize(186, 50));
  label_ = new QLabel(this);
  label_->setObjectName("1000");
  label_->setGeometry(DluRect(7, 7, 172, 10));
  bar_ = new CMacProgressCtrl(this);
  bar_->setObjectName("1002");
  bar_->setGeometry(DluRect(7, 24, 172, 12));
  bar_->setRange(0, 100);
}

void LoaderDownloadDialog::Begin() {
  label_->setText(QString::fromUtf8(kLoaderDialogLabel));
  bar_->setValue(0);
  bar_->SetColor(kLoaderBarColour);
  setWindowModality(Qt::WindowModal);
  show();
}

void LoaderDownloadDialog::End() {
  if (isVisible()) done(0);
}

void LoaderDownloadDialog::OnMessage(uint32_t messageNumber, int percent) {
  if (messageNumber == kLoaderPercentMessage) {
    bar_->setValue(percent);
  } else if (messageNumber == kLoaderDoneMessage) {
    End();
  }
}

}  // namespace zorbel
