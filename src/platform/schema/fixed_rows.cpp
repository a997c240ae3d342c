#include "platform/schema/fixed_rows.h"

#include "platform/schema/row_writer.h"

namespace sproutsmith::schema {

namespace {

using sql::Value;

// Hands out SYSTEM_IDs while provisioning; the key counter continues from the last one.
class KeySequence {
 public:
  long long Next() { return ++last_; }
  long long last() const { return last_; }

 private:
  long long last_ = 0;
};

bool HasTable(const std::vector<const TableDef*>& tables, const std::string& name) {
  for (const TableDef* t : tables) {
    if (t->name == name) return true;
  }
  return false;
}

// A foreign-key (or plain) dictionary row. Defaults follow what the engine itself writes
// for a column it adds, so hand-made and system-made rows look alike.
struct DictionaryRow {
  const char* table;
  const char* column;
  const char* foreign_table;
  const char* foreign_column;
  const char* cms_key;  // 'C' marks the code column of a lookup table
};

// Foreign keys the templates hop along, then the code columns of the lookup tables.
// PROFILE.DIVISION and PROFILE.ATTY get no row: their presence switches on a site's
// special handling.
constexpr DictionaryRow kDictionary[] = {
    {"PROFILE", "MATTER", "MATTER", "SYSTEM_ID", "N"},
    {"MATTER", "CLIENT_ID", "CLIENT", "SYSTEM_ID", "N"},
    {"PROFILE", "DOCUMENTTYPE", "DOCUMENTTYPES", "SYSTEM_ID", "N"},
    {"PROFILE", "AUTHOR", "PEOPLE", "SYSTEM_ID", "N"},
    {"PEOPLE", "PRIMARY_GROUP", "GROUPS", "SYSTEM_ID", "N"},
    {"PROFILE", "APPLICATION", "APPS", "SYSTEM_ID", "N"},
    {"PROFILE", "TYPIST", "PEOPLE", "SYSTEM_ID", "N"},
    {"CLIENT", "CLIENT_ID", "", "", "C"},
    {"MATTER", "MATTER_ID", "", "", "C"},
    {"DOCUMENTTYPES", "TYPE_ID", "", "", "C"},
    {"PEOPLE", "USER_ID", "", "", "C"},
    {"GROUPS", "GROUP_ID", "", "", "C"},
    {"APPS", "APPLICATION", "", "", "C"},
};

const std::vector<std::string> kDictionaryColumns = {
    "SYSTEM_ID",       "TBNAME",     "COLNAME",  "FTBNAME",   "FCOLNAME",
    "MULTI_VALUE",     "CMSKEY",     "CREATOR",  "PROTECTED", "VISIBLEINLIST",
    "USER_MODIFIABLE", "USER_ADDED", "REQUIRED", "ALLUPPER",  "ALLOWNULLS",
    "OBJECTTYPE",      "KEYGROUP",   "PROMPT",   "CMSTYPE",   "COL_LENGTH"};

std::vector<Value> DictionaryValues(long long id, const DictionaryRow& row,
                                    const std::string& owner) {
  int length = 0;
  for (const TableDef& t : AllTables()) {
    if (t.name != row.table) continue;
    if (const ColumnDef* c = t.Find(row.column)) length = c->length;
  }
  return {I(id),
          T(row.table),
          T(row.column),
          T(row.foreign_table),
          T(row.foreign_column),
          T("N"),
          T(row.cms_key),
          T(owner),
          T("N"),
          T("Y"),
          T("Y"),
          T("N"),
          T("N"),
          T("N"),
          T("Y"),
          T("EDIT"),
          T(""),
          T(row.column),
          Null(),
          I(length)};
}

// Writers keep their first failure, so a batch of rows is added unchecked and the flush
// answers for all of it.
Status WriteDictionary(sql::Database& db, const LibraryDefinition& def,
                       const std::vector<const TableDef*>& tables, KeySequence& keys) {
  RowWriter docstable(db, "DOCSTABLE", {"SYSTEM_ID", "TABLE_NAME", "VALIDATION_TABLE"});
  for (const TableDef* t : tables) {
    if (t->in_docstable) {
      docstable.Add({I(keys.Next()), T(t->name), T(t->validation_table ? "Y" : "N")});
    }
  }
  if (Status s = docstable.Flush(); !s.ok()) return s;

  RowWriter docscolumn(db, "DOCSCOLUMN", kDictionaryColumns);
  for (const DictionaryRow& row : kDictionary) {
    docscolumn.Add(DictionaryValues(keys.Next(), row, def.owner));
  }
  // The security-link column and the SEC_REASON table come together: the engine tests
  // one for the short security update and the other for the long one.
  if (HasTable(tables, "SEC_REASON")) {
    const DictionaryRow link{"PROFILE", "SECURITY_LINK", "", "", "N"};
    docscolumn.Add(DictionaryValues(keys.Next(), link, def.owner));
  }
  return docscolumn.Flush();
}

Status WriteLookups(sql::Database& db, KeySequence& keys) {
  RowWriter apps(db, "APPS", {"SYSTEM_ID", "APPLICATION", "DESCRIPTION"});
  const char* const kApps[][2] = {{"FOLDER", "Folder"},
                                  {"MS WORD", "Microsoft Word"},
                                  {"MS EXCEL", "Microsoft Excel"},
                                  {"ACROBAT", "Adobe Acrobat"},
                                  {"MS OUTLOOK", "Microsoft Outlook"}};
  for (const auto& app : kApps) apps.Add({I(keys.Next()), T(app[0]), T(app[1])});
  if (Status s = apps.Flush(); !s.ok()) return s;

  RowWriter forms(db, "FORMS", {"SYSTEM_ID", "FORM_NAME", "FORM_TYPE", "FORM_TITLE"});
  const char* const kForms[][2] = {{kDocumentForm, "Document Profile"},
                                   {kFolderForm, "Folder Profile"},
                                   {kWorkspaceForm, "Workspace Profile"}};
  for (const auto& form : kForms) forms.Add({I(keys.Next()), T(form[0]), T("P"), T(form[1])});
  if (Status s = forms.Flush(); !s.ok()) return s;

  RowWriter groups(db, "GROUPS", {"SYSTEM_ID", "GROUP_ID", "GROUP_NAME", "UNIV_ACCESS"});
  groups.Add({I(kDocsUsersGroupId), T("DOCS_USERS"), T("All Users"), I(63)});
  groups.Add({I(keys.Next()), T("DOCS_SUPERVISORS"), T("Supervisors"), I(255)});
  if (Status s = groups.Flush(); !s.ok()) return s;
  return InsertRow(db, "DOCUMENTTYPES", {"SYSTEM_ID", "TYPE_ID", "DESCRIPTION"},
                   {I(keys.Next()), T("FOLDER"), T("Folder")});
}

Status WriteLibraries(sql::Database& db, const LibraryDefinition& def, KeySequence& keys) {
  RowWriter libraries(db, "REMOTE_LIBRARIES",
                      {"SYSTEM_ID", "LIBRARY_NAME", "DATABASE_ENGINE", "OWNER", "DATABASE_NAME",
                       "SERVER_LOCATION", "SQL_PASSWORD", "LIB_LOGIN_UNAME"});
  libraries.Add({I(kOwnLibraryId), T(def.name), I(def.engine_code), T(def.owner),
                 T(def.database_name), T(def.server_location), T(""), T("")});
  for (const auto& other : def.other_libraries) {
    libraries.Add({I(keys.Next()), T(other.name), I(other.engine_code), T(other.owner),
                   T(other.name), T(def.server_location), T(""), T("")});
  }
  return libraries.Flush();
}

// The profile-object columns of a form, as the DM API lists them. DATA_TYPE 4 is numeric;
// a column may be set when ATTR1 is 0 or ATTR2 is 128. A value given as text is looked up
// in LOOKUP_TABLE.LOOKUP_COLUMN and its SYSTEM_ID written; MATTER also takes a number.
struct FormColumn {
  const char* column;
  const char* sql_column;
  int data_type;
  int attr1;
  int attr2;
  int max_length;
  const char* lookup_table;
  const char* lookup_column;
};

constexpr FormColumn kFormColumns[] = {
    {"DOCNAME", "DOCNAME", 0, 0, 0, 240, "", ""},
    {"ABSTRACT", "ABSTRACT", 0, 0, 0, 255, "", ""},
    {"AUTHOR_ID", "AUTHOR", 0, 0, 0, 64, "PEOPLE", "USER_ID"},
    {"TYPIST_ID", "TYPIST", 0, 0, 0, 64, "PEOPLE", "USER_ID"},
    {"APP_ID", "APPLICATION", 0, 0, 0, 32, "APPS", "APPLICATION"},
    {"TYPE_ID", "DOCUMENTTYPE", 0, 0, 0, 32, "DOCUMENTTYPES", "TYPE_ID"},
    {"MATTER", "MATTER", 4, 0, 0, 0, "MATTER", "MATTER_ID"},
    {"DOCNUM", "DOCNUMBER", 4, 1, 0, 0, "", ""},  // read-only
    {"SECURITY", "DEFAULT_RIGHTS", 4, 0, 0, 0, "", ""},
    // Protected but released for programs (ATTR2 128): settable all the same.
    {"RETENTION", "RETENTION", 4, 1, 128, 0, "", ""},
};

Status WriteStandinRows(sql::Database& db, const LibraryDefinition& def) {
  RowWriter columns(db, "STANDIN_FORM_COLUMNS",
                    {"FORM_NAME", "COLUMN_NAME", "SQL_COLUMN", "DATA_TYPE", "ATTR1", "ATTR2",
                     "MAX_LENGTH", "LOOKUP_TABLE", "LOOKUP_COLUMN"});
  for (const char* form : {kDocumentForm, kFolderForm, kWorkspaceForm}) {
    for (const FormColumn& c : kFormColumns) {
      columns.Add({T(form), T(c.column), T(c.sql_column), I(c.data_type), I(c.attr1), I(c.attr2),
                   c.max_length > 0 ? I(c.max_length) : Null(), T(c.lookup_table),
                   T(c.lookup_column)});
    }
  }
  if (Status s = columns.Flush(); !s.ok()) return s;
  RowWriter parameters(db, "STANDIN_PARAMETERS", {"PARAM_NAME", "PARAM_VALUE"});
  parameters.Add({T("DOCSParms.UniqueDocNames"), T("0")});
  parameters.Add({T(kDescriptionParameter), T(def.description)});
  if (Status s = parameters.Flush(); !s.ok()) return s;
  return InsertRow(db, "STANDIN_SYS_DATABASES",
                   {"NAME", "COMPATIBILITY_LEVEL", "IS_QUOTED_IDENTIFIER_ON"},
                   {T(def.database_name), I(150), I(1)});
}

}  // namespace

Status WriteFixedRows(sql::Database& db, const LibraryDefinition& def,
                      const std::vector<const TableDef*>& tables) {
  KeySequence keys;
  if (Status s = WriteDictionary(db, def, tables, keys); !s.ok()) return s;
  if (Status s = WriteLookups(db, keys); !s.ok()) return s;
  if (Status s = WriteLibraries(db, def, keys); !s.ok()) return s;
  if (Status s = WriteStandinRows(db, def); !s.ok()) return s;
  return InsertRow(db, "STANDIN_KEYS", {"KEY_NAME", "LAST_KEY"}, {T(kSystemKey), I(keys.last())});
}

}  // namespace sproutsmith::schema
