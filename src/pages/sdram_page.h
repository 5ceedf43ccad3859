#pragma once
// The SDRAM page: the device settings form; its write button builds "1.txt"
// and "t0.bin" in the current directory and downloads "t0.bin" into the
// board's SDRAM over whichever wire is connected.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include "pages/operation_page.h"

namespace zorbel {

class DeviceSettingsForm;

inline constexpr const char* kWriteCaption = "写入";
inline constexpr const char* kWriteSucceeded = "写入成功";
inline constexpr const char* kWriteFailed = "写入失败";
inline constexpr const char* kDownloadFailed = "Download Failed";
inline constexpr const char* kDownloadSucceeded = "Download successfully";
inline constexpr const char* kDisconnectStatus = "Disconnect!";
inline constexpr const char* kDefaultSdramAddress = "8000";

class CSdramPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CSdramPage(PageHost& host, QWidget* parent = nullptr);
  ~CSdramPage() override;

  DeviceSettingsForm* Form() const { return form_; }
  QPushButton* WriteButton() const { return write_; }

 private:
  bool PrepareFiles();
  int RunDownload(OperationContext& ctx, uint32_t runOption) const;
  void OnBrowse();

  DeviceSettingsForm* form_;
  QPushButton* write_;
  QLineEdit* address_;        // hidden: the SDRAM buffer address
  QRadioButton* downloadOnly_;  // hidden run options
  QRadioButton* downloadRun_;
  QPushButton* browse_;       // hidden in this form
  QLabel* shownPath_;
  Action writeAction_;
};

}  // namespace zorbel
