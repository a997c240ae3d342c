#pragma once
// Names and values put into the statements' literals. A name from a template or a rule must
// never end a literal early or turn into a pattern.

#include <string>

namespace sproutsmith::templ {

// Every "'" doubled, nothing else changed.
std::string QuoteLiteral(const std::string& name);

// The rule name as the tracking statements match it with UPPER(RULE_NAME) LIKE: trimmed,
// quoted and upper-cased, with "[", "_" and "%" escaped so they match only themselves.
std::string RuleNamePattern(const std::string& rule_name);

}  // namespace sproutsmith::templ
