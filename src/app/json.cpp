#include "app/json.h"

#include <charconv>
#include <cstdio>

namespace zorbel {
namespace {

// Nesting deeper than the tool ever writes is refused rather than recursed into.
constexpr int kMaxDepth = 32;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Value(JsonValue& out, int depth) {
    Space();
    if (depth > kMaxDepth || at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out.kind = JsonValue::Kind::kString;
      return String(out.text);
    }
    if (Word("true") || Word("false")) {
      out.kind = JsonValue::Kind::kBool;
      out.boolean = c == 't';
      return true;
    }
    if (Word("null")) return true;
    return Number(out);
  }
  bool AtEnd() {
    Space();
    return at_ == text_.size();
  }

 private:
  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
      ++at_;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Take(char c) {
    Space();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Number(JsonValue& out) {
    const char* begin = text_.data() + at_;
    const auto [end, ec] = std::from_chars(begin, text_.data() + text_.size(), out.number);
    if (ec != std::errc() || end == begin) return false;
    at_ += static_cast<size_t>(end - begin);
    out.kind = JsonValue::Kind::kNumber;
    return true;
  }
  static void PutUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
      if (const size_t i = kFrom.find(e); i != std::string_view::npos) {
        out += kTo[i];
      } else if (e == 'u' && at_ + 4 <= text_.size()) {
        uint32_t code = 0;
        const auto [end, ec] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
        if (ec != std::errc() || end != text_.data() + at_ + 4) return false;
        at_ += 4;
        PutUtf8(out, code);
      } else {
        return false;
      }
    }
    return false;
  }
  bool Array(JsonValue& out, int depth) {
    ++at_;
    out.kind = JsonValue::Kind::kArray;
    if (Take(']')) return true;
    do {
      out.items.emplace_back();
      if (!Value(out.items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take(']');
  }
  bool Object(JsonValue& out, int depth) {
    ++at_;
    out.kind = JsonValue::Kind::kObject;
    if (Take('}')) return true;
    do {
      Space();
      if (at_ >= text_.size() || text_[at_] != '"') return false;
      out.keys.emplace_back();
      if (!String(out.keys.back()) || !Take(':')) return false;
      out.items.emplace_back();
      if (!Value(out.items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take('}');
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (size_t i = 0; i < keys.size() && i < items.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

std::string JsonValue::Text(std::string_view key) const {
  const JsonValue* value = Find(key);
  return value != nullptr && value->kind == Kind::kString ? value->text : std::string();
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  Reader reader(text);
  JsonValue value;
  if (!reader.Value(value, 0) || !reader.AtEnd()) return std::nullopt;
  return value;
}

}  // namespace zorbel
