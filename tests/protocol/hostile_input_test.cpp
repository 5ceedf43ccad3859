// Careless and hostile field input: a typo must give the field's refusal,
// never another number on the wire.
#include <gtest/gtest.h>

#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"
#include "settings/device_settings.h"

namespace zorbel {
namespace {

constexpr uint32_t kData = static_cast<uint32_t>(ImageKind::kData);

TEST(HostileInput, ImageBurnFieldsMustReadWhole) {
  const std::string correct = page_text::kInputCorrectInformation;
  struct Case {
    BurnFields fields;
    std::string expected;
  } cases[] = {
      {{"0x5", "0", "1", kData}, correct},  // read as 5 by the check, as 0 by the board
      {{"abc", "0", "1", kData}, correct},
      {{"5 ", "0", "1", kData}, correct},
      {{"+5", "0", "1", kData}, correct},
      {{"4294967297", "0", "1", kData}, correct},  // wraps to 1
      {{"2147483648", "0", "1", kData}, correct},  // the erase heads' range
      {{"2147483647", "0", "1", kData}, ""},
      {{"5", "80O0", "1", kData}, correct},
      {{"5", "123456789", "1", kData}, correct},
      {{"5", "0x", "1", kData}, correct},
      {{"5", "0X30008000", "0x20", kData}, ""},
      {{"5", "0", "2x", kData}, correct},
      {{"5", "0", "FFFFFFFF", kData}, correct},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckTypedImageBurn(c.fields), c.expected) << c.fields.imageNumber << " " << c.fields.executeAddress
                                                         << " " << c.fields.start;
  }
  EXPECT_EQ(CheckNorImageBurn({"xyz", "0", "0", 0}), correct);
  EXPECT_EQ(CheckNorImageBurn({"1", "0", "10000g", 0}), correct);
}

TEST(HostileInput, NumberOnlyFieldsRefuseEverythingElse) {
  for (const char* number : {"", "abc", "xyz", "0", "0x5", "-1", " 3", "3 ", "4294967295"}) {
    EXPECT_EQ(CheckImageNumberGiven(number), page_text::kInputImageNumber) << '"' << number << '"';
    EXPECT_EQ(CheckVerifyNumber(number, false), page_text::kInputImageNoVerify) << '"' << number << '"';
  }
  EXPECT_EQ(CheckImageNumberGiven("12"), "");
  EXPECT_EQ(CheckReservedSize("4294967297", 100), page_text::kInputReservedSize);
  EXPECT_EQ(CheckReservedSize("12abc", 100), page_text::kInputReservedSize);
  EXPECT_EQ(CheckReservedSize("4294967295", 100), page_text::kReservedLargerThanTotal);
  EXPECT_EQ(CheckRawNorOffset("1000g"), page_text::kInputExecuteAddress);
  EXPECT_EQ(CheckSdStartSector("40 "), page_text::kSdStartSectorTooSmall);
  EXPECT_EQ(ParseSpiReadBlocks("12abc"), std::nullopt);
  EXPECT_EQ(ParseSpiReadBlocks("12"), 12u);
}

TEST(HostileInput, SettingsTextMustBeUtf8AndFitTheImage) {
  DeviceSettings form;
  form.ssid = "net";
  form.password = "secret";
  EXPECT_EQ(ValidateDeviceSettings(form), "");
  struct Case {
    std::string password;
    std::string expected;
  } cases[] = {
      {std::string(200, '\x80'), kFieldNotUtf8},  // stray continuation bytes
      {"\xC0\xAF", kFieldNotUtf8},                 // overlong '/'
      {"\xED\xA0\x80", kFieldNotUtf8},             // a surrogate
      {"ab\xE5\x90", kFieldNotUtf8},               // cut sequence
      {std::string(99, 'p'), ""},
  };
  for (const auto& c : cases) {
    form.password = c.password;
    EXPECT_EQ(ValidateDeviceSettings(form), c.expected) << c.password.size();
  }
  // 99 three-byte characters in each of three fields: far past 512 bytes.
  std::string wide;
  for (int i = 0; i < 99; ++i) wide += "\xE5\x90\x8D";
  form.name = form.ssid = form.password = wide;
  EXPECT_EQ(ValidateDeviceSettings(form), kSettingsTextTooLong);
}

}  // namespace
}  // namespace zorbel
