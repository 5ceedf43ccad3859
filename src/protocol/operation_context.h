#pragma once
// What a page hands to a board operation: its services (progress, prompts,
// abort, serial port, clock), the application state, and the page's values
// that fill the head record. The operation reads these and nothing else of
// the page.
#include <array>
#include <cstdint>
#include <string>

#include "app/abort_event.h"
#include "app/clock.h"
#include "app/progress_sink.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/serial_port.h"

namespace zorbel {

enum class Medium : uint8_t { kNor, kNand, kSpi, kSd };

// Which variant of an image-table operation runs: the SD card has only the
// disk one, NOR only the COM-port one; NAND and SPI follow the connection.
inline bool UsesDiskVariant(Medium medium, const ToolState& state) {
  if (medium == Medium::kSd) return true;
  return medium != Medium::kNor && state.connection.massStorageConnected != 0;
}

// Image-table member or raw-data member of a medium.
enum class DataKind : uint8_t { kImage, kRaw };

// The head of the page's last burn, as its fields. A raw page keeps a RawHead
// in command, length and number (its address, offset or image count: the
// RawHead's third word sits where the image number does). A verify resends
// it with command 3. Pages start it zeroed.
struct KeptHead {
  uint32_t command = 0;
  uint32_t length = 0;
  uint32_t number = 0;
  std::array<char, 32> name{};
  uint32_t type = 0;
  uint32_t executeAddress = 0;
  uint32_t start = 0;
  bool operator==(const KeptHead&) const = default;
};

// The page's texts and values that fill a head, as the page holds them.
struct HeadFields {
  std::string imageNumber;         // "Image No", decimal
  bool imageNumberEnabled = true;  // a disabled "Image No" box verifies image 0
  std::string imageName;           // "Image Name"
  uint32_t imageType = 0;          // ImageKind index (NAND, SPI, SD) or ImageTypeFlags (NOR)
  std::string executeAddress;      // hexadecimal
  std::string start;               // hexadecimal: NOR flash offset, NAND block, SPI bank, SD sector
  std::string address;             // hexadecimal: SDRAM buffer address, raw NOR flash offset
  uint32_t mode = 0;               // SDRAM: 0 "Download only", 1 "Download and run"
  uint32_t imageCount = 0;         // raw NAND page
  std::string reservedSize;        // "System Reserved Area Size", decimal MB
  bool sdFormat = false;           // "Enable SD Format"
};

struct OperationContext {
  explicit OperationContext(ToolState& toolState) : state(toolState) {}

  // deviceHandle, familyMode, chipFamily, the SystemImageHeader.
  ToolState& state;
  ProgressSink* progress = nullptr;  // may be null: nothing is reported
  UserPrompt* prompt = nullptr;      // may be null: messages are dropped
  AbortEvent* abort = nullptr;       // may be null: never aborted
  SerialPort* port = nullptr;        // the page's port; required over VCOM
  Clock* clock = nullptr;            // every wait; null: real time

  std::string portName;  // the connection's portPath; empty when there is no COM port
  std::string filePath;  // the file to send, compare against, or (read back) create
  HeadFields head;
  KeptHead* keptHead = nullptr;  // owned by the page; required by burns and VCOM verifies

  // The longest wait for a reply over the COM port (the board's loader
  // answers well within it); tests shorten it.
  uint32_t replyWaitMs = 10000;

  // The NAND image verify's copy of the data received; empty: "_" + the
  // image file's name beside it.
  std::string verifyCopyPath;
};

}  // namespace zorbel
