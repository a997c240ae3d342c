#pragma once
// A library opened the way the client opens it, for the checks an administrator runs from
// outside the engine (sproutsmith-admin): when the installation's user cannot work in it,
// the reason says what is wrong in words that point at the fix.

#include <memory>
#include <string>

#include "platform/dmapi/installation.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi {

// The library's database; null with *reason when its file is missing or not readable and
// writable, it cannot be opened, it holds no DM library, or the installation's user is not
// one of its PEOPLE.
std::unique_ptr<sql::Database> OpenLibraryForUser(const InstallationConfig& config,
                                                  const LibraryConfig& library,
                                                  std::string* reason);

}  // namespace sproutsmith::dmapi
