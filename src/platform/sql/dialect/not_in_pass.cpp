// "x NOT IN (SELECT c FROM t WHERE ...)" as "NOT EXISTS (SELECT 1 FROM t WHERE ... AND t.c =
// x)". The engine queues a new folder's documents with "DOCNUMBER NOT IN (SELECT SID FROM
// NEEDS_FOLDERING WHERE ...)": for each run SQLite builds the list of every queued document
// and PostgreSQL hashes it, where NOT EXISTS looks the one number up in the index on SID.
//
// The two agree only where neither side can be NULL: "1 NOT IN (NULL)" is unknown where NOT
// EXISTS would be true, and so is "NULL NOT IN (2)". So x and c must both be integer columns
// the schema declares NOT NULL (options.non_null_integer_columns); integers also compare
// alike with either side on the left (text would take the left side's collation). Then the
// NOT IN is true exactly when no row of the sub-select holds x, and false otherwise, which is
// what the NOT EXISTS says, anywhere in a condition.
//
// Only these shapes are rewritten:
//   - x is COL, TABLE.COL or ALIAS.COL of the only table of the SELECT whose WHERE holds the
//     NOT IN (a joined table's column could be NULL), with WHERE, AND, OR or "(" before it
//     and AND, OR, ")" or the end of the WHERE after the sub-select;
//   - the sub-select is "SELECT c FROM t [[AS] alias] [WHERE ...]" over one table, c as COL
//     or T.COL, with nothing else (no DISTINCT, TOP, GROUP BY, ORDER BY, UNION);
//   - the name x is reached by from inside (the outer alias or table) is not the inner
//     table's name or alias, which would capture it.

#include <string>
#include <vector>

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

// Names written plainly: a quoted name may differ from the schema's in letter case.
bool IsName(const Token& t) { return t.kind == TokenKind::kWord; }

// A table standing alone in a FROM clause: "T", "T A" or "T AS A".
struct LoneTable {
  size_t name = kNone;
  size_t alias = kNone;
  // The token a column of the table is qualified with.
  size_t Qualifier() const { return alias != kNone ? alias : name; }
};

bool ReadLoneTable(const Tokens& tokens, size_t from, size_t end, LoneTable* table) {
  std::vector<size_t> sig;
  for (size_t i = from + 1; i < end; ++i) {
    if (IsSignificant(tokens[i])) sig.push_back(i);
  }
  if (sig.empty() || sig.size() > 3 || !IsName(tokens[sig[0]])) return false;
  table->name = sig[0];
  table->alias = kNone;
  if (sig.size() == 1) return true;
  const size_t alias = sig.size() == 3 ? sig[2] : sig[1];
  if (sig.size() == 3 && !IsWord(tokens[sig[1]], "AS")) return false;
  if (!IsName(tokens[alias])) return false;
  for (const char* word : {"JOIN", "LEFT", "RIGHT", "INNER", "OUTER", "CROSS", "FULL", "NATURAL",
                           "WHERE", "ON", "USING", "AS"}) {
    if (IsWord(tokens[alias], word)) return false;
  }
  table->alias = alias;
  return true;
}

std::string Upper(const Token& token) { return text::UCase(IdentifierName(token)); }

// Whether the column named at `column`, qualified at `qualifier` (kNone: not), belongs to
// `table` and is a non-null integer column.
bool IsNonNullColumnOf(const Tokens& tokens, size_t qualifier, size_t column,
                       const LoneTable& table, const TranslateOptions& options) {
  if (qualifier != kNone && Upper(tokens[qualifier]) != Upper(tokens[table.Qualifier()])) {
    return false;
  }
  return options.non_null_integer_columns.count(Upper(tokens[table.name]) + "." +
                                                Upper(tokens[column])) > 0;
}

// The innermost SELECT whose WHERE clause holds token `at`; kNone when none does.
size_t EnclosingWhere(const std::vector<SelectScope>& scopes, size_t at) {
  size_t found = kNone;
  for (size_t s = 0; s < scopes.size(); ++s) {
    const SelectScope& scope = scopes[s];
    if (scope.select < at && at < scope.end) found = s;
  }
  if (found == kNone) return kNone;
  const SelectScope& scope = scopes[found];
  if (scope.where == kNone || at < scope.where || at >= scope.ClauseEnd(scope.where)) return kNone;
  return found;
}

// Rewrites the NOT IN whose NOT is at `word` when it has one of the shapes above.
void RewriteOne(const Tokens& tokens, Editor& editor, const std::vector<SelectScope>& scopes,
                size_t word, const TranslateOptions& options) {
  const size_t in = NextSignificant(tokens, word);
  const size_t open = NextSignificant(tokens, in);
  const size_t select = NextSignificant(tokens, open);
  if (select >= tokens.size() || !IsWord(tokens[in], "IN") ||
      tokens[open].kind != TokenKind::kOpenParen || !IsWord(tokens[select], "SELECT")) {
    return;
  }
  const size_t outer_index = EnclosingWhere(scopes, word);
  if (outer_index == kNone) return;
  const SelectScope& outer = scopes[outer_index];

  // x: COL or Q.COL, standing alone.
  const size_t x_column = PrevSignificant(tokens, word);
  if (x_column == kNone || !IsName(tokens[x_column])) return;
  size_t x_qualifier = kNone;
  size_t before = PrevSignificant(tokens, x_column);
  if (before != kNone && tokens[before].kind == TokenKind::kDot) {
    x_qualifier = PrevSignificant(tokens, before);
    if (x_qualifier == kNone || !IsName(tokens[x_qualifier])) return;
    before = PrevSignificant(tokens, x_qualifier);
  }
  if (before == kNone ||
      !(IsWord(tokens[before], "WHERE") || IsWord(tokens[before], "AND") ||
        IsWord(tokens[before], "OR") || tokens[before].kind == TokenKind::kOpenParen)) {
    return;
  }
  const size_t close = MatchingParen(tokens, open);
  if (close == kNone) return;
  const size_t after = NextSignificant(tokens, close);
  if (!(after >= outer.ClauseEnd(outer.where) || IsWord(tokens[after], "AND") ||
        IsWord(tokens[after], "OR") || tokens[after].kind == TokenKind::kCloseParen)) {
    return;
  }

  LoneTable outer_table;
  if (outer.from == kNone || outer.from > word ||
      !ReadLoneTable(tokens, outer.from, outer.ClauseEnd(outer.from), &outer_table) ||
      !IsNonNullColumnOf(tokens, x_qualifier, x_column, outer_table, options)) {
    return;
  }

  // The sub-select: SELECT c FROM t [alias] [WHERE ...], nothing more.
  const SelectScope inner = ScopeOf(tokens, select);
  if (inner.end != close || inner.from == kNone || inner.group_by != kNone ||
      inner.having != kNone || inner.order_by != kNone || inner.limit != kNone ||
      inner.option != kNone || inner.compound()) {
    return;
  }
  std::vector<size_t> item;
  for (size_t i = select + 1; i < inner.from; ++i) {
    if (IsSignificant(tokens[i])) item.push_back(i);
  }
  size_t c_qualifier = kNone;
  size_t c_column = kNone;
  if (item.size() == 1) {
    c_column = item[0];
  } else if (item.size() == 3 && tokens[item[1]].kind == TokenKind::kDot) {
    c_qualifier = item[0];
    c_column = item[2];
  } else {
    return;
  }
  if (!IsName(tokens[c_column]) || (c_qualifier != kNone && !IsName(tokens[c_qualifier]))) return;
  LoneTable inner_table;
  if (!ReadLoneTable(tokens, inner.from, inner.ClauseEnd(inner.from), &inner_table) ||
      !IsNonNullColumnOf(tokens, c_qualifier, c_column, inner_table, options)) {
    return;
  }
  // Inside, the outer column is reached by the name it is reached by outside.
  const size_t outer_name = x_qualifier != kNone ? x_qualifier : outer_table.Qualifier();
  const std::string reached = Upper(tokens[outer_name]);
  if (reached == Upper(tokens[inner_table.name]) ||
      (inner_table.alias != kNone && reached == Upper(tokens[inner_table.alias]))) {
    return;
  }

  const std::string correlation = tokens[inner_table.Qualifier()].text + "." +
                                  tokens[c_column].text + " = " + tokens[outer_name].text + "." +
                                  tokens[x_column].text;
  const size_t x_start = x_qualifier != kNone ? x_qualifier : x_column;
  editor.Replace(x_start, inner.from, "NOT EXISTS (SELECT 1 ");
  if (inner.where == kNone) {
    editor.Insert(close, " WHERE " + correlation);
    return;
  }
  bool has_or = false;
  SplitConjunction(tokens, {inner.where + 1, close}, &has_or);
  const Range condition = TrimRange(tokens, {inner.where + 1, close});
  if (has_or) {
    editor.Insert(condition.begin, "(");
    editor.Insert(condition.end, ") AND " + correlation);
  } else {
    editor.Insert(condition.end, " AND " + correlation);
  }
}

}  // namespace

void RewriteNotInSubqueries(const Tokens& tokens, Editor& editor,
                            const TranslateOptions& options) {
  if (options.non_null_integer_columns.empty()) return;
  std::vector<SelectScope> scopes;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsWord(tokens[i], "NOT")) continue;
    if (scopes.empty()) scopes = FindSelectScopes(tokens);
    RewriteOne(tokens, editor, scopes, i, options);
  }
}

}  // namespace sproutsmith::sql::dialect
