#include "template/rule_parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "template/table_list.h"
#include "text/text.h"

namespace sproutsmith::templ {

using text::EndsWith;
using text::Number;
using text::StartsWith;
using text::StartsWithNoCase;
using text::Trim;
using text::UCase;

namespace {

// Days back for "%TODAY<n>%": the sign is ignored; never before the first day of year 1.
long DaysBack(const std::string& rest, const text::DateTime& today) {
  double n = std::fabs(text::Val(Trim(rest)));
  const double limit = static_cast<double>(today.SerialDay() - text::DateTime{1, 1, 1}.SerialDay());
  if (!(n <= limit)) n = limit;  // also catches NaN
  return static_cast<long>(n);
}

// "YYYY-MM-DD" with four year digits even for the earliest years.
std::string IsoDate(const text::DateTime& d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string ReplaceRelativeDates(std::string s, const text::DateTime& today, log::Log& log) {
  static const std::string kToken = "%TODAY";
  for (size_t at = s.find(kToken); at != std::string::npos; at = s.find(kToken)) {
    const std::string rest = s.substr(at + kToken.size());
    const std::string date = IsoDate(today.AddDays(-DaysBack(rest, today)));
    log.AddLogAndSeparator("Date String in rule parsed to " + date);
    const size_t pct = rest.find('%');
    s = s.substr(0, at) + date + (pct == std::string::npos ? rest : rest.substr(pct + 1));
  }
  return s;
}

// The first part of an item's text, without a leading "[OWNER].".
std::string ItemFirstPart(const std::string& item_text) {
  std::string t = item_text;
  if (StartsWithNoCase(t, kOwnerPrefix)) t = t.substr(t.find('.') + 1);
  return UCase(t.substr(0, t.find('.')));
}

// Where the condition at the start of `text` ends: at the first " AND " or " OR ", or the
// first ")" that closes a group, outside string literals and the condition's own
// parentheses ("IN ('A', 'B')"); npos when it runs to the end.
size_t ConditionEnd(const std::string& text) {
  int nesting = 0;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '(') {
      ++nesting;
    } else if (c == ')') {
      if (nesting == 0) return i;
      --nesting;
    } else if (nesting == 0 && c == ' ' &&
               (text.compare(i, 5, " AND ") == 0 || text.compare(i, 4, " OR ") == 0)) {
      return i;
    }
  }
  return std::string::npos;
}

class ParameterParser {
 public:
  ParameterParser(const ParsedTemplate& parsed, const std::string& library, ForeignKeyCache& cache,
                  DataDictionary& dictionary, log::Log& log)
      : parsed_(parsed), library_(library), cache_(cache), dictionary_(dictionary), log_(log) {}

  void Run(std::string text);
  RuleParameters Finish();

 private:
  // An accepted condition or a parenthesised group, with the connector that follows it.
  struct Member {
    std::string text;
    int and_or = -1;
  };
  using Group = std::vector<Member>;

  // The condition as the statement writes it; nothing when it is dropped.
  std::optional<std::string> Condition(std::string condition, int and_or);
  bool Accepted(const std::string& path, const std::string& comparison);
  // The IN sub-select text of `path`; `table` gets the outermost table it names. Nothing
  // when a hop of a path of two or more hops is not in the data dictionary.
  std::optional<std::string> SubSelect(const std::string& path, const std::string& comparison,
                                       std::string* table);
  std::optional<ForeignKey> Hop(const std::string& column, const std::string& table) {
    return LookupForeignKey(cache_, dictionary_, library_, column, table, log_);
  }
  // The members joined by their connectors; a group of two or more keeps its parentheses,
  // so "(A OR B) AND C" is not read as "A OR (B AND C)".
  static std::string Joined(const Group& group, bool inner);
  // Closes the innermost open group into its parent; false when none is open.
  bool CloseGroup();

  const ParsedTemplate& parsed_;
  const std::string& library_;
  ForeignKeyCache& cache_;
  DataDictionary& dictionary_;
  log::Log& log_;
  std::vector<Group> groups_{Group{}};
  RuleParameters out_;
  std::vector<std::string> written_;  // per qualifier: its text in the statement
};

std::string ParameterParser::Joined(const Group& group, bool inner) {
  std::string s;
  for (size_t k = 0; k < group.size(); ++k) {
    if (k > 0) s += group[k - 1].and_or > 0 ? " OR " : " AND ";
    s += group[k].text;
  }
  return inner && group.size() > 1 ? "(" + s + ")" : s;
}

bool ParameterParser::CloseGroup() {
  if (groups_.size() < 2) return false;
  const Group group = std::move(groups_.back());
  groups_.pop_back();
  if (group.empty()) return false;
  groups_.back().push_back({Joined(group, true), -1});
  return true;
}

void ParameterParser::Run(std::string text) {
  text = Trim(text);
  while (!text.empty()) {
    while (StartsWith(text, "(")) {
      groups_.emplace_back();
      text = Trim(text.substr(1));
    }
    const size_t end = ConditionEnd(text);
    std::string condition = Trim(text.substr(0, end));
    text = end == std::string::npos ? "" : Trim(text.substr(end));
    int and_or = 0;
    if (EndsWith(condition, " OR")) {
      and_or = 1;
      condition = Trim(condition.substr(0, condition.size() - 3));
    } else if (EndsWith(condition, " AND")) {
      and_or = -1;
      condition = Trim(condition.substr(0, condition.size() - 4));
    }
    int closes = 0;
    while (StartsWith(text, ")")) {
      ++closes;
      text = Trim(text.substr(1));
    }
    if (StartsWith(text, "OR ")) {
      and_or = 1;
      text = Trim(text.substr(3));
    } else if (StartsWith(text, "AND ")) {
      and_or = -1;
      text = Trim(text.substr(4));
    }
    if (and_or == 0) and_or = -1;
    // The member the connector follows: this condition, or the group its ")" closed.
    bool pushed = false;
    if (const std::optional<std::string> written = Condition(condition, and_or)) {
      groups_.back().push_back({*written, -1});
      pushed = true;
    }
    for (int c = 0; c < closes; ++c) pushed = CloseGroup();
    if (pushed) groups_.back().back().and_or = and_or;
  }
  while (groups_.size() > 1) CloseGroup();
}

std::optional<std::string> ParameterParser::Condition(std::string condition, int and_or) {
  const size_t first = condition.find('%');
  if (first != std::string::npos) condition = condition.substr(first + 1);
  const size_t pct = condition.find('%');
  const size_t blank = condition.find(' ');
  size_t end;
  size_t rest;
  if (pct != std::string::npos && (blank == std::string::npos || pct < blank)) {
    end = pct;
    rest = pct + 1;
  } else if (blank != std::string::npos) {
    // The blank stays: "X.Y IS NULL" must not become "X.YIS NULL".
    end = blank;
    rest = blank;
  } else {
    return std::nullopt;
  }
  std::string path = Trim(condition.substr(0, end));
  if (StartsWithNoCase(path, kOwnerPrefix)) path = path.substr(std::string(kOwnerPrefix).size());
  std::string comparison = condition.substr(rest);
  if (path.empty() || !Accepted(path, comparison)) return std::nullopt;

  // Balanced before the sub-select is written, so the quote closes inside its parentheses.
  if (!comparison.empty() && std::count(comparison.begin(), comparison.end(), '\'') % 2 == 1) {
    comparison += "'";
  }
  std::string table;
  const std::optional<std::string> sub_select = SubSelect(path, comparison, &table);
  if (!sub_select) {
    // Written as it stands it would be an SQL error; the rule selects as if it were absent.
    log_.AddLogAndSeparator("Warning: Rule parameter path " + path +
                            " is not known to the data dictionary - the condition is ignored");
    return std::nullopt;
  }
  if (!table.empty()) out_.tables.push_back(table);
  const int depth = static_cast<int>(groups_.size()) - 1;
  log_.AddLogAndSeparator("Adding qualifier: " + *sub_select + " as level " + Number(depth) +
                          " with AndOr value " + Number(and_or));
  out_.qualifiers.push_back({path, comparison, Number(depth), Number(and_or), *sub_select});
  // A one-hop path names the PROFILE column ("DOCUMENTTYPE.TYPE_ID"), which is not always
  // the table it leads to (DOCUMENTTYPES): write the table the statement actually has.
  const bool nested = std::count(path.begin(), path.end(), '.') > 1;
  std::string plain = path + comparison;
  const size_t dot = path.find('.');
  if (dot != std::string::npos && !nested && !table.empty()) {
    plain = table + path.substr(dot) + comparison;
  }
  written_.push_back(UCase(nested ? *sub_select : plain));
  return written_.back();
}

bool ParameterParser::Accepted(const std::string& path, const std::string& comparison) {
  const std::string first = path.substr(0, path.find('.'));
  const bool links = !parsed_.links.empty();
  std::string foreign;
  if (links && path.find('.') != std::string::npos) {
    foreign = UCase(Trim(dictionary_.ProfileForeignTable(first)));
  }
  log_.AddLogAndSeparator("Checking for match on syntax qualifier " + path +
                          (foreign.empty() ? "" : " (" + foreign + ")"));
  bool accepted = false;
  for (const TemplateItem& item : parsed_.items) {
    const std::string item_first = ItemFirstPart(item.Text);
    if (item_first == first) {
      log_.AddLog("Found Internal qualifier: " + first + " (" + path + ")");
      accepted = true;
      break;
    }
    if (links && !foreign.empty() &&
        (foreign == item.Table || foreign == item.LinkTable || foreign == item_first)) {
      log_.AddLog("Found External qualifier: " + foreign + " (" + path + ")" + comparison);
      accepted = true;
      break;
    }
  }
  if (!accepted && links && foreign.empty() && first != "PROFILE") accepted = true;
  log_.Separator();
  return accepted;
}

std::optional<std::string> ParameterParser::SubSelect(const std::string& path,
                                                      const std::string& comparison,
                                                      std::string* table) {
  const std::vector<std::string> parts = text::Split(path, ".");
  std::string current = "PROFILE";
  std::string s;
  int nesting = 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string column = UCase(parts[i]);
    if (current != "PROFILE") {
      s += std::string(kOwnerPlaceholder) + "." + current + "." + column + " IN (";
      ++nesting;
    }
    const std::optional<ForeignKey> key = Hop(column, current);
    if (!key) {
      if (parts.size() > 2) return std::nullopt;
      break;
    }
    current = UCase(key->table);
    if (i == 0) *table = current;
    if (!s.empty()) {
      s +=
          "SELECT " + UCase(key->column) + " FROM " + kOwnerPlaceholder + "." + current + " WHERE ";
    }
  }
  if (parts.size() == 2 && table->empty()) *table = UCase(parts[0]);
  return s + parts.back() + comparison + std::string(static_cast<size_t>(nesting), ')');
}

RuleParameters ParameterParser::Finish() {
  if (out_.qualifiers.empty()) {
    log_.AddLogAndSeparator(
        "Notice: There are no rule qualifiers to compare - none of the rule values are "
        "associated with the template.");
    return out_;
  }
  for (size_t k = 0; k < out_.qualifiers.size(); ++k) {
    const RuleQualifier& q = out_.qualifiers[k];
    log_.AddLogAndSeparator("Adding Select column " + written_[k]);
    log_.AddLogAndSeparator(std::string("Qualifier for this Select column will be") +
                            (text::Val(q.AndOr) > 0 ? " OR " : " AND "));
  }
  out_.text = " (" + Joined(groups_.front(), false) + ")";
  return out_;
}

}  // namespace

RuleParameters ParseRuleParameters(std::string_view rule_values, const ParsedTemplate& parsed,
                                   const std::string& library, const text::DateTime& today,
                                   ForeignKeyCache& cache, DataDictionary& dictionary,
                                   log::Log& log) {
  log.SetStatus("Parsing Rule Syntax " + std::string(rule_values));
  log.Separator();
  const std::string text = ReplaceRelativeDates(UCase(Trim(rule_values)), today, log);
  ParameterParser parser(parsed, library, cache, dictionary, log);
  parser.Run(text);
  return parser.Finish();
}

}  // namespace sproutsmith::templ
