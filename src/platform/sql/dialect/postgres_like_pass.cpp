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

// `escape`: the pattern's own escape character ('\0' for none). PostgreSQL takes "\" as
// the escape where the statement names none.
void AppendLikeLiteral(std::string& out, char c, char escape) {
  const char used = escape ? escape : '\\';
  if (c == '%' || c == '_' || c == used) out += used;
  out += c;
}

void AppendRegexLiteral(std::string& out, char c) {
  if (std::string_view(".^$*+?()[]{}|\\").find(c) != std::string_view::npos) out += '\\';
  out += c;
}

Converted ConvertPattern(const std::string& pattern, char escape) {
  Converted out;
  std::string regex = "^";
  bool needs_regex = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (escape && c == escape && i + 1 < pattern.size()) {  // the next character as itself
      out.like += pattern.substr(i, 2);
      AppendRegexLiteral(regex, pattern[++i]);
    } else if (c == '[') {
      const size_t close = pattern.find(']', i + 2);
      if (close == std::string::npos) {  // an unclosed "[" is itself
        AppendLikeLiteral(out.like, c, escape);
        AppendRegexLiteral(regex, c);
        continue;
      }
      const std::string inside = pattern.substr(i + 1, close - i - 1);
      if (inside.size() == 1 && inside != "^") {  // [[], [%], [_], [x]
        AppendLikeLiteral(out.like, inside[0], escape);
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
      AppendLikeLiteral(out.like, c, escape);
      AppendRegexLiteral(regex, c);
    }
  }
  if (needs_regex) out.regex = regex + "$";
  return out;
}

// The one-character literal of "ESCAPE 'c'" after the pattern at `pattern`; kNone when there
// is no ESCAPE, `*bad` when there is one of another shape.
size_t EscapeLiteral(const Tokens& tokens, size_t pattern, bool* bad) {
  *bad = false;
  const size_t word = NextSignificant(tokens, pattern);
  if (word >= tokens.size() || !IsWord(tokens[word], "ESCAPE")) return kNone;
  const size_t literal = NextSignificant(tokens, word);
  if (literal >= tokens.size() || tokens[literal].kind != TokenKind::kString ||
      StringValue(tokens[literal]).size() != 1) {
    *bad = true;
    return kNone;
  }
  return literal;
}

}  // namespace

bool PostgresLikePattern(const std::string& pattern, std::string* like) {
  Converted converted = ConvertPattern(pattern, '\0');
  if (!converted.regex.empty()) return false;
  *like = std::move(converted.like);
  return true;
}

void RewriteLikeForPostgres(const Tokens& tokens, Editor& editor, const TranslateOptions&) {
  // Both flavours compare as on the embedded back end: without regard to letter case
  // (Oracle's literals were made SQL Server patterns already).
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsWord(tokens[i], "LIKE")) continue;
    const size_t prev = PrevSignificant(tokens, i);
    const bool negated = prev != kNone && IsWord(tokens[prev], "NOT");
    const size_t pattern = NextSignificant(tokens, i);
    // A pattern that is not a literal keeps its characters.
    if (pattern >= tokens.size() || tokens[pattern].kind != TokenKind::kString) {
      editor.Replace(i, i + 1, "ILIKE");
      continue;
    }
    bool bad_escape = false;
    const size_t escape_literal = EscapeLiteral(tokens, pattern, &bad_escape);
    const char escape = escape_literal == kNone ? '\0' : StringValue(tokens[escape_literal])[0];
    const Converted converted = ConvertPattern(StringValue(tokens[pattern]), escape);
    // A class of several characters needs a regular expression, which has no ESCAPE clause.
    if (bad_escape || (escape && !converted.regex.empty())) {
      editor.Replace(i, i + 1, "ILIKE");
    } else if (converted.regex.empty()) {
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
