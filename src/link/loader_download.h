#pragma once
// Streaming the loader "xusb.bin" into a board that shows itself as a COM
// port: what the "Auto Downloading..." dialog runs on its thread. The dialog
// itself is the window's; it shows the progress this reports.
#include <cstdint>
#include <string>

#include "app/progress_sink.h"

namespace zorbel {

class SerialPort;
class UserPrompt;

inline constexpr const char* kLoaderDialogCaption = "Auto Downloading...";
inline constexpr const char* kLoaderDialogLabel = "Initializing :";
inline constexpr uint32_t kLoaderBarColour = Rgb(0xF5, 0x5C, 0x3D);
// Posted when the download has ended (the dialog then closes with result 0).
inline constexpr uint32_t kLoaderDoneMessage = 0x406;
// Posted with the percentage, at multiples of 5.
inline constexpr uint32_t kLoaderPercentMessage = 0x407;

// The file name appended to moduleDirectory.
inline constexpr const char* kComLoaderFile = "//xusb.bin";

struct LoaderDownloadResult {
  bool ok = false;
  std::string versionText;  // empty when the file did not open
};

// Sends filePath to the board on portPath: the 8-byte start record, then the
// announced length in 4096-byte chunks, each acknowledged with its length.
// The announced length counts the 16 header bytes the stream leaves out; they
// are sent as zeros at the end. Failures needing the user are shown through
// prompt; progress goes to progress as kLoaderPercentMessage.
LoaderDownloadResult DownloadComLoader(SerialPort& port, const std::string& portPath,
                                       const std::string& filePath, UserPrompt& prompt,
                                       ProgressSink& progress);

// Whether a loader already runs behind portPath: asks the block-size question
// (FlashMethod::kNandRaw) on a port it opens and closes again. The boot code
// never answers it; a running loader answers at once. Shows nothing.
bool LoaderAnswers(SerialPort& port, const std::string& portPath);

// The dialog's whole run: bar colour, the download, then kLoaderDoneMessage.
LoaderDownloadResult RunLoaderDownload(SerialPort& port, const std::string& portPath,
                                       const std::string& filePath, UserPrompt& prompt,
                                       ProgressSink& progress);

}  // namespace zorbel
