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
  AddSubPages({kNandAddPageResource, kNandModifyPageResource, kNandErasePageResource, kNandOptionPageResource},
              [this](int resource, QWidget*) -> QWidget* {
                switch (resource) {
                  case kNandAddPageResource:
                    return new CNandAddPage(*this);
                  case kNandModifyPageResource:
                    return new CNandModifyPage(*this);
                  case kNandErasePageResource:
                    return new CNandErasePage(*this);
                  case kNandOptionPageResource:
                    return new CNandOptionPage(*this);
                  default:
                    return nullptr;
                }
              });
}

CNandPage::~CNandPage() { StopAndWait(); }

}  // namespace zorbel
