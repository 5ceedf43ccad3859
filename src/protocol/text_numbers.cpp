#include "protocol/text_numbers.h"

namespace zorbel {
namespace {

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
    text.remove_prefix(1);
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Sign and digits; nullopt when no digit follows the sign.
std::optional<uint32_t> ScanSigned(std::string_view text, uint32_t base) {
  text = SkipBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (base == 16 && text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
      HexValue(text[2]) >= 0) {
    text.remove_prefix(2);
  }
  uint32_t value = 0;
  size_t digits = 0;
  for (char c : text) {
    const int d = HexValue(c);
    if (d < 0 || static_cast<uint32_t>(d) >= base) break;
    value = value * base + static_cast<uint32_t>(d);
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return negative ? 0u - value : value;
}

}  // namespace

std::optional<uint32_t> ScanDecimal(std::string_view text) { return ScanSigned(text, 10); }

std::optional<uint32_t> ScanHex(std::string_view text) { return ScanSigned(text, 16); }

int32_t AsciiToInt(std::string_view text) { return static_cast<int32_t>(ScanSigned(text, 10).value_or(0)); }

std::optional<uint32_t> ParseWholeDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ParseWholeHex(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  constexpr size_t kMaxDigits = 8;
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int d = HexValue(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return value;
}

}  // namespace zorbel
