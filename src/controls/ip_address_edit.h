#pragma once
// An IPv4 address in four fields of 0 to 255. Tab inside the control moves to
// its next field; from the last one it goes to the first blank field, or the
// first field when none is blank, so Tab never leaves the control.
#include <QWidget>
#include <array>

class QLineEdit;

namespace zorbel {

class IpAddressEdit : public QWidget {
  Q_OBJECT

 public:
  explicit IpAddressEdit(QWidget* parent = nullptr);

  // Blank fields read as 0.
  std::array<int, 4> Address() const;
  void SetAddress(const std::array<int, 4>& address);
  QLineEdit* Field(int index) const { return fields_[static_cast<size_t>(index)]; }
  // 0 to 3; 4: the first blank field, or the first field.
  void FocusField(int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::array<QLineEdit*, 4> fields_{};
};

}  // namespace zorbel
