#pragma once
// Packs up to eight images from the list file nandrom.ini into a NAND ROM
// file: a file header naming the block size, then per image a 64-byte header,
// its data and erase-state fill.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/user_prompt.h"

namespace zorbel {

// The Make ROM (NAND) dialog's block-size combo.
enum class NandBlockChoice : uint8_t { k16k, k128k, k256k };

// "16k", "128k", "256k" (as the combo shows them); nullopt for anything else.
std::optional<NandBlockChoice> ParseNandBlockChoice(std::string_view text);
uint32_t NandBlockChoiceSize(NandBlockChoice choice);

struct NandRomRequest {
  std::string listFile;     // nandrom.ini, as the dialog has just saved it
  uint32_t imageCount = 0;  // rows of the dialog's image list; goes into the file header
  NandBlockChoice choice = NandBlockChoice::k16k;
  // Connected over VCOM: the board's block size (asked before the dialog
  // opened) overrides the choice.
  bool vcomConnected = false;
  uint32_t boardBlockSize = 0;
};

// The block size the file will be built for (the dialog keeps it).
uint32_t NandRomBlockSize(const NandRomRequest& request);

// 0 on success, -1 on failure; every outcome is shown through prompt. The
// file is built beside the target and renamed over it only when complete.
int NandRomBuilder(const NandRomRequest& request, UserPrompt& prompt);

}  // namespace zorbel
