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

Status RowWriter::Add(std::vector<sql::Value> row) {
  if (!failure_.ok()) return failure_;
  if (row.size() != columns_.size()) {
    failure_ = Status::Error("a row for " + table_ + " has " + std::to_string(row.size()) +
                             " values for " + std::to_string(columns_.size()) + " columns");
    return failure_;
  }
  for (sql::Value& v : row) pending_.push_back(std::move(v));
  ++pending_rows_;
  if (pending_rows_ >= rows_per_statement_) return Flush();
  return Status::Ok();
}

Status RowWriter::Flush() {
  if (!failure_.ok() || pending_rows_ == 0) return failure_;
  failure_ = ExecuteOrExplain(db_, StatementFor(pending_rows_), pending_);
  if (!failure_.ok()) return failure_;
  rows_written_ += static_cast<long long>(pending_rows_);
  pending_.clear();
  pending_rows_ = 0;
  return Status::Ok();
}

Status InsertRow(sql::Database& db, const std::string& table,
                 const std::vector<std::string>& columns, std::vector<sql::Value> row) {
  RowWriter writer(db, table, columns);
  writer.Add(std::move(row));
  return writer.Flush();
}

Status ExecuteOrExplain(sql::Database& db, const std::string& statement,
                        const std::vector<sql::Value>& params) {
  const sql::ExecResult r = db.Execute(statement, params);
  if (r.ok()) return Status::Ok();
  // Multi-row statements are long; the head names the table and columns.
  constexpr size_t kShown = 300;
  const std::string shown =
      statement.size() > kShown ? statement.substr(0, kShown) + " ..." : statement;
  return Status::Error(r.status.code, r.status.text + " (in: " + shown + ")");
}

Status ExecuteScriptOrExplain(sql::Database& db, const std::string& script) {
  return db.ExecuteScript(script).status;
}

}  // namespace sproutsmith::schema
