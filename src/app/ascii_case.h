#pragma once
// Letter-case rules for the ASCII names the tool matches: device IDs, port
// descriptions, section and key names. Other bytes compare as they are.
#include <cctype>
#include <string>
#include <string_view>

namespace zorbel {

inline char AsciiUpper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
  }
  return true;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

}  // namespace zorbel
