#pragma once
// Tests that run on both back ends: one library database at a time, a file in a temporary
// folder or a database of the test harness's PostgreSQL server, reached by as many
// connections as a test opens (as several processes or computers reach one library).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "support/postgres_server.h"
#include "support/sql_rows.h"
#include "support/temp_dir.h"

namespace sproutsmith::testing {

// For INSTANTIATE_TEST_SUITE_P(BothBackEnds, Suite, BothBackends(), BackendParamName).
inline auto BothBackends() {
  return ::testing::Values(sql::Backend::kSqlite, sql::Backend::kPostgres);
}
inline std::string BackendParamName(const ::testing::TestParamInfo<sql::Backend>& info) {
  return info.param == sql::Backend::kPostgres ? "Postgres" : "Sqlite";
}

// The first value of the first row ("<none>" without a row), and the same as a number.
inline std::string Scalar(sql::Database& db, const std::string& query) {
  return FirstValue(ReadRows(db, query), "<none>");
}
inline long long Count(sql::Database& db, const std::string& query) {
  return std::stoll(Scalar(db, query));
}

class BackendTest : public ::testing::TestWithParam<sql::Backend> {
 protected:
  bool Postgres() const { return GetParam() == sql::Backend::kPostgres; }

  // Makes a new, empty database; Open reaches it from then on.
  void NewDatabase() {
    ++databases_;
    if (Postgres()) connection_ = NewPostgresDatabase("lib");
    fresh_ = true;
  }

  // A new connection to the current database (made at the first call). On PostgreSQL the
  // tables live in the schema `owner`, which is made when missing; on SQLite in the file.
  std::unique_ptr<sql::Database> Open(sql::BusyWait wait = {},
                                      const std::string& owner = "DOCSADM") {
    if (databases_ == 0) NewDatabase();
    std::string error;
    std::unique_ptr<sql::Database> db;
    if (Postgres()) {
      if (connection_.empty()) return nullptr;
      Status status;
      db = sql::PostgresDatabase::Open(connection_, owner, &status, std::move(wait));
      error = status.text;
      if (db && fresh_) {
        const sql::ExecResult made =
            db->Execute("CREATE SCHEMA IF NOT EXISTS \"" + sql::FoldedName(owner) + "\"");
        EXPECT_TRUE(made.ok()) << made.status.text;
      }
    } else {
      db = sql::SqliteDatabase::Open(File(), true, &error, std::move(wait));
    }
    EXPECT_NE(db, nullptr) << error;
    fresh_ = false;
    return db;
  }

  // The current database's file (SQLite only).
  std::string File() const { return dir_.File("lib" + std::to_string(databases_) + ".db"); }

  TempDir dir_;
  std::string connection_;  // PostgreSQL: the current database's connection string
  int databases_ = 0;
  bool fresh_ = false;  // no connection has reached the current database yet
};

}  // namespace sproutsmith::testing
