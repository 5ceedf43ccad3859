#pragma once
// The NAND list page: the board's NAND image table and the add, modify,
// erase and option sub-pages.
#include "pages/list_page.h"

namespace zorbel {

inline constexpr int kNandAddPageResource = 137;
inline constexpr int kNandErasePageResource = 138;
inline constexpr int kNandModifyPageResource = 139;
inline constexpr int kNandOptionPageResource = 1298;

class CNandPage : public ListPage {
  Q_OBJECT

 public:
  CNandPage(PageHost& host, QWidget* parent);
  ~CNandPage() override;
};

}  // namespace zorbel
