#include "platform/sql/sqlite_like.h"

#include <vector>

namespace sproutsmith::sql {
namespace {

// Decodes UTF-8 leniently: a malformed byte stands for itself. A sequence that spells a
// character at more length than it needs is malformed too, so an ASCII character is only
// ever its own byte (the LIKE pre-filter of the SQL dialect relies on it).
std::vector<char32_t> Decode(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (i + static_cast<size_t>(extra) >= s.size()) extra = 0;  // cut short
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((cc & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kShortest[extra]) {
      cp = c;
      extra = 0;
    }
    out.push_back(cp);
    i += 1 + static_cast<size_t>(extra);
  }
  return out;
}

char32_t Lower(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// One element of a pattern: a literal character, any character, or a class.
struct Element {
  enum class Kind { kLiteral, kAny, kClass, kAnyRun } kind;
  char32_t literal = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // lower-cased bounds

  bool Matches(char32_t c) const {
    switch (kind) {
      case Kind::kLiteral:
        return Lower(c) == literal;
      case Kind::kAny:
        return true;
      case Kind::kClass: {
        const char32_t l = Lower(c);
        bool in = false;
        for (const auto& [lo, hi] : ranges) in = in || (l >= lo && l <= hi);
        return in != negated;
      }
      case Kind::kAnyRun:
        return false;
    }
    return false;
  }
};

std::vector<Element> Compile(const std::vector<char32_t>& p, std::optional<char32_t> escape) {
  std::vector<Element> out;
  size_t i = 0;
  while (i < p.size()) {
    const char32_t c = p[i];
    if (escape && c == *escape && i + 1 < p.size()) {
      out.push_back({Element::Kind::kLiteral, Lower(p[i + 1])});
      i += 2;
      continue;
    }
    if (c == '%') {
      if (out.empty() || out.back().kind != Element::Kind::kAnyRun) {
        out.push_back({Element::Kind::kAnyRun});
      }
      ++i;
      continue;
    }
    if (c == '_') {
      out.push_back({Element::Kind::kAny});
      ++i;
      continue;
    }
    if (c == '[') {
      size_t close = i + 1;
      while (close < p.size() && p[close] != ']') ++close;
      if (close < p.size()) {
        Element e{Element::Kind::kClass};
        size_t k = i + 1;
        if (k < close && p[k] == '^') {
          e.negated = true;
          ++k;
        }
        for (; k < close; ++k) {
          if (k + 2 < close && p[k + 1] == '-') {
            e.ranges.emplace_back(Lower(p[k]), Lower(p[k + 2]));
            k += 2;
          } else {
            e.ranges.emplace_back(Lower(p[k]), Lower(p[k]));
          }
        }
        out.push_back(std::move(e));
        i = close + 1;
        continue;
      }
    }
    out.push_back({Element::Kind::kLiteral, Lower(c)});
    ++i;
  }
  return out;
}

}  // namespace

bool MicrosoftLike(std::string_view pattern, std::string_view value,
                   std::optional<char32_t> escape) {
  const std::vector<Element> p = Compile(Decode(pattern), escape);
  const std::vector<char32_t> v = Decode(value);
  // Every element but % matches exactly one character, so the classic single-backtrack
  // wildcard walk is exact: on a mismatch, let the last % take one more character.
  size_t pi = 0, vi = 0;
  size_t star = std::string_view::npos, star_v = 0;
  while (vi < v.size()) {
    if (pi < p.size() && p[pi].kind == Element::Kind::kAnyRun) {
      star = pi++;
      star_v = vi;
    } else if (pi < p.size() && p[pi].Matches(v[vi])) {
      ++pi;
      ++vi;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      vi = ++star_v;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == Element::Kind::kAnyRun) ++pi;
  return pi == p.size();
}

}  // namespace sproutsmith::sql
