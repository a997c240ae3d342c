#pragma once
// Profile metadata between a parent folder and an item just linked into it: values the
// parent has are copied down, then values the item has are copied up; each side saved once.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::folders {

bool SyncData(Context& context, dm::Connection& connection, long long parent, long long doc_number,
              const std::string& folder_library, const std::string& doc_type,
              const std::string& item_library);

// A diagnostic while errors are displayed: notes when the library object belongs to another
// library than `library`.
void CDoc(Context& context, dm::Connection& connection, const std::string& library);

}  // namespace sproutsmith::folders
