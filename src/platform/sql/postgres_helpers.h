#pragma once
// What a PostgreSQL library database holds besides the DM tables, so that translated engine
// SQL runs there: the citext type of the case-insensitive columns, the DATETIME domain, the
// functions and catalog views named in dialect/standin_functions.h. They live in "public",
// behind the owner's schema on the search path.

#include <string>

namespace sproutsmith::sql {

// Before the tables: the extension and the domain their columns use.
std::string PostgresTypesScript();
// The functions; safe to run again (it replaces what it made before).
std::string PostgresFunctionsScript();
// After the tables (the views read REMOTE_LIBRARIES): the catalog views. Safe to run again.
std::string PostgresCatalogScript();

}  // namespace sproutsmith::sql
