// Provisioning a library, on a SQLite file and in the owner's schema of a database of the
// test server: the same tables and fixed rows, key columns that ignore case, and nothing
// written when it is refused or fails half-way.

#include <gtest/gtest.h>

#include "platform/both_backends.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "support/status_assertions.h"

namespace sproutsmith::schema {
namespace {

using testing::Count;
using testing::ReadRows;
using testing::Scalar;
using Table = std::vector<std::vector<std::string>>;

LibraryDefinition Demo() {
  LibraryDefinition def;
  def.name = "demo";
  def.description = "Demo library";
  def.owner = "LawAdm";
  def.other_libraries = {{"archive", 10}, {"Ora", 2, " oraown "}};
  return def;
}

class ProvisioningTest : public testing::BackendTest {
 protected:
  // An empty database of its own; on PostgreSQL its search path is the owner's schema.
  std::unique_ptr<sql::Database> Empty(const std::string& owner = "LawAdm") {
    NewDatabase();
    return Open({}, owner);
  }
  std::unique_ptr<sql::Database> Provisioned(const LibraryDefinition& def = Demo()) {
    std::unique_ptr<sql::Database> db = Empty(def.owner);
    EXPECT_TRUE(db && testing::Ok(ProvisionLibrary(*db, def)));
    return db;
  }
  // Every table and view of the library (and every index of a library file), in capitals.
  Table Objects(sql::Database& db) {
    return ReadRows(db, Postgres() ? "SELECT UPPER(table_name) FROM information_schema.tables "
                                     "WHERE table_schema = current_schema() ORDER BY 1"
                                   : "SELECT UPPER(name) FROM sqlite_master ORDER BY 1");
  }
  // The tables that have `column`.
  Table TablesWith(sql::Database& db, const std::string& column) {
    return ReadRows(db, Postgres() ? "SELECT table_name FROM information_schema.columns WHERE "
                                     "table_schema = current_schema() AND column_name = LOWER('" +
                                         column + "')"
                                   : "SELECT m.name FROM sqlite_master m WHERE m.type = 'table' "
                                     "AND EXISTS (SELECT 1 FROM pragma_table_info(m.name) "
                                     "WHERE name = '" +
                                         column + "')");
  }
};

TEST_P(ProvisioningTest, AnEmptyDatabaseBecomesALibraryWithItsFixedRows) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  EXPECT_TRUE(IsDmLibrary(*db));
  EXPECT_NE(Objects(*db), Table{});

  // The installation: own row 0 in capitals, one row per other library with its own owner
  // (this library's when none is given).
  const std::string id = "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = ";
  EXPECT_EQ(
      ReadRows(*db,
               "SELECT SYSTEM_ID, LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, OWNER, "
               "SERVER_LOCATION FROM REMOTE_LIBRARIES ORDER BY LIBRARY_NAME"),
      (Table{{Scalar(*db, id + "'ARCHIVE'"), "ARCHIVE", "ARCHIVE", "10", "LawAdm", "localhost"},
             {"0", "DEMO", "DEMO", "10", "LawAdm", "localhost"},
             {Scalar(*db, id + "'ORA'"), "ORA", "ORA", "2", "oraown", "localhost"}}));
  EXPECT_NE(Scalar(*db, id + "'ORA'"), "0");

  // Foreign-key hops the default templates and rule parameters rely on.
  EXPECT_EQ(ReadRows(*db,
                     "SELECT TBNAME, COLNAME, FTBNAME, FCOLNAME FROM DOCSCOLUMN "
                     "WHERE FTBNAME <> '' OR COLNAME = 'SECURITY_LINK' ORDER BY TBNAME, COLNAME"),
            (Table{{"MATTER", "CLIENT_ID", "CLIENT", "SYSTEM_ID"},
                   {"PEOPLE", "PRIMARY_GROUP", "GROUPS", "SYSTEM_ID"},
                   {"PROFILE", "APPLICATION", "APPS", "SYSTEM_ID"},
                   {"PROFILE", "AUTHOR", "PEOPLE", "SYSTEM_ID"},
                   {"PROFILE", "DOCUMENTTYPE", "DOCUMENTTYPES", "SYSTEM_ID"},
                   {"PROFILE", "MATTER", "MATTER", "SYSTEM_ID"},
                   {"PROFILE", "SECURITY_LINK", "", ""},
                   {"PROFILE", "TYPIST", "PEOPLE", "SYSTEM_ID"}}));
  // The engine adds FOLDER.LAST_UPDATE itself; a site's lookup columns stay unlisted.
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER'"), 0);
  EXPECT_EQ(TablesWith(*db, "LAST_UPDATE"), Table{});
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCSCOLUMN WHERE COLNAME IN ('DIVISION', 'ATTY')"), 0);

  // Statements the engine runs against a fresh library.
  EXPECT_EQ(ReadRows(*db,
                     "SELECT TABLE_NAME FROM DOCSTABLE WHERE VALIDATION_TABLE = 'Y' "
                     "ORDER BY TABLE_NAME"),
            (Table{{"CLIENT"}, {"DOCUMENTTYPES"}, {"MATTER"}}));
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCSTABLE WHERE UPPER(TABLE_NAME) = 'QUIL_SETTINGS'"),
            1);
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM FORMS WHERE FORM_NAME = 'WORKSPACE_PROF' "
                  "AND FORM_TYPE = 'P'"),
            1);
  EXPECT_NE(Scalar(*db, "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'"), "<none>");
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCUMENTTYPES WHERE TYPE_ID = 'FOLDER'"), 1);
  EXPECT_EQ(ReadRows(*db, "SELECT SYSTEM_ID, GROUP_ID, UNIV_ACCESS FROM GROUPS ORDER BY GROUP_ID"),
            (Table{{Scalar(*db, "SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'"),
                    "DOCS_SUPERVISORS", "255"},
                   {"0", "DOCS_USERS", "63"}}));
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM SEC_REASON"), 0);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PEOPLE"), 0);

  // The stand-in's rows.
  EXPECT_EQ(ReadRows(*db,
                     "SELECT PARAM_NAME, PARAM_VALUE FROM STANDIN_PARAMETERS WHERE PARAM_NAME IN "
                     "('DOCSParms.UniqueDocNames', 'Library.Description') ORDER BY 1"),
            (Table{{"DOCSParms.UniqueDocNames", "0"}, {"Library.Description", "Demo library"}}));
  EXPECT_EQ(ReadRows(*db,
                     "SELECT NAME, COMPATIBILITY_LEVEL, IS_QUOTED_IDENTIFIER_ON "
                     "FROM STANDIN_SYS_DATABASES"),
            (Table{{"DEMO", "150", "1"}}));
  EXPECT_EQ(ReadRows(*db,
                     "SELECT SQL_COLUMN, LOOKUP_TABLE, LOOKUP_COLUMN FROM STANDIN_FORM_COLUMNS "
                     "WHERE FORM_NAME = 'FOLDER_PROF' AND COLUMN_NAME IN ('AUTHOR_ID', 'APP_ID') "
                     "ORDER BY COLUMN_NAME"),
            (Table{{"APPLICATION", "APPS", "APPLICATION"}, {"AUTHOR", "PEOPLE", "USER_ID"}}));
  EXPECT_EQ(ReadRows(*db,
                     "SELECT ATTR1, ATTR2, DATA_TYPE FROM STANDIN_FORM_COLUMNS "
                     "WHERE FORM_NAME = 'DEFPROF' AND COLUMN_NAME = 'DOCNUM'"),
            (Table{{"1", "0", "4"}}));
}

TEST_P(ProvisioningTest, KeyCounterStaysAboveEveryIdWrittenWithTheGeneratedData) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  GeneratorOptions options;
  options.clients = 4;
  ASSERT_TRUE(testing::Ok(GenerateTestData(*db, options)));
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM CLIENT"), 4);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM MATTER"), 12);
  EXPECT_GT(Count(*db, "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE 'RULE_%'"), 0);

  const long long last =
      Count(*db, "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'");
  long long highest = 0;
  for (const auto& row : TablesWith(*db, "SYSTEM_ID")) {
    highest = std::max(highest, Count(*db, "SELECT COALESCE(MAX(SYSTEM_ID), 0) FROM " + row[0]));
  }
  EXPECT_GT(highest, 0);
  EXPECT_GE(last, highest);

  std::string error;
  const long long first = AllocateKeys(*db, 5, &error);
  EXPECT_EQ(first, last + 1) << error;
  EXPECT_EQ(AllocateKeys(*db, 1, &error), last + 6);
  EXPECT_EQ(AllocateKeys(*db, 0, &error), 0);
  EXPECT_FALSE(error.empty());
}

TEST_P(ProvisioningTest, SwitchesLeaveOutTheSystemAndOptionalTables) {
  LibraryDefinition def = Demo();
  def.with_quil_tables = false;
  def.with_optional_tables = false;
  auto db = Provisioned(def);
  ASSERT_TRUE(db);
  EXPECT_TRUE(IsDmLibrary(*db));
  const Table objects = Objects(*db);
  for (const char* table :
       {"QUIL_SETTINGS", "QUIL_SPROUTSMITH", "NEEDS_FOLDERING", "NEEDS_SECURING", "SEC_REASON",
        "LOOKUP_SECURITY", "QUIL_PROXY", "QUIL_SUBSCRIPTION"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(std::count(objects.begin(), objects.end(), std::vector<std::string>{table}), 0);
    // With the table catalog in DOCSTABLE (engine code 0), a listed table must exist.
    EXPECT_EQ(Count(*db, std::string("SELECT COUNT(*) FROM DOCSTABLE WHERE TABLE_NAME = '") +
                             table + "'"),
              0);
  }
  // Without SEC_REASON the security-link row would make the engine name missing data.
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCSCOLUMN WHERE COLNAME = 'SECURITY_LINK'"), 0);
}

TEST_P(ProvisioningTest, RefusesAnythingButAnEmptyDatabaseAndWritesNothing) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  const long long columns = Count(*db, "SELECT COUNT(*) FROM DOCSCOLUMN");
  std::string error = ProvisionLibrary(*db, Demo()).text;
  EXPECT_NE(error.find("already holds a DM library"), std::string::npos) << error;
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCSCOLUMN"), columns);

  auto other = Empty();
  ASSERT_TRUE(other->Execute("CREATE TABLE NOTES (TXT VARCHAR(10))").ok());
  ASSERT_TRUE(other->Execute("INSERT INTO NOTES VALUES ('keep me')").ok());
  error = ProvisionLibrary(*other, Demo()).text;
  EXPECT_NE(error.find("not empty"), std::string::npos) << error;
  EXPECT_FALSE(IsDmLibrary(*other));
  EXPECT_EQ(Objects(*other), (Table{{"NOTES"}}));
  EXPECT_EQ(Scalar(*other, "SELECT TXT FROM NOTES"), "keep me");

  auto fresh = Empty();
  LibraryDefinition twice = Demo();
  twice.other_libraries.push_back({"Demo", 10});
  error = ProvisionLibrary(*fresh, twice).text;
  EXPECT_NE(error.find("DEMO is listed twice"), std::string::npos) << error;
  LibraryDefinition nameless = Demo();
  nameless.name = "  ";
  EXPECT_NE(ProvisionLibrary(*fresh, nameless).text, "");
  EXPECT_EQ(Objects(*fresh), Table{});

  // A view is no table, so the emptiness check passes and CREATE TABLE CLIENT fails after a
  // dozen tables were already created: all of them are rolled back.
  auto view = Empty();
  ASSERT_TRUE(view->Execute("CREATE VIEW CLIENT AS SELECT 1 AS X").ok());
  error = ProvisionLibrary(*view, Demo()).text;
  EXPECT_NE(error.find("CREATE TABLE CLIENT"), std::string::npos) << error;
  EXPECT_EQ(Objects(*view), (Table{{"CLIENT"}}));
  EXPECT_FALSE(IsDmLibrary(*view));
}

TEST_P(ProvisioningTest, KeyColumnsCompareWithoutRegardToCaseWhileFlagsAndWidthsHold) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  ASSERT_TRUE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (900, 'jsmith')").ok());
  ASSERT_TRUE(db->Execute("INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY) "
                          "VALUES ('Arborline', 'rule_template', 'r1')")
                  .ok());
  ASSERT_TRUE(db->Execute("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME) "
                          "VALUES (1, 'client', 'r1')")
                  .ok());
  struct Case {
    const char* query;
    long long expected;
  };
  const Case cases[] = {
      {"SELECT COUNT(*) FROM PEOPLE WHERE USER_ID = 'JSMITH'", 1},
      {"SELECT COUNT(*) FROM PEOPLE WHERE USER_ID LIKE 'JS%'", 1},
      {"SELECT COUNT(*) FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'demo'", 1},
      {"SELECT COUNT(*) FROM GROUPS WHERE GROUP_ID = 'docs_users'", 1},
      {"SELECT COUNT(*) FROM APPS WHERE APPLICATION IN ('Folder')", 1},
      {"SELECT COUNT(*) FROM FORMS WHERE FORM_NAME = 'workspace_prof'", 1},
      {"SELECT COUNT(*) FROM DOCSCOLUMN WHERE COLNAME = 'matter' AND TBNAME = 'profile'", 1},
      {"SELECT COUNT(*) FROM DOCSTABLE WHERE TABLE_NAME = 'quil_settings'", 1},
      {"SELECT COUNT(*) FROM QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' "
       "AND SECTION_KEY = 'RULE_TEMPLATE' AND SUB_KEY = 'R1'",
       1},
      {"SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'CLIENT' AND RULE_NAME = 'R1'", 1},
      {"SELECT COUNT(*) FROM STANDIN_KEYS WHERE KEY_NAME = 'systemkey'", 1},
      {"SELECT COUNT(*) FROM STANDIN_SYS_DATABASES WHERE NAME = 'Demo'", 1},
      // Flags and values keep their case.
      {"SELECT COUNT(*) FROM FORMS WHERE FORM_TYPE = 'p'", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Count(*db, c.query), c.expected) << c.query;
  EXPECT_EQ(ReadRows(*db, "SELECT GROUP_ID FROM GROUPS WHERE GROUP_ID LIKE 'docs%' ORDER BY 1"),
            (Table{{"DOCS_SUPERVISORS"}, {"DOCS_USERS"}}));
  // Uniqueness follows the same collation: a second 'JSMITH' is the same user.
  EXPECT_FALSE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (901, 'JSMITH')").ok());
  // PostgreSQL holds the columns' widths; SQLite stores any length.
  EXPECT_EQ(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (902, '" +
                        std::string(65, 'X') + "')")
                .ok(),
            !Postgres());
}

TEST_P(ProvisioningTest, TrackingAndSettingsTablesKeepTheEnginesInvariants) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  // One NULL SID would empty every NOT IN exclusion of the selection statement.
  EXPECT_FALSE(db->Execute("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME) "
                           "VALUES (NULL, 'CLIENT', 'R1')")
                   .ok());
  // Running-node rows of several computers share their keys; rule rows may differ in case.
  for (const char* sub : {"RUNNING_NODES", "RUNNING_NODES", "b", "A"}) {
    EXPECT_TRUE(db->Execute(std::string("INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, "
                                        "SUB_KEY) VALUES ('ARBORLINE', 'SPROUTSMITH', '") +
                            sub + "')")
                    .ok());
  }
  EXPECT_EQ(ReadRows(*db, "SELECT SUB_KEY FROM QUIL_SETTINGS ORDER BY SUB_KEY"),
            (Table{{"A"}, {"b"}, {"RUNNING_NODES"}, {"RUNNING_NODES"}}));
}

TEST_P(ProvisioningTest, OnlyDatabasesWithTheCoreTablesAreLibraries) {
  auto empty = Empty();
  ASSERT_TRUE(empty);
  EXPECT_FALSE(IsDmLibrary(*empty));
  std::string error;
  EXPECT_EQ(AllocateKeys(*empty, 1, &error), 0);
  EXPECT_FALSE(error.empty());

  auto db = Provisioned();
  ASSERT_TRUE(db->Execute("DROP TABLE FOLDER_ITEM").ok());
  EXPECT_FALSE(IsDmLibrary(*db));
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, ProvisioningTest, testing::BothBackends(),
                         testing::BackendParamName);

}  // namespace
}  // namespace sproutsmith::schema
