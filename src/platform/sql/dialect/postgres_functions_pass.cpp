// SQL Server and Oracle vocabulary that PostgreSQL lacks or spells otherwise. What it can
// take as written stays: SUBSTRING, SUBSTR, CAST to a type it knows, DATETIME (a domain of
// the library), nested comments.

#include <cctype>
#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

enum class CastKind { kInteger, kNumeric, kDate, kOther };

// The PostgreSQL spelling of a SQL Server type name, and what a failed TRY_CAST reads as.
std::string PostgresType(const std::string& type, CastKind* kind) {
  const std::string t = text::UCase(type);
  *kind = CastKind::kOther;
  for (std::string_view w : {"BIGINT", "INT", "INTEGER", "SMALLINT", "TINYINT", "BIT"}) {
    if (t == w) {
      *kind = CastKind::kInteger;
      return t == "TINYINT" || t == "BIT" ? "SMALLINT" : t;
    }
  }
  for (std::string_view w : {"DECIMAL", "NUMERIC", "MONEY", "SMALLMONEY", "FLOAT", "REAL"}) {
    if (t == w) {
      *kind = CastKind::kNumeric;
      return t == "MONEY" || t == "SMALLMONEY" ? "NUMERIC" : t;
    }
  }
  for (std::string_view w : {"DATE", "DATETIME", "DATETIME2", "SMALLDATETIME"}) {
    if (t == w) {
      *kind = CastKind::kDate;
      return t == "DATE" ? "DATE" : "DATETIME";
    }
  }
  if (t == "NVARCHAR") return "VARCHAR";
  if (t == "NCHAR") return "CHAR";
  if (t == "NTEXT") return "TEXT";
  return type;
}

// CAST/TRY_CAST ( expr AS type ): SQL Server's type names become PostgreSQL's; TRY_CAST to
// a number or a date reads the value as text and answers NULL where it does not convert.
void RewriteCast(const Tokens& tokens, Editor& editor, size_t word, size_t open, bool try_cast) {
  const size_t close = MatchingParen(tokens, open);
  if (close == kNone) return;
  size_t as = kNone;
  int depth = 0;
  for (size_t i = open + 1; i < close; ++i) {
    if (tokens[i].kind == TokenKind::kOpenParen) ++depth;
    if (tokens[i].kind == TokenKind::kCloseParen) --depth;
    if (depth == 0 && IsWord(tokens[i], "AS")) as = i;
  }
  const size_t type_word = as == kNone ? kNone : NextSignificant(tokens, as);
  if (type_word == kNone || type_word >= close || tokens[type_word].kind != TokenKind::kWord) {
    if (try_cast) editor.Replace(word, word + 1, "CAST");
    return;
  }
  CastKind kind = CastKind::kOther;
  const std::string type = PostgresType(tokens[type_word].text, &kind);
  if (!try_cast || kind == CastKind::kOther) {
    if (try_cast) editor.Replace(word, word + 1, "CAST");
    if (type != tokens[type_word].text) editor.Replace(type_word, type_word + 1, type);
    return;
  }
  const char* function = kind == CastKind::kInteger   ? kPostgresTryIntegerFunction
                         : kind == CastKind::kNumeric ? kPostgresTryNumericFunction
                                                      : kPostgresTryDateFunction;
  const size_t value_end = PrevSignificant(tokens, as) + 1;
  editor.Replace(word, open + 1, std::string(function) + "((");
  editor.Replace(value_end, close, ")::text");
}

bool IsHexNumber(const Token& t) {
  return t.kind == TokenKind::kNumber && t.text.size() > 2 && t.text[0] == '0' &&
         (t.text[1] == 'x' || t.text[1] == 'X');
}

bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!std::isupper(static_cast<unsigned char>(c)) &&
        !std::isdigit(static_cast<unsigned char>(c)) && c != '_') {
      return false;
    }
  }
  return true;
}

// Whether a quoted name at `i` refers to a column or table (rather than naming a result
// column): what comes before it is an operator, a separator or a clause word.
bool IsReference(const Tokens& tokens, size_t i) {
  const size_t prev = PrevSignificant(tokens, i);
  if (prev == kNone) return true;
  const Token& p = tokens[prev];
  switch (p.kind) {
    case TokenKind::kDot:
    case TokenKind::kComma:
    case TokenKind::kOpenParen:
    case TokenKind::kOperator:
      return true;
    case TokenKind::kWord:
      for (std::string_view w :
           {"SELECT", "DISTINCT", "WHERE", "AND",  "OR",   "ON",      "SET",   "BY",
            "NOT",    "WHEN",     "THEN",  "ELSE", "CASE", "FROM",    "JOIN",  "INTO",
            "UPDATE", "TABLE",    "IN",    "IS",   "LIKE", "BETWEEN", "HAVING"}) {
        if (IsWord(p, w)) return true;
      }
      return false;
    default:
      return false;
  }
}

// A column's type in CREATE/ALTER TABLE: the word after the column's name.
bool IsColumnType(const Tokens& tokens, size_t i) {
  const size_t first = SkipBlanks(tokens, 0);
  if (first >= tokens.size() ||
      !(IsWord(tokens[first], "CREATE") || IsWord(tokens[first], "ALTER"))) {
    return false;
  }
  const size_t prev = PrevSignificant(tokens, i);
  const size_t next = NextSignificant(tokens, i);
  return prev != kNone && IsIdentifier(tokens[prev]) && !IsWord(tokens[prev], "TABLE") &&
         !IsWord(tokens[prev], "ADD") &&
         (next >= tokens.size() || tokens[next].kind != TokenKind::kDot);
}

}  // namespace

void RewritePostgresFunctions(const Tokens& tokens, Editor& editor,
                              const TranslateOptions& options) {
  const bool oracle = options.flavour == Flavour::kOracle;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    // Oracle's DATE holds the time of day as well.
    if (oracle && IsWord(t, "DATE") && IsColumnType(tokens, i)) {
      editor.Replace(i, i + 1, "DATETIME");
      continue;
    }
    if (t.kind == TokenKind::kNationalString) {
      editor.Replace(i, i + 1, t.text.substr(1));
      continue;
    }
    if (IsHexNumber(t)) {
      editor.Replace(i, i + 1, std::to_string(std::stoll(t.text.substr(2), nullptr, 16)));
      continue;
    }
    // [NEXT]: the server folds the unquoted names of the tables to small letters.
    if (t.kind == TokenKind::kBracketIdentifier) {
      editor.Replace(i, i + 1,
                     "\"" + text::Replace(text::LCase(IdentifierName(t)), "\"", "\"\"") + "\"");
      continue;
    }
    // Oracle's "NEXT" names the same column; a quoted heading keeps its capitals.
    if (t.kind == TokenKind::kQuotedIdentifier && IsPlainName(IdentifierName(t)) &&
        IsReference(tokens, i)) {
      editor.Replace(i, i + 1, "\"" + text::LCase(IdentifierName(t)) + "\"");
      continue;
    }
    if (t.kind != TokenKind::kWord) continue;
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && tokens[prev].kind == TokenKind::kDot) continue;  // X.NAME
    const size_t open = CallParen(tokens, i);
    if (RewriteClockWord(tokens, editor, i, open)) continue;
    if (IsWord(t, "ISNULL") || IsWord(t, "NVL")) {
      editor.Replace(i, i + 1, "COALESCE");
    } else if (IsWord(t, "LEN")) {
      // SQL Server's LEN does not count trailing blanks, and reads a number as its text.
      const size_t close = MatchingParen(tokens, open);
      if (close == kNone) continue;
      editor.Replace(i, open + 1, "length(rtrim((");
      editor.Insert(close, ")::text, ' ')");
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
