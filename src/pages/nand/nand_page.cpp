#include "pages/nand/nand_page.h"

#include "pages/nand/nand_add_page.h"
#include "pages/nand/nand_sub_pages.h"

namespace zorbel {
namespace {

ListPageSpec NandSpec() {
  ListPageSpec spec;
  spec.className = "CNandPage";
  spec.medium = Medium::kNand;
  spec.frameId = "1053";
  spec.buttonIds = {"1050", "1051", "1052", "1054"};
  spec.readOptionSize = ReadNandFlashSize;
  spec.optionSize = &ToolState::nandFlashSizeMb;
  return spec;
}

}  // namespace

CNandPage::CNandPage(PageHost& host, QWidget* parent) : ListPage(host, NandSpec(), parent) {
  AddSubPagesOf<CNandAddPage, CNandModifyPage, CNandErasePage, CNandOptionPage>(
      {kNandAddPageResource, kNandModifyPageResource, kNandErasePageResource, kNandOptionPageResource});
}

CNandPage::~CNandPage() { StopAndWait(); }

}  // namespace zorbel
