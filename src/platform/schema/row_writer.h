#pragma once
// Writing many rows of one table quickly and portably: multi-row INSERT ... VALUES with
// "?" parameters, flushed in chunks small enough for any back end's parameter limit.
// Errors name the failing statement, because a schema or data fault shows there.

#include <string>
#include <vector>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::schema {

class RowWriter {
 public:
  RowWriter(sql::Database& db, std::string table, std::vector<std::string> columns);
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // Queues a row (one value per column), writing a full batch. The first failure sticks:
  // later rows are refused with it, and Flush answers it too.
  Status Add(std::vector<sql::Value> row);
  // Writes the queued rows. Must be called before the rows are read or committed.
  Status Flush();
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
  Status failure_;
};

// One row, one statement.
Status InsertRow(sql::Database& db, const std::string& table,
                 const std::vector<std::string>& columns, std::vector<sql::Value> row);

// Runs a statement; a failure's text is "<description> (in: <statement>)".
Status ExecuteOrExplain(sql::Database& db, const std::string& statement,
                        const std::vector<sql::Value>& params = {});

// Runs a script of several statements; a failure is the back end's.
Status ExecuteScriptOrExplain(sql::Database& db, const std::string& script);

// Convenience for row literals.
inline sql::Value I(long long v) { return sql::Value::Integer(v); }
inline sql::Value T(std::string v) { return sql::Value::Text(std::move(v)); }
inline sql::Value Null() { return sql::Value::Null(); }

}  // namespace sproutsmith::schema
