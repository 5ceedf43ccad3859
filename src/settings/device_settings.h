#pragma once
// The device settings form as plain data, the settings text file "1.txt" it
// becomes, and the device image "t0.bin" that carries that text. Used by the
// window's settings pages and by the command-line tool.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorbel {

inline constexpr const char* kSettingsTextFile = "1.txt";
inline constexpr const char* kTemplateImageFile = "t.bin";
inline constexpr const char* kSettingsImageFile = "t0.bin";

inline constexpr const char* kDefaultDeviceName = "Tellan-5";

// Texts of the form's checks, in the order they are made.
inline constexpr const char* kNameEmpty = "名称不能为空";
inline constexpr const char* kSsidEmpty = "ssid不能为空";
inline constexpr const char* kPasswordEmpty = "psw不能为空";
inline constexpr const char* kIpAddressEmpty = "m_ipaddr不能为空";
inline constexpr const char* kNetmaskEmpty = "msk不能为空";
inline constexpr const char* kGatewayEmpty = "gw不能为空";
inline constexpr const char* kDns0Empty = "dns0不能为空";
inline constexpr const char* kDns1Empty = "dns1不能为空";
// A line break inside a field would shift every later line of "1.txt".
inline constexpr const char* kFieldHasLineBreak = "输入内容不能包含换行符!";
// A field must be well-formed UTF-8: the character limit counts characters.
inline constexpr const char* kFieldNotUtf8 = "输入内容不是有效的UTF-8文本!";
// The whole text must fit the image's settings area, or its end is lost.
inline constexpr const char* kSettingsTextTooLong = "设置内容超过512字节, 请缩短输入内容!";
inline constexpr const char* kCreateTextFailed = "创建1.txt失败";
inline constexpr const char* kOpenTemplateFailed = "打开t.bin失败!";
inline constexpr const char* kOpenImageFailed = "打开t0.bin失败!";
inline constexpr const char* kTemplateHasNoMarker = "t.bin中找不到设置标记!";
inline constexpr const char* kTemplateTooShort = "t.bin中设置标记之后的空间不足!";

// Each field is read as at most this many characters.
inline constexpr size_t kMaxFieldCharacters = 99;
// At most this much of "1.txt" goes into the image, and at most this much of
// "t.bin" is read.
inline constexpr size_t kMaxEmbeddedText = 512;
inline constexpr size_t kMaxTemplateImage = 32768;
// Where the settings text belongs in the template image.
inline constexpr uint8_t kSettingsMarker[11] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
                                                0x06, 0x07, 0x08, 0x09, 0x0A};

struct DeviceSettings {
  std::string name = kDefaultDeviceName;
  std::string ssid;
  std::string password;
  // Selected item of the encryption box: 0 "WPA-PSK/WPA2-PSK", 1 "WEP",
  // 2 "无", -1 a typed text. Only item 0 gives "WPA-PSK"; every other state
  // gives "WEP".
  int encryptionIndex = 0;
  // Selected item of the IP mode box: 0 "自动获取" (dhcp), anything else "fix".
  int ipModeIndex = 0;
  // Used only with a fixed address; kept as typed.
  std::string ipAddress;
  std::string netmask;
  std::string gateway;
  std::string dns0;
  std::string dns1;
};

// The first kMaxFieldCharacters characters of text, never splitting a UTF-8
// sequence.
std::string LimitField(const std::string& text);

// Empty when the form may be written; otherwise the one message to show.
std::string ValidateDeviceSettings(const DeviceSettings& settings);

// The 14 lines of "1.txt", each ending in CR LF, fields limited as read.
std::string FormatSettingsText(const DeviceSettings& settings);

// Writes the text file whole (beside it first, then renamed over it). Empty
// on success, otherwise the message to show; the old file is left as it was.
std::string WriteSettingsText(const std::string& path, const DeviceSettings& settings);

// Copies the first kMaxEmbeddedText bytes of text over image at the first
// settings marker. Empty on success; the image is untouched on failure.
std::string EmbedSettingsText(std::vector<uint8_t>& image, std::span<const uint8_t> text);

// Builds the delivered image: templatePath read up to kMaxTemplateImage
// bytes, the start of textPath embedded, written whole to imagePath. Empty on
// success, otherwise the message to show; imagePath is then not changed.
std::string BuildSettingsImage(const std::string& templatePath, const std::string& textPath,
                               const std::string& imagePath);

}  // namespace zorbel
