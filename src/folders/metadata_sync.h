#pragma once
// Profile metadata between a parent folder and an item just linked into it: values the
// parent has are copied down, then values the item has are copied up; each side saved once.

#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
#include "log/context.h"

namespace sproutsmith::folders {

// `item` just linked into its parent; both libraries named. `doc_type` "F" for a folder.
bool SyncData(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
              const std::string& doc_type);

// A diagnostic while errors are displayed: notes when the library object belongs to another
// library than `library`.
void CDoc(Context& context, dm::Connection& connection, const std::string& library);

}  // namespace sproutsmith::folders
