#include "app/tool_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "app/byte_order.h"
#include "app/file_replace.h"
#include "app/paths.h"
#include "app/profile_reader.h"

namespace zorbel {

namespace {

constexpr const char* kAddressSection = "ADDRESS";
constexpr const char* kAddressKey = "ADDRESS";
constexpr const char* kClockSkewSection = "CLOCK_SKEW";
constexpr const char* kDqsodsKey = "DQSODS";
constexpr const char* kCkdqsdsKey = "CKDQSDS";
constexpr const char* kUserDefineSection = "USER_DEFINE";
constexpr const char* kSdPortHeader = "[SD_Port]";

constexpr const char* kTooManyRegistersText =
    "Zorbel.ini: the USER_DEFINE section holds more than 100 register lines.\n"
    "The memory settings were not loaded; shorten the section and connect again.";
constexpr const char* kBadNumberText =
    "Zorbel.ini: \"%s\" is not a hexadecimal number.\n"
    "The memory settings were not loaded; correct the file and connect again.";

constexpr uint32_t kUserDefineMarker = 0xAA55AA55u;
// Register lines with this address stand in the boot header but are never
// sent to the chip.
constexpr uint32_t kSkippedRegisterAddress = 0x55AA55AAu;
constexpr uint32_t kFamily1HeaderLength = 32;
constexpr uint32_t kEmptyUserDefineHeaderLength = 16;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Substitute(const char* pattern, std::string_view text) {
  std::string result(pattern);
  const size_t at = result.find("%s");
  if (at != std::string::npos) result.replace(at, 2, text);
  return result;
}

// Hexadecimal as "%x" reads it: leading blanks, an optional "0x", digits up
// to the first other character. Unlike "%x", text without digits or a value
// beyond 32 bits is refused rather than left undefined or wrapped.
std::optional<uint32_t> ParseHexWord(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  uint64_t value = 0;
  size_t digits = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) break;
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFu) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

// "Zorbel.ini" read the way the platform's private-profile functions read it:
// section and key names without regard to case and with blanks trimmed, the
// first matching section and key winning; blank lines and ';' comments skipped.
class PrivateProfile {
 public:
  bool Load(const std::string& path) {
    std::ifstream in;
    if (!OpenForReading(in, path, FileMode::kText)) return false;
    std::string line;
    while (std::getline(in, line)) {
      const std::string_view text = Trim(line);
      if (text.empty() || text.front() == ';') continue;
      if (text.front() == '[') {
        const size_t close = text.find(']');
        sections_.push_back(
            {std::string(Trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1))), {}});
        continue;
      }
      if (sections_.empty()) continue;  // lines before any section belong to none
      sections_.back().lines.emplace_back(text);
    }
    return true;
  }

  // Null when the section is missing.
  const std::vector<std::string>* Section(std::string_view name) const {
    for (const auto& s : sections_) {
      if (EqualsIgnoringCase(s.name, name)) return &s.lines;
    }
    return nullptr;
  }

  // Empty when the section or key is missing or the key has no text.
  std::string Value(std::string_view section, std::string_view key) const {
    const auto* lines = Section(section);
    if (lines == nullptr) return {};
    for (const auto& line : *lines) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      if (EqualsIgnoringCase(Trim(std::string_view(line).substr(0, eq)), key)) {
        return std::string(Trim(std::string_view(line).substr(eq + 1)));
      }
    }
    return {};
  }

 private:
  struct Entry {
    std::string name;
    std::vector<std::string> lines;
  };
  std::vector<Entry> sections_;
};

// A key with text must hold a number; a key without text keeps *word as is.
bool ReadWord(const PrivateProfile& profile, const char* section, const char* key, uint32_t* word,
              std::string* error) {
  const std::string text = profile.Value(section, key);
  if (text.empty()) return true;
  const auto value = ParseHexWord(text);
  if (!value) {
    if (error != nullptr) *error = Substitute(kBadNumberText, text);
    return false;
  }
  *word = *value;
  return true;
}

int ReadFamily1(ChipSettings& chip, const PrivateProfile& profile, std::string* error) {
  uint32_t address = 0, dqsods = 0, ckdqsds = 0;
  if (!ReadWord(profile, kAddressSection, kAddressKey, &address, error) ||
      !ReadWord(profile, kClockSkewSection, kDqsodsKey, &dqsods, error) ||
      !ReadWord(profile, kClockSkewSection, kCkdqsdsKey, &ckdqsds, error)) {
    return kChipSettingsRefused;
  }
  chip.addressWord = address;
  chip.dqsodsWord = dqsods;
  chip.ckdqsdsWord = ckdqsds;
  chip.clockSkew = true;
  uint8_t* h = chip.bootHeader.data();
  std::fill(h, h + kFamily1HeaderLength, uint8_t{0});
  StoreLe32(h + 0, kRomMagicReversedWord);
  StoreLe32(h + 4, address);
  StoreLe32(h + 12, kRomMagicWord);
  StoreLe32(h + 16, dqsods);
  StoreLe32(h + 20, ckdqsds);
  chip.bootHeaderLength = kFamily1HeaderLength;
  return kChipSettingsRead;
}

int ReadFamily2Or3(ChipSettings& chip, const PrivateProfile& profile, std::string* error) {
  uint32_t address = chip.addressWord;
  if (!ReadWord(profile, kAddressSection, kAddressKey, &address, error)) return kChipSettingsRefused;

  // Everything is parsed before anything changes, so a refused file leaves the
  // earlier settings whole.
  std::vector<RegisterWrite> pairs;
  if (const auto* lines = profile.Section(kUserDefineSection)) {
    if (lines->size() > kMaxRegisterWrites) {
      if (error != nullptr) *error = kTooManyRegistersText;
      return kChipSettingsRefused;
    }
    for (const std::string& line : *lines) {
      const size_t eq = line.find('=');
      const auto reg = ParseHexWord(std::string_view(line).substr(0, eq));
      const auto value =
          eq == std::string::npos ? std::nullopt : ParseHexWord(std::string_view(line).substr(eq + 1));
      if (!reg || !value) {
        if (error != nullptr) *error = Substitute(kBadNumberText, line);
        return kChipSettingsRefused;
      }
      pairs.push_back({*reg, *value});
    }
  }

  chip.addressWord = address;
  uint8_t* h = chip.bootHeader.data();
  StoreLe32(h + 0, kRomMagicReversedWord);
  StoreLe32(h + 4, address);
  StoreLe32(h + 8, 0);
  // An emptied section must not leave the registers of an earlier read to be
  // sent to the chip.
  chip.registers.clear();
  if (pairs.empty()) {
    chip.bootHeaderLength = kEmptyUserDefineHeaderLength;
    return kChipSettingsRead;
  }
  const uint32_t n = static_cast<uint32_t>(pairs.size());
  const uint32_t length = (24 + 8 * n + 15) / 16 * 16;
  std::fill(h + 16, h + length, uint8_t{0});
  StoreLe32(h + 16, kUserDefineMarker);
  StoreLe32(h + 20, n);
  for (uint32_t i = 0; i < n; ++i) {
    StoreLe32(h + 24 + 8 * i, pairs[i].address);
    StoreLe32(h + 28 + 8 * i, pairs[i].value);
    if (pairs[i].address != kSkippedRegisterAddress) chip.registers.push_back(pairs[i]);
  }
  chip.bootHeaderLength = length;
  return kChipSettingsRead;
}

}  // namespace

int ReadChipSettings(ToolState& state, const std::string& iniPath, std::string* error) {
  PrivateProfile profile;
  if (!profile.Load(iniPath)) return kChipSettingsMissing;
  switch (state.chipFamily) {
    case 1:
      return ReadFamily1(state.chip, profile, error);
    case 2:
    case 3:
      return ReadFamily2Or3(state.chip, profile, error);
    default:
      return kChipSettingsRead;
  }
}

bool ReadSdPort(ToolState& state, const std::string& path) {
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kText)) {
    state.sdPort = 0;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(kSdPortHeader) == std::string::npos) continue;
    std::string number;
    std::getline(in, number);
    // The leading decimal number as atoi reads it, but saturating instead of
    // overflowing; anything below 0 is no port the board knows.
    const long long value = std::strtoll(number.c_str(), nullptr, 10);
    state.sdPort = value <= 0 ? 0u : static_cast<uint32_t>(std::min<long long>(value, kMaxSdPort));
    break;
  }
  return true;
}

bool WriteSdPort(const ToolState& state, const std::string& path) {
  std::string text = kSdPortHeader;
  text += "\r\n";
  text += std::to_string(static_cast<long>(state.sdPort));
  text += "\r\n";
  text += "\n";
  return ReplaceFileWhole(path, text, FileMode::kText);
}

std::string RememberedFolder(ProfileReader& reader, const std::string& pageKey) {
  if (!reader.ReadFile()) return kDefaultFolder;
  return reader.GetValue(kPathSection, pageKey);
}

bool RememberFolder(ProfileReader& reader, const std::string& pageKey, const std::string& chosenPath) {
  reader.SetValue(kPathSection, pageKey, FolderPart(chosenPath), true);
  return reader.WriteFile();
}

std::string RememberedFile(ProfileReader& reader, const char* key) {
  if (!reader.ReadFile()) return {};
  return reader.GetValue(kImageSection, key);
}

bool RememberFile(ProfileReader& reader, const char* key, const std::string& path) {
  reader.ReadFile();
  reader.SetValue(kImageSection, key, path, true);
  return reader.WriteFile();
}

}  // namespace zorbel
