#include "platform/schema/sqlite_ddl.h"

namespace sproutsmith::schema {

namespace {

std::string ColumnSql(const ColumnDef& c) {
  std::string sql = c.name + " ";
  switch (c.type) {
    case ColumnType::kInteger:
      sql += "INTEGER";
      break;
    case ColumnType::kNumber:
      sql += "NUMERIC";
      break;
    case ColumnType::kText:
      sql += "VARCHAR(" + std::to_string(c.length) + ")";
      break;
    case ColumnType::kDateTime:
      sql += "DATETIME";
      break;
  }
  if (c.nocase) sql += " COLLATE NOCASE";
  if (c.primary_key) sql += " PRIMARY KEY";
  if (c.not_null || (c.primary_key && c.type != ColumnType::kInteger)) sql += " NOT NULL";
  if (!c.default_value.empty()) sql += " DEFAULT " + c.default_value;
  return sql;
}

}  // namespace

std::vector<std::string> SqliteCreateStatements(const TableDef& table) {
  return CreateStatements(table, ColumnSql);
}

}  // namespace sproutsmith::schema
