#include "platform/sql/sqlite_database.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "text/text.h"

namespace sproutsmith::sql {

Value Value::Real(double v) {
  char buf[64];
  if (std::floor(v) == v && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
  } else {
    std::snprintf(buf, sizeof buf, "%.15g", v);
  }
  return {Type::kReal, buf};
}

double Value::AsNumber() const { return IsNull() ? 0.0 : text::Val(text); }
long long Value::AsInteger() const { return static_cast<long long>(std::llround(AsNumber())); }

namespace {

constexpr auto kBusySlice = std::chrono::milliseconds(100);
constexpr char kPrefix[] = "[Sproutsmith][SQLite] ";

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER:
      return Value::Integer(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      return Value::Real(sqlite3_column_double(stmt, i));
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return Value::Text(p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt, i)))
                           : std::string());
    }
  }
}

void Bind(sqlite3_stmt* stmt, int i, const Value& v) {
  switch (v.type) {
    case Value::Type::kNull:
      sqlite3_bind_null(stmt, i);
      break;
    case Value::Type::kInteger:
      sqlite3_bind_int64(stmt, i, v.AsInteger());
      break;
    case Value::Type::kReal:
      sqlite3_bind_double(stmt, i, v.AsNumber());
      break;
    case Value::Type::kText:
      sqlite3_bind_text(stmt, i, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
      break;
  }
}

// Whether the text after the first statement holds another one (not just blanks, comments
// and semicolons). Running only the first would drop the rest without a word.
bool HasSecondStatement(sqlite3* db, const char* tail, const char* end) {
  while (tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &rest);
    if (rc != SQLITE_OK || next != nullptr) {
      sqlite3_finalize(next);
      return true;
    }
    if (rest == tail) return false;
    tail = rest;
  }
  return false;
}

}  // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const std::string& path, bool create,
                                                     std::string* error, BusyWait busy_wait) {
  auto fail = [&](const std::string& message) {
    if (error) *error = std::string(kPrefix) + path + ": " + message;
    return nullptr;
  };
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    // SQLite says only "unable to open database file": the system knows why.
    if (!create && ::access(path.c_str(), R_OK | W_OK) != 0) message = std::strerror(errno);
    return fail(message);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  auto result = std::unique_ptr<SqliteDatabase>(new SqliteDatabase(db, path, std::move(busy_wait)));
  sqlite3_busy_handler(db, &SqliteDatabase::OnBusy, result.get());
  if (RegisterSqliteFunctions(db, &result->clock_) != SQLITE_OK) return fail(sqlite3_errmsg(db));
  // A file that is not a database shows here, on the first read.
  const ExecResult wal = result->Execute("PRAGMA journal_mode=WAL");
  if (!wal.ok()) return fail(sqlite3_errmsg(db));
  result->Execute("PRAGMA synchronous=NORMAL");
  result->Execute("PRAGMA foreign_keys=OFF");
  return result;
}

SqliteDatabase::SqliteDatabase(sqlite3* db, std::string path, BusyWait busy_wait)
    : db_(db),
      statements_(kPreparedStatements,
                  [](const std::string&, sqlite3_stmt*& stmt) { sqlite3_finalize(stmt); }),
      path_(std::move(path)),
      busy_(std::move(busy_wait)) {}

void SqliteDatabase::SetPageCache(int megabytes) {
  // A negative size is in KiB rather than pages.
  Execute("PRAGMA cache_size=-" + std::to_string(static_cast<long long>(megabytes) * 1024));
}

void SqliteDatabase::SetClock(const os::Clock& clock) { clock_.Use(clock); }

int SqliteDatabase::OnBusy(void* self, int attempts) {
  BusyWaiter& busy = static_cast<SqliteDatabase*>(self)->busy_;
  if (attempts == 0) busy.Start();
  if (!busy.TryAgain()) return 0;
  std::this_thread::sleep_for(busy.NextSlice(kBusySlice));
  return 1;
}

SqliteDatabase::~SqliteDatabase() {
  statements_.ForEach([](const std::string&, sqlite3_stmt* stmt) { sqlite3_finalize(stmt); });
  sqlite3_close_v2(db_);
}

sqlite3_stmt* SqliteDatabase::Prepare(std::string_view sql, bool reuse, bool* cached,
                                      ExecResult* failure) {
  *cached = false;
  if (reuse) {
    if (sqlite3_stmt** found = statements_.Find(sql)) {
      *cached = true;
      return *found;
    }
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  ++statements_prepared_;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail);
  if (rc != SQLITE_OK) {
    *failure = Failure(rc);
    return nullptr;
  }
  if (stmt == nullptr) return nullptr;  // only blanks or a comment
  if (HasSecondStatement(db_, tail, sql.data() + sql.size())) {
    sqlite3_finalize(stmt);
    failure->status.code = SQLITE_ERROR;
    failure->error_number = SQLITE_ERROR;
    failure->status.text = std::string(kPrefix) + "only one statement can be executed at a time";
    return nullptr;
  }
  if (reuse) {
    statements_.Put(sql, stmt);
    *cached = true;
  }
  return stmt;
}

ExecResult SqliteDatabase::Failure(int code) {
  ExecResult r;
  r.status.code = code & 0xff;
  busy_noted_ = busy_noted_ || r.status.code == SQLITE_BUSY;
  if (r.status.code == 9) r.status.code = SQLITE_ERROR;  // 9 means success to the engine
  r.error_number = code;
  r.status.text = std::string(kPrefix) + sqlite3_errmsg(db_);
  return r;
}

ExecResult SqliteDatabase::Execute(std::string_view sql) { return Run(sql, {}, false); }

ExecResult SqliteDatabase::Execute(std::string_view sql, const std::vector<Value>& params) {
  return Run(sql, params, true);
}

ExecResult SqliteDatabase::Run(std::string_view sql, const std::vector<Value>& params, bool reuse) {
  bool cached = false;
  ExecResult failure;
  sqlite3_stmt* stmt = Prepare(sql, reuse, &cached, &failure);
  if (stmt == nullptr) return failure;
  if (tx_.MustOpenHeld() && !sqlite3_stmt_readonly(stmt) && !OpenHeld(&failure)) {
    if (!cached) sqlite3_finalize(stmt);
    return failure;
  }
  // A cached statement goes back to its start, without bindings, however this call ends.
  struct Done {
    sqlite3_stmt* stmt;
    bool cached;
    ~Done() {
      if (cached) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
      } else {
        sqlite3_finalize(stmt);
      }
    }
  } done{stmt, cached};
  int rc = SQLITE_OK;
  for (size_t i = 0; i < params.size(); ++i) Bind(stmt, static_cast<int>(i + 1), params[i]);

  ExecResult r;
  const long long changesBefore = sqlite3_total_changes64(db_);
  rc = sqlite3_step(stmt);
  // After the first step: a kept statement whose tables changed is compiled again there,
  // and may then have other columns.
  const int columns = sqlite3_column_count(stmt);
  for (int i = 0; i < columns; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    r.result.columns.emplace_back(name ? name : "");
  }
  for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
    std::vector<Value> row;
    row.reserve(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt, i));
    r.result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    ExecResult failed = Failure(rc);
    NoteLostTransaction();
    return failed;
  }
  const bool readOnly = sqlite3_stmt_readonly(stmt) != 0;
  if (!readOnly && columns == 0) r.rows_affected = sqlite3_total_changes64(db_) - changesBefore;
  return r;
}

ExecResult SqliteDatabase::ExecuteScript(std::string_view script) {
  char* message = nullptr;
  const std::string text(script);
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
  ExecResult r;
  if (rc != SQLITE_OK) {
    r.status.code = rc & 0xff;
    if (r.status.code == 9) r.status.code = SQLITE_ERROR;
    busy_noted_ = busy_noted_ || r.status.code == SQLITE_BUSY;
    r.error_number = rc;
    r.status.text = std::string(kPrefix) + (message ? message : sqlite3_errstr(rc));
  }
  sqlite3_free(message);
  return r;
}

bool SqliteDatabase::Control(const std::string& sql) {
  // Kept prepared: a row runs a dozen of these, each parsed anew otherwise.
  bool cached = false;
  ExecResult failure;
  sqlite3_stmt* stmt = Prepare(sql, true, &cached, &failure);
  int rc = stmt == nullptr ? SQLITE_ERROR : sqlite3_step(stmt);
  if (stmt != nullptr) {
    if (rc != SQLITE_DONE) Failure(rc);
    sqlite3_reset(stmt);
  }
  if (rc == SQLITE_DONE) return true;
  NoteLostTransaction();
  return false;
}

void SqliteDatabase::NoteLostTransaction() {
  if (!sqlite3_get_autocommit(db_) || (tx_.depth() == 0 && !tx_.held_open())) return;
  tx_.Lost();
}

bool SqliteDatabase::OpenHeld(ExecResult* failure) {
  if (tx_.held_lost()) {
    // Written on their own, the next writes would land without the ones lost before them.
    failure->status.code = SQLITE_ABORT;
    failure->error_number = SQLITE_ABORT;
    failure->status.text =
        std::string(kPrefix) + "the writes held since the last commit were rolled back";
    return false;
  }
  const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    *failure = Failure(rc);
    return false;
  }
  return tx_.HeldBegun(true);
}

bool SqliteDatabase::Begin() {
  ExecResult failure;
  if (tx_.MustOpenHeld() && !OpenHeld(&failure)) return false;
  return tx_.Begin();
}

bool SqliteDatabase::Commit() { return tx_.Commit(); }
void SqliteDatabase::Rollback() { tx_.Rollback(); }
void SqliteDatabase::HoldCommits(bool on) { tx_.HoldCommits(on); }
bool SqliteDatabase::EndHeld(bool commit) { return tx_.EndHeld(commit); }

}  // namespace sproutsmith::sql
