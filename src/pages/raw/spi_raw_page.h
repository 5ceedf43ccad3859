#pragma once
// SPI raw data: a whole file burnt into SPI flash over either wire, and a
// number of 64 KB blocks read back into a file over the disk. The file to
// burn and the file to read into are remembered in "path.ini".
#include "pages/raw/raw_data_page.h"

namespace zorbel {

inline constexpr const char* kReadCaption = "Read";

class CSpiRawPage : public RawDataPage {
  Q_OBJECT

 public:
  explicit CSpiRawPage(PageHost& host, QWidget* parent = nullptr);

  const std::string& SavePath() const { return savePath_; }

 private:
  void OnBrowse();
  void OnSaveBrowse();
  void OnMakeRom();
  bool PrepareRead();
  void SetSavePath(const std::string& path);

  QLineEdit* shownSavePath_;
  QPushButton* saveBrowse_;
  QLineEdit* blocks_;
  QPushButton* read_;
  QPushButton* makeRom_;
  Action readAction_;
  std::string savePath_;
};

}  // namespace zorbel
