#include "platform/dmapi/local/library_queries.h"

#include "platform/schema/library_schema.h"
#include "text/text.h"

namespace sproutsmith::dmapi::local {

using sql::Value;

bool IsPlainIdentifier(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

std::optional<Value> QueryValue(sql::Database& db, const std::string& statement,
                                const std::vector<Value>& params) {
  const sql::ExecResult r = db.Execute(statement, params);
  if (!r.ok() || r.result.rows.empty() || r.result.rows[0].empty()) return std::nullopt;
  if (r.result.rows[0][0].IsNull()) return std::nullopt;
  return r.result.rows[0][0];
}

std::optional<long long> QueryId(sql::Database& db, const std::string& statement,
                                 const std::vector<Value>& params) {
  const std::optional<Value> v = QueryValue(db, statement, params);
  if (!v) return std::nullopt;
  return v->AsInteger();
}

bool ReadValue(sql::Database& db, const std::string& statement, const std::vector<Value>& params,
               std::optional<Value>* out) {
  out->reset();
  const sql::ExecResult r = db.Execute(statement, params);
  if (!r.ok()) return false;
  if (!r.result.rows.empty() && !r.result.rows[0].empty() && !r.result.rows[0][0].IsNull()) {
    *out = r.result.rows[0][0];
  }
  return true;
}

bool ReadId(sql::Database& db, const std::string& statement, const std::vector<Value>& params,
            std::optional<long long>* out) {
  std::optional<Value> v;
  out->reset();
  if (!ReadValue(db, statement, params, &v)) return false;
  if (v) *out = v->AsInteger();
  return true;
}

std::optional<UserRow> FindUser(sql::Database& db, const std::string& user_id) {
  const sql::ExecResult r = db.Execute(
      "SELECT SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP FROM PEOPLE WHERE USER_ID = ?",
      {Value::Text(text::Trim(user_id))});
  if (!r.ok() || r.result.rows.empty()) return std::nullopt;
  const std::vector<Value>& row = r.result.rows[0];
  return UserRow{row[0].AsInteger(), row[1].text, row[2].text, row[3].AsInteger()};
}

std::string PrimaryGroupId(sql::Database& db, const std::string& user_id) {
  const std::optional<Value> v =
      QueryValue(db,
                 "SELECT G.GROUP_ID FROM PEOPLE P, GROUPS G WHERE P.USER_ID = ? AND "
                 "G.SYSTEM_ID = P.PRIMARY_GROUP",
                 {Value::Text(text::Trim(user_id))});
  return v ? v->text : std::string();
}

bool IsSupervisor(sql::Database& db, const std::string& user_id) {
  if (text::EqualsNoCase(PrimaryGroupId(db, user_id), kSupervisorsGroup)) return true;
  const std::optional<long long> n =
      QueryId(db,
              "SELECT COUNT(*) FROM PEOPLEGROUPS PG, PEOPLE P, GROUPS G WHERE P.USER_ID = ? AND "
              "PG.PEOPLE_SYSTEM_ID = P.SYSTEM_ID AND G.SYSTEM_ID = PG.GROUPS_SYSTEM_ID AND "
              "G.GROUP_ID = ?",
              {Value::Text(text::Trim(user_id)), Value::Text(kSupervisorsGroup)});
  return n.value_or(0) > 0;
}

bool HasRight(sql::Database& db, const std::string& user_id, const std::string& right) {
  if (IsSupervisor(db, user_id)) return true;
  const std::optional<long long> allowed =
      QueryId(db, "SELECT MAX(ALLOWED) FROM STANDIN_RIGHTS WHERE USER_ID = ? AND RIGHT_NAME = ?",
              {Value::Text(text::Trim(user_id)), Value::Text(right)});
  return allowed.value_or(0) != 0;
}

std::string Parameter(sql::Database& db, const std::string& name) {
  std::string value;
  ReadParameter(db, name, &value);
  return value;
}

bool ReadParameter(sql::Database& db, const std::string& name, std::string* value) {
  std::optional<Value> v;
  const bool ok = ReadValue(db, "SELECT PARAM_VALUE FROM STANDIN_PARAMETERS WHERE PARAM_NAME = ?",
                            {Value::Text(name)}, &v);
  *value = v ? v->text : std::string();
  return ok;
}

long long NextKey(sql::Database& db, const std::string& key_name, std::string* error) {
  return ReserveKeys(db, key_name, 1, error);
}

long long ReserveKeys(sql::Database& db, const std::string& key_name, long long count,
                      std::string* error) {
  // One statement, so the increment and the read cannot be split by another process.
  const sql::ExecResult r =
      count == 1 ? db.Execute("UPDATE STANDIN_KEYS SET LAST_KEY = LAST_KEY + 1 WHERE KEY_NAME = ? "
                              "RETURNING LAST_KEY",
                              {Value::Text(key_name)})
                 : db.Execute("UPDATE STANDIN_KEYS SET LAST_KEY = LAST_KEY + ? WHERE KEY_NAME = ? "
                              "RETURNING LAST_KEY",
                              {Value::Integer(count), Value::Text(key_name)});
  if (!r.ok()) {
    if (error) *error = r.status.text;
    return 0;
  }
  if (r.result.rows.empty()) {
    if (error) *error = "[Sproutsmith][DM] The key counter " + key_name + " does not exist";
    return 0;
  }
  return r.result.rows[0][0].AsInteger();
}

std::optional<std::vector<FormColumnDef>> FormColumns(sql::Database& db, const std::string& form) {
  const sql::ExecResult r = db.Execute(
      "SELECT COLUMN_NAME, SQL_COLUMN, DATA_TYPE, ATTR1, ATTR2, MAX_LENGTH, LOOKUP_TABLE, "
      "LOOKUP_COLUMN FROM STANDIN_FORM_COLUMNS WHERE FORM_NAME = ? ORDER BY COLUMN_NAME",
      {Value::Text(form)});
  if (!r.ok()) return std::nullopt;
  std::vector<FormColumnDef> columns;
  for (const std::vector<Value>& row : r.result.rows) {
    FormColumnDef c;
    c.name = text::UCase(text::Trim(row[0].text));
    c.sql_column = text::UCase(text::Trim(row[1].text));
    c.data_type = static_cast<int>(row[2].AsInteger());
    c.attr1 = static_cast<int>(row[3].AsInteger());
    c.attr2 = static_cast<int>(row[4].AsInteger());
    c.max_length = static_cast<long>(row[5].AsInteger());
    c.lookup_table = text::UCase(text::Trim(row[6].text));
    c.lookup_column = text::UCase(text::Trim(row[7].text));
    // A column whose names could not be put into SQL safely is left out.
    if (c.name.empty() || (!c.sql_column.empty() && !IsPlainIdentifier(c.sql_column))) continue;
    if (!c.lookup_table.empty() &&
        (!IsPlainIdentifier(c.lookup_table) || !IsPlainIdentifier(c.lookup_column))) {
      continue;
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

std::optional<long long> FormId(sql::Database& db, const std::string& form) {
  return QueryId(db, "SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = ?",
                 {Value::Text(text::Trim(form))});
}

std::string FormName(sql::Database& db, long long form_id) {
  const std::optional<Value> v =
      QueryValue(db, "SELECT FORM_NAME FROM FORMS WHERE SYSTEM_ID = ?", {Value::Integer(form_id)});
  return v ? v->text : std::string();
}

std::optional<long long> FolderApplicationId(sql::Database& db) {
  return QueryId(db, "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'", {});
}

bool ReadRemoteLibraryId(sql::Database& db, const std::string& library,
                         std::optional<long long>* id) {
  return ReadId(db, "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?",
                {Value::Text(text::Trim(library))}, id);
}

std::optional<std::vector<LookupRow>> LookupRows(sql::Database& db, const std::string& table,
                                                 const std::string& column,
                                                 const std::string& where_column,
                                                 const Value& key, std::string* error) {
  const sql::ExecResult r = db.Execute(
      "SELECT SYSTEM_ID, " + column + " FROM " + table + " WHERE " + where_column + " = ?", {key});
  if (!r.ok()) {
    if (error) *error = r.status.text;
    return std::nullopt;
  }
  std::vector<LookupRow> rows;
  for (const std::vector<Value>& row : r.result.rows) rows.push_back({row[0].AsInteger(), row[1]});
  return rows;
}

std::vector<ColumnDefault> ProfileDefaults(sql::Database& db, const std::string& user_id,
                                           const std::string& form, bool* ok) {
  const sql::ExecResult r = db.Execute(
      "SELECT COLUMN_NAME, DEFAULT_VALUE FROM STANDIN_PROFILE_DEFAULTS WHERE USER_ID = ? AND "
      "FORM_NAME = ? ORDER BY COLUMN_NAME",
      {Value::Text(text::Trim(user_id)), Value::Text(text::Trim(form))});
  std::vector<ColumnDefault> defaults;
  *ok = r.ok();
  if (!r.ok()) return defaults;
  for (const std::vector<Value>& row : r.result.rows) {
    defaults.push_back({text::UCase(text::Trim(row[0].text)), row[1].text});
  }
  return defaults;
}

long EffectiveAccess(sql::Database& db, long long user_system_id, long long profile_system_id) {
  // Everyone is a member of DOCS_USERS, whose trustee rows name PERSONORGROUP 0.
  const sql::ExecResult r = db.Execute(
      "SELECT ACCESSRIGHTS FROM SECURITY WHERE THING = ? AND (PERSONORGROUP = ? OR "
      "PERSONORGROUP = ? OR PERSONORGROUP IN (SELECT GROUPS_SYSTEM_ID FROM PEOPLEGROUPS WHERE "
      "PEOPLE_SYSTEM_ID = ?) OR PERSONORGROUP IN (SELECT PRIMARY_GROUP FROM PEOPLE WHERE "
      "SYSTEM_ID = ?))",
      {Value::Integer(profile_system_id), Value::Integer(user_system_id),
       Value::Integer(schema::kDocsUsersGroupId), Value::Integer(user_system_id),
       Value::Integer(user_system_id)});
  if (!r.ok()) return 0;
  long allowed = 0;
  long denied = 0;
  for (const std::vector<Value>& row : r.result.rows) {
    const long long rights = row[0].AsInteger();
    allowed |= static_cast<long>(rights & 0xFFFF);
    denied |= static_cast<long>((rights >> 16) & 0xFF);
  }
  return allowed & ~denied;
}

}  // namespace sproutsmith::dmapi::local
