#pragma once
// New folders in DM users' workspaces: the REGISTRY property tree of the user's primary
// library (WORKSPACES subtree, one subtree per workspace, one entry per item). What was
// learnt about a user and workspace is kept for the program run.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::workspaces {

class Workspaces {
 public:
  Workspaces(Context& context, dm::Connection& connection);

  // Puts folder `doc_number` (named `item`, living in `folder_library`) into the workspace of
  // `user_id`; the name may carry %USER_ID%, %AUTHOR%, %TYPIST% and primary-group tokens.
  // True when the item is in the workspace afterwards.
  bool AddToWorkspace(const std::string& item, long long doc_number, const std::string& user_id,
                      const std::string& workspace_name, const std::string& folder_library);

  struct CachedUser {
    std::string user_id;
    std::string primary_library;
    long long people_id = 0;
    long long workspaces_id = 0;
    long long workspace_id = 0;
    std::string email;
    std::string workspace_upper;
  };

 private:
  Context& context_;
  dm::Connection& connection_;
  std::vector<CachedUser> cache_;
};

}  // namespace sproutsmith::workspaces
