#include "platform/sql/dialect/sql_structure.h"

#include <algorithm>

namespace sproutsmith::sql::dialect {

size_t NextSignificant(const Tokens& tokens, size_t i) { return SkipBlanks(tokens, i + 1); }

size_t SkipBlanks(const Tokens& tokens, size_t i) {
  while (i < tokens.size() && !IsSignificant(tokens[i])) ++i;
  return std::min(i, tokens.size());
}

size_t PrevSignificant(const Tokens& tokens, size_t i) {
  while (i > 0) {
    --i;
    if (IsSignificant(tokens[i])) return i;
  }
  return kNone;
}

size_t MatchingParen(const Tokens& tokens, size_t open) {
  int depth = 0;
  for (size_t i = open; i < tokens.size(); ++i) {
    if (tokens[i].kind == TokenKind::kOpenParen) {
      ++depth;
    } else if (tokens[i].kind == TokenKind::kCloseParen) {
      if (--depth == 0) return i;
    }
  }
  return kNone;
}

Range TrimRange(const Tokens& tokens, Range range) {
  while (range.begin < range.end && !IsSignificant(tokens[range.begin])) ++range.begin;
  while (range.end > range.begin && !IsSignificant(tokens[range.end - 1])) --range.end;
  return range;
}

size_t CallParen(const Tokens& tokens, size_t word) {
  if (tokens[word].kind != TokenKind::kWord) return kNone;
  const size_t prev = PrevSignificant(tokens, word);
  if (prev != kNone && tokens[prev].kind == TokenKind::kDot) return kNone;
  const size_t next = NextSignificant(tokens, word);
  if (next >= tokens.size() || tokens[next].kind != TokenKind::kOpenParen) return kNone;
  return next;
}

size_t SelectScope::ClauseEnd(size_t clause) const {
  size_t result = end;
  for (size_t other : {from, where, group_by, having, order_by, limit, option, set_operator}) {
    if (other != kNone && other > clause && other < result) result = other;
  }
  return result;
}

size_t SelectScope::LastSignificantEnd(const Tokens& tokens) const {
  const size_t last = PrevSignificant(tokens, end);
  return last == kNone || last < select ? select + 1 : last + 1;
}

SelectScope ScopeOf(const Tokens& tokens, size_t select) {
  SelectScope scope;
  scope.select = select;
  const size_t prev = PrevSignificant(tokens, select);
  if (prev != kNone) {
    const Token& p = tokens[prev];
    scope.after_set_operator = IsWord(p, "UNION") || IsWord(p, "ALL") || IsWord(p, "EXCEPT") ||
                               IsWord(p, "INTERSECT") || IsWord(p, "MINUS");
  }
  int depth = 0;
  size_t i = select + 1;
  for (; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kOpenParen) {
      ++depth;
      continue;
    }
    if (t.kind == TokenKind::kCloseParen) {
      if (depth == 0) break;
      --depth;
      continue;
    }
    if (depth > 0) continue;
    if (t.kind == TokenKind::kSemicolon) break;
    if (t.kind != TokenKind::kWord || scope.set_operator != kNone) continue;
    auto followed_by_by = [&] {
      const size_t n = NextSignificant(tokens, i);
      return n < tokens.size() && IsWord(tokens[n], "BY");
    };
    if (IsWord(t, "FROM") && scope.from == kNone) {
      scope.from = i;
    } else if (IsWord(t, "WHERE") && scope.where == kNone) {
      scope.where = i;
    } else if (IsWord(t, "GROUP") && followed_by_by()) {
      scope.group_by = i;
    } else if (IsWord(t, "HAVING")) {
      scope.having = i;
    } else if (IsWord(t, "ORDER") && followed_by_by()) {
      scope.order_by = i;
    } else if (IsWord(t, "LIMIT")) {
      scope.limit = i;
    } else if (IsWord(t, "OPTION")) {
      scope.option = i;
    } else if (IsWord(t, "UNION") || IsWord(t, "EXCEPT") || IsWord(t, "INTERSECT") ||
               IsWord(t, "MINUS")) {
      scope.set_operator = i;
    }
  }
  scope.end = i;
  return scope;
}

std::vector<SelectScope> FindSelectScopes(const Tokens& tokens) {
  std::vector<SelectScope> scopes;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsWord(tokens[i], "SELECT")) scopes.push_back(ScopeOf(tokens, i));
  }
  return scopes;
}

std::vector<Range> SplitAtCommas(const Tokens& tokens, Range range) {
  std::vector<Range> parts;
  int depth = 0;
  size_t start = range.begin;
  for (size_t i = range.begin; i < range.end; ++i) {
    const TokenKind kind = tokens[i].kind;
    if (kind == TokenKind::kOpenParen) ++depth;
    if (kind == TokenKind::kCloseParen) --depth;
    if (kind == TokenKind::kComma && depth == 0) {
      parts.push_back(TrimRange(tokens, {start, i}));
      start = i + 1;
    }
  }
  parts.push_back(TrimRange(tokens, {start, range.end}));
  return parts;
}

std::vector<Range> SplitConjunction(const Tokens& tokens, Range range, bool* has_or) {
  std::vector<Range> parts;
  *has_or = false;
  int depth = 0;  // parentheses and CASE ... END
  bool between = false;
  size_t start = range.begin;
  for (size_t i = range.begin; i < range.end; ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kOpenParen || IsWord(t, "CASE")) {
      ++depth;
    } else if (t.kind == TokenKind::kCloseParen || IsWord(t, "END")) {
      --depth;
    } else if (depth == 0 && IsWord(t, "BETWEEN")) {
      between = true;
    } else if (depth == 0 && IsWord(t, "OR")) {
      *has_or = true;
    } else if (depth == 0 && IsWord(t, "AND")) {
      if (between) {
        between = false;
      } else {
        parts.push_back(TrimRange(tokens, {start, i}));
        start = i + 1;
      }
    }
  }
  parts.push_back(TrimRange(tokens, {start, range.end}));
  return parts;
}

Editor::Editor(const Tokens& tokens)
    : tokens_(tokens),
      inserted_(tokens.size() + 1),
      removed_(tokens.size(), false),
      replacement_(tokens.size()) {}

void Editor::Replace(size_t begin, size_t end, const std::string& text) {
  end = std::min(end, tokens_.size());
  if (begin >= end) {
    Insert(begin, text);
    return;
  }
  for (size_t i = begin; i < end; ++i) removed_[i] = true;
  replacement_[begin] += text;
  changed_ = true;
}

void Editor::Insert(size_t before, const std::string& text) {
  inserted_[std::min(before, tokens_.size())] += text;
  changed_ = true;
}

std::string Editor::Text() const {
  std::string out;
  for (size_t i = 0; i < tokens_.size(); ++i) {
    out += inserted_[i];
    out += removed_[i] ? replacement_[i] : tokens_[i].text;
  }
  out += inserted_[tokens_.size()];
  return out;
}

}  // namespace sproutsmith::sql::dialect
