#pragma once
// Users' DM workspaces as an administrator wants to see them without SQL: the REGISTRY
// property tree of a library (WORKSPACES subtree per user, a subtree per workspace, an
// entry per item with its properties), read back user by user.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi {

inline constexpr char kWorkspacesHelp[] = R"(Usage: sproutsmith-dm workspaces LIBRARY

Lists the DM workspaces kept in a library of the installation, user by user, each
workspace with its items in their order:
  USER_ID
    WORKSPACE NAME
      ORDERNUMBER. ITEM NAME #LINKID LIBRARY
A workspace or item that lacks some of its property rows is marked
"[incomplete: N of M properties]"; a missing value shows as "?".
)";

struct WorkspaceItemEntry {
  long long system_id = 0;
  std::string name;  // the NAME property, else the entry's own DATA
  std::string link_id;
  std::string library;
  std::string order_number;
  int properties = 0;  // of the 7 an item has
};

struct UserWorkspace {
  long long system_id = 0;
  std::string name;
  int properties = 0;                     // of the 5 a workspace has
  std::vector<WorkspaceItemEntry> items;  // by ORDERNUMBER, those without one last
};

struct UserWorkspaces {
  std::string user_id;                    // "#<PEOPLE.SYSTEM_ID>" when the person is gone
  std::vector<UserWorkspace> workspaces;  // by name
};

// Fails when the library cannot be read. Users by user id.
Status ReadWorkspaces(sql::Database& db, std::vector<UserWorkspaces>* users);

std::string FormatWorkspaces(const std::vector<UserWorkspaces>& users);

// Opens a library of the installation by name; nullptr after writing why to `err`.
using LibraryOpener =
    std::function<std::unique_ptr<sql::Database>(const std::string& library, std::ostream& err)>;

// The "workspaces" command of sproutsmith-dm (args[0] is the command's name).
int ListWorkspaces(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const LibraryOpener& open);

}  // namespace sproutsmith::dmapi
