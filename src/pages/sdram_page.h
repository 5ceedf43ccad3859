#pragma once
// The SDRAM page: the device settings form; its write button builds "1.txt"
// and "t0.bin" in the current directory and downloads "t0.bin" into the
// board's SDRAM over whichever wire is connected.
#include <QLabel>
#include <QRadioButton>

#include "pages/operation_page.h"

namespace zorbel {

class DeviceSettingsForm;

inline constexpr const char* kWriteCaption = "写入";
inline constexpr const char* kDisconnectStatus = "Disconnect!";

class CSdramPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CSdramPage(PageHost& host, QWidget* parent = nullptr);
  ~CSdramPage() override;

  DeviceSettingsForm* Form() const { return form_; }
  QPushButton* WriteButton() const { return write_; }

 private:
  bool PrepareFiles();
  void OnBrowse();

  DeviceSettingsForm* form_;
  QPushButton* write_;
  QRadioButton* downloadOnly_;  // hidden run options
  QRadioButton* downloadRun_;
  QPushButton* browse_;  // hidden in this form
  QLabel* shownPath_;
  Action writeAction_;
};

}  // namespace zorbel
