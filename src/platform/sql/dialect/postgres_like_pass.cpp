// LIKE as SQL Server reads it, on PostgreSQL: case-insensitive (ILIKE), "[...]" a character
// class, and no escape character (PostgreSQL's LIKE takes "\" as one). A pattern with a
// class of several characters becomes the equivalent anchored regular expression.

#include <string>
#include <string_view>

#include "platform/sql/dialect/rewrites.h"

namespace sproutsmith::sql::dialect {
namespace {

struct Converted {
  std::string like;   // the pattern for (I)LIKE
  std::string regex;  // set when a class of several characters needs a regular expression
};

void AppendLikeLiteral(std::string& out, char c) {
  if (c == '%' || c == '_' || c == '\\') out += '\\';
  out += c;
}

void AppendRegexLiteral(std::string& out, char c) {
  if (std::string_view(".^$*+?()[]{}|\\").find(c) != std::string_view::npos) out += '\\';
  out += c;
}

Converted ConvertPattern(const std::string& pattern) {
  Converted out;
  std::string regex = "^";
  bool needs_regex = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '[') {
      const size_t close = pattern.find(']', i + 2);
      const std::string inside =
          close == std::string::npos ? std::string() : pattern.substr(i + 1, close - i - 1);
      if (close == std::string::npos) {  // an unclosed "[" is itself
        AppendLikeLiteral(out.like, c);
        AppendRegexLiteral(regex, c);
        continue;
      }
      if (inside.size() == 1 && inside != "^") {  // [[], [%], [_], [x]
        AppendLikeLiteral(out.like, inside[0]);
        AppendRegexLiteral(regex, inside[0]);
      } else {
        needs_regex = true;
        regex += '[';
        for (size_t k = 0; k < inside.size(); ++k) {
          if (inside[k] == '\\' || (inside[k] == '[' && k > 0)) regex += '\\';
          regex += inside[k];
        }
        regex += ']';
      }
      i = close;
    } else if (c == '%') {
      out.like += c;
      regex += ".*";
    } else if (c == '_') {
      out.like += c;
      regex += '.';
    } else {
      AppendLikeLiteral(out.like, c);
      AppendRegexLiteral(regex, c);
    }
  }
  if (needs_regex) out.regex = regex + "$";
  return out;
}

}  // namespace

void RewriteLikeForPostgres(const Tokens& tokens, Editor& editor, const TranslateOptions&) {
  // Both flavours compare as on the embedded back end: without regard to letter case
  // (Oracle's literals were made SQL Server patterns already).
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsWord(tokens[i], "LIKE")) continue;
    const size_t prev = PrevSignificant(tokens, i);
    const bool negated = prev != kNone && IsWord(tokens[prev], "NOT");
    const size_t pattern = NextSignificant(tokens, i);
    const size_t after = pattern < tokens.size() ? NextSignificant(tokens, pattern) : kNone;
    const bool escape = after != kNone && after < tokens.size() && IsWord(tokens[after], "ESCAPE");
    // A pattern that is not a literal, or has an ESCAPE of its own, keeps its characters.
    if (pattern >= tokens.size() || tokens[pattern].kind != TokenKind::kString || escape) {
      editor.Replace(i, i + 1, "ILIKE");
      continue;
    }
    const Converted converted = ConvertPattern(StringValue(tokens[pattern]));
    if (converted.regex.empty()) {
      editor.Replace(i, i + 1, "ILIKE");
      editor.Replace(pattern, pattern + 1, QuoteString(converted.like));
    } else {
      const std::string op = std::string(negated ? "!" : "") + "~*";
      editor.Replace(negated ? prev : i, i + 1, op);
      editor.Replace(pattern, pattern + 1, QuoteString(converted.regex));
    }
    i = pattern;
  }
}

}  // namespace sproutsmith::sql::dialect
