// The NAND flash identification table as the tool reads it.
#include <sstream>

#include "fuzz_support.h"
#include "protocol/table_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  if (size < 5) return 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 5, size - 5));
  const auto entries = ParseNandIdTable(in);
  std::array<uint8_t, 5> id{};
  std::copy(data, data + 5, id.begin());
  LookUpNandId(entries, id);
  return 0;
}
