#pragma once
// The NOR pages: the board's NOR image table with the flash's device text,
// and the add, modify and erase sub-pages. NOR images carry six flags in
// place of a type, and every NOR operation goes over the COM port.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <vector>
#include <string>

#include "pages/image_sub_pages.h"
#include "pages/list_page.h"

namespace zorbel {

inline constexpr int kNorAddPageResource = 131;
inline constexpr int kNorModifyPageResource = 132;
inline constexpr int kNorErasePageResource = 133;
// The burn's confirmation box caption.
inline constexpr const char* kNorConfirmCaption = "Zorbel Burn";

class CNorPage : public ListPage {
  Q_OBJECT

 public:
  CNorPage(PageHost& host, QWidget* parent);
  QLabel* DeviceField() const { return device_; }

 protected:
  void TableShown(const TableSnapshot& snapshot) override;

 private:
  QLabel* device_;
};

class CNorAddPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CNorAddPage(ListPage& list);
  ~CNorAddPage() override;

  QPushButton* BurnButton() const { return burn_; }
  QPushButton* VerifyButton() const { return verify_; }

 private:
  void Fill(OperationContext& ctx);

  ListPage& list_;
  QLineEdit* number_;
  QLineEdit* name_;
  QPushButton* browse_;
  std::vector<QCheckBox*> flags_;
  QLineEdit* exec_;
  QLineEdit* offset_;
  QPushButton* burn_;
  QPushButton* verify_;
  std::string filePath_;
  KeptHead kept_;
  bool verifyAborted_ = false;
  Action burnAction_;
  Action verifyAction_;
};

class CNorModifyPage : public ImageModifyPage {
  Q_OBJECT

 public:
  explicit CNorModifyPage(ListPage& list);
};

class CNorErasePage : public ImageErasePage {
  Q_OBJECT

 public:
  explicit CNorErasePage(ListPage& list);
};

}  // namespace zorbel
