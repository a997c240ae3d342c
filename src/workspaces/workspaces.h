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
  struct Request {
    std::string item;  // stored form
    long long doc_number = 0;
    std::string user;
    std::string workspace;  // tokens filled in, stored form
    std::string folder_library;
  };
  // One REGISTRY property row: NAME, DATATYPE, DATA.
  struct Property {
    const char* name;
    const char* data_type;
    std::string data;
  };

  bool Add(Request& r);
  std::string WorkspaceName(const std::string& name, const Request& r);
  bool FindUser(const Request& r, CachedUser& entry);
  bool FindWorkspaces(const Request& r, CachedUser& entry);
  bool FindWorkspace(const Request& r, CachedUser& entry);
  bool AddItem(const Request& r, long long workspace_id);
  enum class Written { kDone, kKeyMissing, kFailed };
  // Writes the property rows of `owner` and then the row that makes `owner` visible (and
  // findable by name), so that no look-up ever finds an entry without its properties; on any
  // failure removes what it wrote.
  Written WriteEntry(long long owner, const std::vector<Property>& properties,
                     const std::string& entry_insert);
  void Discard(long long owner);
  long long NewKey();
  void KeyMissing();
  // True when the statement wrote a row.
  bool Insert(const std::string& statement);

  Context& context_;
  dm::Connection& connection_;
  std::vector<CachedUser> cache_;
};

}  // namespace sproutsmith::workspaces
