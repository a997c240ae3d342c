#pragma once
// A rule as the processing cycle hands it to template compilation: its values trimmed, its
// own saved statement, and the saved statement a run re-uses. The cycle and the dry run of
// a rule (sproutsmith-admin preview) both start from here, so they compile the same thing.

#include <string>

#include "rules/rule_record.h"
#include "rules/rule_store.h"

namespace sproutsmith::app {

// The rule's values as the cycle uses them: every text trimmed.
rules::RuleRecord TrimmedCopy(const rules::RuleRecord& record);
// The rule's own saved statement: its pieces joined, blanks restored, trimmed.
std::string SavedStatementOf(const rules::RuleRecord& record);

struct ReuseChoice {
  std::string statement;  // "" when nothing is re-used
  int index = 0;          // its entry in the saved-statement list; 0 when nothing is re-used
};

// With re-use switched on: the statement a run of `rule` in `library` re-uses. The list's
// entry may replace `*saved` (an entry emptied after an SQL error empties it too), and a
// rule's own SELECT is added to the list when it has no entry yet.
ReuseChoice ChooseReusedStatement(rules::RuleStore& store, const std::string& library,
                                  const std::string& rule, std::string* saved);

}  // namespace sproutsmith::app
