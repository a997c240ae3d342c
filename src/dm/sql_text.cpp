#include "dm/sql_text.h"

#include "text/text.h"

namespace sproutsmith::dm {

using text::Trim;

std::string SqlQuote(std::string_view value) {
  std::string s = Trim(value);
  s = text::Replace(s, "'", "''");
  s = text::Replace(s, "\r", " ");
  s = text::Replace(s, "\n", " ");
  return Trim(s);
}

std::string SqlLiteral(std::string_view value) { return text::Replace(value, "'", "''"); }

std::string LikeEscape(std::string_view value) { return text::Replace(value, "[", "[[]"); }

std::string LikeLiteral(std::string_view value) {
  std::string out;
  for (const char c : value) {
    if (c == '[' || c == '_' || c == '%') {
      out += '[';
      out += c;
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

std::string UpperLiteral(std::string_view value) { return text::UCase(SqlQuote(value)); }

std::string ExpandSpaces(std::string_view value) {
  const std::string s = Trim(value);
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, 5, "<SPC>") == 0) {
      if (out.empty() || out.back() != ' ') out += ' ';
      i += 5;
    } else {
      out += s[i++];
    }
  }
  return Trim(out);
}

std::string StripPercent(std::string_view value) {
  std::string s = text::Replace(value, "%", "");
  if (text::StartsWith(s, "APPS.")) s = "APPS" + s.substr(5);
  return s;
}

std::string StripDriverPrefixes(std::string_view message) {
  std::string m = Trim(message);
  while (true) {
    const size_t bracket = m.find(']');
    if (bracket == std::string::npos) break;
    const size_t quote = m.find('\'');
    if (quote != std::string::npos && quote < bracket) break;
    m = Trim(m.substr(bracket + 1));
  }
  return m;
}

}  // namespace sproutsmith::dm
