#include "pages/nand/nand_add_page.h"

#include "app/tool_settings.h"
#include "protocol/records.h"

namespace zorbel {
namespace {

TypedAddSpec NandAddSpec() {
  TypedAddSpec spec;
  spec.className = "CNandAddPage";
  spec.medium = Medium::kNand;
  spec.progressMessage = ProgressMessage::kNandImage;
  spec.folderKey = PageFolderKey::kNand;
  spec.numberId = "1054";
  spec.nameId = "1055";
  spec.browseId = "1056";
  spec.typeIds = {"1083", "1084", "1085", "1086", "1215"};
  spec.execId = "1063";
  spec.startId = "1064";
  spec.startLabel = "Image start block : 0x";
  spec.startNote = nullptr;
  spec.progressId = "1065";
  spec.burnId = "1066";
  spec.verifyId = "1067";
  spec.confirmCaption = kConfirmBoxCaption;
  return spec;
}

}  // namespace

CNandAddPage::CNandAddPage(ListPage& list) : TypedAddPage(list, NandAddSpec()) {}

}  // namespace zorbel
