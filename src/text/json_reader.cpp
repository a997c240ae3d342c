#include "text/json_reader.h"

#include <cstdlib>

namespace sproutsmith::text {

const std::string& JsonValue::Text() const {
  static const std::string kEmpty;
  return kind_ == Kind::kString ? text_ : kEmpty;
}

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue kNull;
  const auto found = members_.find(key);
  return found == members_.end() ? kNull : found->second;
}

class JsonParser {
 public:
  explicit JsonParser(std::string_view in) : in_(in) {}

  bool Document(JsonValue& out) {
    if (!Value(out, 0)) return false;
    Blanks();
    return at_ == in_.size() || Fail("text after the document");
  }
  const std::string& error() const { return error_; }

 private:
  static constexpr int kDeepest = 64;

  bool Fail(const std::string& why) {
    if (error_.empty()) error_ = why + " at offset " + std::to_string(at_);
    return false;
  }
  void Blanks() {
    while (at_ < in_.size() && (in_[at_] == ' ' || in_[at_] == '\n' || in_[at_] == '\r' ||
                                in_[at_] == '\t')) {
      ++at_;
    }
  }
  bool Word(std::string_view word) {
    if (in_.substr(at_, word.size()) != word) return Fail("unknown word");
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& out, int depth) {
    if (depth > kDeepest) return Fail("nesting too deep");
    Blanks();
    if (at_ >= in_.size()) return Fail("unexpected end");
    const char c = in_[at_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out.kind_ = JsonValue::Kind::kString;
      return String(out.text_);
    }
    if (c == 't' || c == 'f') {
      out.kind_ = JsonValue::Kind::kBool;
      out.flag_ = c == 't';
      return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Word("null");
    return Number(out);
  }

  bool Number(JsonValue& out) {
    const size_t start = at_;
    while (at_ < in_.size() && std::string_view("+-0123456789.eE").find(in_[at_]) !=
                                   std::string_view::npos) {
      ++at_;
    }
    const std::string digits(in_.substr(start, at_ - start));
    char* end = nullptr;
    out.number_ = std::strtod(digits.c_str(), &end);
    if (digits.empty() || end != digits.c_str() + digits.size()) return Fail("bad number");
    out.kind_ = JsonValue::Kind::kNumber;
    return true;
  }

  static void Utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xe0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }

  bool Hex4(unsigned& code) {
    if (at_ + 4 > in_.size()) return Fail("short \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = in_[at_++];
      code <<= 4;
      if (h >= '0' && h <= '9') {
        code |= static_cast<unsigned>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        code |= static_cast<unsigned>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        code |= static_cast<unsigned>(h - 'A' + 10);
      } else {
        return Fail("bad \\u escape");
      }
    }
    return true;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < in_.size()) {
      const char c = in_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= in_.size()) break;
      const char e = in_[at_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(code)) return false;
          if (code >= 0xd800 && code < 0xdc00 && in_.substr(at_, 2) == "\\u") {
            at_ += 2;
            unsigned low = 0;
            if (!Hex4(low)) return false;
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          }
          Utf8(code, out);
          break;
        }
        default: out += e;  // \" \\ \/
      }
    }
    return Fail("unterminated string");
  }

  bool Array(JsonValue& out, int depth) {
    out.kind_ = JsonValue::Kind::kArray;
    ++at_;
    Blanks();
    if (at_ < in_.size() && in_[at_] == ']') return ++at_, true;
    while (true) {
      out.items_.emplace_back();
      if (!Value(out.items_.back(), depth + 1)) return false;
      Blanks();
      if (at_ < in_.size() && in_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < in_.size() && in_[at_] == ']') return ++at_, true;
      return Fail("expected , or ]");
    }
  }

  bool Object(JsonValue& out, int depth) {
    out.kind_ = JsonValue::Kind::kObject;
    ++at_;
    Blanks();
    if (at_ < in_.size() && in_[at_] == '}') return ++at_, true;
    while (true) {
      Blanks();
      if (at_ >= in_.size() || in_[at_] != '"') return Fail("expected a member name");
      std::string key;
      if (!String(key)) return false;
      Blanks();
      if (at_ >= in_.size() || in_[at_] != ':') return Fail("expected :");
      ++at_;
      if (!Value(out.members_[key], depth + 1)) return false;
      Blanks();
      if (at_ < in_.size() && in_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < in_.size() && in_[at_] == '}') return ++at_, true;
      return Fail("expected , or }");
    }
  }

  std::string_view in_;
  size_t at_ = 0;
  std::string error_;
};

std::optional<JsonValue> ParseJson(std::string_view json, std::string* error) {
  JsonParser parser(json);
  JsonValue value;
  if (parser.Document(value)) return value;
  if (error != nullptr) *error = parser.error();
  return std::nullopt;
}

}  // namespace sproutsmith::text
