#pragma once
// DDL of the DM library schema for PostgreSQL, from the same table definitions as SQLite's.
// Case-insensitive columns are citext, so "=", LIKE and ORDER BY ignore letter case as on
// the DM server's default collation; unquoted names fold to small letters on both sides.

#include <string>
#include <vector>

#include "platform/schema/table_definitions.h"

namespace sproutsmith::schema {

// CREATE TABLE followed by its CREATE INDEX statements.
std::vector<std::string> PostgresCreateStatements(const TableDef& table);

// Lists the upper-case names of the tables of the schema first on the search path.
inline constexpr char kPostgresTableListSql[] =
    "SELECT upper(table_name) FROM information_schema.tables WHERE table_schema = "
    "current_schema() AND table_type = 'BASE TABLE'";

}  // namespace sproutsmith::schema
