// The NAND ROM block-size conversion on any file: a refused file stays byte
// for byte as it was, and a converted file, converted back and forth again,
// gives the same bytes.
#include "app/byte_order.h"
#include "app/user_prompt.h"
#include "fuzz_support.h"
#include "rom/nand_block_size.h"
#include "rom/rom_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  if (size < 1) return 0;
  constexpr uint32_t kSizes[] = {kNandBlock16k, kNandBlock128k, kNandBlock256k};
  const uint32_t newSize = kSizes[data[0] % 3];
  const std::vector<uint8_t> original(data + 1, data + size);
  const std::string path = fuzz::Put("nand.bin", original.data(), original.size());
  RecordingPrompt prompt;
  if (NandBlockSizeConvert(path, newSize, prompt) != 1) {
    fuzz::Require(fuzz::Get(path) == original);
    return 0;
  }
  const auto converted = fuzz::Get(path);
  const uint32_t oldSize = LoadLe32(&original[8]);
  fuzz::Require(NandBlockSizeConvert(path, oldSize, prompt) == 1);
  fuzz::Require(NandBlockSizeConvert(path, newSize, prompt) == 1);
  fuzz::Require(fuzz::Get(path) == converted);
  return 0;
}
