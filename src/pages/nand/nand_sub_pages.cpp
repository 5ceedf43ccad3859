#include "pages/nand/nand_sub_pages.h"

#include "app/tool_state.h"
#include "protocol/records.h"

namespace zorbel {

CNandModifyPage::CNandModifyPage(ListPage& list)
    : ImageModifyPage(list, {"CNandModifyPage", Medium::kNand, "1071", {"1085", "1086", "1087"}, "1078",
                             FailureWording::kAlways}) {}

CNandErasePage::CNandErasePage(ListPage& list)
    : ImageErasePage(list, {"CNandErasePage", Medium::kNand, ProgressMessage::kNandErase,
                            {"1052", "1068", "1071"}, "1067", "1070", "1069", FailureWording::kAlways}) {}

CNandOptionPage::CNandOptionPage(ListPage& list)
    : ReservedAreaPage(list, {"CNandOptionPage", Medium::kNand, ProgressMessage::kNandOption, "1219",
                              "NAND Flash Total Size", "1218", "1221", "1220", &ToolState::nandFlashSizeMb}) {}

}  // namespace zorbel
