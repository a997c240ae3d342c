// "+" as the servers read it: SQL Server concatenates two strings with it and converts a
// string to a number beside a number; Oracle only adds. SQLite would turn 'A' + 'B' into 0.
// Oracle's "||" goes the same way, since SQLite's gives NULL beside a NULL where Oracle
// reads the NULL as ''.

#include <array>
#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsKeyword(const Token& t) {
  static constexpr std::array<std::string_view, 46> kKeywords = {
      "SELECT",  "FROM",   "WHERE",   "AND",    "OR",        "NOT",      "ON",     "WHEN",
      "THEN",    "ELSE",   "END",     "CASE",   "SET",       "AS",       "IN",     "LIKE",
      "BETWEEN", "IS",     "ORDER",   "GROUP",  "BY",        "HAVING",   "UNION",  "ALL",
      "VALUES",  "ESCAPE", "COLLATE", "DESC",   "ASC",       "JOIN",     "INNER",  "OUTER",
      "FULL",    "CROSS",  "INTO",    "OPTION", "TOP",       "DISTINCT", "EXISTS", "INSERT",
      "UPDATE",  "DELETE", "LIMIT",   "EXCEPT", "INTERSECT", "MINUS"};
  if (t.kind != TokenKind::kWord) return false;
  for (std::string_view k : kKeywords) {
    if (IsWord(t, k)) return true;
  }
  return false;
}

bool IsOperator(const Token& t, std::string_view op) {
  return t.kind == TokenKind::kOperator && t.text == op;
}

bool IsSign(const Token& t) { return IsOperator(t, "+") || IsOperator(t, "-"); }

bool IsFactorOperator(const Token& t) {
  return IsOperator(t, "*") || IsOperator(t, "/") || IsOperator(t, "%");
}

// A token that ends an operand: after it a "+" is binary.
bool EndsOperand(const Token& t) {
  switch (t.kind) {
    case TokenKind::kNumber:
    case TokenKind::kString:
    case TokenKind::kNationalString:
    case TokenKind::kQuotedIdentifier:
    case TokenKind::kBracketIdentifier:
    case TokenKind::kCloseParen:
    case TokenKind::kParameter:
      return true;
    case TokenKind::kWord:
      return IsWord(t, "NULL") || IsWord(t, "END") || !IsKeyword(t);
    default:
      return false;
  }
}

// One past the operand that starts at `i` (a literal, a name, a call, a parenthesised
// expression, a CASE ... END), or kNone when none starts there.
size_t PrimaryEnd(const Tokens& tokens, size_t i) {
  if (i >= tokens.size()) return kNone;
  const Token& t = tokens[i];
  switch (t.kind) {
    case TokenKind::kNumber:
    case TokenKind::kString:
    case TokenKind::kNationalString:
    case TokenKind::kParameter:
      return i + 1;
    case TokenKind::kOpenParen: {
      const size_t close = MatchingParen(tokens, i);
      return close == kNone ? kNone : close + 1;
    }
    case TokenKind::kWord:
    case TokenKind::kQuotedIdentifier:
    case TokenKind::kBracketIdentifier:
      break;
    default:
      return kNone;
  }
  if (IsWord(t, "NULL")) return i + 1;
  if (IsWord(t, "CASE")) {
    int depth = 0;
    for (size_t k = i; k < tokens.size(); ++k) {
      if (IsWord(tokens[k], "CASE")) ++depth;
      if (IsWord(tokens[k], "END") && --depth == 0) return k + 1;
    }
    return kNone;
  }
  if (IsKeyword(t)) return kNone;
  size_t end = i + 1;
  while (end + 1 < tokens.size() && tokens[end].kind == TokenKind::kDot &&
         IsIdentifier(tokens[end + 1])) {
    end += 2;
  }
  const size_t open = CallParen(tokens, end - 1);
  if (open != kNone) {
    const size_t close = MatchingParen(tokens, open);
    return close == kNone ? kNone : close + 1;
  }
  return end;
}

// One past the term (signed operands joined by * / %) that starts at `i`, or kNone.
size_t TermEnd(const Tokens& tokens, size_t i) {
  while (i < tokens.size() && IsSign(tokens[i])) i = SkipBlanks(tokens, i + 1);
  size_t end = PrimaryEnd(tokens, i);
  while (end != kNone) {
    const size_t op = SkipBlanks(tokens, end);
    if (op >= tokens.size() || !IsFactorOperator(tokens[op])) break;
    size_t next = SkipBlanks(tokens, op + 1);
    while (next < tokens.size() && IsSign(tokens[next])) next = SkipBlanks(tokens, next + 1);
    end = PrimaryEnd(tokens, next);
  }
  return end;
}

}  // namespace

void RewritePlus(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  const bool oracle = options.flavour == Flavour::kOracle;
  const bool postgres = options.target == Backend::kPostgres;
  const char* function = oracle ? kOracleAddFunction : kMicrosoftAddFunction;
  // Oracle's || binds as + and - do, from the left.
  auto is_chain_operator = [&](const Token& t) {
    return IsSign(t) || (oracle && IsOperator(t, "||"));
  };
  for (size_t i = SkipBlanks(tokens, 0); i < tokens.size(); i = SkipBlanks(tokens, i + 1)) {
    // A sum starts where no operand or operator comes before it; a later start would
    // take a part of another sum for the whole.
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && (EndsOperand(tokens[prev]) || tokens[prev].kind == TokenKind::kDot ||
                          is_chain_operator(tokens[prev]) || IsFactorOperator(tokens[prev]))) {
      continue;
    }
    size_t end = TermEnd(tokens, i);
    if (end == kNone) continue;
    std::string sum = Join(tokens, i, end);
    bool plus = false;
    bool whole = true;
    while (true) {
      const size_t op = SkipBlanks(tokens, end);
      if (op >= tokens.size() || !is_chain_operator(tokens[op])) break;
      const size_t right = SkipBlanks(tokens, op + 1);
      const size_t right_end = TermEnd(tokens, right);
      if (right_end == kNone) {
        whole = false;
        break;
      }
      const std::string operand = Join(tokens, right, right_end);
      if (IsOperator(tokens[op], "+")) {
        plus = true;
        sum = std::string(function) + "(" + sum + ", " + operand + ")";
      } else if (IsOperator(tokens[op], "||")) {
        plus = true;
        // PostgreSQL does not read a number as text by itself.
        sum = postgres ? std::string(kOracleConcatFunction) + "(CAST(" + sum + " AS TEXT), CAST(" +
                             operand + " AS TEXT))"
                       : std::string(kOracleConcatFunction) + "(" + sum + ", " + operand + ")";
      } else {
        sum += " - " + operand;
      }
      end = right_end;
    }
    // A sum the grammar here cannot follow to its end is left to the database as written.
    if (!plus || !whole) continue;
    editor.Replace(i, end, sum);
    i = end - 1;
  }
}

}  // namespace sproutsmith::sql::dialect
