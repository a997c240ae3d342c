#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace sproutsmith::text {
namespace {

// ASCII only, whatever the process locale: a byte of a UTF-8 character is never changed, and
// no call per character on the hot paths (every statement and log line goes through here).
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string LTrim(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return std::string(s.substr(b));
}

std::string RTrim(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string UCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Upper(c);
  return r;
}

std::string LCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Lower(c);
  return r;
}

std::string Left(std::string_view s, long n) {
  if (n <= 0) return {};
  return std::string(s.substr(0, static_cast<size_t>(n)));
}

std::string Right(std::string_view s, long n) {
  if (n <= 0) return {};
  const size_t k = std::min(s.size(), static_cast<size_t>(n));
  return std::string(s.substr(s.size() - k));
}

std::string Mid(std::string_view s, long start) {
  if (start < 1) start = 1;
  if (static_cast<size_t>(start) > s.size()) return {};
  return std::string(s.substr(static_cast<size_t>(start - 1)));
}

std::string Mid(std::string_view s, long start, long length) {
  if (start < 1) start = 1;
  if (length <= 0 || static_cast<size_t>(start) > s.size()) return {};
  return std::string(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length)));
}

long InStr(std::string_view haystack, std::string_view needle) {
  return InStr(1, haystack, needle);
}

long InStr(long start, std::string_view haystack, std::string_view needle) {
  if (start < 1) start = 1;
  if (static_cast<size_t>(start) > haystack.size()) return 0;
  const size_t pos = haystack.find(needle, static_cast<size_t>(start - 1));
  return pos == std::string_view::npos ? 0 : static_cast<long>(pos + 1);
}

long InStrNoCase(std::string_view haystack, std::string_view needle) {
  return InStr(UCase(haystack), UCase(needle));
}

long InStrRev(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  const size_t pos = haystack.rfind(needle);
  return pos == std::string_view::npos ? 0 : static_cast<long>(pos + 1);
}

std::string Replace(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (true) {
    const size_t p = s.find(from, i);
    if (p == std::string_view::npos) break;
    out.append(s.substr(i, p - i)).append(to);
    i = p + from.size();
  }
  out.append(s.substr(i));
  return out;
}

std::string ReplaceNoCase(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  const std::string us = UCase(s), uf = UCase(from);
  std::string out;
  size_t i = 0;
  while (true) {
    const size_t p = us.find(uf, i);
    if (p == std::string::npos) break;
    out.append(s.substr(i, p - i)).append(to);
    i = p + from.size();
  }
  out.append(s.substr(i));
  return out;
}

double Val(std::string_view s) {
  // Collect sign, digits, one point and an exponent, skipping blanks as the product's Val does.
  std::string num;
  size_t i = 0;
  auto skip = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  };
  skip();
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) num += s[i++];
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ' ' || c == '\t') continue;
    if (IsDigit(c)) {
      num += c;
      digits = true;
    } else if (c == '.' && !point) {
      num += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    std::string exp = "e";
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) exp += s[j++];
    bool expDigits = false;
    while (j < s.size() && IsDigit(s[j])) {
      exp += s[j++];
      expDigits = true;
    }
    if (expDigits) num += exp;
  }
  return std::strtod(num.c_str(), nullptr);
}

bool IsNumeric(std::string_view s) {
  const std::string t = Trim(s);
  if (t.empty()) return false;
  size_t i = 0;
  if (t[i] == '-' || t[i] == '+') ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (IsDigit(t[i])) {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    bool exp = false;
    while (i < t.size() && IsDigit(t[i])) {
      ++i;
      exp = true;
    }
    if (!exp) return false;
  }
  return i == t.size();
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

long CharacterCount(std::string_view s) {
  long n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::vector<std::string> Split(std::string_view s, std::string_view separator) {
  std::vector<std::string> parts;
  if (separator.empty()) {
    parts.emplace_back(s);
    return parts;
  }
  size_t i = 0;
  while (true) {
    const size_t p = s.find(separator, i);
    if (p == std::string_view::npos) break;
    parts.emplace_back(s.substr(i, p - i));
    i = p + separator.size();
  }
  parts.emplace_back(s.substr(i));
  return parts;
}

}  // namespace sproutsmith::text
