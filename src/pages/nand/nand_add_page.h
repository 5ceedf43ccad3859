#pragma once
// The NAND add sub-page: burns an image file into the board's NAND table
// and verifies it against the file, over whichever wire is connected.
#include "pages/image_add_page.h"

namespace zorbel {

class CNandAddPage : public TypedAddPage {
  Q_OBJECT

 public:
  explicit CNandAddPage(ListPage& list);
};

}  // namespace zorbel
