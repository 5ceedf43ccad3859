// The number fields as the pages and the command line check them: whatever
// passes a check reaches the board as the number that was checked.
#include "fuzz_support.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (const auto whole = ParseWholeDecimal(text)) fuzz::Require(ScanDecimal(text) == whole);
  if (const auto whole = ParseWholeHex(text)) fuzz::Require(ScanHex(text) == whole);
  if (IsImageNumber(text)) {
    fuzz::Require(std::to_string(*ScanDecimal(text)) == text.substr(text.find_first_not_of('0')));
    fuzz::Require(CheckImageNumberGiven(text).empty());
  }
  // Three fields from one input, split at the first two NULs.
  const size_t a = text.find('\0');
  const size_t b = a == std::string::npos ? a : text.find('\0', a + 1);
  if (b == std::string::npos) return 0;
  const BurnFields fields{text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1),
                          static_cast<uint32_t>(ImageKind::kData)};
  if (CheckTypedImageBurn(fields).empty()) {
    fuzz::Require(static_cast<int32_t>(*ScanDecimal(fields.imageNumber)) >= 1);
    fuzz::Require(ScanHex(fields.executeAddress) == ParseWholeHex(fields.executeAddress));
    fuzz::Require(ScanHex(fields.start) == ParseWholeHex(fields.start));
  }
  if (CheckReservedSize(fields.imageNumber, UINT32_MAX).empty()) {
    fuzz::Require(static_cast<uint32_t>(AsciiToInt(fields.imageNumber)) == ParseWholeDecimal(fields.imageNumber));
  }
  ParseSpiReadBlocks(text);
  return 0;
}
