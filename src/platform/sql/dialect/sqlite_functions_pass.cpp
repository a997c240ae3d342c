// SQL Server and Oracle functions that SQLite lacks or names differently.

#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

// Types the conversion functions understand; anything else keeps SQLite's own CAST.
bool IsKnownCastType(const std::string& type) {
  static constexpr std::string_view kTypes[] = {
      "BIGINT",  "INT",      "INTEGER",   "SMALLINT",      "TINYINT", "BIT",
      "DECIMAL", "NUMERIC",  "MONEY",     "SMALLMONEY",    "FLOAT",   "REAL",
      "CHAR",    "VARCHAR",  "NCHAR",     "NVARCHAR",      "TEXT",    "NTEXT",
      "DATE",    "DATETIME", "DATETIME2", "SMALLDATETIME", "TIME"};
  for (std::string_view t : kTypes) {
    if (text::EqualsNoCase(type, t)) return true;
  }
  return false;
}

// CAST/TRY_CAST ( expr AS type ): the AS at the call's own level, or kNone.
size_t CastAs(const Tokens& tokens, size_t open, size_t close) {
  int depth = 0;
  size_t as = kNone;
  for (size_t i = open + 1; i < close; ++i) {
    if (tokens[i].kind == TokenKind::kOpenParen) ++depth;
    if (tokens[i].kind == TokenKind::kCloseParen) --depth;
    if (depth == 0 && IsWord(tokens[i], "AS")) as = i;
  }
  return as;
}

void RewriteCast(const Tokens& tokens, Editor& editor, size_t word, size_t open, bool try_cast) {
  const size_t close = MatchingParen(tokens, open);
  if (close == kNone) return;
  const size_t as = CastAs(tokens, open, close);
  const size_t type_word = as == kNone ? kNone : NextSignificant(tokens, as);
  if (type_word == kNone || type_word >= close || tokens[type_word].kind != TokenKind::kWord ||
      !IsKnownCastType(tokens[type_word].text)) {
    // A type we do not model: SQLite's CAST is the nearest thing.
    if (try_cast) editor.Replace(word, word + 1, "CAST");
    return;
  }
  std::string type;  // "VARCHAR(10)", "DECIMAL(10,2)": blanks dropped
  for (size_t i = type_word; i < close; ++i) {
    if (IsSignificant(tokens[i])) type += tokens[i].text;
  }
  editor.Replace(word, word + 1, try_cast ? kTryCastFunction : kCastFunction);
  editor.Replace(PrevSignificant(tokens, as) + 1, close, ", " + QuoteString(text::UCase(type)));
}

bool IsNestedBlockComment(const Token& token) {
  return token.kind == TokenKind::kComment && token.text.rfind("/*", 0) == 0 &&
         token.text.find("/*", 2) != std::string::npos;
}

}  // namespace

void RewriteSqliteFunctions(const Tokens& tokens, Editor& editor, const TranslateOptions&) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kNationalString) {
      editor.Replace(i, i + 1, t.text.substr(1));
      continue;
    }
    if (IsNestedBlockComment(t)) {
      editor.Replace(i, i + 1, " ");  // SQLite does not nest comments
      continue;
    }
    if (t.kind != TokenKind::kWord) continue;
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && tokens[prev].kind == TokenKind::kDot) continue;  // X.NAME
    const size_t open = CallParen(tokens, i);
    if (RewriteClockWord(tokens, editor, i, open)) continue;
    if (IsWord(t, "SUBSTRING")) {
      editor.Replace(i, i + 1, "substr");
    } else if (IsWord(t, "ISNULL") || IsWord(t, "NVL")) {
      editor.Replace(i, i + 1, "ifnull");
    } else if (IsWord(t, "LEN")) {
      // SQL Server's LEN does not count trailing blanks.
      const size_t close = MatchingParen(tokens, open);
      if (close == kNone) continue;
      editor.Replace(i, i + 1, "length(rtrim");
      editor.Insert(close, ", ' ')");
    } else if (IsWord(t, "TO_DATE")) {
      RewriteToDateLiteral(tokens, editor, i, open);
    } else if (IsWord(t, "TRY_CAST")) {
      RewriteCast(tokens, editor, i, open, true);
    } else if (IsWord(t, "CAST")) {
      RewriteCast(tokens, editor, i, open, false);
    }
  }
}

}  // namespace sproutsmith::sql::dialect
