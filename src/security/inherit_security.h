#pragma once
// An item linked into a folder takes over the folder's trustees, in the connected library.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::security {

// True when the item's security was set, or when the parent's trustee rows carry no rights.
bool InheritSecurity(Context& context, dm::Connection& connection, long long doc_number,
                     long long parent, const std::string& folder_library);

}  // namespace sproutsmith::security
