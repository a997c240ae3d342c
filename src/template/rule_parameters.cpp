#include "template/rule_parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "template/table_list.h"
#include "text/text.h"

namespace sproutsmith::templ {

using text::EndsWith;
using text::Format;
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
    log.AddLog("Date String in rule parsed to " + date);
    log.Separator();
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

class ParameterParser {
 public:
  ParameterParser(const ParsedTemplate& parsed, const std::string& library, ForeignKeyCache& cache,
                  DataDictionary& dictionary, log::Log& log)
      : parsed_(parsed), library_(library), cache_(cache), dictionary_(dictionary), log_(log) {}

  void Run(std::string text);
  RuleParameters Finish();

 private:
  // One condition; false when it is dropped.
  void Condition(std::string condition);
  bool Accepted(const std::string& path, const std::string& comparison);
  // The IN sub-select text of `path`; `table` gets the outermost table it names.
  std::string SubSelect(const std::string& path, const std::string& comparison, std::string* table);
  std::optional<ForeignKey> Hop(const std::string& column, const std::string& table) {
    return LookupForeignKey(cache_, dictionary_, library_, column, table, log_);
  }

  const ParsedTemplate& parsed_;
  const std::string& library_;
  ForeignKeyCache& cache_;
  DataDictionary& dictionary_;
  log::Log& log_;
  int depth_ = 0;
  int and_or_ = 0;
  RuleParameters out_;
  std::vector<std::string> plain_texts_;  // per qualifier: its text for a path of one hop
};

void ParameterParser::Run(std::string text) {
  while (!Trim(text).empty()) {
    text = Trim(text);
    if (depth_ < 0) depth_ = 0;
    while (StartsWith(text, "(")) {
      ++depth_;
      text = Trim(text.substr(1));
    }
    std::string condition;
    if (depth_ != 0) {
      const size_t close = text.find(')');
      condition = Trim(text.substr(0, close));
      text = close == std::string::npos ? "" : text.substr(close + 1);
      --depth_;
    } else {
      const size_t a = text.find(" AND ");
      const size_t o = text.find(" OR ");
      if (a == std::string::npos && o == std::string::npos) {
        condition = text;
        text.clear();
      } else {
        const size_t at = std::min(a, o);
        condition = text.substr(0, at);
        text = text.substr(at + 1);
      }
    }
    // After a closing parenthesis the connector follows a blank.
    text = Trim(text);
    if (StartsWith(text, "OR ")) {
      and_or_ = 1;
      text = text.substr(3);
    } else if (StartsWith(text, "AND ")) {
      and_or_ = -1;
      text = text.substr(4);
    }
    if (EndsWith(condition, " OR")) {
      and_or_ = 1;
      condition.resize(condition.size() - 3);
    } else if (EndsWith(condition, " AND")) {
      and_or_ = -1;
      condition.resize(condition.size() - 4);
    }
    if (and_or_ == 0) and_or_ = -1;
    Condition(condition);
    text = Trim(text);
    if (text.empty()) break;
    while (depth_ != 0 && StartsWith(text, ")")) {
      --depth_;
      text = Trim(text.substr(1));
    }
    and_or_ = 0;
    if (StartsWith(text, "OR ")) {
      and_or_ = 1;
      text = text.substr(3);
    } else if (StartsWith(text, "AND ")) {
      and_or_ = -1;
      text = text.substr(4);
    }
  }
}

void ParameterParser::Condition(std::string condition) {
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
    return;
  }
  std::string path = Trim(condition.substr(0, end));
  if (StartsWithNoCase(path, kOwnerPrefix)) path = path.substr(std::string(kOwnerPrefix).size());
  std::string comparison = condition.substr(rest);
  if (path.empty() || !Accepted(path, comparison)) return;

  // Balanced before the sub-select is written, so the quote closes inside its parentheses.
  if (!comparison.empty() && std::count(comparison.begin(), comparison.end(), '\'') % 2 == 1) {
    comparison += "'";
  }
  std::string table;
  const std::string sub_select = SubSelect(path, comparison, &table);
  if (!table.empty()) out_.tables.push_back(table);
  log_.AddLog("Adding qualifier: " + sub_select + " as level " + Format(depth_, "#0") +
              " with AndOr value " + Format(and_or_, "#0"));
  log_.Separator();
  out_.qualifiers.push_back(
      {path, comparison, Format(depth_, "#0"), Format(and_or_, "#0"), sub_select});
  // A one-hop path names the PROFILE column ("DOCUMENTTYPE.TYPE_ID"), which is not always
  // the table it leads to (DOCUMENTTYPES): write the table the statement actually has.
  std::string plain = path + comparison;
  const size_t dot = path.find('.');
  if (dot != std::string::npos && path.find('.', dot + 1) == std::string::npos && !table.empty()) {
    plain = table + path.substr(dot) + comparison;
  }
  plain_texts_.push_back(plain);
}

bool ParameterParser::Accepted(const std::string& path, const std::string& comparison) {
  const std::string first = path.substr(0, path.find('.'));
  const bool links = !parsed_.links.empty();
  std::string foreign;
  if (links && path.find('.') != std::string::npos) {
    foreign = UCase(Trim(dictionary_.ProfileForeignTable(first)));
  }
  log_.AddLog("Checking for match on syntax qualifier " + path +
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

std::string ParameterParser::SubSelect(const std::string& path, const std::string& comparison,
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
    if (!key) break;
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
    log_.AddLog(
        "Notice: There are no rule qualifiers to compare - none of the rule values are "
        "associated with the template.");
    log_.Separator();
    return out_;
  }
  std::string text = " (";
  std::string connector;
  for (size_t k = 0; k < out_.qualifiers.size(); ++k) {
    const RuleQualifier& q = out_.qualifiers[k];
    if (k > 0) text += connector;
    const bool nested = std::count(q.Path.begin(), q.Path.end(), '.') > 1;
    const std::string column = UCase(nested ? q.SubSelect : plain_texts_[k]);
    log_.AddLog("Adding Select column " + column);
    text += column;
    log_.Separator();
    connector = text::Val(q.AndOr) > 0 ? " OR " : " AND ";
    log_.AddLog("Qualifier for this Select column will be" + connector);
    log_.Separator();
  }
  out_.text = text + ")";
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
