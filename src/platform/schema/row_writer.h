#pragma once
// Writing many rows of one table quickly and portably: multi-row INSERT ... VALUES with
// "?" parameters, flushed in chunks small enough for any back end's parameter limit.
// Errors name the failing statement, because a schema or data fault shows there.

#include <string>
#include <vector>

#include "platform/sql/database.h"

namespace sproutsmith::schema {

class RowWriter {
 public:
  RowWriter(sql::Database& db, std::string table, std::vector<std::string> columns);
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // Queues a row (one value per column). Returns false, with *error set, when a flush fails;
  // the writer then refuses further rows.
  bool Add(std::vector<sql::Value> row, std::string* error);
  // Writes the queued rows. Must be called before the rows are read or committed.
  bool Flush(std::string* error);
  long long rows_written() const { return rows_written_; }

 private:
  std::string StatementFor(size_t rows) const;

  sql::Database& db_;
  std::string table_;
  std::vector<std::string> columns_;
  size_t rows_per_statement_;
  std::vector<sql::Value> pending_;
  size_t pending_rows_ = 0;
  long long rows_written_ = 0;
  bool failed_ = false;
};

// One row, one statement.
bool InsertRow(sql::Database& db, const std::string& table, const std::vector<std::string>& columns,
               std::vector<sql::Value> row, std::string* error);

// Runs a statement; on failure sets *error to "<description> (in: <statement>)".
bool ExecuteOrExplain(sql::Database& db, const std::string& statement,
                      const std::vector<sql::Value>& params, std::string* error);

// Runs a script of several statements; on failure sets *error to the description.
bool ExecuteScriptOrExplain(sql::Database& db, const std::string& script, std::string* error);

// Convenience for row literals.
inline sql::Value I(long long v) { return sql::Value::Integer(v); }
inline sql::Value T(std::string v) { return sql::Value::Text(std::move(v)); }
inline sql::Value Null() { return sql::Value::Null(); }

}  // namespace sproutsmith::schema
