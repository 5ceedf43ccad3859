// The device settings form, its text and image files, and the routes that
// deliver them: what is written before any transfer, and what reaches the
// virtual board over each wire.
#include "settings/device_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "protocol/protocol_fixture.h"
#include "settings/delivery.h"

namespace zorbel {
namespace {

using testing::LoadTable;
using testing::ReadFileBytes;
using testing::TableRow;
using testing::TempFolder;
using testing::WriteBytes;

DeviceSettings Form() {
  DeviceSettings form;
  form.ssid = "home";
  form.password = "secret";
  return form;
}

DeviceSettings Fixed() {
  DeviceSettings s = Form();
  s.ipModeIndex = 1;
  s.ipAddress = "10.0.0.2";
  s.netmask = "255.0.0.0";
  s.gateway = "10.0.0.1";
  s.dns0 = "10.0.0.3";
  s.dns1 = "10.0.0.4";
  return s;
}

// The form a table row names in its cell at (-, form or fixed), changed by the
// field, value pairs after it.
DeviceSettings FormOfRow(const TableRow& row, size_t at) {
  static const std::map<std::string, std::string DeviceSettings::*> kFields = {
      {"name", &DeviceSettings::name},         {"ssid", &DeviceSettings::ssid},
      {"password", &DeviceSettings::password}, {"address", &DeviceSettings::ipAddress},
      {"netmask", &DeviceSettings::netmask},   {"gateway", &DeviceSettings::gateway},
      {"dns0", &DeviceSettings::dns0},         {"dns1", &DeviceSettings::dns1}};
  DeviceSettings s = row[at] == "form" ? Form() : row[at] == "fixed" ? Fixed() : DeviceSettings{};
  for (size_t i = at + 1; i + 1 < row.size(); i += 2) {
    if (row[i] == "ip") {
      s.ipModeIndex = std::stoi(row[i + 1]);
    } else if (row[i] == "encryption") {
      s.encryptionIndex = std::stoi(row[i + 1]);
    } else {
      s.*kFields.at(row[i]) = row[i + 1];
    }
  }
  return s;
}

// A made-up template: filler bytes with the marker at the given place.
std::vector<uint8_t> Template(size_t size, size_t markerAt) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(0xC0 + i % 7);
  std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + markerAt);
  return image;
}

// The routes' files, named as the tool names them, in the scratch folder.
SettingsFiles FilesIn(const TempFolder& dir) {
  return {dir.File(kSettingsTextFile), dir.File(kTemplateImageFile), dir.File(kSettingsImageFile)};
}

TEST(DeviceSettingsForm, ChecksTheFirstFailingRuleInFormOrderThenWritesLinesEndingInCrLf) {
  for (const TableRow& row : LoadTable("settings/forms.tsv")) {
    const DeviceSettings s = FormOfRow(row, 3);
    EXPECT_EQ(ValidateDeviceSettings(s), row[1]) << row[0];
    if (row[2].empty()) continue;
    EXPECT_EQ(FormatSettingsText(s), row[2]) << row[0];
  }
}

TEST(DeviceSettingsText, LimitsFieldsTo99CharactersWithoutSplittingOne) {
  for (const TableRow& row : LoadTable("settings/limits.tsv")) {
    EXPECT_EQ(LimitField(row[1]), row[2]) << row[0];
  }
}

TEST(DeviceSettingsImage, EmbedsAtTheFirstMarkerOrRefusesWithoutTouchingTheImage) {
  for (const TableRow& row : LoadTable("settings/embed.tsv")) {
    const size_t size = std::stoul(row[2]), textLength = std::stoul(row[4]);
    std::vector<uint8_t> image(size, 0x55);
    if (row[3] == "cut") {
      std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker) - 1, image.end() - 10);
    } else if (row[3] != "-") {
      image = Template(size, std::stoul(row[3]));
    }
    if (row[5] != "-") {
      std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + std::stol(row[5]));
    }
    std::vector<uint8_t> body(textLength);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>('A' + i % 26);
    std::vector<uint8_t> want = image;
    EXPECT_EQ(EmbedSettingsText(image, body), row[1]) << row[0];
    if (row[1].empty()) {
      std::copy_n(body.begin(), std::min(textLength, kMaxEmbeddedText), want.begin() + std::stol(row[3]));
    }
    EXPECT_EQ(image, want) << row[0];
  }
}

TEST(DeviceSettingsFiles, TheImageGetsTheTextAtItsMarkerOrNeitherFileChangesAfterAFailure) {
  const std::vector<uint8_t> oldImage = {'o', 'l', 'd', '0'};
  for (const TableRow& row : LoadTable("settings/files.tsv")) {
    SCOPED_TRACE(row[0]);
    const size_t size = std::stoul(row[1]);
    const bool breakName = row[3] == "yes";
    const TempFolder dir;
    WriteBytes(dir.File(kSettingsTextFile), "old");
    WriteBytes(dir.File(kSettingsImageFile), oldImage);
    std::vector<uint8_t> image =
        row[2] != "-" ? Template(size, std::stoul(row[2])) : std::vector<uint8_t>(size, 1);
    if (size > 0) WriteBytes(dir.File(kTemplateImageFile), image);
    DeviceSettings s = Fixed();
    if (breakName) s.name = "two\nlines";
    EXPECT_EQ(PrepareSettingsDelivery(s, SettingsRoute::kSdram, FilesIn(dir), false), row[4]);
    // Only a form that passes its checks replaces the text.
    const std::vector<uint8_t> text = ReadFileBytes(dir.File(kSettingsTextFile));
    EXPECT_EQ(std::string(text.begin(), text.end()), breakName ? "old" : FormatSettingsText(s));
    if (row[4].empty()) {
      image.resize(std::min(size, kMaxTemplateImage));
      std::copy(text.begin(), text.end(), image.begin() + std::stol(row[2]));
    } else {
      image = oldImage;
    }
    EXPECT_EQ(ReadFileBytes(dir.File(kSettingsImageFile)), image);
    // Both files are replaced whole: no temporary is left beside them.
    EXPECT_EQ(dir.Names().size(), size > 0 ? 3u : 2u);
  }
}

TEST(DeviceSettingsFiles, UnwritableFolderGivesTheCreateMessage) {
  const TempFolder dir;
  EXPECT_EQ(WriteSettingsText(dir.File("missing/1.txt"), Form()), kCreateTextFailed);
  WriteBytes(dir.File(kTemplateImageFile), Template(200, 10));
  WriteBytes(dir.File(kSettingsTextFile), "x");
  EXPECT_EQ(BuildSettingsImage(dir.File(kTemplateImageFile), dir.File(kSettingsTextFile),
                               dir.File("missing/t0.bin")),
            kOpenImageFailed);
}

TEST(SettingsDelivery, PreparedFilesThenWhatReachesTheDiskBoard) {
  for (const TableRow& row : LoadTable("settings/delivery.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2] + row[5]);
    const SettingsRoute route = row[0] == "spi" ? SettingsRoute::kSpi : SettingsRoute::kSdram;
    testing::DiskRig rig;
    WriteBytes(rig.dir.File(kTemplateImageFile), Template(4096, 100));
    const SettingsFiles files = FilesIn(rig.dir);
    EXPECT_EQ(PrepareSettingsDelivery(Form(), route, files, row[1] == "yes"), row[2]);
    EXPECT_TRUE(std::filesystem::exists(files.textPath));
    EXPECT_EQ(std::filesystem::exists(files.imagePath), route == SettingsRoute::kSdram);
    if (row[5].empty()) continue;
    if (row[3] == "yes") rig.state.connection.CloseVolumes();
    const bool ok = row[5] == delivery_text::kWriteOk;
    EXPECT_EQ(DeliverSettings(rig.ctx, route, files, std::stoul(row[4])), ok ? 1 : 0);
    EXPECT_EQ(rig.prompt.Messages().back(), row[5]);
    if (ok && route == SettingsRoute::kSdram) {
      const auto image = ReadFileBytes(files.imagePath);
      // The disk download always loads at 0x8000.
      EXPECT_EQ(rig.board.Sdram(0x8000, static_cast<uint32_t>(image.size())), image);
    } else if (ok) {
      const auto entry = rig.board.FindImage(sim::Medium::kSpi, 2);
      ASSERT_TRUE(entry.has_value());
      EXPECT_EQ(entry->name, kSettingsTextFile);
      EXPECT_EQ(entry->type, 0u);
      EXPECT_EQ(rig.board.ImageData(sim::Medium::kSpi, 2), ReadFileBytes(files.textPath));
    }
  }
}

}  // namespace
}  // namespace zorbel
