#pragma once
// Linking an item (a subfolder or a document, possibly of another library) into a parent
// folder through the parent folder object, after cheap SQL checks and the DM rights checks;
// then the parent is re-sorted and the rule's metadata and security inheritance applied.

#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::folders {

// Links `item` into its parent folder (an empty parent library is the connected one, an
// empty item library the parent's). `doc_type` "F" for a folder item. `rule` supplies
// RULE_PROFILE_INHERIT_SECURITY and RULE_SECURITY. True when the item is (now or already) in
// the folder and everything that follows a link succeeded. An existing link ends the call at
// once, unless `complete_when_linked`: then the steps that follow a link run on it (for an
// item whose earlier link was broken off before they ran).
bool AddFolderItem(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
                   const std::string& doc_type, const rules::RuleRecord& rule,
                   bool complete_when_linked = false);

}  // namespace sproutsmith::folders
