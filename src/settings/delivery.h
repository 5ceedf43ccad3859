#pragma once
// How the device settings reach the board: the SDRAM route downloads the
// device image "t0.bin" carrying the settings text, the SPI route burns
// "1.txt" itself as SPI image 2. The preparation (form check, files, the
// route's own checks) runs before any transfer; the delivery is the worker
// part and shows the route's outcome.
#include <cstdint>
#include <string>

#include "protocol/operation_context.h"
#include "protocol/page_rules.h"
#include "settings/device_settings.h"

namespace zorbel {

namespace delivery_text {
inline constexpr const char* kWriteOk = "写入成功";
inline constexpr const char* kWriteFailed = "写入失败";
inline constexpr const char* kDownloadOk = page_text::kDownloadOk;
}  // namespace delivery_text

enum class SettingsRoute { kSdram, kSpi };

struct SettingsFiles {
  std::string textPath = kSettingsTextFile;       // "1.txt"
  std::string templatePath = kTemplateImageFile;  // "t.bin"
  std::string imagePath = kSettingsImageFile;     // "t0.bin"
};

// The files of a delivery from the working folder. The template comes with
// the product: a copy in the working folder wins, else the tool's own (or,
// on a virtual board, the stand-in installed with the tool).
SettingsFiles SettingsFilesFor(const ToolState& state);

// The SPI route's image: "1.txt" as image 2, Data, execute address 0, start 0x6f.
HeadFields SpiSettingsImageFields();

// Checks the form, writes "1.txt" and, for the SDRAM route, "t0.bin"; then
// the SPI route's own checks (over the COM port its start must lie on a
// 64 KB boundary, which the fixed start 0x6f never does). Empty when the
// delivery may start, otherwise the one text to show.
std::string PrepareSettingsDelivery(const DeviceSettings& settings, SettingsRoute route,
                                    const SettingsFiles& files, bool overVcom);

// The route's transfer over the connected wire, with its outcome shown
// through ctx.prompt; ctx.filePath and ctx.head are set here. runOption is
// the SDRAM route's "Download and run". Returns 1 or 0.
int DeliverSettings(OperationContext& ctx, SettingsRoute route, const SettingsFiles& files,
                    uint32_t runOption);

}  // namespace zorbel
