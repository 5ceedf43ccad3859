#include "rom/rom_layout.h"

#include <algorithm>

#include "app/byte_order.h"

namespace zorbel {

bool IsNandBlockSize(uint32_t blockSize) {
  return blockSize == kNandBlock16k || blockSize == kNandBlock128k || blockSize == kNandBlock256k;
}

uint32_t NandImageFill(uint64_t length, uint32_t blockSize) {
  const uint64_t rest = (length + kNandBlockOverhead) % blockSize;
  return rest == 0 ? 0 : static_cast<uint32_t>(blockSize - rest);
}

namespace {
uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }
}  // namespace

uint32_t NandEndBlock(uint32_t start, uint64_t length, uint32_t blockSize) {
  return static_cast<uint32_t>(start + CeilDiv(length + kNandBlockOverhead, blockSize) - 1);
}

uint32_t SpiEndPosition(uint32_t start, uint64_t length, bool bankMode) {
  if (bankMode) return static_cast<uint32_t>(start + CeilDiv(length, kRomBlock64k) - 1);
  return static_cast<uint32_t>((start / kRomBlock64k + CeilDiv(length + 16, kRomBlock64k)) * kRomBlock64k);
}

void NorChecksum::Add(std::span<const uint8_t> bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) sum_ += LoadLe32(bytes.data() + i);
}

uint32_t NorChecksum::Value() const {
  return ~(static_cast<uint32_t>(sum_) + static_cast<uint32_t>(sum_ >> 32));
}

uint32_t NorRomChecksum(std::span<const uint8_t> words) {
  NorChecksum sum;
  sum.Add(words);
  return sum.Value();
}

void CopyNameField(std::span<uint8_t> field, std::string_view name, size_t maxBytes) {
  size_t n = std::min({name.size(), maxBytes, field.size()});
  // Back off over continuation bytes so a multi-byte character is kept whole
  // or dropped whole.
  if (n < name.size()) {
    while (n > 0 && (static_cast<uint8_t>(name[n]) & 0xC0) == 0x80) --n;
  }
  size_t i = 0;
  for (; i < n; ++i) field[i] = static_cast<uint8_t>(name[i]);
  for (; i < field.size(); ++i) field[i] = 0;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {
std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}
}  // namespace

uint32_t ParseListHex(std::string_view text) {
  text = SkipBlanks(text);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  uint32_t value = 0;
  for (size_t i = 0; i < text.size() && i < 8; ++i) {
    const int d = HexDigitValue(text[i]);
    if (d < 0) break;
    value = (value << 4) | static_cast<uint32_t>(d);
  }
  return value;
}

uint32_t ParseListDecimal(std::string_view text) {
  text = SkipBlanks(text);
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

}  // namespace zorbel
