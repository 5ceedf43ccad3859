// The pages' checks and texts, shared by the window and the command line.
#include "protocol/page_rules.h"

#include <gtest/gtest.h>

#include "protocol/records.h"

namespace zorbel {
namespace {

constexpr uint32_t kData = 0, kSystem = 3, kLogo = 4;

struct BurnCase {
  const char* label;
  BurnFields fields;
  std::string expected;
};

TEST(PageRules, TypedImageBurnChecksFieldsInOrder) {
  const std::string info = page_text::kInputImageInformation;
  const std::string correct = page_text::kInputCorrectInformation;
  const BurnCase cases[] = {
      {"system image needs nothing", {"", "", "", kSystem}, ""},
      {"system image ignores a zero number", {"0", "", "0", kSystem}, ""},
      {"logo without execute address passes", {"1", "", "10", kLogo}, ""},
      {"logo without start block", {"1", "", "", kLogo}, info},
      {"data without execute address", {"1", "", "10", kData}, info},
      {"data without number", {"", "0", "10", kData}, info},
      {"number 0", {"0", "0", "10", kData}, correct},
      {"number FFFFFFFF reads as -1", {"FFFFFFFF", "0", "10", kData}, correct},
      {"start 0", {"1", "0", "0", kData}, correct},
      {"number is decimal: 'a' is no number", {"a", "0", "1", kData}, correct},
      {"text without digits reads as 0", {"zz", "0", "1", kData}, correct},
      {"all given", {"3", "30008000", "20", kData}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTypedImageBurn(c.fields), c.expected) << c.label;
}

TEST(PageRules, NorBurnNeedsThreeFieldsReadWhole) {
  const std::string info = page_text::kInputImageInformation;
  const std::string correct = page_text::kInputCorrectInformation;
  const BurnCase cases[] = {
      {"offset missing", {"1", "8000", "", 0}, info},
      {"exec missing", {"1", "", "0", 0}, info},
      {"number missing", {"", "8000", "0", 0}, info},
      {"zero address and offset are fine", {"1", "0", "0", 0}, ""},
      {"number 0", {"0", "0", "0", 0}, correct},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckNorImageBurn(c.fields), c.expected) << c.label;
}

TEST(PageRules, SmallerRules) {
  EXPECT_EQ(CheckSdStartSector("21"), page_text::kSdStartSectorTooSmall);
  EXPECT_EQ(CheckSdStartSector("0"), page_text::kSdStartSectorTooSmall);
  EXPECT_EQ(CheckSdStartSector("22"), "");
  EXPECT_EQ(CheckVerifyNumber("", false), page_text::kInputImageNoVerify);
  EXPECT_EQ(CheckVerifyNumber("", true), "");
  EXPECT_EQ(CheckImageNumberGiven(""), page_text::kInputImageNumber);
  EXPECT_EQ(CheckImageNumberGiven("4"), "");
  EXPECT_EQ(CheckRawNorOffset(""), page_text::kInputExecuteAddress);
  EXPECT_EQ(CheckRawNorOffset("0"), "");
}

TEST(PageRules, ReservedSizeAgainstTotal) {
  struct Case {
    const char* reserved;
    uint32_t total;
    std::string expected;
  } cases[] = {
      {"", 64, page_text::kInputReservedSize},
      {"100", 64, page_text::kReservedLargerThanTotal},
      {"64", 64, ""},
      {"0", 0, ""},
      {"1", 0, page_text::kReservedLargerThanTotal},
      // A total above the signed range must not turn the comparison around.
      {"5", 0xFFFFFFF0u, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckReservedSize(c.reserved, c.total), c.expected) << c.reserved;
}

TEST(PageRules, SpiReadBlockCount) {
  struct Case {
    const char* text;
    std::optional<uint32_t> expected;
  } cases[] = {
      {"0", std::nullopt},          {"", std::nullopt}, {"-3", std::nullopt}, {"3", 3u}, {"65535", 65535u},
      {"65536", std::nullopt},  // 4 GB would wrap the byte count
      {"1234567890", std::nullopt}, {"000000003", 3u},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSpiReadBlocks(c.text), c.expected) << c.text;
}

TEST(PageRules, ProposedImageName) {
  struct Case {
    const char* path;
    uint32_t familyMode;
    std::string expected;
  } cases[] = {
      {"/img/boot.loader.bin", 1, "boot.loader"},
      {"C:\\img\\.hidden", 1, ".hidden"},
      {"noext", 0, "noext"},
      {"/x/1234567890123456.bin", 0, "1234567890123456"},  // 16 stay whole
      {"/x/12345678901234567.bin", 0, "123456789012345"},  // 17 become 15
      {"/x/12345678901234567890123456789012.bin", 1, "12345678901234567890123456789012"},
      {"/x/1234567890123456789012345678901234567890.bin", 1, "1234567890123456789012345678901"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProposedImageName(c.path, c.familyMode), c.expected) << c.path;
}

TEST(PageRules, NameCutNeverSplitsACharacter) {
  // 14 ASCII bytes and then a 3-byte character: 15 bytes would end inside it.
  const std::string name = std::string(14, 'a') + "\xE5\x86\x99" + "bc";
  EXPECT_EQ(FitImageName(name, 0), std::string(14, 'a'));
}

TEST(PageRules, RowWords) {
  EXPECT_STREQ(ImageTypeWord(4, false), "logo");
  EXPECT_STREQ(ImageTypeWord(4, true), "unknown");
  EXPECT_STREQ(ImageTypeWord(3, true), "system");
  EXPECT_STREQ(ImageTypeWord(0xFFFFFFFFu, false), "unknown");
  EXPECT_EQ(NorFlagLetters(0x25), "axr");
  EXPECT_EQ(NorFlagLetters(0x3F), "acxfzr");
  EXPECT_EQ(NorFlagLetters(0xC0), "");
  EXPECT_EQ(HexCell(0), "0x0");
  EXPECT_EQ(HexCell(0xABCDEF12u), "0xabcdef12");
}

TEST(PageRules, ColumnSpecification) {
  const auto columns =
      ParseColumnSpecification("No, 30; Name, 80; Type,1, 60;Start block, 2,80;Bad 0,0;Tail");
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[0], (ListColumn{"No", 0, 30}));
  EXPECT_EQ(columns[1], (ListColumn{" Name", 0, 80}));  // the blank after ';' belongs to the title
  EXPECT_EQ(columns[2], (ListColumn{" Type", 1, 60}));
  EXPECT_EQ(columns[3], (ListColumn{"Start block", 2, 80}));
  EXPECT_EQ(columns[4], (ListColumn{"Bad 0", 0, 1}));  // widths below 1 become 1
  EXPECT_TRUE(ParseColumnSpecification("NoComma;A, 3").empty());
}

}  // namespace
}  // namespace zorbel
