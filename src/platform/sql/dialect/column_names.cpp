// Result headings. SQL Server gives an unaliased expression column no name; SQLite names it
// by its text, so a constant 'PROFILE.X' would look like a PROFILE column to the engine, and
// PostgreSQL by its function (COUNT(*) would be "count").

#include <string_view>
#include <vector>

#include "platform/sql/dialect/rewrites.h"

namespace sproutsmith::sql::dialect {
namespace {

// Words after which the next identifier is part of the expression, not an alias.
bool IsOperatorWord(const Token& t) {
  static constexpr std::string_view kWords[] = {
      "AS",   "COLLATE", "IS", "NOT",     "AND",    "OR",       "THEN", "ELSE",   "WHEN",
      "CASE", "LIKE",    "IN", "BETWEEN", "ESCAPE", "DISTINCT", "ALL",  "SELECT", "GLOB"};
  for (std::string_view w : kWords) {
    if (IsWord(t, w)) return true;
  }
  return false;
}

// Words that end an expression and can never be an alias.
bool IsValueWord(const Token& t) {
  return IsWord(t, "END") || IsWord(t, "NULL") || IsWord(t, "TRUE") || IsWord(t, "FALSE");
}

bool EndsValue(const Token& t) {
  switch (t.kind) {
    case TokenKind::kString:
    case TokenKind::kNationalString:
    case TokenKind::kNumber:
    case TokenKind::kQuotedIdentifier:
    case TokenKind::kBracketIdentifier:
    case TokenKind::kCloseParen:
    case TokenKind::kParameter:
      return true;
    case TokenKind::kWord:
      return !IsOperatorWord(t);
    default:
      return false;
  }
}

enum class ItemShape { kColumn, kAliased, kExpression, kUnknown };

ItemShape ShapeOf(const Tokens& tokens, Range item) {
  std::vector<size_t> sig;
  for (size_t i = item.begin; i < item.end; ++i) {
    if (IsSignificant(tokens[i])) sig.push_back(i);
  }
  if (sig.empty()) return ItemShape::kUnknown;
  const Token& last = tokens[sig.back()];
  // Column references keep their names: C, T.C, T.*, *
  bool column = true;
  for (size_t k = 0; k < sig.size() && column; ++k) {
    const Token& t = tokens[sig[k]];
    const bool want_name = k % 2 == 0;
    column = want_name
                 ? (IsIdentifier(t) && !IsValueWord(t)) ||
                       (t.kind == TokenKind::kOperator && t.text == "*" && k + 1 == sig.size())
                 : t.kind == TokenKind::kDot;
  }
  if (column && sig.size() % 2 == 1) return ItemShape::kColumn;
  if (sig.size() >= 2) {
    const Token& before = tokens[sig[sig.size() - 2]];
    if (IsWord(before, "AS")) return ItemShape::kAliased;
    // SQL Server's "heading = expression" form.
    if (tokens[sig[1]].kind == TokenKind::kOperator && tokens[sig[1]].text == "=") {
      return ItemShape::kUnknown;
    }
    if (IsIdentifier(last) && !IsValueWord(last) && EndsValue(before)) return ItemShape::kAliased;
  }
  return ItemShape::kExpression;
}

}  // namespace

void NameUnaliasedColumns(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  // PostgreSQL refuses an empty name; its own name for an unnamed column reads back as "".
  const char* heading = options.target == Backend::kPostgres ? " AS \"?column?\"" : " AS \"\"";
  const size_t first = SkipBlanks(tokens, 0);
  if (first >= tokens.size() || !IsWord(tokens[first], "SELECT")) return;
  const SelectScope scope = ScopeOf(tokens, first);
  size_t begin = NextSignificant(tokens, first);
  if (begin < tokens.size() &&
      (IsWord(tokens[begin], "DISTINCT") || IsWord(tokens[begin], "ALL"))) {
    begin = NextSignificant(tokens, begin);
  }
  if (begin < tokens.size() && IsWord(tokens[begin], "TOP")) return;  // left as written
  const size_t end = scope.from != kNone ? scope.from : scope.ClauseEnd(first);
  for (const Range& item : SplitAtCommas(tokens, {begin, end})) {
    if (ShapeOf(tokens, item) == ItemShape::kExpression) editor.Insert(item.end, heading);
  }
}

}  // namespace sproutsmith::sql::dialect
