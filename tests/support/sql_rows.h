#pragma once
// Rows read behind the system's back, as text: one spelling of NULL ("NULL") for every test,
// so an expected row reads the same whichever fixture fetched it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sql/sqlite_database.h"

namespace sproutsmith::testing {

using Rows = std::vector<std::vector<std::string>>;

// Every row of `query`; a failed statement fails the test and reads as no rows.
inline Rows ReadRows(sql::Database& db, const std::string& query) {
  const sql::ExecResult r = db.Execute(query);
  EXPECT_TRUE(r.ok()) << query << ": " << r.status.text;
  Rows rows;
  for (const auto& row : r.result.rows) {
    rows.emplace_back();
    for (const sql::Value& v : row) rows.back().push_back(v.IsNull() ? "NULL" : v.text);
  }
  return rows;
}

// The same on a database file, opened for this one statement.
inline Rows ReadFileRows(const std::string& file, const std::string& query) {
  std::string error;
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(file, false, &error);
  EXPECT_NE(db, nullptr) << file << ": " << error;
  return db ? ReadRows(*db, query) : Rows{};
}

// `s` inside an SQL literal: every quote doubled.
inline std::string QuotesDoubled(const std::string& s) {
  std::string out;
  for (const char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out;
}

// The first value of the first row; `none` when there is no row.
inline std::string FirstValue(const Rows& rows, const std::string& none = "") {
  return rows.empty() || rows[0].empty() ? none : rows[0][0];
}

}  // namespace sproutsmith::testing
