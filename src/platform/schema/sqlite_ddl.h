#pragma once
// DDL of the DM library schema for SQLite. Case-insensitive columns get COLLATE NOCASE,
// so "=" and ORDER BY behave as on the DM server's default collation.

#include <string>
#include <vector>

#include "platform/schema/table_definitions.h"

namespace sproutsmith::schema {

// CREATE TABLE followed by its CREATE INDEX statements.
std::vector<std::string> SqliteCreateStatements(const TableDef& table);

// Lists the names of the database's own tables, one per row.
inline constexpr char kSqliteTableListSql[] =
    "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'";

}  // namespace sproutsmith::schema
