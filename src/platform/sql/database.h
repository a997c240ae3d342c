#pragma once
// The one way the system reaches a library's database. A Database executes a text and
// keeps nothing but the connection (and a note that it was found busy): the result of an
// execution is a value the caller owns. Execution never throws: failures come back as an
// error code, a driver number and a description that carries the driver's bracketed
// prefixes ("[Sproutsmith][SQLite] ...").
//
// The text given here is already in the back end's own dialect; translation from the
// engine's Microsoft SQL Server / Oracle flavour happens above (see dialect/).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/status.h"

namespace sproutsmith::sql {

enum class Backend { kSqlite, kPostgres };

// The code of a statement that gave up because another program held a write lock on the
// database for longer than its busy wait (busy_wait.h), or a stop was asked for while it
// waited. SQLite's own SQLITE_BUSY; PostgreSQL's lock_not_available (55P03) reads as it too.
// The description keeps the driver's own text.
inline constexpr int kBusyCode = 5;

struct Value {
  enum class Type { kNull, kInteger, kReal, kText };
  Type type = Type::kNull;
  std::string text;  // canonical text; empty for NULL

  static Value Null() { return {}; }
  static Value Integer(long long v) { return {Type::kInteger, std::to_string(v)}; }
  static Value Real(double v);
  static Value Text(std::string v) { return {Type::kText, std::move(v)}; }

  bool IsNull() const { return type == Type::kNull; }
  // The leading number of the text (0 for NULL or non-numeric text).
  double AsNumber() const;
  long long AsInteger() const;
  friend bool operator==(const Value&, const Value&) = default;
};

struct ResultSet {
  std::vector<std::string> columns;      // headings exactly as the database names them
  std::vector<std::vector<Value>> rows;  // every row has columns.size() values
};

struct ExecResult {
  // Code 0 on success. Non-zero codes are the back end's primary result code (SQLite) or
  // an SQLSTATE class mapped to a number (PostgreSQL); never 9, which callers read as
  // success. The text carries the bracketed driver prefixes.
  Status status;
  long error_number = 0;        // driver-native number (extended SQLite code, ...)
  long long rows_affected = 0;  // INSERT/UPDATE/DELETE only; 0 after a query
  ResultSet result;

  bool ok() const { return status.ok(); }
};

class Database {
 public:
  virtual ~Database() = default;
  virtual Backend backend() const = 0;
  // Runs one statement (a trailing ";" is allowed).
  virtual ExecResult Execute(std::string_view sql) = 0;
  // The same for a statement whose "?" marks take `params` by position. Such a text is
  // expected to come again with other values: the back end keeps it prepared on this
  // connection (the most recently used few hundred texts).
  virtual ExecResult Execute(std::string_view sql, const std::vector<Value>& params) = 0;
  // Runs several statements separated by ";" (schema scripts); stops at the first failure.
  virtual ExecResult ExecuteScript(std::string_view script) = 0;
  // Grouping for DM operations that write several rows: all or nothing.
  virtual bool Begin() = 0;
  virtual bool Commit() = 0;
  virtual void Rollback() = 0;
  // Where the database lives, for messages ("/path/main.db", "dbname=... schema=...").
  virtual std::string Location() const = 0;
  // Held commits, for the many writes one row of work makes: while held, a write outside a
  // transaction begins one that stays open, and the transactions begun inside it become
  // savepoints (each DM operation stays all or nothing), until EndHeld makes it all durable
  // at once. Turning holding off commits what is held. A back end that cannot group writes
  // so commits each as before (the default).
  virtual void HoldCommits(bool /*on*/) {}
  // Commits (or, with `commit` false, rolls back) what is held; holding goes on. True when
  // nothing was held or it all became durable; false when the held writes are undone.
  virtual bool EndHeld(bool commit) { return commit; }
  // Whether a statement or a transaction gave up with kBusyCode since the last call, so
  // that the engine learns of it also through operations that only answer true or false.
  // Forgets it.
  virtual bool TakeBusy() = 0;
};

// Begins on construction; rolls back on destruction unless committed.
class Transaction {
 public:
  explicit Transaction(Database& db) : db_(db), active_(db.Begin()) {}
  ~Transaction() {
    if (active_) db_.Rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool active() const { return active_; }
  // A refused commit may leave the back end's transaction open (SQLite's COMMIT can fail
  // busy); it is rolled back so the next operation does not write into it.
  bool Commit() {
    if (!active_) return false;
    active_ = false;
    if (db_.Commit()) return true;
    db_.Rollback();
    return false;
  }

 private:
  Database& db_;
  bool active_;
};

}  // namespace sproutsmith::sql
