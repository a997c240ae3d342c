#pragma once
// The embedded back end: one SQLite file per library. WAL journal, synchronous=NORMAL and
// a busy timeout, so that several processes (several "computers") can share one file.

#include <memory>
#include <string>

#include "platform/sql/database.h"

struct sqlite3;

namespace sproutsmith::sql {

class SqliteDatabase final : public Database {
 public:
  // Opens (creating when `create` is set) the file. Returns null and sets `error` when the
  // file cannot be opened.
  static std::unique_ptr<SqliteDatabase> Open(const std::string& path, bool create,
                                              std::string* error = nullptr);
  ~SqliteDatabase() override;

  Backend backend() const override { return Backend::kSqlite; }
  ExecResult Execute(std::string_view sql) override;
  ExecResult Execute(std::string_view sql, const std::vector<Value>& params) override;
  ExecResult ExecuteScript(std::string_view script) override;
  bool Begin() override;
  bool Commit() override;
  void Rollback() override;
  std::string Location() const override { return path_; }

  sqlite3* handle() const { return db_; }

 private:
  SqliteDatabase(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  ExecResult Failure(int code) const;

  sqlite3* db_;
  std::string path_;
};

}  // namespace sproutsmith::sql
