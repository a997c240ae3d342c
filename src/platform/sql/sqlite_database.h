#pragma once
// The embedded back end: one SQLite file per library. WAL journal and synchronous=NORMAL,
// so that several processes (several "computers") can share one file; a statement that
// finds the file locked by another writer waits for it in slices of at most 100 ms, up to
// its busy wait (busy_wait.h), then fails with kBusyCode.
//
// Every connection carries the functions translated engine SQL relies on (see
// sqlite_functions.h): LIKE behaves as SQL Server's, GETDATE()/GETUTCDATE() read this
// object's clock. "..." is always a name, never a string, as on SQL Server with
// QUOTED_IDENTIFIER ON: a misspelt quoted column is an error rather than a constant.

#include <memory>
#include <string>
#include <utility>

#include "platform/os/clock.h"
#include "platform/sql/busy_wait.h"
#include "platform/sql/database.h"
#include "platform/sql/nested_transactions.h"
#include "platform/sql/lru_cache.h"
#include "platform/sql/sqlite_functions.h"
#include "text/datetime.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sproutsmith::sql {

class SqliteDatabase final : public Database {
 public:
  // Opens (creating when `create` is set) the file. Returns null and sets `error` (with the
  // driver prefix and the path) when the file cannot be opened or is not a database.
  static std::unique_ptr<SqliteDatabase> Open(const std::string& path, bool create,
                                              std::string* error = nullptr,
                                              BusyWait busy_wait = {});
  ~SqliteDatabase() override;
  // The registered functions hold the address of this object's clock.
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  Backend backend() const override { return Backend::kSqlite; }
  // One statement only: a text holding a second statement is refused before anything runs.
  ExecResult Execute(std::string_view sql) override;
  ExecResult Execute(std::string_view sql, const std::vector<Value>& params) override;
  ExecResult ExecuteScript(std::string_view script) override;
  // Nested transactions are savepoints.
  bool Begin() override;
  bool Commit() override;
  void Rollback() override;
  void HoldCommits(bool on) override;
  bool EndHeld(bool commit) override;
  std::string Location() const override { return path_; }
  bool TakeBusy() override { return std::exchange(busy_noted_, false); }

  sqlite3* handle() const { return db_; }
  // The most of the file kept in memory; pages are only taken as they are read.
  void SetPageCache(int megabytes);

  // Statements with parameters kept prepared on the connection.
  static constexpr size_t kPreparedStatements = 512;
  // How many statements were prepared (compiled) so far.
  long long statements_prepared() const { return statements_prepared_; }

  // The clock GETDATE() (local) and GETUTCDATE()/SYSDATE (UTC) read on this connection: the
  // engine's own, so SQL dates agree with its log and a test's fixed clock. The system clock
  // until set; `clock` must outlive the connection.
  void SetClock(const os::Clock& clock);

 private:
  SqliteDatabase(sqlite3* db, std::string path, BusyWait busy_wait);
  // The failure of `code`; notes a busy one.
  ExecResult Failure(int code);
  // SQLite's busy handler: `attempts` is 0 at the first refusal of a statement.
  static int OnBusy(void* self, int attempts);
  // Runs a transaction control statement; notes a busy failure.
  bool Control(const std::string& sql);
  // Before a statement that writes: opens the held transaction. A failure (with the reason)
  // when it cannot, or when SQLite rolled the held writes back on its own.
  bool OpenHeld(ExecResult* failure);
  // After a statement: SQLite rolls a transaction back by itself after some errors (a full
  // disk, an I/O error); whatever was open is then gone.
  void NoteLostTransaction();

  ExecResult Run(std::string_view sql, const std::vector<Value>& params, bool reuse);
  // The statement for `sql`: from the cache when it is to be reused (`reuse`), else prepared
  // now. Null with *failure set when it cannot be prepared; *cached tells whether the
  // caller must finalize it.
  sqlite3_stmt* Prepare(std::string_view sql, bool reuse, bool* cached, ExecResult* failure);

  sqlite3* db_;
  LruCache<sqlite3_stmt*> statements_;
  long long statements_prepared_ = 0;
  std::string path_;
  SqliteClock clock_;  // read by the registered clock functions
  BusyWaiter busy_;
  bool busy_noted_ = false;
  NestedTransactions tx_{[this](const std::string& sql) { return Control(sql); },
                         "BEGIN IMMEDIATE"};
};

}  // namespace sproutsmith::sql
