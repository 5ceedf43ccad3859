#pragma once
// The little JSON the tool writes (tables, the station's log) and reads back.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

// text as a JSON string, quotes included; control characters escaped.
std::string JsonString(std::string_view text);

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;   // array elements, or object values
  std::vector<std::string> keys;  // object keys, one per item

  // The member named key; null when there is none or this is not an object.
  const JsonValue* Find(std::string_view key) const;
  // The member's string, or empty.
  std::string Text(std::string_view key) const;
};

// One whole JSON value; nullopt for anything else (a torn line, say).
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace zorbel
