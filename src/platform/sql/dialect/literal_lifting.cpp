#include "platform/sql/dialect/literal_lifting.h"

#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/sql_structure.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsAnyWord(const Token& t, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words) {
    if (IsWord(t, w)) return true;
  }
  return false;
}

// Calls translated from the values of their arguments.
bool ReadsItsArguments(const Token& t) { return IsAnyWord(t, {"TO_DATE", "object_id", "serverproperty"}); }

// Types whose size or precision follows in parentheses, where no parameter may stand.
bool IsSizedType(const Token& t) {
  return IsAnyWord(t, {"VARCHAR", "NVARCHAR", "CHAR", "NCHAR", "VARCHAR2", "NVARCHAR2", "BINARY",
                       "VARBINARY", "DECIMAL", "NUMERIC", "NUMBER", "FLOAT", "DATETIME2", "TIME",
                       "DATETIMEOFFSET"});
}

bool IsComparison(const Token& t) {
  if (t.kind != TokenKind::kOperator) return false;
  for (std::string_view op : {"=", "==", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"}) {
    if (t.text == op) return true;
  }
  return false;
}

bool IsLiteral(const Token& t) {
  return t.kind == TokenKind::kString || t.kind == TokenKind::kNationalString ||
         t.kind == TokenKind::kNumber;
}

// "1 = 0", "ROWNUM <= 10", "10 >= ROWNUM": the other side of a comparison next to `i`.
bool ComparedWithLiteralOrRownum(const Tokens& tokens, size_t prev, size_t next) {
  auto counts = [](const Token& t) { return IsLiteral(t) || IsWord(t, "ROWNUM"); };
  if (prev != kNone && IsComparison(tokens[prev])) {
    const size_t other = PrevSignificant(tokens, prev);
    if (other != kNone && counts(tokens[other])) return true;
  }
  if (next < tokens.size() && IsComparison(tokens[next])) {
    const size_t other = NextSignificant(tokens, next);
    if (other < tokens.size() && counts(tokens[other])) return true;
  }
  return false;
}

// The value to bind for the literal at `i`; false when it stays in the shape.
bool LiftedValue(const Tokens& tokens, size_t i, const TranslateOptions& options, Value* value) {
  const Token& t = tokens[i];
  if (t.kind != TokenKind::kString && t.kind != TokenKind::kNumber) return false;
  const size_t prev = PrevSignificant(tokens, i);
  const size_t next = NextSignificant(tokens, i);
  if (prev != kNone && IsAnyWord(tokens[prev], {"AS", "ESCAPE", "TOP"})) return false;
  if (ComparedWithLiteralOrRownum(tokens, prev, next)) return false;
  if (t.kind == TokenKind::kNumber) {
    if (t.text.size() > 18) return false;
    for (char c : t.text) {
      if (c < '0' || c > '9') return false;
    }
    *value = Value::Integer(std::stoll(t.text));
    return true;
  }
  std::string text = StringValue(t);
  if (text.empty() || QuoteString(text) != t.text) return false;
  if (options.target == Backend::kPostgres && prev != kNone && IsWord(tokens[prev], "LIKE")) {
    if (next < tokens.size() && IsWord(tokens[next], "ESCAPE")) return false;
    std::string like;
    if (!PostgresLikePattern(text, &like)) return false;
    text = std::move(like);
  }
  *value = Value::Text(std::move(text));
  return true;
}

}  // namespace

bool LiftLiterals(const Tokens& tokens, const TranslateOptions& options, Shape* shape) {
  const size_t first = SkipBlanks(tokens, 0);
  if (first >= tokens.size() || !IsAnyWord(tokens[first], {"SELECT", "INSERT", "UPDATE", "DELETE"})) {
    return false;
  }
  for (const Token& t : tokens) {
    if (t.kind == TokenKind::kParameter) return false;
  }
  shape->tokens.clear();
  shape->values.clear();
  shape->tokens.reserve(tokens.size());
  // Per open parenthesis: whether its literals stay, and whether ORDER BY or GROUP BY was
  // reached at its level.
  struct Level {
    bool keep = false;
    bool ordering = false;
  };
  std::vector<Level> levels(1);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kOpenParen) {
      const size_t prev = PrevSignificant(tokens, i);
      bool keep = levels.back().keep || levels.back().ordering;
      if (prev != kNone) {
        const Token& p = tokens[prev];
        keep = keep || IsAnyWord(p, {"TOP", "OPTION"}) || ReadsItsArguments(p) || IsSizedType(p);
      }
      levels.push_back({keep, false});
    } else if (t.kind == TokenKind::kCloseParen) {
      if (levels.size() > 1) levels.pop_back();
    } else if (IsAnyWord(t, {"ORDER", "GROUP"})) {
      const size_t next = NextSignificant(tokens, i);
      if (next < tokens.size() && IsWord(tokens[next], "BY")) levels.back().ordering = true;
    }
    Value value;
    if (!levels.back().keep && !levels.back().ordering &&
        LiftedValue(tokens, i, options, &value)) {
      shape->values.push_back(std::move(value));
      shape->tokens.push_back({TokenKind::kParameter, "?" + std::to_string(shape->values.size())});
    } else {
      shape->tokens.push_back(t);
    }
  }
  return true;
}

}  // namespace sproutsmith::sql::dialect
