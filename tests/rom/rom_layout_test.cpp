#include "rom/rom_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorbel {
namespace {

TEST(RomLayoutTest, ListHex) {
  struct Case {
    std::string text;
    uint32_t value;
  };
  const Case cases[] = {
      {"0x00020000", 0x20000},
      {"0XA0030000", 0xA0030000},
      {"0x1f", 0x1F},
      {"20000", 0x20000},
      {"  0x10", 0x10},
      {"0x123456789", 0x12345678},
      {"0x12g4", 0x12},
      {"", 0},
      {" ", 0},
      {"0x", 0},
      {"ffffffff", 0xFFFFFFFF},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseListHex(c.text), c.value) << c.text;
}

TEST(RomLayoutTest, ListDecimal) {
  struct Case {
    std::string text;
    uint32_t value;
  };
  const Case cases[] = {{"115200", 115200}, {"0042", 42}, {" 7x", 7}, {"", 0}, {"-5", 0}, {"4294967297", 1}};
  for (const auto& c : cases) EXPECT_EQ(ParseListDecimal(c.text), c.value) << c.text;
}

TEST(RomLayoutTest, NameFieldKeepsWholeCharacters) {
  struct Case {
    std::string name;
    size_t field, max;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {"abc", 6, 5, {'a', 'b', 'c', 0, 0, 0}},
      {"abcdefgh", 6, 5, {'a', 'b', 'c', 'd', 'e', 0}},
      {"abcdefgh", 4, 4, {'a', 'b', 'c', 'd'}},
      {"abc\xC3\xA9", 5, 4, {'a', 'b', 'c', 0, 0}},      // two-byte character split: dropped
      {"ab\xC3\xA9z", 5, 4, {'a', 'b', 0xC3, 0xA9, 0}},  // ends right after it: kept
      {"a\xE2\x82\xAC\xE2\x82\xAC", 6, 5, {'a', 0xE2, 0x82, 0xAC, 0, 0}},
      {"", 3, 2, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> field(c.field, 0xEE);
    CopyNameField(field, c.name, c.max);
    EXPECT_EQ(field, c.expected) << c.name;
  }
}

TEST(RomLayoutTest, NandFillAndEndBlocks) {
  struct Case {
    uint64_t length;
    uint32_t block;
    uint32_t fill;
    uint32_t endFromStart4;
  };
  const Case cases[] = {
      {16368, 16384, 0, 4},      {16369, 16384, 16383, 5}, {0, 16384, 16368, 4},
      {1000, 131072, 130056, 4}, {262128, 262144, 0, 4},   {262129, 262144, 262143, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NandImageFill(c.length, c.block), c.fill) << c.length;
    EXPECT_EQ(NandEndBlock(4, c.length, c.block), c.endFromStart4) << c.length;
  }
}

TEST(RomLayoutTest, SpiEnd) {
  // Bank mode: last bank. Offset mode: the offset just past the image with its 16 bytes.
  EXPECT_EQ(SpiEndPosition(0x10, 65536, true), 0x10u);
  EXPECT_EQ(SpiEndPosition(0x10, 65537, true), 0x11u);
  EXPECT_EQ(SpiEndPosition(0x20000, 65520, false), 0x30000u);
  EXPECT_EQ(SpiEndPosition(0x20000, 65521, false), 0x40000u);
}

}  // namespace
}  // namespace zorbel
