#include "template/sql_names.h"

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::templ {

std::string QuoteLiteral(const std::string& name) { return text::Replace(name, "'", "''"); }

std::string RuleNamePattern(const std::string& rule_name) {
  return dm::LikeLiteral(text::UCase(dm::SqlQuote(rule_name)));
}

}  // namespace sproutsmith::templ
