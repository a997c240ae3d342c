#include "platform/schema/row_writer.h"

#include <algorithm>

namespace sproutsmith::schema {

namespace {
// Below SQLite's historic 999-parameter limit, so older builds accept it too.
constexpr size_t kMaxParameters = 990;
constexpr size_t kMaxRowsPerStatement = 200;
}  // namespace

RowWriter::RowWriter(sql::Database& db, std::string table, std::vector<std::string> columns)
    : db_(db),
      table_(std::move(table)),
      columns_(std::move(columns)),
      rows_per_statement_(std::clamp<size_t>(kMaxParameters / std::max<size_t>(1, columns_.size()),
                                             1, kMaxRowsPerStatement)) {}

std::string RowWriter::StatementFor(size_t rows) const {
  std::string sql = "INSERT INTO " + table_ + " (";
  std::string tuple = "(";
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i > 0) {
      sql += ", ";
      tuple += ", ";
    }
    sql += columns_[i];
    tuple += "?";
  }
  sql += ") VALUES ";
  tuple += ")";
  for (size_t r = 0; r < rows; ++r) {
    if (r > 0) sql += ", ";
    sql += tuple;
  }
  return sql;
}

bool RowWriter::Add(std::vector<sql::Value> row, std::string* error) {
  if (failed_) {
    if (error && error->empty()) *error = "rows for " + table_ + " were refused after a failure";
    return false;
  }
  if (row.size() != columns_.size()) {
    failed_ = true;
    if (error) {
      *error = "a row for " + table_ + " has " + std::to_string(row.size()) + " values for " +
               std::to_string(columns_.size()) + " columns";
    }
    return false;
  }
  for (sql::Value& v : row) pending_.push_back(std::move(v));
  ++pending_rows_;
  if (pending_rows_ >= rows_per_statement_) return Flush(error);
  return true;
}

bool RowWriter::Flush(std::string* error) {
  if (failed_) return false;
  if (pending_rows_ == 0) return true;
  const std::string sql = StatementFor(pending_rows_);
  if (!ExecuteOrExplain(db_, sql, pending_, error)) {
    failed_ = true;
    return false;
  }
  rows_written_ += static_cast<long long>(pending_rows_);
  pending_.clear();
  pending_rows_ = 0;
  return true;
}

bool InsertRow(sql::Database& db, const std::string& table, const std::vector<std::string>& columns,
               std::vector<sql::Value> row, std::string* error) {
  RowWriter writer(db, table, columns);
  return writer.Add(std::move(row), error) && writer.Flush(error);
}

bool ExecuteOrExplain(sql::Database& db, const std::string& statement,
                      const std::vector<sql::Value>& params, std::string* error) {
  const sql::ExecResult r = db.Execute(statement, params);
  if (r.ok()) return true;
  if (error) {
    // Multi-row statements are long; the head names the table and columns.
    constexpr size_t kShown = 300;
    std::string shown =
        statement.size() > kShown ? statement.substr(0, kShown) + " ..." : statement;
    *error = r.status.text + " (in: " + shown + ")";
  }
  return false;
}

bool ExecuteScriptOrExplain(sql::Database& db, const std::string& script, std::string* error) {
  const sql::ExecResult r = db.ExecuteScript(script);
  if (!r.ok() && error) *error = r.status.text;
  return r.ok();
}

}  // namespace sproutsmith::schema
