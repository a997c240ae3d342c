// What each server refuses of the other's dialect. The back end would accept most of it
// after translation, so SQL written for the wrong flavour would pass every test; here it
// fails as the real server fails it, with that server's message.

#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsOperator(const Token& t, std::string_view op) {
  return t.kind == TokenKind::kOperator && t.text == op;
}

bool Qualified(const Tokens& tokens, size_t i) {
  const size_t prev = PrevSignificant(tokens, i);
  const size_t next = NextSignificant(tokens, i);
  return (prev != kNone && tokens[prev].kind == TokenKind::kDot) ||
         (next < tokens.size() && tokens[next].kind == TokenKind::kDot);
}

bool StartsWithWord(const Tokens& tokens, std::string_view word) {
  const size_t first = SkipBlanks(tokens, 0);
  return first < tokens.size() && IsWord(tokens[first], word);
}

// A type name in a column definition or a CAST: after "AS", or after the column's name in
// CREATE/ALTER TABLE.
bool InTypePosition(const Tokens& tokens, size_t i, bool ddl) {
  const size_t prev = PrevSignificant(tokens, i);
  if (prev == kNone) return false;
  if (IsWord(tokens[prev], "AS")) return true;
  return ddl && IsIdentifier(tokens[prev]) && !IsWord(tokens[prev], "TABLE");
}

std::string OracleRefusal(const Tokens& tokens) {
  const bool ddl = StartsWithWord(tokens, "CREATE") || StartsWithWord(tokens, "ALTER");
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kOpenParen) ++depth;
    if (t.kind == TokenKind::kCloseParen) --depth;
    if (t.kind == TokenKind::kBracketIdentifier) return "ORA-00911: invalid character";
    if (t.kind != TokenKind::kWord || Qualified(tokens, i)) continue;
    if (IsWord(t, "TOP")) {
      size_t prev = PrevSignificant(tokens, i);
      if (prev != kNone && (IsWord(tokens[prev], "DISTINCT") || IsWord(tokens[prev], "ALL"))) {
        prev = PrevSignificant(tokens, prev);
      }
      if (prev != kNone && IsWord(tokens[prev], "SELECT")) {
        return "ORA-00923: FROM keyword not found where expected";
      }
    }
    if (IsWord(t, "OPTION") && depth == 0) {
      const size_t next = NextSignificant(tokens, i);
      if (next < tokens.size() && tokens[next].kind == TokenKind::kOpenParen) {
        return "ORA-00933: SQL command not properly ended";
      }
    }
    if ((IsWord(t, "GETDATE") || IsWord(t, "GETUTCDATE") || IsWord(t, "ISNULL") ||
         IsWord(t, "SUBSTRING")) &&
        CallParen(tokens, i) != kNone) {
      return "ORA-00904: \"" + text::UCase(t.text) + "\": invalid identifier";
    }
    if (IsWord(t, "DATETIME") && CallParen(tokens, i) == kNone && InTypePosition(tokens, i, ddl)) {
      return "ORA-00902: invalid datatype";
    }
  }
  return {};
}

std::string MicrosoftRefusal(const Tokens& tokens) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kOuterJoinMarker) return "Incorrect syntax near ')'.";
    if (IsOperator(t, "||")) return "Incorrect syntax near '|'.";
    if (t.kind != TokenKind::kWord || Qualified(tokens, i)) continue;
    const bool call = CallParen(tokens, i) != kNone;
    if ((IsWord(t, "NVL") || IsWord(t, "TO_DATE") || IsWord(t, "SUBSTR")) && call) {
      return "'" + text::UCase(t.text) + "' is not a recognized built-in function name.";
    }
    if ((IsWord(t, "SYSDATE") || IsWord(t, "ROWNUM")) && !call) {
      return "Invalid column name '" + t.text + "'.";
    }
  }
  return {};
}

}  // namespace

std::string RefusedConstruct(const Tokens& tokens, const TranslateOptions& options) {
  return options.flavour == Flavour::kOracle ? OracleRefusal(tokens) : MicrosoftRefusal(tokens);
}

}  // namespace sproutsmith::sql::dialect
