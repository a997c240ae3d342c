#include "platform/schema/postgres_ddl.h"

namespace sproutsmith::schema {

namespace {

std::string ColumnSql(const ColumnDef& c) {
  std::string sql = c.name + " ";
  switch (c.type) {
    case ColumnType::kInteger:
      sql += "BIGINT";
      break;
    case ColumnType::kNumber:
      sql += "NUMERIC";
      break;
    case ColumnType::kText:
      // citext has no length; the check keeps the column's width.
      sql += c.nocase
                 ? "CITEXT CHECK (char_length(" + c.name + ") <= " + std::to_string(c.length) + ")"
                 : "VARCHAR(" + std::to_string(c.length) + ")";
      break;
    case ColumnType::kDateTime:
      sql += "DATETIME";
      break;
  }
  if (c.primary_key) sql += " PRIMARY KEY";
  if (c.not_null && !c.primary_key) sql += " NOT NULL";
  if (!c.default_value.empty()) sql += " DEFAULT " + c.default_value;
  return sql;
}

}  // namespace

std::vector<std::string> PostgresCreateStatements(const TableDef& table) {
  return CreateStatements(table, ColumnSql);
}

}  // namespace sproutsmith::schema
