#pragma once
// Whose workspaces a new folder goes into: the author and typist of the document a row was
// selected from, the people and group members the row's links name, and the members of the
// rule's workspace group.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "template/selection_builder.h"

namespace sproutsmith::workspaces {

struct UserSources {
  int level = 0;         // the new folder's level
  int author_level = 0;  // the rule's workspace author level: links and the group serve it
  int typist_level = 0;  // the rule's workspace typist level
  // The level at which the source document's author and typist are asked (with its PROFILE
  // SYSTEM_ID; 0: no such document).
  int profile_level = 0;
  long long source_profile = 0;
  templ::WorkspaceLink people_link, group_link;
  std::string people_value, group_value;  // the row's values for the links ("": none)
  std::string group;                      // the rule's workspace group ("": none)
};

// The users, each once, in the order found; read in the connected library.
std::vector<std::string> WorkspaceUsers(Context& context, dm::Connection& connection,
                                        const UserSources& sources);

}  // namespace sproutsmith::workspaces
