#pragma once
// Libraries on a PostgreSQL server: one database per library, the library owner as the
// schema its tables live in (first on the search path, with "public" behind it for the
// helper functions and views the translated engine SQL relies on).
//
// Errors carry "[Sproutsmith][PostgreSQL] " before the server's message; the code is the
// SQLSTATE class as a number (class 42 -> 42, a class with letters -> 1), never 0 or 9;
// the driver number is the whole SQLSTATE read in base 36. "?" marks parameters as it does
// on every back end. A statement with parameters becomes a named prepared statement of the
// connection, prepared once for its text and the kinds of its values (a whole number is
// typed int4 or int8 as the server types such a literal, text is left for the server to
// type from the statement); a new connection after a lost one prepares them again.
//
// A lock another connection holds is waited for in slices of at most a second (the
// server's lock_timeout). Outside an explicit transaction a statement refused that way is
// run again until its busy wait (busy_wait.h) is used up or a stop is asked for; inside one
// it fails at the first refusal (the server has broken the transaction off). Either way it
// fails with kBusyCode.

#include <memory>
#include <string>
#include <utility>

#include "platform/os/clock.h"
#include "platform/sql/busy_wait.h"
#include "platform/sql/database.h"
#include "platform/sql/nested_transactions.h"
#include "platform/sql/lru_cache.h"

struct pg_conn;

namespace sproutsmith::sql {

class PostgresDatabase final : public Database {
 public:
  // Connects with a libpq connection string ("host=/run/pg dbname=lib1 user=dm") and puts
  // `schema` first on the search path (unquoted: DOCSADM is the schema docsadm). Null with
  // *status set (driver prefix and the connection's target) when the server refuses.
  static std::unique_ptr<PostgresDatabase> Open(const std::string& connection,
                                                const std::string& schema, Status* status,
                                                BusyWait busy_wait = {});
  ~PostgresDatabase() override;
  PostgresDatabase(const PostgresDatabase&) = delete;
  PostgresDatabase& operator=(const PostgresDatabase&) = delete;

  Backend backend() const override { return Backend::kPostgres; }
  ExecResult Execute(std::string_view sql) override;
  ExecResult Execute(std::string_view sql, const std::vector<Value>& params) override;
  ExecResult ExecuteScript(std::string_view script) override;
  // Nested transactions, and those begun while commits are held, are savepoints.
  bool Begin() override;
  bool Commit() override;
  void Rollback() override;
  // A statement that fails at the held transaction's own level breaks it off on this
  // server: what it held is rolled back at once, and writes are refused until EndHeld
  // reports the loss (as a lost SQLite transaction is).
  void HoldCommits(bool on) override;
  bool EndHeld(bool commit) override;
  std::string Location() const override;
  bool TakeBusy() override { return std::exchange(busy_noted_, false); }

  // The clock the server-time functions answer from on this connection (the client's, so
  // SQL dates agree with the engine's log); the server's own clock until set. `clock` must
  // outlive the connection.
  void SetClock(const os::Clock& clock) { clock_ = &clock; }

  // Named prepared statements kept per connection.
  static constexpr size_t kPreparedStatements = 512;
  // How many statements were prepared on the server so far.
  long long statements_prepared() const { return statements_prepared_; }

 private:
  PostgresDatabase(pg_conn* conn, std::string database, std::string schema, BusyWait busy_wait);
  // The session's settings: search path, date style, lock wait. Again after a reconnection.
  ExecResult Configure();
  // `prepared`: keep the statement prepared (params must be given).
  ExecResult Run(std::string_view sql, const std::vector<Value>* params, bool prepared);
  // One statement, opening the held transaction first when it may write.
  ExecResult RunStatement(std::string_view sql, const std::vector<Value>& params, bool prepare);
  ExecResult RunOnce(std::string_view sql, const std::vector<Value>* params, bool prepared);
  // Hands the clock's reading to the server before a text that asks for the time.
  void ShareClock(std::string_view sql);
  // Runs a transaction-control statement; false when the server refused it.
  bool Control(const std::string& sql);
  // Begins the held transaction before the first write; false (with *failure) when it
  // cannot, or when held writes were lost and not yet reported.
  bool OpenHeld(ExecResult* failure);
  // After a failed statement: a held transaction broken off at its own level is over.
  void NoteBrokenTransaction();

  pg_conn* conn_;
  std::string database_;
  std::string schema_;
  const os::Clock* clock_ = nullptr;
  BusyWaiter busy_;
  bool busy_noted_ = false;
  // Statement names by the kinds of the values and the text.
  LruCache<std::string> statements_;
  long long statements_prepared_ = 0;
  NestedTransactions tx_{[this](const std::string& sql) { return Control(sql); }, "BEGIN"};
};

// Creates the empty database `name` (taken as written, small letters advised) on the server
// `server_connection` reaches (a connection string without dbname; the maintenance
// database "postgres" is used for the command). Fails when it exists.
Status CreatePostgresDatabase(const std::string& server_connection, const std::string& name);

// "DOCSADM" as PostgreSQL stores an unquoted name: docsadm.
std::string FoldedName(const std::string& name);

}  // namespace sproutsmith::sql
