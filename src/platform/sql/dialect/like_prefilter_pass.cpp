// A folder is looked up by name under its parent with "UPPER(PR.DOCNAME) LIKE 'ACME'", and a
// parent may hold every client: SQLite reads each of its items and runs the LIKE function on
// its name. A pattern without a wildcard matches one value only, so the term
// "UPPER(PR.DOCNAME) = 'ACME'" put before the LIKE turns every other name away with a plain
// comparison, and the LIKE runs on the one that matches (an index on UPPER(column), where a
// library has one and the planner starts from that table, finds it directly).
//
// The term never drops a row the LIKE keeps. The SQLite LIKE (sqlite_like.h) compares
// characters without regard to ASCII case and nothing else, and UPPER leaves no ASCII small
// letter. A pattern of ASCII characters without a wildcard ("[x]" stands for x, an escaped
// character for itself) matches only values of as many ASCII characters, since any other
// byte reads as a character of 0x80 or above; each of those characters is then the
// pattern's, in capitals. So a value the LIKE keeps is, byte for byte, the pattern in ASCII
// capitals. PostgreSQL's ILIKE folds letters by the server's locale, where that does not
// hold, so it gets no such term.

#include <optional>
#include <string>
#include <vector>

#include "platform/sql/dialect/rewrites.h"

namespace sproutsmith::sql::dialect {
namespace {

// The only value UPPER(...) can hold to match `pattern`, or nothing when the pattern has a
// wildcard or a character outside ASCII.
std::optional<std::string> OnlyMatch(const std::string& pattern, std::optional<char> escape) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    if (escape && c == *escape && i + 1 < pattern.size()) {
      out += pattern[++i];
    } else if (c == '%' || c == '_') {
      return std::nullopt;
    } else if (c == '[') {
      const size_t close = pattern.find(']', i + 1);
      if (close == std::string::npos) {
        out += c;  // an unclosed "[" is itself
      } else if (close == i + 2 && pattern[i + 1] != '^') {
        out += pattern[i + 1];
        i = close;
      } else {
        return std::nullopt;  // a class of several characters, or an empty or negated one
      }
    } else {
      out += c;
    }
  }
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Whether `range` is "UPPER ( name[.name...] ) LIKE 'pattern' [ESCAPE 'c']"; sets the end of
// the UPPER call and the value the term compares with.
bool IsUpperLike(const Tokens& tokens, Range range, size_t* call_end, std::string* value) {
  std::vector<size_t> sig;
  for (size_t i = range.begin; i < range.end; ++i) {
    if (IsSignificant(tokens[i])) sig.push_back(i);
  }
  if (sig.size() < 6 || !IsWord(tokens[sig[0]], "UPPER") ||
      tokens[sig[1]].kind != TokenKind::kOpenParen) {
    return false;
  }
  // A column name, maybe qualified: the term repeats it, so nothing costly or changing.
  size_t k = 2;
  while (k < sig.size() && IsIdentifier(tokens[sig[k]])) {
    ++k;
    if (k < sig.size() && tokens[sig[k]].kind == TokenKind::kDot) {
      ++k;
    } else {
      break;
    }
  }
  if (k == 2 || k + 2 >= sig.size() || tokens[sig[k]].kind != TokenKind::kCloseParen ||
      tokens[sig[k - 1]].kind == TokenKind::kDot || !IsWord(tokens[sig[k + 1]], "LIKE")) {
    return false;
  }
  const Token& pattern = tokens[sig[k + 2]];
  if (pattern.kind != TokenKind::kString ||
      QuoteString(StringValue(pattern)) != pattern.text) {
    return false;
  }
  std::optional<char> escape;
  if (sig.size() == k + 5 && IsWord(tokens[sig[k + 3]], "ESCAPE")) {
    const Token& e = tokens[sig[k + 4]];
    const std::string escape_text = StringValue(e);
    if (e.kind != TokenKind::kString || escape_text.size() != 1) return false;
    escape = escape_text[0];
  } else if (sig.size() != k + 3) {
    return false;
  }
  const std::optional<std::string> only = OnlyMatch(StringValue(pattern), escape);
  if (!only) return false;
  *call_end = sig[k] + 1;
  *value = *only;
  return true;
}

}  // namespace

void AddLikeEqualityPrefilter(const Tokens& tokens, Editor& editor,
                              const TranslateOptions& options) {
  if (options.target != Backend::kSqlite) return;
  bool has_like = false;
  for (const Token& t : tokens) has_like = has_like || IsWord(t, "LIKE");
  if (!has_like) return;
  for (const SelectScope& scope : FindSelectScopes(tokens)) {
    if (scope.where == kNone) continue;
    bool has_or = false;
    const std::vector<Range> terms =
        SplitConjunction(tokens, {scope.where + 1, scope.ClauseEnd(scope.where)}, &has_or);
    if (has_or) continue;  // the term must hold wherever the row is kept
    for (const Range& term : terms) {
      size_t call_end = 0;
      std::string value;
      if (!IsUpperLike(tokens, term, &call_end, &value)) continue;
      editor.Insert(term.begin,
                    Join(tokens, term.begin, call_end) + " = " + QuoteString(value) + " AND ");
    }
  }
}

}  // namespace sproutsmith::sql::dialect
