#include "settings/ui/device_settings_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "app/ui/dialog_units.h"
#include "app/ui/label_buddy.h"

namespace zorbel {
namespace {

constexpr int kLabelX = 14;
constexpr int kLabelWidth = 70;
constexpr int kFieldX = 88;
constexpr int kFieldWidth = 150;
constexpr int kRowTop = 10;
constexpr int kRowStep = 19;
constexpr int kRowHeight = 12;

QLabel* AddLabel(QWidget* parent, int row, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setGeometry(DluRect(kLabelX, kRowTop + row * kRowStep + 2, kLabelWidth, kRowHeight - 2));
  return label;
}

QLineEdit* AddEdit(QWidget* parent, int row, const char* id, const char* label) {
  QLabel* caption = AddLabel(parent, row, label);
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(id);
  TieLabel(caption, edit);
  edit->setGeometry(DluRect(kFieldX, kRowTop + row * kRowStep, kFieldWidth, kRowHeight));
  return edit;
}

QComboBox* AddDropDown(QWidget* parent, int row, const char* id, const char* label,
                       std::initializer_list<const char*> items) {
  QLabel* caption = AddLabel(parent, row, label);
  auto* box = new QComboBox(parent);
  box->setObjectName(id);
  TieLabel(caption, box);
  box->setEditable(true);  // a drop-down combo box: the user may type
  box->setInsertPolicy(QComboBox::NoInsert);
  for (const char* item : items) box->addItem(QString::fromUtf8(item));
  box->setGeometry(DluRect(kFieldX, kRowTop + row * kRowStep, kFieldWidth, kRowHeight + 2));
  return box;
}

// The selected item, or -1 when the box holds a typed text of its own.
int SelectedItem(const QComboBox* box) {
  const int index = box->currentIndex();
  if (index < 0 || box->currentText() != box->itemText(index)) return -1;
  return index;
}

}  // namespace

DeviceSettingsForm::DeviceSettingsForm(QWidget* parent) : QWidget(parent) {
  setObjectName("DeviceSettingsForm");
  name_ = AddEdit(this, 0, "1235", "名称");
  ssid_ = AddEdit(this, 1, "1236", "Wifi SSID");
  password_ = AddEdit(this, 2, "1237", "Wifi 密码");
  encryption_ = AddDropDown(this, 3, "1238", "Wifi 加密方式", {"WPA-PSK/WPA2-PSK", "WEP", "无"});
  ipMode_ = AddDropDown(this, 4, "1239", "IP模式", {"自动获取", "固定IP"});
  const char* ids[5] = {"1240", "1241", "1242", "1243", "1244"};
  const char* labels[5] = {"IP 地址", "网络掩码", "网关IP 地址", "DNS0 IP 地址", "DNS1 IP 地址"};
  for (int i = 0; i < 5; ++i) {
    addresses_[i] = AddEdit(this, 5 + i, ids[i], labels[i]);
    addressLabels_[i] = findChildren<QLabel*>().back();
  }
  setFixedSize(DluSize(kFieldX + kFieldWidth + 10, kRowTop + 10 * kRowStep));
  connect(ipMode_, &QComboBox::currentIndexChanged, this, &DeviceSettingsForm::OnIpModeChanged);
  connect(ipMode_, &QComboBox::editTextChanged, this, &DeviceSettingsForm::OnIpModeChanged);
  ResetToInitial();
}

void DeviceSettingsForm::ResetToInitial() {
  name_->setText(QString::fromUtf8(kDefaultDeviceName));
  ssid_->clear();
  password_->clear();
  encryption_->setCurrentIndex(0);
  encryption_->setEditText(encryption_->itemText(0));
  ipMode_->setCurrentIndex(0);
  ipMode_->setEditText(ipMode_->itemText(0));
  for (QLineEdit* edit : addresses_) edit->clear();
  OnIpModeChanged();
}

void DeviceSettingsForm::OnIpModeChanged() {
  const bool fixed = SelectedItem(ipMode_) != 0;
  for (int i = 0; i < 5; ++i) {
    addresses_[i]->setVisible(fixed);
    addressLabels_[i]->setVisible(fixed);
  }
}

DeviceSettings DeviceSettingsForm::Read() const {
  DeviceSettings s;
  s.name = name_->text().toStdString();
  s.ssid = ssid_->text().toStdString();
  s.password = password_->text().toStdString();
  s.encryptionIndex = SelectedItem(encryption_);
  s.ipModeIndex = SelectedItem(ipMode_);
  std::string* fields[5] = {&s.ipAddress, &s.netmask, &s.gateway, &s.dns0, &s.dns1};
  for (int i = 0; i < 5; ++i) *fields[i] = addresses_[i]->text().toStdString();
  return s;
}

}  // namespace zorbel
