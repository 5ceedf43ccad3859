#include "settings/device_settings.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/file_replace.h"
#include "app/utf8.h"

namespace zorbel {
namespace {

constexpr const char* kFixedMac = "00:0e:01:09:06:52";
constexpr const char* kDhcpAddress = "192.168.123.9";
constexpr const char* kDhcpNetmask = "255.255.255.0";
constexpr const char* kDhcpGateway = "192.168.123.254";
constexpr const char* kOpenLine = "<<<<<<<<<<<<<<<<<<<";
constexpr const char* kCloseLine = "===================";

bool UsesFixedAddress(const DeviceSettings& s) { return s.ipModeIndex != 0; }

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// Reads at most limit bytes of a file; false when it cannot be opened.
bool ReadPrefix(const std::string& path, size_t limit, std::vector<uint8_t>& out) {
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kBinary)) return false;
  out.resize(limit);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(limit));
  out.resize(static_cast<size_t>(in.gcount()));
  return true;
}

}  // namespace

std::string LimitField(const std::string& text) {
  size_t characters = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (characters == kMaxFieldCharacters) return text.substr(0, i);
    // Step over the continuation bytes of this character.
    size_t next = i + 1;
    while (next < text.size() && (static_cast<uint8_t>(text[next]) & 0xC0) == 0x80) ++next;
    i = next;
    ++characters;
  }
  return text;
}

std::string ValidateDeviceSettings(const DeviceSettings& settings) {
  struct Check {
    const std::string* field;
    const char* emptyText;
  };
  std::vector<Check> checks = {
      {&settings.name, kNameEmpty}, {&settings.ssid, kSsidEmpty}, {&settings.password, kPasswordEmpty}};
  if (UsesFixedAddress(settings)) {
    checks.insert(checks.end(), {{&settings.ipAddress, kIpAddressEmpty},
                                 {&settings.netmask, kNetmaskEmpty},
                                 {&settings.gateway, kGatewayEmpty},
                                 {&settings.dns0, kDns0Empty},
                                 {&settings.dns1, kDns1Empty}});
  }
  for (const Check& c : checks) {
    if (c.field->empty()) return c.emptyText;
  }
  for (const Check& c : checks) {
    if (!IsValidUtf8(*c.field)) return kFieldNotUtf8;
  }
  // Only the fields that reach the file matter.
  for (const Check& c : checks) {
    if (HasLineBreak(LimitField(*c.field))) return kFieldHasLineBreak;
  }
  if (FormatSettingsText(settings).size() > kMaxEmbeddedText) return kSettingsTextTooLong;
  return {};
}

std::string FormatSettingsText(const DeviceSettings& settings) {
  const bool fixed = UsesFixedAddress(settings);
  const std::string lines[] = {
      kOpenLine,
      "NEW IPCFG",
      fixed ? "fix" : "dhcp",
      fixed ? LimitField(settings.ipAddress) : kDhcpAddress,
      fixed ? LimitField(settings.netmask) : kDhcpNetmask,
      fixed ? LimitField(settings.gateway) : kDhcpGateway,
      fixed ? LimitField(settings.dns0) : kDhcpGateway,
      fixed ? LimitField(settings.dns1) : kDhcpGateway,
      kFixedMac,
      LimitField(settings.name),
      LimitField(settings.ssid),
      LimitField(settings.password),
      settings.encryptionIndex == 0 ? "WPA-PSK" : "WEP",
      kCloseLine,
  };
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string WriteSettingsText(const std::string& path, const DeviceSettings& settings) {
  const std::string text = FormatSettingsText(settings);
  if (!ReplaceFileWhole(path, text, FileMode::kBinary)) return kCreateTextFailed;
  return {};
}

std::string EmbedSettingsText(std::vector<uint8_t>& image, std::span<const uint8_t> text) {
  const auto found =
      std::search(image.begin(), image.end(), std::begin(kSettingsMarker), std::end(kSettingsMarker));
  if (found == image.end()) return kTemplateHasNoMarker;
  const size_t at = static_cast<size_t>(found - image.begin());
  const size_t length = std::min(text.size(), kMaxEmbeddedText);
  if (length > image.size() - at) return kTemplateTooShort;
  std::copy_n(text.begin(), length, image.begin() + static_cast<std::ptrdiff_t>(at));
  return {};
}

std::string BuildSettingsImage(const std::string& templatePath, const std::string& textPath,
                               const std::string& imagePath) {
  std::vector<uint8_t> image;
  if (!ReadPrefix(templatePath, kMaxTemplateImage, image)) return kOpenTemplateFailed;
  std::vector<uint8_t> text;
  // The text file was written just before; should it have vanished, the
  // image still gets checked for its marker and carries no text.
  ReadPrefix(textPath, kMaxEmbeddedText, text);
  if (std::string failure = EmbedSettingsText(image, text); !failure.empty()) return failure;
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  if (!ReplaceFileWhole(imagePath, bytes, FileMode::kBinary)) return kOpenImageFailed;
  return {};
}

}  // namespace zorbel
