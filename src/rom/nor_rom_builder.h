#pragma once
// Builds a NOR ROM file, a byte-for-byte picture of the flash, from the list
// file mkrom.ini: bootloader, boot settings block and up to eight images,
// each with its footer.
#include <string>

#include "app/user_prompt.h"

namespace zorbel {

struct NorRomRequest {
  std::string listFile;  // mkrom.ini, as the Make ROM (NOR) dialog has just saved it
};

// 0 on success, -1 on failure. Every outcome is shown through prompt. The
// ROM file is built beside [Target Image] Image and renamed over it only when
// complete, so a failure leaves whatever file was there before.
int NorRomBuilder(const NorRomRequest& request, UserPrompt& prompt);

}  // namespace zorbel
