#pragma once
// NAND raw data: a NAND ROM file burnt over the COM port. A chosen file is
// checked against the board's block size (and converted when the user
// agrees); the builder opens for the board's block size.
#include <cstdint>

#include "pages/raw/raw_data_page.h"

namespace zorbel {

class CNandRawPage : public RawDataPage {
  Q_OBJECT

 public:
  explicit CNandRawPage(PageHost& host, QWidget* parent = nullptr);

  uint32_t ImageCount() const { return imageCount_; }

 private:
  void OnBrowse();
  void OnMakeRom();
  void SetImageCount(uint32_t count);

  QLineEdit* count_;
  QPushButton* makeRom_;
  uint32_t imageCount_ = 0;
};

}  // namespace zorbel
