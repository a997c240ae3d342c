// Row limits and query hints: TOP n and Oracle's ROWNUM become LIMIT n; OPTION (...) goes.

#include <cstdlib>
#include <string_view>

#include "platform/sql/dialect/rewrites.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsWholeNumber(const Token& t) {
  if (t.kind != TokenKind::kNumber || t.text.empty()) return false;
  for (char c : t.text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool HasWord(const Tokens& tokens, std::string_view word) {
  for (const Token& t : tokens) {
    if (IsWord(t, word)) return true;
  }
  return false;
}

// A SELECT that may take a LIMIT at its end: not part of a compound, none there yet.
bool CanTakeLimit(const SelectScope& scope) {
  return !scope.compound() && scope.limit == kNone && scope.option == kNone;
}

}  // namespace

void RemoveQueryHints(const Tokens& tokens, Editor& editor, const TranslateOptions&) {
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const TokenKind kind = tokens[i].kind;
    if (kind == TokenKind::kOpenParen) ++depth;
    if (kind == TokenKind::kCloseParen) --depth;
    if (depth != 0 || !IsWord(tokens[i], "OPTION")) continue;
    const size_t open = NextSignificant(tokens, i);
    if (open >= tokens.size() || tokens[open].kind != TokenKind::kOpenParen) continue;
    const size_t close = MatchingParen(tokens, open);
    if (close == kNone) continue;
    // Only a hint that ends the statement (a ';' and comments may follow).
    const size_t after = NextSignificant(tokens, close);
    if (after < tokens.size() && tokens[after].kind != TokenKind::kSemicolon) continue;
    size_t begin = i;  // the blanks before the hint go with it; comments stay
    while (begin > 0 && tokens[begin - 1].kind == TokenKind::kSpace) --begin;
    editor.Remove(begin, close + 1);
    return;
  }
}

void TopToLimit(const Tokens& tokens, Editor& editor, const TranslateOptions&) {
  if (!HasWord(tokens, "TOP")) return;
  for (const SelectScope& scope : FindSelectScopes(tokens)) {
    size_t top = NextSignificant(tokens, scope.select);
    if (top < tokens.size() && (IsWord(tokens[top], "DISTINCT") || IsWord(tokens[top], "ALL"))) {
      top = NextSignificant(tokens, top);
    }
    if (top >= tokens.size() || !IsWord(tokens[top], "TOP")) continue;
    // TOP n or TOP (n); PERCENT, WITH TIES and expressions have no LIMIT equivalent.
    size_t number = NextSignificant(tokens, top);
    size_t last = number;
    if (number < tokens.size() && tokens[number].kind == TokenKind::kOpenParen) {
      number = NextSignificant(tokens, number);
      last = NextSignificant(tokens, number);
      if (last >= tokens.size() || tokens[last].kind != TokenKind::kCloseParen) continue;
    }
    if (number >= tokens.size() || !IsWholeNumber(tokens[number])) continue;
    const size_t following = NextSignificant(tokens, last);
    if (following < tokens.size() &&
        (IsWord(tokens[following], "PERCENT") || IsWord(tokens[following], "WITH"))) {
      continue;
    }
    if (!CanTakeLimit(scope)) continue;
    editor.Remove(top, following);
    editor.Insert(scope.LastSignificantEnd(tokens), " LIMIT " + tokens[number].text);
  }
}

void RownumToLimit(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  if (options.flavour != Flavour::kOracle || !HasWord(tokens, "ROWNUM")) return;
  for (const SelectScope& scope : FindSelectScopes(tokens)) {
    if (scope.where == kNone || !CanTakeLimit(scope)) continue;
    bool has_or = false;
    const std::vector<Range> parts =
        SplitConjunction(tokens, {scope.where + 1, scope.ClauseEnd(scope.where)}, &has_or);
    if (has_or) continue;  // ROWNUM would bind to one branch only
    for (size_t k = 0; k < parts.size(); ++k) {
      std::vector<size_t> sig;
      for (size_t i = parts[k].begin; i < parts[k].end; ++i) {
        if (IsSignificant(tokens[i])) sig.push_back(i);
      }
      if (sig.size() != 3) continue;
      const Token& a = tokens[sig[0]];
      const Token& op = tokens[sig[1]];
      const Token& b = tokens[sig[2]];
      long long limit = -1;
      if (IsWord(a, "ROWNUM") && IsWholeNumber(b)) {
        if (op.text == "<=") limit = std::atoll(b.text.c_str());
        if (op.text == "<") limit = std::atoll(b.text.c_str()) - 1;
      } else if (IsWholeNumber(a) && IsWord(b, "ROWNUM")) {
        if (op.text == ">=") limit = std::atoll(a.text.c_str());
        if (op.text == ">") limit = std::atoll(a.text.c_str()) - 1;
      }
      if (limit < 0) continue;
      if (parts.size() == 1) {
        const size_t prev = PrevSignificant(tokens, scope.where);
        editor.Remove(prev == kNone ? scope.where : prev + 1, parts[k].end);
      } else if (k > 0) {
        editor.Remove(parts[k - 1].end, parts[k].end);
      } else {
        editor.Remove(parts[0].begin, parts[1].begin);
      }
      editor.Insert(scope.LastSignificantEnd(tokens), " LIMIT " + std::to_string(limit));
      break;
    }
  }
}

}  // namespace sproutsmith::sql::dialect
