// The pages' checks and texts, shared by the window and the command line, and
// the number texts they read: careless and hostile field input must give the
// field's refusal, never another number on the wire.
#include "protocol/page_rules.h"

#include <gtest/gtest.h>

#include "app/test_table.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"
#include "settings/device_settings.h"

namespace zorbel {
namespace {

uint32_t Number(const std::string& cell) { return static_cast<uint32_t>(std::stoul(cell, nullptr, 0)); }

std::string Shown(std::optional<uint32_t> value, bool hex = false) {
  if (!value) return "none";
  return hex ? HexCell(*value) : std::to_string(*value);
}

// What one check gives for the arguments of a row of page_rules.tsv.
std::string RunCheck(const testing::TableRow& row) {
  const std::string& check = row[0];
  const auto arg = [&row](size_t i) { return row.at(i + 1); };
  if (check == "typed") return CheckTypedImageBurn({arg(0), arg(1), arg(2), Number(arg(3))});
  if (check == "nor") return CheckNorImageBurn({arg(0), arg(1), arg(2), Number(arg(3))});
  if (check == "sd-start") return CheckSdStartSector(arg(0));
  if (check == "verify-number") return CheckVerifyNumber(arg(0), arg(1) == "1");
  if (check == "number-given") return CheckImageNumberGiven(arg(0));
  if (check == "nor-offset") return CheckRawNorOffset(arg(0));
  if (check == "reserved") return CheckReservedSize(arg(0), Number(arg(1)));
  if (check == "spi-blocks") return Shown(ParseSpiReadBlocks(arg(0)));
  if (check == "proposed-name") return ProposedImageName(arg(0), Number(arg(1)));
  if (check == "fit-name") return FitImageName(arg(0), Number(arg(1)));
  if (check == "type-word") return ImageTypeWord(Number(arg(0)), arg(1) == "1");
  if (check == "nor-flags") return NorFlagLetters(Number(arg(0)));
  if (check == "hex-cell") return HexCell(Number(arg(0)));
  if (check == "numbers") {
    return Shown(ScanDecimal(arg(0))) + " " + Shown(ScanHex(arg(0)), true) + " " +
           std::to_string(AsciiToInt(arg(0)));
  }
  if (check == "settings-password") {
    DeviceSettings form;
    form.name = "unit";
    form.ssid = "net";
    form.password = arg(0);
    return ValidateDeviceSettings(form);
  }
  ADD_FAILURE() << "unknown check " << check;
  return {};
}

TEST(PageRules, EveryCheckGivesItsTextForEveryRow) {
  for (const auto& row : testing::LoadTable("protocol/page_rules.tsv")) {
    ASSERT_GE(row.size(), 3u);
    EXPECT_EQ(RunCheck(row), row.back()) << ::testing::PrintToString(row);
  }
}

TEST(PageRules, SettingsTextMustFitTheImage) {
  // 99 three-byte characters in each of three fields: far past 512 bytes.
  std::string wide;
  for (int i = 0; i < 99; ++i) wide += "\xE5\x90\x8D";
  DeviceSettings form;
  form.name = form.ssid = form.password = wide;
  EXPECT_EQ(ValidateDeviceSettings(form), kSettingsTextTooLong);
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
