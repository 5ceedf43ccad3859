#pragma once
// The SPI pages: the board's SPI image table beside the detail sub-page,
// which carries the device settings form and writes "1.txt" into SPI flash
// as image 2; the modify and erase sub-pages stay reachable for the
// pattern's sake, but this product offers no button that leads to them.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "pages/image_sub_pages.h"
#include "pages/list_page.h"

namespace zorbel {

class DeviceSettingsForm;

inline constexpr int kSpiDetailPageResource = 1290;
inline constexpr int kSpiErasePageResource = 1291;
inline constexpr int kSpiModifyPageResource = 1292;
inline constexpr const char* kSpiBusyCaption = "放弃";

class CSpiPage : public ListPage {
  Q_OBJECT

 public:
  CSpiPage(PageHost& host, QWidget* parent);
};

class CSpiDetailPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CSpiDetailPage(ListPage& list);
  ~CSpiDetailPage() override;

  DeviceSettingsForm* Form() const { return form_; }
  QPushButton* WriteButton() const { return write_; }
  QPushButton* VerifyButton() const { return verify_; }

 private:
  void Fill(OperationContext& ctx);

  ListPage& list_;
  DeviceSettingsForm* form_;
  // The image controls: hidden and disabled; they hold the settings image's values.
  QLineEdit* number_;
  QLineEdit* name_;
  QButtonGroup* types_;
  QLineEdit* exec_;
  QLineEdit* start_;
  QPushButton* browse_;
  QPushButton* verify_;
  QPushButton* write_;
  std::string filePath_;
  KeptHead kept_;
  Action writeAction_;
  Action verifyAction_;
};

class CSpiModifyPage : public ImageModifyPage {
  Q_OBJECT

 public:
  explicit CSpiModifyPage(ListPage& list);
};

class CSpiErasePage : public ImageErasePage {
  Q_OBJECT

 public:
  explicit CSpiErasePage(ListPage& list);
};

}  // namespace zorbel
