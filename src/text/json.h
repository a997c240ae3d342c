#pragma once
// A small JSON writer for machine-readable reports: objects, arrays, strings, numbers and
// booleans, two-blank indentation. Strings are escaped as JSON requires; a byte that is not
// part of valid UTF-8 (text from a Windows code page) is written as the code point of the
// same number, so the output is always valid UTF-8.

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sproutsmith::text {

// The text as a JSON string literal, quotes included.
inline std::string JsonString(std::string_view s) {
  std::string out = "\"";
  auto hex = [&](unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out += buffer;
  };
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        default:
          if (c < 0x20 || c == 0x7f) {
            hex(c);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is copied; anything else byte by byte as U+0080..U+00FF.
    size_t length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c <= 0xdf ? 2 : 0;
    if (c >= 0xf5) length = 0;
    bool valid = length > 0 && i + length <= s.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(s[i + k]) & 0xc0) == 0x80;
    }
    if (valid && length == 3) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      valid = !(c == 0xe0 && c1 < 0xa0) && !(c == 0xed && c1 >= 0xa0);
    }
    if (valid && length == 4) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      valid = !(c == 0xf0 && c1 < 0x90) && !(c == 0xf4 && c1 >= 0x90);
    }
    if (valid) {
      out.append(s.substr(i, length));
      i += length;
    } else {
      hex(c);
      ++i;
    }
  }
  return out + "\"";
}

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  // The key of the next value inside an object.
  JsonWriter& Key(std::string_view key) {
    Item();
    out_ += JsonString(key) + ": ";
    after_key_ = true;
    return *this;
  }
  JsonWriter& String(std::string_view value) { return Raw(JsonString(value)); }
  JsonWriter& Number(long long value) { return Raw(std::to_string(value)); }
  // Finite numbers with up to three decimals; anything else is written as null.
  JsonWriter& Number(double value) {
    if (!std::isfinite(value)) return Raw("null");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    std::string text = buffer;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return Raw(text == "-0" ? "0" : text);
  }
  JsonWriter& Bool(bool value) { return Raw(value ? "true" : "false"); }
  // The document so far, with a final line break once every object and array is closed.
  std::string Text() const { return levels_.empty() ? out_ + "\n" : out_; }

 private:
  JsonWriter& Raw(const std::string& text) {
    Item();
    out_ += text;
    return *this;
  }
  void Item() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!levels_.empty()) {
      if (!levels_.back()) out_ += ",";
      levels_.back() = false;
      out_ += "\n" + std::string(2 * levels_.size(), ' ');
    }
  }
  JsonWriter& Open(char bracket) {
    Item();
    out_ += bracket;
    levels_.push_back(true);
    return *this;
  }
  JsonWriter& Close(char bracket) {
    const bool empty = levels_.back();
    levels_.pop_back();
    if (!empty) out_ += "\n" + std::string(2 * levels_.size(), ' ');
    out_ += bracket;
    return *this;
  }

  std::string out_;
  std::vector<bool> levels_;  // per open level: no item written yet
  bool after_key_ = false;
};

}  // namespace sproutsmith::text
