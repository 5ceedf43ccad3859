#pragma once
// Layout helpers shared by the ROM builders, the block-size conversion and the
// Make ROM dialogs: checksums, fill rules, name fields and the value rules of
// the list files.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zorbel {

// Flash erase state; every gap of a ROM file holds it.
inline constexpr uint8_t kRomFill = 0xFF;

inline constexpr uint32_t kNandBlock16k = 16384;
inline constexpr uint32_t kNandBlock128k = 131072;
inline constexpr uint32_t kNandBlock256k = 262144;
// Amount added to an image's length when its NAND blocks are counted.
inline constexpr uint32_t kNandBlockOverhead = 16;
inline constexpr size_t kNandFileHeaderSize = 12;
inline constexpr size_t kNandImageHeaderSize = 64;

// NOR footers end on, and SPI banks are, 64 KiB boundaries.
inline constexpr uint32_t kRomBlock64k = 0x10000;

// True for the three block sizes a NAND ROM file may name.
bool IsNandBlockSize(uint32_t blockSize);

// 0xFF bytes that follow an image of `length` bytes so that length + 16 is a
// multiple of the block size; 0 when it already is. blockSize must be valid.
uint32_t NandImageFill(uint64_t length, uint32_t blockSize);

// Last block of an image starting at block `start` (the dialog's End column).
uint32_t NandEndBlock(uint32_t start, uint64_t length, uint32_t blockSize);
// SPI End column: bank mode the last bank, offset mode the offset just past
// the image.
uint32_t SpiEndPosition(uint32_t start, uint64_t length, bool bankMode);

// Adds little-endian 32-bit words into a 64-bit sum; the checksum is the
// complement of the low word plus the carries, added back once.
class NorChecksum {
 public:
  // bytes.size() must be a multiple of 4.
  void Add(std::span<const uint8_t> bytes);
  uint32_t Value() const;

 private:
  uint64_t sum_ = 0;
};

uint32_t NorRomChecksum(std::span<const uint8_t> words);

// Copies name into a fixed field, zero-padding the rest. At most maxBytes
// bytes are copied (so field.size() - maxBytes zeros always remain), and the
// cut never splits a UTF-8 sequence.
void CopyNameField(std::span<uint8_t> field, std::string_view name, size_t maxBytes);

// List-file numbers. Hex: leading blanks, an optional "0x"/"0X", then at most
// 8 hex digits, stopping at the first other character. Decimal: leading
// blanks, then digits (wrapping at 32 bits).
uint32_t ParseListHex(std::string_view text);
// 0..15 for a hex digit, -1 for any other character.
int HexDigitValue(char c);
uint32_t ParseListDecimal(std::string_view text);

}  // namespace zorbel
