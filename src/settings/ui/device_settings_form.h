#pragma once
// The device settings form shared by the SDRAM page and the SPI page: name,
// WiFi SSID, password and encryption, IP mode and the fixed addresses, which
// are shown only while the IP mode is not the first item.
#include <QWidget>

#include "settings/device_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace zorbel {

class DeviceSettingsForm : public QWidget {
  Q_OBJECT

 public:
  explicit DeviceSettingsForm(QWidget* parent = nullptr);

  // Name "Tellan-5", the rest empty, first items selected, addresses hidden.
  void ResetToInitial();
  // The form as typed; a typed text in a drop-down box counts as no item.
  DeviceSettings Read() const;

 private:
  void OnIpModeChanged();

  QLineEdit* name_;
  QLineEdit* ssid_;
  QLineEdit* password_;
  QComboBox* encryption_;
  QComboBox* ipMode_;
  QLineEdit* addresses_[5];
  QLabel* addressLabels_[5];
};

}  // namespace zorbel
