#pragma once
// The HOLLOWBRINK site's own profile update of every new folder: a top folder named after a
// client gets that client's first matter, a second-level folder the matter its name gives,
// and each lookup column of the site (DIVISION, ATTY) its default row.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::folders {

// A PROFILE column of the site that takes a default row of its lookup table.
struct SiteLookup {
  std::string column;       // DIVISION or ATTY
  std::string table;        // its lookup table
  std::string key_column;   // the lookup table's key column
  std::string default_key;  // "SP" / "DMADMIN"
  // "<column> = (SELECT SYSTEM_ID FROM ...)"; "" when a part of it is unknown.
  std::string assignment;
};

// The site's lookups, read from the connected library's data dictionary; none at any other
// site. Read once when Go is pressed.
std::vector<SiteLookup> ReadSiteLookups(Context& context, dm::Connection& connection);

// The site's update of new folder `folder` (at `level`) in the connected library.
void UpdateSiteProfile(Context& context, dm::Connection& connection, const std::string& rule,
                       const std::vector<SiteLookup>& lookups, int level, long long folder);

}  // namespace sproutsmith::folders
