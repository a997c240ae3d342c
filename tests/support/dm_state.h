#pragma once
// What cycles left in a library, as a text two runs can be compared by: every folder by its
// place in the tree (never by the numbers the DM server handed out) with its profile columns,
// stamp, public entry, trustees and items in display order; every user's workspaces (their
// items by name: a row finished a cycle late is added last); the
// document queue; the tracking rows; and the rows still waiting to be finished. Two runs that
// built the same tree give the same text; a second folder, a missing step or a lost row shows.

#include <string>

#include "platform/sql/database.h"

namespace sproutsmith::testing {

std::string LibraryState(sql::Database& db);

}  // namespace sproutsmith::testing
