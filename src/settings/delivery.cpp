#include "settings/delivery.h"

#include <filesystem>

#include "app/paths.h"
#include "app/tool_folder.h"
#include "protocol/ms_operations.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"
#include "protocol/vcom_operations.h"

namespace zorbel {
namespace {

constexpr const char* kSdramBufferAddress = "8000";
constexpr uint32_t kSpiBankSize = 0x10000;

void Show(const OperationContext& ctx, const char* text) {
  if (ctx.prompt != nullptr) ctx.prompt->ShowMessage(text);
}

}  // namespace

SettingsFiles SettingsFilesFor(const ToolState& state) {
  SettingsFiles files;
  std::error_code ec;
  if (!std::filesystem::exists(Utf8Path(files.templatePath), ec)) {
    files.templatePath = ProductFile(state, kTemplateImageFile);
  }
  return files;
}

HeadFields SpiSettingsImageFields() {
  HeadFields head;
  head.imageNumber = "2";
  head.imageName = kSettingsTextFile;
  head.imageType = static_cast<uint32_t>(ImageKind::kData);
  head.executeAddress = "0";
  head.start = "6f";
  return head;
}

std::string PrepareSettingsDelivery(const DeviceSettings& settings, SettingsRoute route,
                                    const SettingsFiles& files, bool overVcom) {
  if (std::string failure = ValidateDeviceSettings(settings); !failure.empty()) return failure;
  if (std::string failure = WriteSettingsText(files.textPath, settings); !failure.empty()) return failure;
  if (route == SettingsRoute::kSdram) {
    return BuildSettingsImage(files.templatePath, files.textPath, files.imagePath);
  }
  const HeadFields head = SpiSettingsImageFields();
  const bool systemImage = head.imageType == static_cast<uint32_t>(ImageKind::kSystemImage);
  if (!systemImage && !IsImageNumber(head.imageNumber)) {
    return page_text::kInputCorrectInformation;
  }
  if (overVcom && !systemImage && ScanHex(head.start).value_or(0) % kSpiBankSize != 0) {
    return page_text::kSpiStartNotAligned;
  }
  return {};
}

int DeliverSettings(OperationContext& ctx, SettingsRoute route, const SettingsFiles& files,
                    uint32_t runOption) {
  const bool disk = ctx.state.connection.massStorageConnected != 0;
  if (route == SettingsRoute::kSpi) {
    ctx.filePath = files.textPath;
    ctx.head = SpiSettingsImageFields();
    const int result =
        disk ? MsWriteImage(ctx, Medium::kSpi, DataKind::kImage) : VcomBurnImage(ctx, Medium::kSpi);
    Show(ctx, result == 1 ? delivery_text::kWriteOk : delivery_text::kWriteFailed);
    return result;
  }
  // Both wires download the image just built: the page's hidden file choice
  // would leave the COM-port download without a file.
  ctx.filePath = files.imagePath;
  ctx.head = HeadFields{};
  ctx.head.address = kSdramBufferAddress;
  ctx.head.mode = runOption;
  if (disk) {
    const int result = MsDownloadSdram(ctx);
    Show(ctx, result == 1      ? delivery_text::kWriteOk
              : runOption == 0 ? page_text::kSdramDownloadFailed
                               : delivery_text::kWriteFailed);
    return result;
  }
  const int result = VcomDownloadSdram(ctx);
  if (result == 1) Show(ctx, delivery_text::kDownloadOk);
  return result;
}

}  // namespace zorbel
