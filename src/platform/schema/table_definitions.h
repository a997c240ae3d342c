#pragma once
// The DM library's tables as data, independent of any back end. A renderer per back end
// (sqlite_ddl.h) turns them into DDL, so a PostgreSQL variant only needs a renderer.

#include <set>
#include <string>
#include <vector>

namespace sproutsmith::schema {

enum class ColumnType {
  kInteger,   // identifiers, codes, counts
  kNumber,    // numeric values that may carry a fraction
  kText,      // VARCHAR(length)
  kDateTime,  // stored as 'YYYY-MM-DD HH:MM:SS' text on SQLite
};

struct ColumnDef {
  std::string name;
  ColumnType type = ColumnType::kInteger;
  int length = 0;            // kText only
  bool primary_key = false;  // single-column key; SYSTEM_ID and friends
  bool not_null = false;
  bool nocase = false;        // compared case-insensitively, as the DM server's collation does
  std::string default_value;  // SQL literal, empty for none
};

struct IndexDef {
  std::vector<std::string> columns;
  bool unique = false;
};

// Which provisioning switch brings a table into a library.
enum class TableGroup { kCore, kQuil, kOptional, kStandin };

struct TableDef {
  std::string name;
  TableGroup group = TableGroup::kCore;
  std::vector<ColumnDef> columns;
  std::vector<IndexDef> indexes;
  // Listed in DOCSTABLE (every DM and system table; not the stand-in's own tables).
  bool in_docstable = true;
  bool validation_table = false;  // DOCSTABLE.VALIDATION_TABLE 'Y'

  const ColumnDef* Find(const std::string& column) const;
};

// Every table a library can hold, in creation order.
const std::vector<TableDef>& AllTables();

// The tables of a library provisioned with the given switches.
std::vector<const TableDef*> SelectTables(bool with_quil_tables, bool with_optional_tables);

// The tables without which a database is not a DM library.
const std::vector<std::string>& RequiredTableNames();

// "TABLE.COLUMN" of every integer column that cannot hold NULL (declared NOT NULL, or an
// integer primary key), for the translator (sql::TranslateOptions).
const std::set<std::string>& NonNullIntegerColumns();

// The CREATE TABLE statement and one CREATE INDEX per index (named
// IX_<TABLE>_<COL1>_<COL2>...), with each column written by the back end's `column_sql`.
std::vector<std::string> CreateStatements(const TableDef& table,
                                          std::string (*column_sql)(const ColumnDef&));

}  // namespace sproutsmith::schema
