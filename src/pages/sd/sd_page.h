#pragma once
// The SD card pages: the card's image table and the add, modify, erase and
// option sub-pages. Every SD operation goes over the disk. The medium
// selector of this product leads to none of them; they are complete all the
// same.
#include <QButtonGroup>
#include <QCheckBox>

#include "pages/image_add_page.h"
#include "pages/image_sub_pages.h"
#include "pages/list_page.h"

namespace zorbel {

inline constexpr int kSdAddPageResource = 1295;
inline constexpr int kSdModifyPageResource = 1296;
inline constexpr int kSdErasePageResource = 1297;
inline constexpr int kSdOptionPageResource = 1299;

class CSdPage : public ListPage {
  Q_OBJECT

 public:
  CSdPage(PageHost& host, QWidget* parent);
};

class CSdAddPage : public TypedAddPage {
  Q_OBJECT

 public:
  explicit CSdAddPage(ListPage& list);
};

class CSdModifyPage : public ImageModifyPage {
  Q_OBJECT

 public:
  explicit CSdModifyPage(ListPage& list);
};

class CSdErasePage : public ImageErasePage {
  Q_OBJECT

 public:
  explicit CSdErasePage(ListPage& list);
};

// The reserved area, the card format request and the SD port.
class CSdOptionPage : public ReservedAreaPage {
  Q_OBJECT

 public:
  explicit CSdOptionPage(ListPage& list);

 protected:
  void showEvent(QShowEvent* event) override;
  bool FormatRequested() const override { return format_->isChecked(); }

 private:
  void OnPort(int port);

  ListPage& list_;
  QCheckBox* format_;
  QButtonGroup* ports_;
};

}  // namespace zorbel
