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

// Upper-case table names of the database.
Status ListTables(sql::Database& db, std::set<std::string>* names) {
  const sql::ExecResult r = db.Execute(TableListSql(db.backend()));
  if (!r.ok()) return r.status;
  for (const auto& row : r.result.rows) names->insert(text::UCase(row[0].text));
  return Status::Ok();
}

// Names reach SQL upper-cased (the engine compares LIBRARY_NAME with the upper-cased
// name), so they are stored that way; blanks around them would never match.
Status Normalise(const LibraryDefinition& in, LibraryDefinition* out) {
  *out = in;
  out->name = text::UCase(text::Trim(in.name));
  if (out->name.empty()) return Status::Error("The library name is empty");
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
      return Status::Error("An other library of " + out->name + " has an empty name");
    }
    if (!seen.insert(upper).second) {
      return Status::Error("Library " + upper + " is listed twice in the installation of " +
                           out->name);
    }
    const std::string owner = text::Trim(other.owner);
    out->other_libraries.push_back({upper, other.engine_code, owner.empty() ? out->owner : owner});
  }
  return Status::Ok();
}

Status Prefixed(const std::string& prefix, const Status& failure) {
  return Status::Error(failure.code, prefix + failure.text);
}

}  // namespace

Status ProvisionLibrary(sql::Database& db, const LibraryDefinition& def) {
  LibraryDefinition lib;
  if (Status s = Normalise(def, &lib); !s.ok()) return s;
  const std::string where = "Provisioning library " + lib.name + " in " + db.Location() + ": ";
  const bool postgres = db.backend() == sql::Backend::kPostgres;
  sql::Transaction tx(db);
  if (!tx.active()) return Status::Error(where + "the database cannot be written");
  // Checked inside the transaction: two processes provisioning one file cannot both pass.
  std::set<std::string> existing;
  if (Status s = ListTables(db, &existing); !s.ok()) return Prefixed(where, s);
  if (!existing.empty()) {
    const bool dm = existing.count("PROFILE") > 0 && existing.count("DOCSCOLUMN") > 0;
    return Status::Error(
        where + (dm ? "the database already holds a DM library"
                    : "the database is not empty (it holds table " + *existing.begin() + ")"));
  }

  const std::string failed = "Provisioning library " + lib.name + " failed: ";
  // On PostgreSQL the owner is a schema, and the tables use types of their own.
  if (postgres) {
    const std::string prelude = "CREATE SCHEMA IF NOT EXISTS " + lib.owner + ";\n" +
                                sql::PostgresTypesScript() + sql::PostgresFunctionsScript();
    if (Status s = ExecuteScriptOrExplain(db, prelude); !s.ok()) return Prefixed(failed, s);
  }
  const std::vector<const TableDef*> tables =
      SelectTables(lib.with_quil_tables, lib.with_optional_tables);
  for (const TableDef* table : tables) {
    for (const std::string& statement :
         postgres ? PostgresCreateStatements(*table) : SqliteCreateStatements(*table)) {
      if (Status s = ExecuteOrExplain(db, statement); !s.ok()) return Prefixed(failed, s);
    }
  }
  if (Status s = WriteFixedRows(db, lib, tables); !s.ok()) return Prefixed(failed, s);
  if (postgres) {
    if (Status s = ExecuteScriptOrExplain(db, sql::PostgresCatalogScript()); !s.ok()) {
      return Prefixed(failed, s);
    }
  }
  if (!tx.Commit()) return Status::Error(failed + "the commit was refused");
  return Status::Ok();
}

const char* TableListSql(sql::Backend backend) {
  return backend == sql::Backend::kPostgres ? kPostgresTableListSql : kSqliteTableListSql;
}

bool IsDmLibrary(sql::Database& db) {
  std::set<std::string> existing;
  if (!ListTables(db, &existing).ok()) return false;
  for (const std::string& name : RequiredTableNames()) {
    if (existing.count(name) == 0) return false;
  }
  return true;
}

long long AllocateKeys(sql::Database& db, long long count, std::string* error) {
  const auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return 0LL;
  };
  if (count < 1) return fail("Key allocation needs a count of at least 1");
  // One statement: atomic even when several processes share the library.
  const sql::ExecResult r = db.Execute(
      "UPDATE STANDIN_KEYS SET LAST_KEY = LAST_KEY + ? WHERE KEY_NAME = ? RETURNING LAST_KEY",
      {sql::Value::Integer(count), sql::Value::Text(kSystemKey)});
  if (!r.ok()) return fail(r.status.text);
  if (r.result.rows.empty())
    return fail(std::string("The key counter ") + kSystemKey + " is missing");
  return r.result.rows[0][0].AsInteger() - count + 1;
}

}  // namespace sproutsmith::schema
