#pragma once
// Checks a NAND ROM file chosen for a raw burn against the board's block size
// and rewrites it for that size when the user agrees.
#include <cstdint>
#include <optional>
#include <string>

#include "app/user_prompt.h"
#include "link/serial_port.h"

namespace zorbel {

// The board's answer to the raw NAND flash method (FlashMethod 4).
inline constexpr uint8_t kBlockSizeCodeError = 0xFF;

// Block size for codes 1, 2 and 3; nullopt for every other code.
std::optional<uint32_t> BlockSizeFromCode(uint8_t code);

// Asks the board on portPath for its BlockSizeCode (opens and closes port).
// nullopt after "Failed to open %s" was shown.
std::optional<uint8_t> QueryBlockSizeCode(SerialPort& port, const std::string& portPath, UserPrompt& prompt);
// The board's block size; nullopt once a message said why there is none
// ("Failed to open %s", "NAND Block Size error !", "Unknown NAND Block Size !").
std::optional<uint32_t> QueryBoardBlockSize(SerialPort& port, const std::string& portPath, UserPrompt& prompt);

// The block size the Make ROM (NAND) dialog opens with: 16 KiB without a
// COM-port connection, else the board's answer. nullopt when the board could
// not be asked or named no block size, after a message that says which (an
// unknown code too: a refusal never goes without a word).
std::optional<uint32_t> MakeRomBlockSize(SerialPort& port, const std::string& portPath, UserPrompt& prompt);

struct NandCheckResult {
  int result = 0;           // 1 accepted, 0 refused, -1 the file could not be opened
  uint32_t imageCount = 0;  // the file header's image count when accepted
};

// portPath empty: not connected over VCOM, every file is refused.
NandCheckResult NandBlockSizeCheck(const std::string& filePath, const std::string& portPath, SerialPort& port,
                                   UserPrompt& prompt);

// Rewrites filePath for newBlockSize: the new file is built beside it,
// flushed to disk and renamed over it, so the file is either old or new.
// A damaged file (count beyond the images present, data past the end) is
// refused and left untouched. 1 converted, 0 failed.
int NandBlockSizeConvert(const std::string& filePath, uint32_t newBlockSize, UserPrompt& prompt);

}  // namespace zorbel
