// What the board and the product files hand the tool: the loader header and
// the image tables of every medium and head size.
#include "fuzz_support.h"
#include "protocol/records.h"
#include "protocol/table_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  const std::span<const uint8_t> bytes(data, size);
  LoaderImageHeader header;
  ParseLoaderImageHeader(bytes, &header);
  for (size_t entrySize : {size_t{44}, size_t{60}}) {
    const auto rows = DecodeImageTable(bytes, static_cast<uint32_t>(size / entrySize), entrySize);
    fuzz::Require(rows.size() == size / entrySize);
    for (const auto& row : rows) {
      for (Medium medium : {Medium::kNor, Medium::kNand, Medium::kSpi, Medium::kSd}) {
        TableRowCells(row, medium, entrySize == 60);
      }
    }
  }
  return 0;
}
