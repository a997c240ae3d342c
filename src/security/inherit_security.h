#pragma once
// An item linked into a folder takes over the folder's trustees. The folder's rows are read
// in the folder's library and written for the item in the item's own library, each user and
// group found there by its id; the connected library is left as it was found.
//
// Fails closed: the item's profile is secured before its trustee rows are removed and
// rewritten, so an operation stopped part-way leaves it with fewer trustees, never open.

#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
#include "log/context.h"
#include "security/security_result.h"

namespace sproutsmith::security {

// `item` and the folder it is linked into (either library empty: the connected one).
// kApplied: the item is secured with its author and typist and the folder's trustees.
// kNothingToApply: the folder has no trustee row, or none with rights; the item is unchanged.
// kFailed: refused, or a statement or library switch failed (applying again completes it).
SecurityResult InheritSecurity(Context& context, dm::Connection& connection,
                               const dm::ItemPlace& item);

}  // namespace sproutsmith::security
