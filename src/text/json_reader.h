#pragma once
// Reads back what JsonWriter writes (and any other well-formed JSON): the run reports are
// read by the admin tool's status. Numbers are doubles; \u escapes become UTF-8.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sproutsmith::text {

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind() const { return kind_; }
  // The value as a text, number or flag; the fallback when it is another kind.
  const std::string& Text() const;
  double Number(double fallback = 0) const { return kind_ == Kind::kNumber ? number_ : fallback; }
  bool Bool() const { return kind_ == Kind::kBool && flag_; }
  // A member of an object; a null value when absent or not an object.
  const JsonValue& operator[](const std::string& key) const;
  // The elements of an array (empty for anything else).
  const std::vector<JsonValue>& Items() const { return items_; }

 private:
  friend class JsonParser;
  Kind kind_ = Kind::kNull;
  bool flag_ = false;
  double number_ = 0;
  std::string text_;
  std::vector<JsonValue> items_;
  std::map<std::string, JsonValue> members_;
};

// The document in `json`; nullopt (with *error) when it is not well-formed JSON.
std::optional<JsonValue> ParseJson(std::string_view json, std::string* error = nullptr);

}  // namespace sproutsmith::text
