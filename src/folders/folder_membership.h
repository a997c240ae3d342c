#pragma once
// Linking an item (a subfolder or a document, possibly of another library) into a parent
// folder through the parent folder object, after cheap SQL checks and the DM rights checks;
// then the parent is re-sorted and the rule's metadata and security inheritance applied.

#include <string>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::folders {

// `doc_type` "F" for a folder item. `rule` supplies RULE_PROFILE_INHERIT_SECURITY and
// RULE_SECURITY. True when the item is (now or already) in the folder and everything that
// follows a link succeeded. An existing link ends the call at once, unless
// `complete_when_linked`: then the steps that follow a link run on it (for an item whose
// earlier link was broken off before they ran).
bool AddFolderItem(Context& context, dm::Connection& connection, long long doc_number,
                   long long parent, const std::string& doc_type, const rules::RuleRecord& rule,
                   const std::string& folder_library, const std::string& document_library,
                   bool complete_when_linked = false);

}  // namespace sproutsmith::folders
