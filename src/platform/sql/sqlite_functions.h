#pragma once
// The functions every SQLite connection gets so that translated engine SQL runs: SQL
// Server's LIKE (replacing SQLite's), the clock functions behind GETDATE()/GETUTCDATE(),
// the server banner, the library owner, and SQL Server's CAST/TRY_CAST.

#include "platform/os/clock.h"

struct sqlite3;

namespace sproutsmith::sql {

// Where the clock functions read the time: the clock the connection was given, the
// machine's until then. Owned by the connection's SqliteDatabase; the registered functions
// hold its address, so it is neither copied nor moved.
class SqliteClock {
 public:
  SqliteClock() = default;
  SqliteClock(const SqliteClock&) = delete;
  SqliteClock& operator=(const SqliteClock&) = delete;

  // `clock` must outlive the connection.
  void Use(const os::Clock& clock) { clock_ = &clock; }
  const os::Clock& clock() const { return *clock_; }

 private:
  os::SystemClock system_;
  const os::Clock* clock_ = &system_;
};

// Registers the functions on `db`. `clock` must outlive the connection; null reads the
// machine's clock. Returns SQLITE_OK or the first registration's error code.
int RegisterSqliteFunctions(sqlite3* db, const SqliteClock* clock);

}  // namespace sproutsmith::sql
