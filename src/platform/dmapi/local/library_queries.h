#pragma once
// What the DM server stand-in reads from and writes to one library database with its own
// portable statements. Name columns (USER_ID, GROUP_ID, FORM_NAME, ...) compare without
// regard to case in a provisioned library, so "=" is enough here.

#include <optional>
#include <string>
#include <vector>

#include "platform/dmapi/documents.h"
#include "platform/dmapi/library.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi::local {

// Table and column names taken from the stand-in's tables go into SQL text; only plain
// identifiers are accepted, so no row can smuggle SQL in.
bool IsPlainIdentifier(const std::string& name);

// First column of the first row; nullopt for no row, a NULL or a failed statement.
std::optional<sql::Value> QueryValue(sql::Database& db, const std::string& statement,
                                     const std::vector<sql::Value>& params);
std::optional<long long> QueryId(sql::Database& db, const std::string& statement,
                                 const std::vector<sql::Value>& params);

// As QueryValue/QueryId, but a failed statement (false) is told apart from no row or a
// NULL (true, *out empty): a write must not take a read that failed for "none".
bool ReadValue(sql::Database& db, const std::string& statement,
               const std::vector<sql::Value>& params, std::optional<sql::Value>* out);
bool ReadId(sql::Database& db, const std::string& statement, const std::vector<sql::Value>& params,
            std::optional<long long>* out);

struct UserRow {
  long long system_id = 0;
  std::string user_id;  // as the library spells it
  std::string full_name;
  long long primary_group = 0;
};
std::optional<UserRow> FindUser(sql::Database& db, const std::string& user_id);
std::string PrimaryGroupId(sql::Database& db, const std::string& user_id);
bool IsSupervisor(sql::Database& db, const std::string& user_id);
bool HasRight(sql::Database& db, const std::string& user_id, const std::string& right);
std::string Parameter(sql::Database& db, const std::string& name);
// As Parameter; false when the parameter table cannot be read.
bool ReadParameter(sql::Database& db, const std::string& name, std::string* value);

// The next number of a key counter. Atomic on its own, so it may run inside or outside a
// transaction and two processes on one file never get the same number. 0 on failure.
long long NextKey(sql::Database& db, const std::string& key_name, std::string* error);
// Moves the counter on by `count` in one statement and returns the last number of the
// range it passed over (the range is last - count + 1 ... last); 0 on failure.
long long ReserveKeys(sql::Database& db, const std::string& key_name, long long count,
                      std::string* error);

struct FormColumnDef {
  std::string name;
  std::string sql_column;
  int data_type = 0;
  int attr1 = 0;
  int attr2 = 0;
  long max_length = 0;  // 0 = no limit
  std::string lookup_table;
  std::string lookup_column;
};
// The form's columns in a fixed order; empty when the form has none (or is unknown),
// nullopt when they cannot be read.
std::optional<std::vector<FormColumnDef>> FormColumns(sql::Database& db, const std::string& form);
std::optional<long long> FormId(sql::Database& db, const std::string& form);
std::string FormName(sql::Database& db, long long form_id);

std::optional<long long> FolderApplicationId(sql::Database& db);
// REMOTE_LIBRARIES.SYSTEM_ID of a library by name; false when unreadable, *id empty when the
// library is not listed.
bool ReadRemoteLibraryId(sql::Database& db, const std::string& library,
                         std::optional<long long>* id);

// A row of a lookup table: its SYSTEM_ID and the looked-up column.
struct LookupRow {
  long long system_id = 0;
  sql::Value value;
};
// The rows of `table` whose `where_column` equals `key`, with `column`; nullopt with the
// database's *error when they cannot be read. Table and column names must be plain
// identifiers.
std::optional<std::vector<LookupRow>> LookupRows(sql::Database& db, const std::string& table,
                                                 const std::string& column,
                                                 const std::string& where_column,
                                                 const sql::Value& key, std::string* error);

std::vector<ColumnDefault> ProfileDefaults(sql::Database& db, const std::string& user_id,
                                           const std::string& form, bool* ok);

// Access bits one user holds on a secured profile: the allowed bits of the user's and the
// user's groups' trustee rows, less the bits denied (high byte of ACCESSRIGHTS).
long EffectiveAccess(sql::Database& db, long long user_system_id, long long profile_system_id);
inline constexpr long kRightEditProfile = 2;  // the bit that lets a user change a document

}  // namespace sproutsmith::dmapi::local
