#pragma once
// Builds a picture of an SPI flash from the list file spirom.ini: the boot
// image behind the SystemImageHeader, the image table near the end of the
// boot image's last 64 KiB bank, and every other image at its start position.
#include <cstdint>
#include <string>

#include "app/tool_state.h"
#include "app/user_prompt.h"

namespace zorbel {

// Largest SPI ROM file.
inline constexpr uint64_t kSpiRomMaxSize = 52428800;

struct SpiRomRequest {
  std::string listFile;  // spirom.ini, as the dialog has just saved it
  uint32_t chipFamily = 0;
  // Bank mode (start positions in 64 KiB banks) while the board is
  // connected as a mass-storage disk; offset mode otherwise.
  bool bankMode = false;
  // The connection's SystemImageHeader; the builder stores Image 0's length
  // at its offset 8, as the mass-storage writer does. Null: no header.
  ChipSettings* chip = nullptr;
};

// 0 on success, -1 on failure; every outcome is shown through prompt. The
// file is built beside the target and renamed over it only when complete.
int SpiRomBuilder(const SpiRomRequest& request, UserPrompt& prompt);

}  // namespace zorbel
