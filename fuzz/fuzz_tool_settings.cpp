// "Zorbel.ini" for every chip family and "ZorbelSD.ini", whatever they hold.
#include "app/tool_settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  const std::string path = fuzz::Put("Zorbel.ini", data, size);
  for (uint32_t family = 0; family <= 3; ++family) {
    ToolState state;
    state.chipFamily = family;
    std::string error;
    const int read = ReadChipSettings(state, path, &error);
    fuzz::Require(read != kChipSettingsRefused || !error.empty());
  }
  ToolState state;
  ReadSdPort(state, path);
  return 0;
}
