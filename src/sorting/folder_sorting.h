#pragma once
// A folder's items in display-name order: the FOLDER_ITEM NEXT chain and ISFIRST flag in the
// folder's library (pass 1) and the items' copies in their own libraries (pass 2). Only rows
// that differ are written; folders over the item limit are left alone.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::sorting {

// `sort_item_count`: 0 no limit, 1 sorting off, N >= 2 leaves folders of more than N items.
// `parent` 0 sorts every folder of the library that has items. False when sorting failed;
// sorting switched off is done at once and true.
bool SortFolders(Context& context, dm::Connection& connection, long long parent,
                 const std::string& folder_library, long sort_item_count);
bool SortThisFolder(Context& context, dm::Connection& connection, long long parent,
                    const std::string& folder_library, long sort_item_count);

}  // namespace sproutsmith::sorting
