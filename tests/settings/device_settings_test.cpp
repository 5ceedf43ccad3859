#include "settings/device_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/delivery.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

DeviceSettings Filled() {
  DeviceSettings s;
  s.ssid = "home";
  s.password = "secret";
  return s;
}

DeviceSettings FixedFilled() {
  DeviceSettings s = Filled();
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

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A made-up template: filler bytes with the marker at the given place.
std::vector<uint8_t> Template(size_t size, size_t markerAt) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(0xC0 + i % 7);
  std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + markerAt);
  return image;
}

class DeviceSettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zorbel-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  // The SDRAM route's preparation with its files in this folder.
  std::string PrepareSdram(const DeviceSettings& s) const {
    SettingsFiles files;
    files.textPath = (dir_ / kSettingsTextFile).string();
    files.templatePath = (dir_ / kTemplateImageFile).string();
    files.imagePath = (dir_ / kSettingsImageFile).string();
    return PrepareSettingsDelivery(s, SettingsRoute::kSdram, files, false);
  }
  fs::path dir_;
};

TEST(DeviceSettingsValidation, ReportsTheFirstFailingRuleInFormOrder) {
  struct Case {
    const char* what;
    DeviceSettings settings;
    std::string expected;
  };
  auto with = [](DeviceSettings s, auto change) {
    change(s);
    return s;
  };
  const std::vector<Case> cases = {
      {"all empty", with(DeviceSettings{}, [](DeviceSettings& s) { s.name.clear(); }), kNameEmpty},
      {"ssid before password",
       with(Filled(),
            [](DeviceSettings& s) {
              s.ssid.clear();
              s.password.clear();
            }),
       kSsidEmpty},
      {"password", with(Filled(), [](DeviceSettings& s) { s.password.clear(); }), kPasswordEmpty},
      {"dhcp ignores empty addresses", Filled(), ""},
      {"dhcp ignores line breaks in hidden addresses",
       with(Filled(), [](DeviceSettings& s) { s.gateway = "a\nb"; }), ""},
      {"fixed, all addresses set", FixedFilled(), ""},
      {"fixed, no address",
       with(FixedFilled(),
            [](DeviceSettings& s) {
              s.ipAddress.clear();
              s.dns1.clear();
            }),
       kIpAddressEmpty},
      {"fixed, no netmask", with(FixedFilled(), [](DeviceSettings& s) { s.netmask.clear(); }), kNetmaskEmpty},
      {"fixed, no gateway",
       with(FixedFilled(),
            [](DeviceSettings& s) {
              s.gateway.clear();
              s.dns0.clear();
            }),
       kGatewayEmpty},
      {"fixed, no dns0", with(FixedFilled(), [](DeviceSettings& s) { s.dns0.clear(); }), kDns0Empty},
      {"fixed, no dns1", with(FixedFilled(), [](DeviceSettings& s) { s.dns1.clear(); }), kDns1Empty},
      {"a typed IP mode counts as fixed", with(Filled(), [](DeviceSettings& s) { s.ipModeIndex = -1; }),
       kIpAddressEmpty},
      {"line feed in the name", with(Filled(), [](DeviceSettings& s) { s.name = "a\nb"; }),
       kFieldHasLineBreak},
      {"carriage return in the password", with(Filled(), [](DeviceSettings& s) { s.password = "a\rb"; }),
       kFieldHasLineBreak},
      {"empty field wins over an earlier line break",
       with(Filled(),
            [](DeviceSettings& s) {
              s.name = "x\n";
              s.password.clear();
            }),
       kPasswordEmpty},
      {"line break in a fixed dns1", with(FixedFilled(), [](DeviceSettings& s) { s.dns1 = "1\r\n"; }),
       kFieldHasLineBreak},
      {"line break past the 99th character is cut off, not refused",
       with(Filled(), [](DeviceSettings& s) { s.ssid = std::string(99, 's') + "\n"; }), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValidateDeviceSettings(c.settings), c.expected) << c.what;
  }
}

TEST(DeviceSettingsText, DhcpWritesTheFixedAddressesWhateverTheHiddenFieldsHold) {
  DeviceSettings s = Filled();
  s.ipAddress = "1.2.3.4";
  s.gateway = "9.9.9.9";
  const std::vector<std::string> expected = {"<<<<<<<<<<<<<<<<<<<",
                                             "NEW IPCFG",
                                             "dhcp",
                                             "192.168.123.9",
                                             "255.255.255.0",
                                             "192.168.123.254",
                                             "192.168.123.254",
                                             "192.168.123.254",
                                             "00:0e:01:09:06:52",
                                             "Tellan-5",
                                             "home",
                                             "secret",
                                             "WPA-PSK",
                                             "==================="};
  EXPECT_EQ(Lines(FormatSettingsText(s)), expected);
}

TEST(DeviceSettingsText, FixedModeAndEncryptionChoices) {
  struct Case {
    int encryptionIndex;
    const char* keyWord;
  };
  for (const Case& c : std::vector<Case>{{0, "WPA-PSK"}, {1, "WEP"}, {2, "WEP"}, {-1, "WEP"}}) {
    DeviceSettings s = FixedFilled();
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
    std::string input;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {std::string(99, 'a'), std::string(99, 'a')},
      {std::string(150, 'a'), std::string(99, 'a')},
      {std::string(98, 'a') + han + "b", std::string(98, 'a') + han},
      {[&] {
         std::string s;
         for (int i = 0; i < 120; ++i) s += han;
         return s;
       }(),
       [&] {
         std::string s;
         for (int i = 0; i < 99; ++i) s += han;
         return s;
       }()},
      {std::string(98, 'a') + emoji + emoji, std::string(98, 'a') + emoji},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LimitField(c.input), c.expected) << c.input.size();
  }
  DeviceSettings s = Filled();
  s.name = std::string(150, 'n');
  EXPECT_EQ(Lines(FormatSettingsText(s))[9], std::string(99, 'n'));
}

TEST(DeviceSettingsImage, EmbedsAtTheFirstMarkerOrRefusesWithoutTouchingTheImage) {
  const std::vector<uint8_t> text = {'a', 'b', 'c'};
  struct Case {
    const char* what;
    size_t size;
    long markerAt;  // -1: none
    size_t textLength;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"marker mid-image", 200, 50, 3, ""},
      {"no marker", 200, -1, 3, kTemplateHasNoMarker},
      {"text ends exactly at the image end", 100, 89, 11, ""},
      {"text would run one byte past the end", 100, 89, 12, kTemplateTooShort},
      {"marker cut off by the image end", 100, -2, 3, kTemplateHasNoMarker},
      {"only the first 512 bytes go in", 600, 10, 700, ""},
      {"512 bytes need room after the marker", 600, 100, 700, kTemplateTooShort},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image(c.size, 0x55);
    if (c.markerAt >= 0) {
      image = Template(c.size, static_cast<size_t>(c.markerAt));
    } else if (c.markerAt == -2) {
      std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker) - 1, image.end() - 10);
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

TEST(DeviceSettingsImage, SecondMarkerIsLeftAlone) {
  std::vector<uint8_t> image = Template(300, 20);
  std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + 200);
  const std::vector<uint8_t> text(15, 'x');
  ASSERT_EQ(EmbedSettingsText(image, text), "");
  EXPECT_EQ(image[20], 'x');
  EXPECT_EQ(image[34], 'x');
  EXPECT_TRUE(std::equal(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + 200));
}

TEST_F(DeviceSettingsFiles, PreparedImageHoldsTheTextFileAtTheMarkerAndKeepsItsLength) {
  const std::vector<uint8_t> tmpl = Template(4000, 1000);
  WriteAll(dir_ / kTemplateImageFile, tmpl);
  DeviceSettings s = FixedFilled();
  s.name = "Kitchen";
  ASSERT_EQ(PrepareSdram(s), "");

  const std::vector<uint8_t> text = ReadAll(dir_ / kSettingsTextFile);
  const std::string formatted = FormatSettingsText(s);
  EXPECT_EQ(std::string(text.begin(), text.end()), formatted);
  std::vector<uint8_t> want = tmpl;
  std::copy(text.begin(), text.end(), want.begin() + 1000);
  EXPECT_EQ(ReadAll(dir_ / kSettingsImageFile), want);
  EXPECT_FALSE(fs::exists(dir_ / "1.txt.new"));
  EXPECT_FALSE(fs::exists(dir_ / "t0.bin.new"));
}

TEST_F(DeviceSettingsFiles, TemplateLargerThan32KiBIsCutAndALongTextIsCutTo512Bytes) {
  WriteAll(dir_ / kTemplateImageFile, Template(kMaxTemplateImage + 100, 30000));
  DeviceSettings s = Filled();
  s.name = std::string(99, 'N');
  s.ssid = std::string(99, 'S');
  s.password = std::string(99, 'P');
  s.ipModeIndex = 1;
  s.ipAddress = std::string(99, 'i');
  s.netmask = std::string(99, 'm');
  s.gateway = "g";
  s.dns0 = "d";
  s.dns1 = "e";
  ASSERT_EQ(PrepareSdram(s), "");
  const std::vector<uint8_t> text = ReadAll(dir_ / kSettingsTextFile);
  ASSERT_GT(text.size(), kMaxEmbeddedText);
  const std::vector<uint8_t> image = ReadAll(dir_ / kSettingsImageFile);
  ASSERT_EQ(image.size(), kMaxTemplateImage);
  EXPECT_TRUE(std::equal(text.begin(), text.begin() + kMaxEmbeddedText, image.begin() + 30000));
  EXPECT_EQ(image[30000 + kMaxEmbeddedText], Template(kMaxTemplateImage, 30000)[30000 + kMaxEmbeddedText]);
}

TEST_F(DeviceSettingsFiles, FailuresStopBeforeLaterFilesChange) {
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
  for (const Case& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    WriteAll(dir_ / kSettingsTextFile, {'o', 'l', 'd'});
    WriteAll(dir_ / kSettingsImageFile, {'o', 'l', 'd', '0'});
    if (c.writeTemplate) {
      WriteAll(dir_ / kTemplateImageFile, c.markerAt >= 0 ? Template(200, static_cast<size_t>(c.markerAt))
                                                          : std::vector<uint8_t>(200, 1));
    }
    DeviceSettings s = Filled();
    if (c.breakName) s.name = "two\nlines";
    EXPECT_EQ(PrepareSdram(s), c.expected) << c.what;
    EXPECT_EQ(ReadAll(dir_ / kSettingsTextFile) == std::vector<uint8_t>({'o', 'l', 'd'}), !c.textRewritten)
        << c.what;
    EXPECT_EQ(ReadAll(dir_ / kSettingsImageFile), (std::vector<uint8_t>{'o', 'l', 'd', '0'})) << c.what;
  }
}

TEST_F(DeviceSettingsFiles, UnwritableFolderGivesTheCreateMessage) {
  EXPECT_EQ(WriteSettingsText((dir_ / "missing" / kSettingsTextFile).string(), Filled()), kCreateTextFailed);
  WriteAll(dir_ / kTemplateImageFile, Template(200, 10));
  WriteAll(dir_ / kSettingsTextFile, {'x'});
  EXPECT_EQ(BuildSettingsImage((dir_ / kTemplateImageFile).string(), (dir_ / kSettingsTextFile).string(),
                               (dir_ / "missing" / kSettingsImageFile).string()),
            kOpenImageFailed);
}

}  // namespace
}  // namespace zorbel
