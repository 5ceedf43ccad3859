#pragma once
// The NAND modify, erase and option sub-pages.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>

#include "pages/operation_page.h"
#include "protocol/vcom_operations.h"

namespace zorbel {

class ListPage;

// Changes the type of an image on the board.
class CNandModifyPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CNandModifyPage(ListPage& list);
  ~CNandModifyPage() override;
  QPushButton* ApplyButton() const { return apply_; }

 private:
  QLineEdit* number_;
  QButtonGroup* types_;
  QPushButton* apply_;
  Action applyAction_;
};

// Erases one image, the whole flash or the system area.
class CNandErasePage : public OperationPage {
  Q_OBJECT

 public:
  explicit CNandErasePage(ListPage& list);
  ~CNandErasePage() override;
  QPushButton* ApplyButton() const { return apply_; }

 private:
  QButtonGroup* choices_;
  QLineEdit* number_;
  QPushButton* apply_;
  EraseChoice choice_ = EraseChoice::kImage;  // the running erase's
  Action applyAction_;
};

// The size of the flash's system reserved area.
class CNandOptionPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CNandOptionPage(ListPage& list);
  ~CNandOptionPage() override;
  QPushButton* ApplyButton() const { return apply_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* total_;
  QLineEdit* reserved_;
  QPushButton* apply_;
  Action applyAction_;
};

}  // namespace zorbel
