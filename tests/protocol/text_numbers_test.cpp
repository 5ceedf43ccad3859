// The page's number texts as the operations read them.
#include "protocol/text_numbers.h"

#include <gtest/gtest.h>

#include <optional>

namespace zorbel {
namespace {

TEST(TextNumbersTest, DecimalHexAndAtoiAgreeOnTheEdges) {
  struct Case {
    const char* text;
    std::optional<uint32_t> decimal, hex;
    int32_t atoi;
  };
  const Case cases[] = {
      {"12", 12, 0x12, 12},
      {"  7x", 7, 7, 7},
      {"-1", 0xFFFFFFFFu, 0xFFFFFFFFu, -1},
      {"+5", 5, 5, 5},
      {"0x1F", 0, 0x1F, 0},  // decimal stops at the 'x'
      {"0x", 0, 0, 0},       // a bare prefix is the digit 0
      {"0xg", 0, 0, 0},
      {"ab", std::nullopt, 0xAB, 0},
      {"", std::nullopt, std::nullopt, 0},
      {"  ", std::nullopt, std::nullopt, 0},
      {"-", std::nullopt, std::nullopt, 0},
      {"zz", std::nullopt, std::nullopt, 0},
      {"4294967296", 0, 0x94967296u, 0},  // both keep the low 32 bits
      {"100000000", 100000000, 0, 100000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanDecimal(c.text), c.decimal) << '"' << c.text << '"';
    EXPECT_EQ(ScanHex(c.text), c.hex) << '"' << c.text << '"';
    EXPECT_EQ(AsciiToInt(c.text), c.atoi) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace zorbel
