// Oracle's old-style outer join: "FROM A, B WHERE A.X (+) = B.Y" keeps every B and joins
// A where it can, i.e. "FROM B LEFT OUTER JOIN A ON A.X = B.Y". Only the common shape is
// rewritten: a comma FROM list, AND-ed top-level conditions, every (+) of a condition on
// one table. Anything else keeps its (+) and fails on the back end as written.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

struct FromItem {
  Range range;
  std::string name;                // alias, or the table name without qualifiers
  std::vector<size_t> conditions;  // indices of the (+) conditions that join it
  std::vector<size_t> needs;       // other items its conditions refer to
};

bool IsJoinWord(const Token& t) {
  return IsWord(t, "JOIN") || IsWord(t, "ON") || IsWord(t, "USING") || IsWord(t, "NATURAL");
}

// The name a FROM item is referred to by; empty when the item has a shape we do not know.
std::string ItemName(const Tokens& tokens, Range item) {
  std::vector<size_t> sig;
  for (size_t i = item.begin; i < item.end; ++i) {
    if (!IsSignificant(tokens[i])) continue;
    if (IsJoinWord(tokens[i])) return {};
    sig.push_back(i);
  }
  if (sig.empty()) return {};
  const Token& last = tokens[sig.back()];
  if (!IsIdentifier(last)) return {};
  return text::UCase(IdentifierName(last));
}

size_t FindItem(const std::vector<FromItem>& items, const std::string& name) {
  for (size_t k = 0; k < items.size(); ++k) {
    if (items[k].name == name) return k;
  }
  return kNone;
}

// Qualifiers ("Q" of "Q.C") used in a range, upper-cased.
std::vector<std::string> Qualifiers(const Tokens& tokens, Range range) {
  std::vector<std::string> names;
  for (size_t i = range.begin; i + 1 < range.end; ++i) {
    if (!IsIdentifier(tokens[i]) || tokens[i + 1].kind != TokenKind::kDot) continue;
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && tokens[prev].kind == TokenKind::kDot) continue;
    names.push_back(text::UCase(IdentifierName(tokens[i])));
  }
  return names;
}

// The table a condition's (+) markers belong to ("Q" of "Q.C (+)"), upper-cased; false when
// a marker follows something else or the markers name two tables.
bool MarkedTable(const Tokens& tokens, Range condition, std::string* table) {
  table->clear();
  for (size_t i = condition.begin; i < condition.end; ++i) {
    if (tokens[i].kind != TokenKind::kOuterJoinMarker) continue;
    const size_t column = PrevSignificant(tokens, i);
    if (column == kNone || column < condition.begin + 2 || !IsIdentifier(tokens[column]) ||
        tokens[column - 1].kind != TokenKind::kDot || !IsIdentifier(tokens[column - 2])) {
      return false;
    }
    const std::string name = text::UCase(IdentifierName(tokens[column - 2]));
    if (!table->empty() && *table != name) return false;
    *table = name;
  }
  return true;
}

// The condition's text without its markers (and the blank before each).
std::string WithoutMarkers(const Tokens& tokens, Range condition) {
  std::string out;
  for (size_t i = condition.begin; i < condition.end; ++i) {
    if (tokens[i].kind == TokenKind::kOuterJoinMarker) {
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
      continue;
    }
    out += tokens[i].text;
  }
  return out;
}

bool ContainsMarker(const Tokens& tokens, Range range) {
  for (size_t i = range.begin; i < range.end; ++i) {
    if (tokens[i].kind == TokenKind::kOuterJoinMarker) return true;
  }
  return false;
}

void RewriteScope(const Tokens& tokens, Editor& editor, const SelectScope& scope) {
  if (scope.from == kNone || scope.where == kNone) return;
  const Range where{scope.where + 1, scope.ClauseEnd(scope.where)};
  // Markers inside parentheses belong to a sub-select (its own scope) or to a shape we do
  // not rewrite; only top-level ones count here.
  bool has_or = false;
  const std::vector<Range> conditions = SplitConjunction(tokens, where, &has_or);
  std::vector<std::string> marked(conditions.size());  // "" = an ordinary condition
  bool any = false;
  for (size_t c = 0; c < conditions.size(); ++c) {
    int depth = 0;
    bool top_level_marker = false;
    for (size_t i = conditions[c].begin; i < conditions[c].end; ++i) {
      if (tokens[i].kind == TokenKind::kOpenParen) ++depth;
      if (tokens[i].kind == TokenKind::kCloseParen) --depth;
      if (tokens[i].kind == TokenKind::kOuterJoinMarker && depth == 0) top_level_marker = true;
    }
    if (!top_level_marker) continue;
    if (!MarkedTable(tokens, conditions[c], &marked[c])) return;
    any = true;
  }
  if (!any || has_or) return;

  std::vector<FromItem> items;
  for (const Range& r : SplitAtCommas(tokens, {scope.from + 1, scope.where})) {
    FromItem item{r, ItemName(tokens, r), {}, {}};
    if (item.name.empty() || FindItem(items, item.name) != kNone) return;
    items.push_back(item);
  }
  for (size_t c = 0; c < conditions.size(); ++c) {
    if (marked[c].empty()) continue;
    const size_t k = FindItem(items, marked[c]);
    if (k == kNone) return;
    items[k].conditions.push_back(c);
    for (const std::string& q : Qualifiers(tokens, conditions[c])) {
      const size_t other = FindItem(items, q);
      if (other != kNone && other != k) items[k].needs.push_back(other);
    }
  }

  // Kept tables first, in their order; then each joined table once what it needs is there.
  std::vector<size_t> order;
  std::vector<bool> placed(items.size(), false);
  for (size_t k = 0; k < items.size(); ++k) {
    if (items[k].conditions.empty()) {
      order.push_back(k);
      placed[k] = true;
    }
  }
  if (order.empty()) return;
  while (order.size() < items.size()) {
    bool progress = false;
    for (size_t k = 0; k < items.size(); ++k) {
      if (placed[k]) continue;
      const bool ready = std::all_of(items[k].needs.begin(), items[k].needs.end(),
                                     [&](size_t n) { return placed[n]; });
      if (!ready) continue;
      order.push_back(k);
      placed[k] = true;
      progress = true;
    }
    if (!progress) return;  // tables that need each other
  }

  std::string from;
  for (size_t k : order) {
    const FromItem& item = items[k];
    const std::string item_text = Join(tokens, item.range.begin, item.range.end);
    if (item.conditions.empty()) {
      if (!from.empty()) from += ", ";
      from += item_text;
      continue;
    }
    from += " LEFT OUTER JOIN " + item_text + " ON ";
    for (size_t n = 0; n < item.conditions.size(); ++n) {
      if (n > 0) from += " AND ";
      from += WithoutMarkers(tokens, conditions[item.conditions[n]]);
    }
  }
  std::string rest;
  for (size_t c = 0; c < conditions.size(); ++c) {
    if (!marked[c].empty()) continue;
    if (ContainsMarker(tokens, conditions[c])) return;
    if (!rest.empty()) rest += " AND ";
    rest += Join(tokens, conditions[c].begin, conditions[c].end);
  }
  const Range from_range = TrimRange(tokens, {scope.from + 1, scope.where});
  editor.Replace(from_range.begin, from_range.end, from);
  if (rest.empty()) {
    // No condition left: the WHERE goes with the blank before it.
    const size_t prev = PrevSignificant(tokens, scope.where);
    editor.Remove(std::max(prev + 1, from_range.end), TrimRange(tokens, where).end);
  } else {
    const Range trimmed = TrimRange(tokens, where);
    editor.Replace(trimmed.begin, trimmed.end, rest);
  }
}

}  // namespace

void RewriteOuterJoins(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  if (options.flavour != Flavour::kOracle || !ContainsMarker(tokens, {0, tokens.size()})) return;
  // One scope per pass run: a rewritten scope changes the positions of the ones around it.
  for (const SelectScope& scope : FindSelectScopes(tokens)) {
    if (scope.compound()) continue;
    Editor trial(tokens);
    RewriteScope(tokens, trial, scope);
    if (trial.changed()) {
      RewriteScope(tokens, editor, scope);
      return;
    }
  }
}

}  // namespace sproutsmith::sql::dialect
