#pragma once
// The rule parameter language (RULE_VALUES): conditions on the template's foreign-key paths,
// for example "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001' OR %DOCUMENTTYPE.TYPE_ID% = 'MEMO'",
// joined by AND and OR, with parentheses and relative dates "%TODAY-7%". Only conditions
// that belong to the template are kept; multi-hop paths become nested IN sub-selects.

#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"
#include "template/foreign_keys.h"
#include "template/template_item.h"
#include "text/datetime.h"

namespace sproutsmith::templ {

struct RuleQualifier {
  std::string Path;
  std::string Comparison;
  std::string Level;
  std::string AndOr;  // "1": followed by OR; "-1": followed by AND
  std::string SubSelect;
};

struct RuleParameters {
  // " (" + conditions joined by their connectors + ")", or "" when none was accepted.
  std::string text;
  std::vector<RuleQualifier> qualifiers;
  // Tables the conditions name outside their sub-selects: the statement must reach them.
  std::vector<std::string> tables;
};

// `library` keys the foreign-key cache. Narrated in `log`; never fails (conditions that
// cannot be read are dropped).
RuleParameters ParseRuleParameters(std::string_view rule_values, const ParsedTemplate& parsed,
                                   const std::string& library, const text::DateTime& today,
                                   ForeignKeyCache& cache, DataDictionary& dictionary,
                                   log::Log& log);

}  // namespace sproutsmith::templ
