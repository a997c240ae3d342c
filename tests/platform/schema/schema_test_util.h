#pragma once
// Small readers for schema tests: open a library file, read one value or all rows as text.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sql/sqlite_database.h"
#include "support/sql_rows.h"
#include "support/temp_dir.h"

namespace sproutsmith::schema::testutil {

inline std::unique_ptr<sql::SqliteDatabase> OpenFile(const std::string& path) {
  std::string error;
  auto db = sql::SqliteDatabase::Open(path, true, &error);
  EXPECT_NE(db, nullptr) << error;
  return db;
}

// Every row as text; NULL reads "NULL".
inline testing::Rows Rows(sql::Database& db, const std::string& query) {
  return testing::ReadRows(db, query);
}

// The first column of the first row ("<none>" when there is no row).
inline std::string Scalar(sql::Database& db, const std::string& query) {
  return testing::FirstValue(Rows(db, query), "<none>");
}

inline long long Count(sql::Database& db, const std::string& query) {
  return std::stoll(Scalar(db, query));
}

}  // namespace sproutsmith::schema::testutil
