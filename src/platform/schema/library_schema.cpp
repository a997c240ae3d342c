#include "platform/schema/library_schema.h"

#include <set>

#include "platform/schema/fixed_rows.h"
#include "platform/schema/postgres_ddl.h"
#include "platform/schema/row_writer.h"
#include "platform/schema/sqlite_ddl.h"
#include "platform/schema/table_definitions.h"
#include "platform/sql/postgres_helpers.h"
#include "text/text.h"

namespace sproutsmith::schema {

namespace {

void SetError(std::string* error, const std::string& message) {
  if (error) *error = message;
}

// Upper-case table names of the database, or false when they cannot be read.
bool ListTables(sql::Database& db, std::set<std::string>* names, std::string* error) {
  const sql::ExecResult r = db.Execute(TableListSql(db.backend()));
  if (!r.ok()) {
    SetError(error, r.status.text);
    return false;
  }
  for (const auto& row : r.result.rows) names->insert(text::UCase(row[0].text));
  return true;
}

// Names reach SQL upper-cased (the engine compares LIBRARY_NAME with the upper-cased
// name), so they are stored that way; blanks around them would never match.
bool Normalise(const LibraryDefinition& in, LibraryDefinition* out, std::string* error) {
  *out = in;
  out->name = text::UCase(text::Trim(in.name));
  if (out->name.empty()) {
    SetError(error, "The library name is empty");
    return false;
  }
  out->owner = text::Trim(in.owner);
  if (out->owner.empty()) out->owner = "DOCSADM";
  out->database_name = text::Trim(in.database_name);
  if (out->database_name.empty()) out->database_name = out->name;
  out->server_location = text::Trim(in.server_location);
  if (out->server_location.empty()) out->server_location = "localhost";
  std::set<std::string> seen{out->name};
  out->other_libraries.clear();
  for (const auto& other : in.other_libraries) {
    const std::string upper = text::UCase(text::Trim(other.name));
    if (upper.empty()) {
      SetError(error, "An other library of " + out->name + " has an empty name");
      return false;
    }
    if (!seen.insert(upper).second) {
      SetError(error, "Library " + upper + " is listed twice in the installation of " + out->name);
      return false;
    }
    const std::string owner = text::Trim(other.owner);
    out->other_libraries.push_back({upper, other.engine_code, owner.empty() ? out->owner : owner});
  }
  return true;
}

}  // namespace

bool ProvisionLibrary(sql::Database& db, const LibraryDefinition& def, std::string* error) {
  LibraryDefinition lib;
  if (!Normalise(def, &lib, error)) return false;
  const bool postgres = db.backend() == sql::Backend::kPostgres;
  sql::Transaction tx(db);
  if (!tx.active()) {
    SetError(error, "Provisioning library " + lib.name + " in " + db.Location() +
                        ": the database cannot be written");
    return false;
  }
  // Checked inside the transaction: two processes provisioning one file cannot both pass.
  std::set<std::string> existing;
  std::string detail;
  if (!ListTables(db, &existing, &detail)) {
    SetError(error, "Provisioning library " + lib.name + " in " + db.Location() + ": " + detail);
    return false;
  }
  if (!existing.empty()) {
    const bool dm = existing.count("PROFILE") > 0 && existing.count("DOCSCOLUMN") > 0;
    SetError(error,
             "Provisioning library " + lib.name + " in " + db.Location() + ": " +
                 (dm ? "the database already holds a DM library"
                     : "the database is not empty (it holds table " + *existing.begin() + ")"));
    return false;
  }

  // On PostgreSQL the owner is a schema, and the tables use types of their own.
  if (postgres &&
      !ExecuteScriptOrExplain(db,
                              "CREATE SCHEMA IF NOT EXISTS " + lib.owner + ";\n" +
                                  sql::PostgresTypesScript() + sql::PostgresFunctionsScript(),
                              &detail)) {
    SetError(error, "Provisioning library " + lib.name + " failed: " + detail);
    return false;
  }
  const std::vector<const TableDef*> tables =
      SelectTables(lib.with_quil_tables, lib.with_optional_tables);
  for (const TableDef* table : tables) {
    for (const std::string& statement :
         postgres ? PostgresCreateStatements(*table) : SqliteCreateStatements(*table)) {
      if (!ExecuteOrExplain(db, statement, {}, &detail)) {
        SetError(error, "Provisioning library " + lib.name + " failed: " + detail);
        return false;
      }
    }
  }
  if (!WriteFixedRows(db, lib, tables, &detail) ||
      (postgres && !ExecuteScriptOrExplain(db, sql::PostgresCatalogScript(), &detail))) {
    SetError(error, "Provisioning library " + lib.name + " failed: " + detail);
    return false;
  }
  if (!tx.Commit()) {
    SetError(error, "Provisioning library " + lib.name + " failed: the commit was refused");
    return false;
  }
  return true;
}

const char* TableListSql(sql::Backend backend) {
  return backend == sql::Backend::kPostgres ? kPostgresTableListSql : kSqliteTableListSql;
}

bool IsDmLibrary(sql::Database& db) {
  std::set<std::string> existing;
  if (!ListTables(db, &existing, nullptr)) return false;
  for (const std::string& name : RequiredTableNames()) {
    if (existing.count(name) == 0) return false;
  }
  return true;
}

long long AllocateKeys(sql::Database& db, long long count, std::string* error) {
  if (count < 1) {
    SetError(error, "Key allocation needs a count of at least 1");
    return 0;
  }
  // One statement: atomic even when several processes share the library.
  const sql::ExecResult r = db.Execute(
      "UPDATE STANDIN_KEYS SET LAST_KEY = LAST_KEY + ? WHERE KEY_NAME = ? RETURNING LAST_KEY",
      {sql::Value::Integer(count), sql::Value::Text(kSystemKey)});
  if (!r.ok()) {
    SetError(error, r.status.text);
    return 0;
  }
  if (r.result.rows.empty()) {
    SetError(error, std::string("The key counter ") + kSystemKey + " is missing");
    return 0;
  }
  return r.result.rows[0][0].AsInteger() - count + 1;
}

}  // namespace sproutsmith::schema
