#pragma once
// Just enough grammar over a token list for the rewrites: parentheses, the clauses of each
// SELECT at its own nesting level, lists split at top-level commas or ANDs, and an editor
// that replaces token ranges while leaving every other byte as it was. Positions are token
// indices; kNone marks "absent".

#include <cstddef>
#include <string>
#include <vector>

#include "platform/sql/dialect/tokenizer.h"

namespace sproutsmith::sql::dialect {

inline constexpr size_t kNone = static_cast<size_t>(-1);

struct Range {
  size_t begin = 0;
  size_t end = 0;  // one past the last token
  bool empty() const { return begin >= end; }
};

// The next significant token after `i` (tokens.size() when none).
size_t NextSignificant(const Tokens& tokens, size_t i);
// The first significant token at or after `i` (tokens.size() when none).
size_t SkipBlanks(const Tokens& tokens, size_t i);
// The previous significant token before `i` (kNone when none).
size_t PrevSignificant(const Tokens& tokens, size_t i);
// The ')' closing the '(' at `open`; kNone when it is never closed.
size_t MatchingParen(const Tokens& tokens, size_t open);
// The range without leading and trailing blanks and comments.
Range TrimRange(const Tokens& tokens, Range range);
// Whether a word is a function call: "NAME (" and not a qualified "X.NAME (".
// Returns the '(' index, or kNone.
size_t CallParen(const Tokens& tokens, size_t word);

// One SELECT with its clauses at its own level. A clause position is the index of its
// keyword (ORDER of ORDER BY). `end` is the token after the scope: the ')' closing a
// sub-select, a ';' or tokens.size().
struct SelectScope {
  size_t select = kNone;
  size_t from = kNone;
  size_t where = kNone;
  size_t group_by = kNone;
  size_t having = kNone;
  size_t order_by = kNone;
  size_t limit = kNone;
  size_t option = kNone;
  size_t set_operator = kNone;      // UNION, EXCEPT, INTERSECT, MINUS after this SELECT
  bool after_set_operator = false;  // this SELECT follows one (a later part of a compound)
  size_t end = 0;

  bool compound() const { return set_operator != kNone || after_set_operator; }
  // Where the clause that starts at `clause` ends: the next clause keyword or `end`.
  size_t ClauseEnd(size_t clause) const;
  // One past the last significant token of the scope.
  size_t LastSignificantEnd(const Tokens& tokens) const;
};

SelectScope ScopeOf(const Tokens& tokens, size_t select);
// Every SELECT of the text, in text order (outer before inner).
std::vector<SelectScope> FindSelectScopes(const Tokens& tokens);

// Splits at commas that are not inside parentheses; each part trimmed.
std::vector<Range> SplitAtCommas(const Tokens& tokens, Range range);
// Splits a condition at top-level ANDs (not the AND of BETWEEN ... AND); each part trimmed.
// Sets *has_or when a top-level OR exists (then the parts are not simply AND-ed).
std::vector<Range> SplitConjunction(const Tokens& tokens, Range range, bool* has_or);

// Collects replacements of token ranges and renders the edited text; tokens not touched
// by an edit keep their exact bytes. Edits must not overlap.
class Editor {
 public:
  explicit Editor(const Tokens& tokens);
  void Replace(size_t begin, size_t end, const std::string& text);
  void Remove(size_t begin, size_t end) { Replace(begin, end, std::string()); }
  void Insert(size_t before, const std::string& text);
  bool changed() const { return changed_; }
  std::string Text() const;

 private:
  const Tokens& tokens_;
  std::vector<std::string> inserted_;  // text placed before token i (size n + 1)
  std::vector<bool> removed_;
  std::vector<std::string> replacement_;  // text taking the place of a removed range
  bool changed_ = false;
};

}  // namespace sproutsmith::sql::dialect
