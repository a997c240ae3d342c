#include "platform/sql/sqlite_cast.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "text/text.h"

namespace sproutsmith::sql {
namespace {

struct TypeSpec {
  std::string name;
  std::vector<long> params;  // -1 for MAX
};

TypeSpec ParseType(std::string_view type) {
  TypeSpec spec;
  const std::string t = text::UCase(text::Trim(type));
  const size_t open = t.find('(');
  spec.name = text::Trim(t.substr(0, open));
  if (open != std::string::npos) {
    const size_t close = t.find(')', open);
    for (const std::string& p : text::Split(t.substr(open + 1, close - open - 1), ",")) {
      const std::string v = text::Trim(p);
      spec.params.push_back(v == "MAX" ? -1 : std::atol(v.c_str()));
    }
  }
  return spec;
}

bool IsIn(const std::string& name, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names) {
    if (name == n) return true;
  }
  return false;
}

// Digits with an optional sign (and, when allowed, one decimal point); blanks around.
bool ParsePlainNumber(const std::string& s, bool allow_point, long double* out) {
  const std::string t = text::Trim(s);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      ++digits;
    } else if (t[i] == '.' && allow_point && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  *out = std::strtold(t.c_str(), nullptr);
  return true;
}

bool ToInteger(const Value& v, const std::string& name, Value* out) {
  long double x = 0;
  switch (v.type) {
    case Value::Type::kInteger:
    case Value::Type::kReal:
      x = std::trunc(static_cast<long double>(std::strtold(v.text.c_str(), nullptr)));
      break;
    default:
      if (text::Trim(v.text).empty()) {
        x = 0;  // SQL Server reads '' as 0
      } else if (!ParsePlainNumber(v.text, false, &x)) {
        return false;
      }
  }
  long double lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  if (name == "BIGINT") {
    lo = static_cast<long double>(std::numeric_limits<long long>::min());
    hi = static_cast<long double>(std::numeric_limits<long long>::max());
  } else if (name == "SMALLINT") {
    lo = -32768, hi = 32767;
  } else if (name == "TINYINT") {
    lo = 0, hi = 255;
  }
  if (x < lo || x > hi) return false;
  *out = Value::Integer(static_cast<long long>(x));
  return true;
}

bool ToBit(const Value& v, Value* out) {
  const std::string t = text::UCase(text::Trim(v.text));
  long double x = 0;
  if (t == "TRUE") {
    x = 1;
  } else if (t == "FALSE") {
    x = 0;
  } else if (!ParsePlainNumber(t, v.type != Value::Type::kText, &x)) {
    return false;
  }
  *out = Value::Integer(x != 0 ? 1 : 0);
  return true;
}

bool ToDecimal(const Value& v, const TypeSpec& spec, Value* out) {
  long precision = 18, scale = 0;
  if (spec.name == "MONEY" || spec.name == "SMALLMONEY") {
    scale = 4;
  } else {
    if (!spec.params.empty()) precision = spec.params[0];
    if (spec.params.size() > 1) scale = spec.params[1];
  }
  long double x = 0;
  if (v.type == Value::Type::kText) {
    if (!ParsePlainNumber(v.text, true, &x)) return false;
  } else {
    x = std::strtold(v.text.c_str(), nullptr);
  }
  const long double factor = std::pow(10.0L, static_cast<long double>(scale));
  x = std::round(x * factor) / factor;
  if (std::fabs(x) >= std::pow(10.0L, static_cast<long double>(precision - scale))) {
    return false;  // arithmetic overflow
  }
  *out =
      scale == 0 ? Value::Integer(static_cast<long long>(x)) : Value::Real(static_cast<double>(x));
  return true;
}

bool ToFloat(const Value& v, Value* out) {
  if (v.type != Value::Type::kText) {
    *out = Value::Real(std::strtod(v.text.c_str(), nullptr));
    return true;
  }
  const std::string t = text::Trim(v.text);
  if (t.empty()) {
    *out = Value::Real(0);
    return true;
  }
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return false;
  *out = Value::Real(d);
  return true;
}

// The first `n` characters of UTF-8 text.
std::string FirstCharacters(const std::string& s, long n) {
  size_t i = 0;
  for (long count = 0; i < s.size() && count < n; ++count) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
  return s.substr(0, i);
}

bool ToText(const Value& v, const TypeSpec& spec, Value* out) {
  std::string s = v.text;
  if (!IsIn(spec.name, {"TEXT", "NTEXT"})) {
    const long length = spec.params.empty() ? 30 : spec.params[0];  // CAST's default
    if (length >= 0) {
      s = FirstCharacters(s, length);
      if (IsIn(spec.name, {"CHAR", "NCHAR"})) {
        s.append(static_cast<size_t>(length - text::CharacterCount(s)), ' ');
      }
    }
  }
  *out = Value::Text(s);
  return true;
}

bool ParseDate(const std::string& s, text::DateTime* dt) {
  const std::string t = text::Trim(s);
  if (t.size() == 8 && t.find_first_not_of("0123456789") == std::string::npos) {  // YYYYMMDD
    dt->year = std::atoi(t.substr(0, 4).c_str());
    dt->month = std::atoi(t.substr(4, 2).c_str());
    dt->day = std::atoi(t.substr(6, 2).c_str());
  } else if (!text::ParseDateTime(t, *dt)) {
    return false;
  }
  return dt->month >= 1 && dt->month <= 12 && dt->day >= 1 &&
         dt->day <= text::DaysInMonth(dt->year, dt->month) && dt->hour >= 0 && dt->hour < 24 &&
         dt->minute >= 0 && dt->minute < 60 && dt->second >= 0 && dt->second < 60;
}

bool ToDateTime(const Value& v, const std::string& name, Value* out) {
  if (v.type != Value::Type::kText) return false;  // numbers are not dates here
  text::DateTime dt;
  if (!ParseDate(v.text, &dt)) return false;
  const char* format = name == "DATE"   ? "YYYY-MM-DD"
                       : name == "TIME" ? "HH:NN:SS"
                                        : "YYYY-MM-DD HH:NN:SS";
  *out = Value::Text(text::Format(dt, format));
  return true;
}

}  // namespace

bool SqlServerConvert(const Value& value, std::string_view type, Value* out) {
  const TypeSpec spec = ParseType(type);
  if (value.IsNull()) {
    *out = Value::Null();
    return true;
  }
  if (IsIn(spec.name, {"BIGINT", "INT", "INTEGER", "SMALLINT", "TINYINT"})) {
    return ToInteger(value, spec.name, out);
  }
  if (spec.name == "BIT") return ToBit(value, out);
  if (IsIn(spec.name, {"DECIMAL", "NUMERIC", "MONEY", "SMALLMONEY"})) {
    return ToDecimal(value, spec, out);
  }
  if (IsIn(spec.name, {"FLOAT", "REAL"})) return ToFloat(value, out);
  if (IsIn(spec.name, {"CHAR", "VARCHAR", "NCHAR", "NVARCHAR", "TEXT", "NTEXT"})) {
    return ToText(value, spec, out);
  }
  if (IsIn(spec.name, {"DATE", "DATETIME", "DATETIME2", "SMALLDATETIME", "TIME"})) {
    return ToDateTime(value, spec.name, out);
  }
  return false;
}

}  // namespace sproutsmith::sql
