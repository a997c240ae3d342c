#pragma once
// Libraries opened for an administrator's checks and dry runs (sproutsmith-admin): the
// reason a user cannot work in one, in words that point at the fix, and databases on which
// any write fails.

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

// Opens each library as OpenLibraryDatabase does, then makes every statement that would
// write fail: whatever a dry run's code would write, the library stays as it was.
DatabaseOpener ReadOnlyOpener();

}  // namespace sproutsmith::dmapi
