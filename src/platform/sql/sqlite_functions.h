#pragma once
// The functions every SQLite connection gets so that translated engine SQL runs: SQL
// Server's LIKE (replacing SQLite's), the clock functions behind GETDATE()/GETUTCDATE(),
// the server banner, the library owner, and SQL Server's CAST/TRY_CAST.

#include <functional>

#include "text/datetime.h"

struct sqlite3;

namespace sproutsmith::sql {

// Where the clock functions read the time. Owned by the connection's SqliteDatabase.
struct SqliteClock {
  std::function<text::DateTime()> local_now;
  std::function<text::DateTime()> utc_now;
};

// The machine's clock (local time and UTC).
SqliteClock SystemSqliteClock();

// Registers the functions on `db`. `clock` must outlive the connection.
// Returns SQLITE_OK or the first registration's error code.
int RegisterSqliteFunctions(sqlite3* db, const SqliteClock* clock);

}  // namespace sproutsmith::sql
