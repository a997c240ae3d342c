#pragma once
// A rule's security template applied to one item: its trustees resolved against the item's
// author and typist, written to SECURITY, and the profile switched to secured. Works in the
// item's library and leaves the connected library as it found it.
//
// Fails closed: the profile is secured before its trustee rows are touched, so an operation
// stopped part-way leaves the item secured with fewer trustees, never open to everyone.

#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
#include "log/context.h"
#include "rules/rule_record.h"
#include "security/security_result.h"

namespace sproutsmith::security {

// `rule` supplies the template (RULE_SECURITY) and RULE_APPEND_TRUSTEES. `doc_type` "F" for a
// folder; a document is secured only when the rule appends trustees. Of `item` only the
// number and library count (an empty library: the connected one).
// kApplied: trustee rows written, profile secured. kNothingToApply: the template named no
// trustee the item could get, or the item is a document the rule leaves alone; DEFAULT_RIGHTS
// is as it was. kFailed: refused, or a statement failed (applying again completes the set).
SecurityResult AddSecurity(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
                           const rules::RuleRecord& rule, const std::string& doc_type);

}  // namespace sproutsmith::security
