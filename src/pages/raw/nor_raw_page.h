#pragma once
// NOR raw data: a whole file burnt at a flash offset, over whichever wire
// is connected; the board's NOR type is shown whenever the page is shown.
#include "pages/raw/raw_data_page.h"

namespace zorbel {

class CNorRawPage : public RawDataPage {
  Q_OBJECT

 public:
  explicit CNorRawPage(PageHost& host, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void EnablingRules() override;

 private:
  void ReadDevice();
  void OnBrowse();
  void OnMakeRom();

  QLineEdit* offset_;
  QLineEdit* device_;
  QPushButton* makeRom_;
};

}  // namespace zorbel
