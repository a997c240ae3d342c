#pragma once
// A rule's security template applied to one item: its trustees resolved against the item's
// author and typist, written to SECURITY, and the profile switched to secured. Works in the
// item's library and leaves the connected library as it found it.

#include <string>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::security {

// `rule` supplies RULE_APPEND_TRUSTEES. `doc_type` "F" for a folder. True when the template
// was applied (or named no trustee).
bool AddSecurity(Context& context, dm::Connection& connection, long long doc_number,
                 const std::string& security_template, const rules::RuleRecord& rule,
                 const std::string& doc_type, const std::string& folder_library,
                 const std::string& item_library);

}  // namespace sproutsmith::security
