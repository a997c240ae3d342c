#pragma once
// The rule template language. A template names the folder path built for each source row,
// level by level: "%FIRM MATTERS% %\% %MATTER.CLIENT_ID.CLIENT_ID% %\% %MATTER.MATTER_ID%".
// Tokens between "%" signs are literal names, keywords (DATE, LIBRARY, ...), separators, or
// foreign-key paths starting at PROFILE; "<...>" tokens are external links; "{name}" puts
// the following levels in another library; text outside tokens is a literal name.

#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"
#include "rules/rule_record.h"
#include "template/foreign_keys.h"
#include "template/template_item.h"
#include "text/datetime.h"

namespace sproutsmith::templ {

// What the keywords and library prefixes resolve to.
struct TemplateEnvironment {
  std::string library_name;         // the connected library
  std::string library_description;  // its description
  std::string processing_library;   // the library being processed (folder library, cache key)
  std::vector<std::string> session_libraries;
  std::string owner;  // LibraryOwner
  text::DateTime today;
};

// The template text `template_text` compiled into `out`. Keywords found in the template are
// also replaced in `*email_template` (when given). Foreign-key hops come from `cache`, else
// from `dictionary`. False (with "Notice: Unable to parse template string - cannot
// continue" logged) when the template yields no item or names an unknown library.
bool ParseTemplateText(std::string_view template_text, std::string* email_template,
                       const TemplateEnvironment& env, ForeignKeyCache& cache,
                       DataDictionary& dictionary, log::Log& log, ParsedTemplate* out);

// ParseTemplateText over the rule's RULE_TEMPLATE (already cut to RULE_AUTOFOLDER_LEVEL by
// the cycle), narrated with the status line and the level count. The rule's in-memory
// RULE_EMAIL_TEMPLATE takes the keyword values. False: skip the rule.
bool ParseRuleTemplate(rules::RuleRecord& rule, const TemplateEnvironment& env,
                       ForeignKeyCache& cache, DataDictionary& dictionary, log::Log& log,
                       ParsedTemplate* out);

}  // namespace sproutsmith::templ
