#pragma once
// The folder hierarchy of one library as the DM client would show it: public folders and
// folders no folder contains at the top, each folder's items in display (NEXT chain) order.

#include <string>
#include <vector>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi {

struct FolderNode {
  long long document_number = 0;
  std::string name;
  bool is_public = false;
  long trustees = 0;                        // SECURITY rows of the folder's profile
  std::vector<std::string> trustee_rights;  // "USER_OR_GROUP RIGHTS", by name
  long documents = 0;                       // non-folder items of this library
  std::vector<std::string> remote_items;    // "LIBRARY #n name"
  std::vector<FolderNode> children;
};

// Fails when the library cannot be read.
Status ReadFolderTree(sql::Database& db, std::vector<FolderNode>* roots);

// One line per folder, two blanks of indent per level:
//   CLIENTS #1001 [public] trustees=0
//     C0001 #1005 trustees=2 (DMADMIN 191, DOCS_USERS 63) documents=3
std::string FormatFolderTree(const std::vector<FolderNode>& roots);

}  // namespace sproutsmith::dmapi
