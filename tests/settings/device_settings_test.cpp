#include "settings/device_settings.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "protocol/protocol_fixture.h"
#include "settings/delivery_test_support.h"

namespace zorbel {
namespace {

using settings_test::FilesIn;
using settings_test::Form;
using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteBytes;

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// A made-up template: filler bytes with the marker at the given place.
std::vector<uint8_t> Template(size_t size, size_t markerAt) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(0xC0 + i % 7);
  std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + markerAt);
  return image;
}

std::string PrepareSdram(const TempFolder& dir, const DeviceSettings& s) {
  return PrepareSettingsDelivery(s, SettingsRoute::kSdram, FilesIn(dir), false);
}

TEST(DeviceSettingsValidation, ReportsTheFirstFailingRuleInFormOrder) {
  using Change = void (*)(DeviceSettings&);
  struct Case {
    const char* what;
    DeviceSettings base;
    Change change;
    std::string expected;
  };
  const Change same = [](DeviceSettings&) {};
  const std::vector<Case> cases = {
      {"all empty", DeviceSettings{}, [](auto& s) { s.name.clear(); }, kNameEmpty},
      {"ssid before password", Form(), [](auto& s) { s.ssid = s.password = ""; }, kSsidEmpty},
      {"password", Form(), [](auto& s) { s.password.clear(); }, kPasswordEmpty},
      {"dhcp ignores empty addresses", Form(), same, ""},
      {"dhcp ignores line breaks in hidden addresses", Form(), [](auto& s) { s.gateway = "a\nb"; }, ""},
      {"fixed, all addresses set", Fixed(), same, ""},
      {"fixed, no address", Fixed(), [](auto& s) { s.ipAddress = s.dns1 = ""; }, kIpAddressEmpty},
      {"fixed, no netmask", Fixed(), [](auto& s) { s.netmask.clear(); }, kNetmaskEmpty},
      {"fixed, no gateway", Fixed(), [](auto& s) { s.gateway = s.dns0 = ""; }, kGatewayEmpty},
      {"fixed, no dns0", Fixed(), [](auto& s) { s.dns0.clear(); }, kDns0Empty},
      {"fixed, no dns1", Fixed(), [](auto& s) { s.dns1.clear(); }, kDns1Empty},
      {"a typed IP mode counts as fixed", Form(), [](auto& s) { s.ipModeIndex = -1; }, kIpAddressEmpty},
      {"line feed in the name", Form(), [](auto& s) { s.name = "a\nb"; }, kFieldHasLineBreak},
      {"carriage return in the password", Form(), [](auto& s) { s.password = "a\rb"; }, kFieldHasLineBreak},
      {"empty field wins over an earlier line break", Form(),
       [](auto& s) {
         s.name = "x\n";
         s.password.clear();
       },
       kPasswordEmpty},
      {"line break in a fixed dns1", Fixed(), [](auto& s) { s.dns1 = "1\r\n"; }, kFieldHasLineBreak},
      {"line break past the 99th character is cut off, not refused", Form(),
       [](auto& s) { s.ssid = std::string(99, 's') + "\n"; }, ""},
  };
  for (Case c : cases) {
    c.change(c.base);
    EXPECT_EQ(ValidateDeviceSettings(c.base), c.expected) << c.what;
  }
}

TEST(DeviceSettingsText, DhcpWritesTheFixedAddressesWhateverTheHiddenFieldsHold) {
  DeviceSettings s = Form();
  s.ipAddress = "1.2.3.4";
  s.gateway = "9.9.9.9";
  EXPECT_EQ(
      FormatSettingsText(s),
      "<<<<<<<<<<<<<<<<<<<\r\nNEW IPCFG\r\ndhcp\r\n192.168.123.9\r\n255.255.255.0\r\n192.168.123.254\r\n"
      "192.168.123.254\r\n192.168.123.254\r\n00:0e:01:09:06:52\r\nTellan-5\r\nhome\r\nsecret\r\n"
      "WPA-PSK\r\n===================\r\n");
}

TEST(DeviceSettingsText, FixedModeAndEncryptionChoices) {
  struct Case {
    int encryptionIndex;
    const char* keyWord;
  };
  for (const Case& c : std::vector<Case>{{0, "WPA-PSK"}, {1, "WEP"}, {2, "WEP"}, {-1, "WEP"}}) {
    DeviceSettings s = Fixed();
    s.encryptionIndex = c.encryptionIndex;
    const std::vector<std::string> lines = Lines(FormatSettingsText(s));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[2], "fix");
    EXPECT_EQ((std::vector<std::string>(lines.begin() + 3, lines.begin() + 8)),
              (std::vector<std::string>{"10.0.0.2", "255.0.0.0", "10.0.0.1", "10.0.0.3", "10.0.0.4"}));
    EXPECT_EQ(lines[12], c.keyWord) << c.encryptionIndex;
  }
}

TEST(DeviceSettingsText, LimitsFieldsTo99CharactersWithoutSplittingOne) {
  const std::string han = "名";  // three bytes in UTF-8
  const std::string emoji = "\xF0\x9F\x98\x80";
  struct Case {
    std::string input, expected;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {std::string(99, 'a'), std::string(99, 'a')},
      {std::string(150, 'a'), std::string(99, 'a')},
      {std::string(98, 'a') + han + "b", std::string(98, 'a') + han},
      {Repeat(han, 120), Repeat(han, 99)},
      {std::string(98, 'a') + emoji + emoji, std::string(98, 'a') + emoji},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LimitField(c.input), c.expected) << c.input.size();
  }
  DeviceSettings s = Form();
  s.name = std::string(150, 'n');
  EXPECT_EQ(Lines(FormatSettingsText(s))[9], std::string(99, 'n'));
}

TEST(DeviceSettingsImage, EmbedsAtTheFirstMarkerOrRefusesWithoutTouchingTheImage) {
  struct Case {
    const char* what;
    size_t size;
    long markerAt;  // -1: none
    size_t textLength;
    std::string expected;
    long secondMarkerAt = -1;
  };
  const std::vector<Case> cases = {
      {"marker mid-image", 200, 50, 3, ""},
      {"no marker", 200, -1, 3, kTemplateHasNoMarker},
      {"text ends exactly at the image end", 100, 89, 11, ""},
      {"text would run one byte past the end", 100, 89, 12, kTemplateTooShort},
      {"marker cut off by the image end", 100, -2, 3, kTemplateHasNoMarker},
      {"only the first 512 bytes go in", 600, 10, 700, ""},
      {"512 bytes need room after the marker", 600, 100, 700, kTemplateTooShort},
      {"a second marker is left alone", 300, 20, 15, "", 200},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image(c.size, 0x55);
    if (c.markerAt >= 0) {
      image = Template(c.size, static_cast<size_t>(c.markerAt));
    } else if (c.markerAt == -2) {
      std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker) - 1, image.end() - 10);
    }
    if (c.secondMarkerAt >= 0) {
      std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + c.secondMarkerAt);
    }
    std::vector<uint8_t> body(c.textLength);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>('A' + i % 26);
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(EmbedSettingsText(image, body), c.expected) << c.what;
    if (!c.expected.empty()) {
      EXPECT_EQ(image, before) << c.what;
      continue;
    }
    const size_t at = static_cast<size_t>(c.markerAt);
    const size_t copied = std::min(c.textLength, kMaxEmbeddedText);
    std::vector<uint8_t> want = before;
    std::copy_n(body.begin(), copied, want.begin() + static_cast<long>(at));
    EXPECT_EQ(image, want) << c.what;
  }
}

TEST(DeviceSettingsFiles, PreparedImageHoldsTheTextAtTheMarkerAndKeepsAtMost32KiB) {
  struct Case {
    size_t size, markerAt;
  };
  for (const Case& c : {Case{4000, 1000}, Case{kMaxTemplateImage + 100, 30000}}) {
    const TempFolder dir;
    WriteBytes(dir.File(kTemplateImageFile), Template(c.size, c.markerAt));
    DeviceSettings s = Fixed();
    s.name = "Kitchen";
    ASSERT_EQ(PrepareSdram(dir, s), "") << c.size;

    const std::vector<uint8_t> text = ReadFileBytes(dir.File(kSettingsTextFile));
    EXPECT_EQ(std::string(text.begin(), text.end()), FormatSettingsText(s));
    std::vector<uint8_t> want = Template(std::min(c.size, kMaxTemplateImage), c.markerAt);
    std::copy(text.begin(), text.end(), want.begin() + static_cast<long>(c.markerAt));
    EXPECT_EQ(ReadFileBytes(dir.File(kSettingsImageFile)), want) << c.size;
    // Both files are replaced whole: no temporary is left beside them.
    EXPECT_EQ(dir.Names(),
              (std::vector<std::string>{kSettingsTextFile, kTemplateImageFile, kSettingsImageFile}));
  }
}

TEST(DeviceSettingsFiles, FailuresStopBeforeLaterFilesChange) {
  struct Case {
    const char* what;
    bool writeTemplate;
    long markerAt;
    bool breakName;
    std::string expected;
    bool textRewritten;
  };
  const std::vector<Case> cases = {
      {"line break", true, 10, true, kFieldHasLineBreak, false},
      {"no template", false, 0, false, kOpenTemplateFailed, true},
      {"template without marker", true, -1, false, kTemplateHasNoMarker, true},
      {"marker too near the end", true, 180, false, kTemplateTooShort, true},
  };
  const std::vector<uint8_t> oldText = {'o', 'l', 'd'}, oldImage = {'o', 'l', 'd', '0'};
  for (const Case& c : cases) {
    const TempFolder dir;
    WriteBytes(dir.File(kSettingsTextFile), oldText);
    WriteBytes(dir.File(kSettingsImageFile), oldImage);
    if (c.writeTemplate) {
      WriteBytes(dir.File(kTemplateImageFile), c.markerAt >= 0
                                                       ? Template(200, static_cast<size_t>(c.markerAt))
                                                       : std::vector<uint8_t>(200, 1));
    }
    DeviceSettings s = Form();
    if (c.breakName) s.name = "two\nlines";
    EXPECT_EQ(PrepareSdram(dir, s), c.expected) << c.what;
    EXPECT_EQ(ReadFileBytes(dir.File(kSettingsTextFile)) == oldText, !c.textRewritten) << c.what;
    EXPECT_EQ(ReadFileBytes(dir.File(kSettingsImageFile)), oldImage) << c.what;
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

}  // namespace
}  // namespace zorbel
