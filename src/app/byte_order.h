#pragma once
// Little-endian words as the board and the tool's files store them, and the
// four-byte RomMagic that opens loader files, boot headers and NAND ROM files.
// Values are built byte by byte so the layout never depends on the host.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zorbel {

inline constexpr std::array<uint8_t, 4> kRomMagic = {'Q', 'K', 0x5A, 0xA5};

constexpr uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

constexpr void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  StoreLe32(b, v);
  out.insert(out.end(), b, b + 4);
}

// RomMagic read as a little-endian word (0xA55A4B51), and the same bytes in
// reverse order as the boot header's first word (0x514B5AA5).
inline constexpr uint32_t kRomMagicWord = LoadLe32(kRomMagic.data());
inline constexpr uint32_t kRomMagicReversedWord = (static_cast<uint32_t>(kRomMagic[0]) << 24) |
                                                  (static_cast<uint32_t>(kRomMagic[1]) << 16) |
                                                  (static_cast<uint32_t>(kRomMagic[2]) << 8) | kRomMagic[3];

inline bool StartsWithRomMagic(std::span<const uint8_t> bytes) {
  return bytes.size() >= kRomMagic.size() && bytes[0] == kRomMagic[0] && bytes[1] == kRomMagic[1] &&
         bytes[2] == kRomMagic[2] && bytes[3] == kRomMagic[3];
}

}  // namespace zorbel
