#pragma once
// The NAND modify, erase and option sub-pages.
#include "pages/image_sub_pages.h"

namespace zorbel {

// Changes the type of an image on the board.
class CNandModifyPage : public ImageModifyPage {
  Q_OBJECT

 public:
  explicit CNandModifyPage(ListPage& list);
};

// Erases one image, the whole flash or the system area.
class CNandErasePage : public ImageErasePage {
  Q_OBJECT

 public:
  explicit CNandErasePage(ListPage& list);
};

// The size of the flash's system reserved area.
class CNandOptionPage : public ReservedAreaPage {
  Q_OBJECT

 public:
  explicit CNandOptionPage(ListPage& list);
};

}  // namespace zorbel
