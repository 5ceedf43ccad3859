#pragma once
// Fills the "%s" of a message pattern ("Failed to open %s") with a text.
#include <string>
#include <string_view>

namespace zorbel {

// The pattern with its first "%s" replaced by value; unchanged without one.
inline std::string FillText(std::string_view pattern, std::string_view value) {
  const size_t at = pattern.find("%s");
  if (at == std::string_view::npos) return std::string(pattern);
  std::string out;
  out.reserve(pattern.size() - 2 + value.size());
  out.append(pattern.data(), at);
  out.append(value.data(), value.size());
  out.append(pattern.data() + at + 2, pattern.size() - at - 2);
  return out;
}

}  // namespace zorbel
