#pragma once
// Small readers for schema tests: open a library file, read one value or all rows as text.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sql/sqlite_database.h"
#include "support/temp_dir.h"

namespace sproutsmith::schema::testutil {

inline std::unique_ptr<sql::SqliteDatabase> OpenFile(const std::string& path) {
  std::string error;
  auto db = sql::SqliteDatabase::Open(path, true, &error);
  EXPECT_NE(db, nullptr) << error;
  return db;
}

// Every row as text; NULL reads "<null>" so it differs from an empty text.
inline std::vector<std::vector<std::string>> Rows(sql::Database& db, const std::string& query) {
  const sql::ExecResult r = db.Execute(query);
  EXPECT_TRUE(r.ok()) << query << "\n" << r.error_description;
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : r.result.rows) {
    std::vector<std::string> out;
    for (const auto& v : row) out.push_back(v.IsNull() ? "<null>" : v.text);
    rows.push_back(std::move(out));
  }
  return rows;
}

// The first column of the first row ("<none>" when there is no row).
inline std::string Scalar(sql::Database& db, const std::string& query) {
  const auto rows = Rows(db, query);
  return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
}

inline long long Count(sql::Database& db, const std::string& query) {
  return std::stoll(Scalar(db, query));
}

}  // namespace sproutsmith::schema::testutil
