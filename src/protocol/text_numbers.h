#pragma once
// The page's number texts read the way the board operations read them: a
// decimal image number, hexadecimal addresses, offsets, blocks and banks.
// A text without a digit does not parse, and the caller keeps what it had.
#include <cstdint>
#include <optional>
#include <string_view>

namespace zorbel {

// Leading blanks, an optional sign, then decimal digits; wraps at 32 bits
// ("-1" gives 0xFFFFFFFF).
std::optional<uint32_t> ScanDecimal(std::string_view text);
// Leading blanks, an optional "0x"/"0X", then hexadecimal digits; the low 32
// bits of the number.
std::optional<uint32_t> ScanHex(std::string_view text);
// atoi: leading blanks, an optional sign, digits; 0 when there is none.
int32_t AsciiToInt(std::string_view text);

// The checks before anything is sent are stricter than the readers above: a
// typo must not become another number. The whole text is decimal digits and
// the value fits 32 bits; no blank, sign or other character anywhere.
std::optional<uint32_t> ParseWholeDecimal(std::string_view text);
// The whole text is 1 to 8 hexadecimal digits, after an optional "0x"/"0X".
std::optional<uint32_t> ParseWholeHex(std::string_view text);

}  // namespace zorbel
