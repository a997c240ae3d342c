#include "platform/schema/table_definitions.h"

namespace sproutsmith::schema {

namespace {

ColumnDef Pk(std::string name) {
  ColumnDef c{std::move(name)};
  c.primary_key = true;
  return c;
}
ColumnDef Int(std::string name) { return ColumnDef{std::move(name)}; }
ColumnDef IntNotNull(std::string name, std::string default_value = "") {
  ColumnDef c{std::move(name)};
  c.not_null = true;
  c.default_value = std::move(default_value);
  return c;
}
ColumnDef Num(std::string name) { return ColumnDef{std::move(name), ColumnType::kNumber}; }
ColumnDef Text(std::string name, int length) {
  return ColumnDef{std::move(name), ColumnType::kText, length};
}
// A name the engine compares with "=" as written by someone else: case-insensitive.
ColumnDef Key(std::string name, int length) {
  ColumnDef c = Text(std::move(name), length);
  c.nocase = true;
  return c;
}
ColumnDef KeyNotNull(std::string name, int length) {
  ColumnDef c = Key(std::move(name), length);
  c.not_null = true;
  return c;
}
ColumnDef KeyPk(std::string name, int length) {
  ColumnDef c = KeyNotNull(std::move(name), length);
  c.primary_key = true;
  return c;
}
ColumnDef Flag(std::string name) { return Text(std::move(name), 1); }
ColumnDef Date(std::string name) { return ColumnDef{std::move(name), ColumnType::kDateTime}; }

IndexDef Unique(std::vector<std::string> columns) { return {std::move(columns), true}; }
IndexDef Plain(std::vector<std::string> columns) { return {std::move(columns), false}; }

std::vector<TableDef> BuildTables() {
  std::vector<TableDef> t;
  using G = TableGroup;

  // Documents and folders. A folder is a profile whose APPLICATION is APPS 'FOLDER'.
  // SECURITY_LINK and SEC_REASON_LINK always exist; whether the engine uses them is
  // decided by the DOCSCOLUMN row and the SEC_REASON table, which come together.
  t.push_back(
      {"PROFILE",
       G::kCore,
       {Pk("SYSTEM_ID"),
        IntNotNull("DOCNUMBER"),
        Key("DOCNAME", 240),
        Text("ABSTRACT", 255),
        Int("APPLICATION"),
        IntNotNull("STATUS", "0"),
        Int("AUTHOR"),
        Int("TYPIST"),
        Int("MATTER"),
        Int("DOCUMENTTYPE"),
        Key("PD_ADDRESSEE", 255),
        Int("FORM"),
        Text("STORAGETYPE", 1),
        Text("PATH", 255),
        Int("RETENTION"),
        Flag("FULLTEXT"),
        Date("EMAIL_SENT"),
        Date("EMAIL_RECEIVED"),
        IntNotNull("DEFAULT_RIGHTS", "0"),
        Int("SECURITY_LINK"),
        Int("SEC_REASON_LINK"),
        Int("DIVISION"),
        Int("ATTY"),
        Date("CREATION_DATE"),
        Date("LAST_EDIT_DATE")},
       {Unique({"DOCNUMBER"}), Plain({"MATTER"}), Plain({"DOCUMENTTYPE"}), Plain({"APPLICATION"}),
        Plain({"AUTHOR"}), Plain({"PD_ADDRESSEE"}), Plain({"DOCNAME"})}});
  // No LAST_UPDATE: the engine adds it, with its DOCSCOLUMN row, on first connection.
  t.push_back({"FOLDER", G::kCore, {Pk("DOCNUMBER"), Text("PATH", 255)}, {}});
  t.push_back(
      {"FOLDER_ITEM",
       G::kCore,
       {Pk("SYSTEM_ID"), IntNotNull("PARENT"), IntNotNull("DOCNUMBER", "0"),
        IntNotNull("PARENT_LIBRARY", "0"), IntNotNull("LIBRARY", "0"), Flag("NODE_TYPE"),
        Key("DISPLAYNAME", 255), IntNotNull("NEXT", "0"), Flag("ISFIRST"), Int("REMOTE_SYSTEM_ID"),
        Int("PARENT_VERSION"), Flag("VERSION_TYPE"), IntNotNull("STATUS", "0"),
        IntNotNull("FOLDERREMLIB_RO", "0"), IntNotNull("FOLDERDOCNO_RO", "0")},
       {Plain({"PARENT"}), Plain({"DOCNUMBER"})}});
  t.push_back({"ROOT_OBJECT",
               G::kCore,
               {IntNotNull("DOCNUMBER"), Key("DISPLAYNAME", 255)},
               {Plain({"DOCNUMBER"})}});
  // (THING, PERSONORGROUP) is kept unique by the statements themselves (delete first).
  t.push_back({"SECURITY",
               G::kCore,
               {IntNotNull("THING"), IntNotNull("PERSONORGROUP"), IntNotNull("ACCESSRIGHTS")},
               {Plain({"THING", "PERSONORGROUP"})}});

  // People and groups. SECURITY.PERSONORGROUP names either, so their SYSTEM_IDs come
  // from the one key counter and never collide (DOCS_USERS alone is 0).
  t.push_back({"PEOPLE",
               G::kCore,
               {Pk("SYSTEM_ID"), KeyNotNull("USER_ID", 64), Text("FULL_NAME", 255),
                Int("PRIMARY_GROUP"), Int("PRIMARY_LIB"), Key("EMAIL_ADDRESS", 255)},
               {Unique({"USER_ID"})}});
  t.push_back({"GROUPS",
               G::kCore,
               {Pk("SYSTEM_ID"), KeyNotNull("GROUP_ID", 64), Text("GROUP_NAME", 255),
                IntNotNull("UNIV_ACCESS", "0")},
               {Unique({"GROUP_ID"})}});
  t.push_back({"PEOPLEGROUPS",
               G::kCore,
               {IntNotNull("PEOPLE_SYSTEM_ID"), IntNotNull("GROUPS_SYSTEM_ID")},
               {Unique({"PEOPLE_SYSTEM_ID", "GROUPS_SYSTEM_ID"}), Plain({"GROUPS_SYSTEM_ID"})}});

  // Data dictionary. Names are held in capitals; comparisons ignore case all the same.
  t.push_back({"DOCSCOLUMN",
               G::kCore,
               {Pk("SYSTEM_ID"),        KeyNotNull("TBNAME", 64), KeyNotNull("COLNAME", 64),
                Key("FTBNAME", 64),     Key("FCOLNAME", 64),      Flag("MULTI_VALUE"),
                Flag("CMSKEY"),         Text("CREATOR", 64),      Flag("PROTECTED"),
                Flag("VISIBLEINLIST"),  Flag("USER_MODIFIABLE"),  Flag("USER_ADDED"),
                Flag("REQUIRED"),       Flag("ALLUPPER"),         Flag("ALLOWNULLS"),
                Text("OBJECTTYPE", 32), Text("KEYGROUP", 64),     Text("PROMPT", 64),
                Int("CMSTYPE"),         Int("COL_LENGTH")},
               {Unique({"TBNAME", "COLNAME"})}});
  t.push_back({"DOCSTABLE",
               G::kCore,
               {Pk("SYSTEM_ID"), KeyNotNull("TABLE_NAME", 64), Flag("VALIDATION_TABLE")},
               {Unique({"TABLE_NAME"})}});
  t.push_back({"REMOTE_LIBRARIES",
               G::kCore,
               {Pk("SYSTEM_ID"), KeyNotNull("LIBRARY_NAME", 64), IntNotNull("DATABASE_ENGINE", "0"),
                Key("OWNER", 64), Key("DATABASE_NAME", 128), Key("SERVER_LOCATION", 128),
                Text("SQL_PASSWORD", 64), Text("LIB_LOGIN_UNAME", 64)},
               {Unique({"LIBRARY_NAME"})}});
  t.push_back({"REGISTRY",
               G::kCore,
               {Pk("SYSTEM_ID"), Text("DATA", 255), Key("TYPE", 32), Key("ENTITYSCOPE", 32),
                Int("ENTITYID"), Key("NAME", 64), Key("DATATYPE", 32)},
               {Plain({"ENTITYID"})}});

  // Validation (lookup) tables the templates reach through DOCSCOLUMN.
  TableDef client{"CLIENT",
                  G::kCore,
                  {Pk("SYSTEM_ID"), KeyNotNull("CLIENT_ID", 32), Text("CLIENT_NAME", 255)},
                  {Unique({"CLIENT_ID"})}};
  client.validation_table = true;
  t.push_back(client);
  // Matter numbers repeat across clients ('0001' for every client).
  TableDef matter{
      "MATTER",
      G::kCore,
      {Pk("SYSTEM_ID"), Int("CLIENT_ID"), KeyNotNull("MATTER_ID", 32), Text("MATTER_NAME", 255)},
      {Plain({"CLIENT_ID", "MATTER_ID"}), Plain({"MATTER_ID"})}};
  matter.validation_table = true;
  t.push_back(matter);
  TableDef types{"DOCUMENTTYPES",
                 G::kCore,
                 {Pk("SYSTEM_ID"), KeyNotNull("TYPE_ID", 32), Text("DESCRIPTION", 255)},
                 {Unique({"TYPE_ID"})}};
  types.validation_table = true;
  t.push_back(types);
  t.push_back({"APPS",
               G::kCore,
               {Pk("SYSTEM_ID"), KeyNotNull("APPLICATION", 32), Text("DESCRIPTION", 255)},
               {Unique({"APPLICATION"})}});
  t.push_back(
      {"FORMS",
       G::kCore,
       {Pk("SYSTEM_ID"), KeyNotNull("FORM_NAME", 64), Flag("FORM_TYPE"), Text("FORM_TITLE", 255)},
       {Unique({"FORM_NAME"})}});
  t.push_back({"ACTIVITYLOG",
               G::kCore,
               {IntNotNull("DOCNUMBER"), Int("ACTIVITY_TYPE"), Int("TYPIST"), Date("START_DATE")},
               {Plain({"DOCNUMBER"})}});
  t.push_back({"VERSIONS",
               G::kCore,
               {Pk("VERSION_ID"), IntNotNull("DOCNUMBER"), IntNotNull("VERSION", "1"),
                Text("SUBVERSION", 2), Text("VERSION_LABEL", 32), Int("AUTHOR"), Int("TYPIST"),
                Date("CREATION_DATE")},
               {Plain({"DOCNUMBER", "VERSION_ID"})}});

  // The system's own tables; a library without them is skipped by the cycle.
  // No unique key: running-node rows of several computers share their three keys.
  t.push_back({"QUIL_SETTINGS",
               G::kQuil,
               {KeyNotNull("MASTER_KEY", 64), KeyNotNull("SECTION_KEY", 64), Key("SUB_KEY", 255),
                Text("CHAR_VAL", 4000), Num("INT_VAL"), Date("DATE_VAL"), Int("KEY_TYPE")},
               {Plain({"MASTER_KEY", "SECTION_KEY", "SUB_KEY"})}});
  // SID NOT NULL: one NULL would make every "NOT IN (SELECT SID ...)" exclusion empty.
  t.push_back({"QUIL_SPROUTSMITH",
               G::kQuil,
               {IntNotNull("SID"), KeyNotNull("TABLE_NAME", 64), KeyNotNull("RULE_NAME", 255),
                IntNotNull("STATUS", "0"), Text("LOCKED_BY", 64)},
               {Plain({"SID", "TABLE_NAME"}), Plain({"RULE_NAME"})}});
  t.push_back({"NEEDS_FOLDERING",
               G::kQuil,
               {IntNotNull("SID"), IntNotNull("STATUS", "0"), Text("LOCKED_BY", 64),
                IntNotNull("RETRY_COUNT", "0"), Int("DOCSTATUS"), Key("TABLE_NAME", 64),
                Key("MACHINE_NAME", 64), Date("LOCK_TIME")},
               {Plain({"SID", "TABLE_NAME"})}});

  // Optional features: the engine tests for their existence and adapts.
  t.push_back({"NEEDS_SECURING", G::kOptional, {IntNotNull("SID")}, {Plain({"SID"})}});
  t.push_back({"SEC_REASON",
               G::kOptional,
               {Pk("SYSTEM_ID"), IntNotNull("CODE"), Text("DESCRIPTION", 255)},
               {Plain({"CODE"})}});
  // Existence only: the statements name no column of these three.
  t.push_back({"LOOKUP_SECURITY",
               G::kOptional,
               {Pk("SYSTEM_ID"), Key("TABLE_NAME", 64), Int("GROUPS_SYSTEM_ID")},
               {}});
  t.push_back({"QUIL_PROXY", G::kOptional, {Pk("SYSTEM_ID"), Key("USER_ID", 64)}, {}});
  t.push_back({"QUIL_SUBSCRIPTION", G::kOptional, {Pk("SYSTEM_ID"), Key("USER_ID", 64)}, {}});
  // Count sources of one site's rules; empty elsewhere.
  t.push_back({"PCDT",
               G::kOptional,
               {Pk("SYSTEM_ID"), Text("DT_FOLDERNAME", 255), Text("DT_FR_FOLDERNAME", 255)},
               {}});
  t.push_back({"SUBTYPES",
               G::kOptional,
               {Pk("SYSTEM_ID"), Text("NAME_EN", 255), Text("NAME_FR", 255), Text("DISABLED", 1)},
               {}});

  // The DM server stand-in's own state (rights, form columns, defaults, key counter).
  auto standin = [&t](TableDef def) {
    def.group = G::kStandin;
    def.in_docstable = false;
    t.push_back(std::move(def));
  };
  standin({"STANDIN_KEYS", G::kStandin, {KeyPk("KEY_NAME", 32), IntNotNull("LAST_KEY")}, {}});
  standin({"STANDIN_RIGHTS",
           G::kStandin,
           {KeyNotNull("USER_ID", 64), KeyNotNull("RIGHT_NAME", 64), IntNotNull("ALLOWED", "0")},
           {Plain({"USER_ID", "RIGHT_NAME"})}});
  standin(
      {"STANDIN_PARAMETERS", G::kStandin, {KeyPk("PARAM_NAME", 64), Text("PARAM_VALUE", 255)}, {}});
  standin({"STANDIN_FORM_COLUMNS",
           G::kStandin,
           {KeyNotNull("FORM_NAME", 64), KeyNotNull("COLUMN_NAME", 64), Key("SQL_COLUMN", 64),
            IntNotNull("DATA_TYPE", "0"), IntNotNull("ATTR1", "0"), IntNotNull("ATTR2", "0"),
            Int("MAX_LENGTH"), Key("LOOKUP_TABLE", 64), Key("LOOKUP_COLUMN", 64)},
           {Plain({"FORM_NAME", "COLUMN_NAME"})}});
  standin({"STANDIN_PROFILE_DEFAULTS",
           G::kStandin,
           {KeyNotNull("USER_ID", 64), KeyNotNull("FORM_NAME", 64), KeyNotNull("COLUMN_NAME", 64),
            Text("DEFAULT_VALUE", 255)},
           {Plain({"USER_ID", "FORM_NAME"})}});
  standin({"STANDIN_EVENTS",
           G::kStandin,
           {Pk("EVENT_ID"), Key("EVENT_NAME", 64), Text("DETAIL", 255), Date("EVENT_TIME")},
           {Plain({"EVENT_NAME"})}});
  standin({"STANDIN_SYS_DATABASES",
           G::kStandin,
           {Key("NAME", 128), Int("COMPATIBILITY_LEVEL"), Int("IS_QUOTED_IDENTIFIER_ON")},
           {}});
  return t;
}

}  // namespace

const ColumnDef* TableDef::Find(const std::string& column) const {
  for (const ColumnDef& c : columns) {
    if (c.name == column) return &c;
  }
  return nullptr;
}

const std::vector<TableDef>& AllTables() {
  static const std::vector<TableDef> tables = BuildTables();
  return tables;
}

std::vector<const TableDef*> SelectTables(bool with_quil_tables, bool with_optional_tables) {
  std::vector<const TableDef*> selected;
  for (const TableDef& table : AllTables()) {
    if (table.group == TableGroup::kQuil && !with_quil_tables) continue;
    if (table.group == TableGroup::kOptional && !with_optional_tables) continue;
    selected.push_back(&table);
  }
  return selected;
}

const std::vector<std::string>& RequiredTableNames() {
  static const std::vector<std::string> names = {
      "PROFILE", "FOLDER", "FOLDER_ITEM",      "ROOT_OBJECT", "SECURITY",
      "PEOPLE",  "GROUPS", "PEOPLEGROUPS",     "DOCSCOLUMN",  "DOCSTABLE",
      "APPS",    "FORMS",  "REMOTE_LIBRARIES", "VERSIONS",    "STANDIN_KEYS"};
  return names;
}

const std::set<std::string>& NonNullIntegerColumns() {
  static const std::set<std::string> columns = [] {
    std::set<std::string> out;
    for (const TableDef& table : AllTables()) {
      for (const ColumnDef& c : table.columns) {
        if (c.type == ColumnType::kInteger && (c.not_null || c.primary_key)) {
          out.insert(table.name + "." + c.name);
        }
      }
    }
    return out;
  }();
  return columns;
}

std::vector<std::string> CreateStatements(const TableDef& table,
                                          std::string (*column_sql)(const ColumnDef&)) {
  std::string create = "CREATE TABLE " + table.name + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) create += ", ";
    create += column_sql(table.columns[i]);
  }
  create += ")";
  std::vector<std::string> statements{create};
  for (const IndexDef& index : table.indexes) {
    std::string name = "IX_" + table.name;
    std::string columns;
    for (const std::string& c : index.columns) {
      name += "_" + c;
      columns += (columns.empty() ? "" : ", ") + c;
    }
    statements.push_back(std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                         name + " ON " + table.name + " (" + columns + ")");
  }
  return statements;
}

}  // namespace sproutsmith::schema
