#include "app/rule_setup.h"

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::app {

using Key = rules::RuleKey;
using text::Trim;
using text::UCase;

rules::RuleRecord TrimmedCopy(const rules::RuleRecord& record) {
  rules::RuleRecord copy;
  for (int order = 1; order <= rules::kRuleKeyCount; ++order) {
    copy.Set(order, Trim(record.Get(order)));
  }
  return copy;
}

std::string SavedStatementOf(const rules::RuleRecord& record) {
  const std::string joined = Trim(record[Key::kSproutsmithSql1] + record[Key::kSproutsmithSql2] +
                                  record[Key::kSproutsmithSql3]);
  return Trim(dm::ExpandSpaces(joined));
}

ReuseChoice ChooseReusedStatement(rules::RuleStore& store, const std::string& library,
                                  const std::string& rule, std::string* saved) {
  ReuseChoice choice;
  const int found = store.FindSaved(library, rule);
  if (found > 0) {
    const std::string entry = Trim(store.Saved(found).statement);
    if (!saved->empty()) {
      *saved = entry;
      choice.statement = entry;
    } else if (text::StartsWith(UCase(entry), "SELECT ")) {
      choice.statement = entry;
    }
    if (!choice.statement.empty()) choice.index = found;
  } else if (text::StartsWith(UCase(*saved), "SELECT ")) {
    choice.index = store.SaveStatement(library, rule, *saved);
    choice.statement = *saved;
  }
  return choice;
}

}  // namespace sproutsmith::app
