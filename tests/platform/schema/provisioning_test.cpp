// Provisioning a library and filling it with generated data, on a SQLite file and in the
// owner's schema of a database of the test server: the same tables and fixed rows, key
// columns that ignore case, the same generated rows, and nothing written when either is
// refused or fails half-way.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/both_backends.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/test_data.h"
#include "support/status_assertions.h"

namespace sproutsmith::schema {
namespace {

using testing::Count;
using testing::ReadRows;
using testing::Scalar;
using Table = std::vector<std::vector<std::string>>;

// Each "FROM ..." with the number of rows it must count.
void ExpectCounts(sql::Database& db, const std::vector<std::pair<std::string, long long>>& counts) {
  for (const auto& [from, n] : counts)
    EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM " + from), n) << from;
}

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
  // In the owner's schema on PostgreSQL (the search path's first).
  const Table objects = Objects(*db);
  EXPECT_NE(std::find(objects.begin(), objects.end(), std::vector<std::string>{"PROFILE"}),
            objects.end());

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

  // The engine adds FOLDER.LAST_UPDATE itself.
  EXPECT_EQ(TablesWith(*db, "LAST_UPDATE"), Table{});
  ExpectCounts(*db, {{"DOCSCOLUMN WHERE TBNAME = 'FOLDER'", 0}, {"SEC_REASON", 0}, {"PEOPLE", 0}});
  EXPECT_EQ(ReadRows(*db,
                     "SELECT PARAM_VALUE FROM STANDIN_PARAMETERS WHERE PARAM_NAME = "
                     "'Library.Description'"),
            (Table{{"Demo library"}}));
  EXPECT_EQ(ReadRows(*db, "SELECT NAME FROM STANDIN_SYS_DATABASES"), (Table{{"DEMO"}}));
}

TEST_P(ProvisioningTest, KeyCounterStaysAboveEveryIdWrittenWithTheGeneratedData) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  GeneratorOptions options;
  options.clients = 4;
  ASSERT_TRUE(testing::Ok(GenerateTestData(*db, options)));

  const long long last =
      Count(*db, "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'");
  // Every column the counter numbers: ids, document numbers and versions.
  long long highest = 0;
  for (const std::string column : {"SYSTEM_ID", "DOCNUMBER", "VERSION_ID"}) {
    for (const auto& row : TablesWith(*db, column)) {
      highest =
          std::max(highest, Count(*db, "SELECT COALESCE(MAX(" + column + "), 0) FROM " + row[0]));
    }
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
    EXPECT_EQ(std::count(objects.begin(), objects.end(), std::vector<std::string>{table}), 0)
        << table;
  }
  // With the table catalog in DOCSTABLE (engine code 0), a listed table must exist.
  for (const auto& listed : ReadRows(*db, "SELECT UPPER(TABLE_NAME) FROM DOCSTABLE"))
    EXPECT_EQ(std::count(objects.begin(), objects.end(), listed), 1) << listed[0];
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
  ASSERT_TRUE(other
                  ->ExecuteScript(
                      "CREATE TABLE NOTES (TXT VARCHAR(10)); INSERT INTO NOTES VALUES ('keep me')")
                  .ok());
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
  // Only a database with the core tables is a library, and has keys to hand out.
  EXPECT_FALSE(IsDmLibrary(*fresh));
  EXPECT_EQ(AllocateKeys(*fresh, 1, &error), 0);
  EXPECT_FALSE(error.empty());

  // A view is no table, so the emptiness check passes and CREATE TABLE CLIENT fails after a
  // dozen tables were already created: all of them are rolled back.
  auto view = Empty();
  ASSERT_TRUE(view->Execute("CREATE VIEW CLIENT AS SELECT 1 AS X").ok());
  error = ProvisionLibrary(*view, Demo()).text;
  EXPECT_NE(error.find("CREATE TABLE CLIENT"), std::string::npos) << error;
  EXPECT_EQ(Objects(*view), (Table{{"CLIENT"}}));
  EXPECT_FALSE(IsDmLibrary(*view));

  ASSERT_TRUE(db->Execute("DROP TABLE FOLDER_ITEM").ok());
  EXPECT_FALSE(IsDmLibrary(*db));
}

TEST_P(ProvisioningTest, KeyColumnsIgnoreCaseWhileFlagsWidthsAndTheEnginesInvariantsHold) {
  auto db = Provisioned();
  ASSERT_TRUE(db);
  ASSERT_TRUE(
      db->ExecuteScript("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (900, 'jsmith'); "
                        "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY) VALUES "
                        "('Arborline', 'rule_template', 'r1'); INSERT INTO QUIL_SPROUTSMITH (SID, "
                        "TABLE_NAME, RULE_NAME) VALUES (1, 'client', 'r1')")
          .ok());
  // clang-format off
  ExpectCounts(*db, {
      {"PEOPLE WHERE USER_ID = 'JSMITH'", 1},
      {"PEOPLE WHERE USER_ID LIKE 'JS%'", 1},
      {"REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'demo'", 1},
      {"GROUPS WHERE GROUP_ID = 'docs_users'", 1},
      {"APPS WHERE APPLICATION IN ('Folder')", 1},
      {"FORMS WHERE FORM_NAME = 'workspace_prof'", 1},
      {"DOCSCOLUMN WHERE COLNAME = 'matter' AND TBNAME = 'profile'", 1},
      {"DOCSTABLE WHERE TABLE_NAME = 'quil_settings'", 1},
      {"QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SUB_KEY = 'R1'", 1},
      {"QUIL_SETTINGS WHERE SECTION_KEY = 'RULE_TEMPLATE' AND SUB_KEY = 'R1'", 1},
      {"QUIL_SPROUTSMITH WHERE TABLE_NAME = 'CLIENT' AND RULE_NAME = 'R1'", 1},
      {"STANDIN_KEYS WHERE KEY_NAME = 'systemkey'", 1},
      {"STANDIN_SYS_DATABASES WHERE NAME = 'Demo'", 1},
      {"FORMS WHERE FORM_TYPE = 'p'", 0},  // flags and values keep their case
  });
  // clang-format on
  EXPECT_EQ(ReadRows(*db, "SELECT GROUP_ID FROM GROUPS WHERE GROUP_ID LIKE 'docs%' ORDER BY 1"),
            (Table{{"DOCS_SUPERVISORS"}, {"DOCS_USERS"}}));
  // Uniqueness follows the same collation: a second 'JSMITH' is the same user.
  EXPECT_FALSE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (901, 'JSMITH')").ok());
  // PostgreSQL holds the columns' widths; SQLite stores any length.
  EXPECT_EQ(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (902, '" +
                        std::string(65, 'X') + "')")
                .ok(),
            !Postgres());

  // One NULL SID would empty every NOT IN exclusion of the selection statement.
  EXPECT_FALSE(db->Execute("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME) "
                           "VALUES (NULL, 'CLIENT', 'R1')")
                   .ok());
  // Running-node rows of several computers share their keys; rule rows may differ in case.
  for (const std::string sub : {"RUNNING_NODES", "RUNNING_NODES", "b", "A"}) {
    EXPECT_TRUE(db->Execute("INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY) VALUES "
                            "('ARBORLINE', 'SPROUTSMITH', '" +
                            sub + "')")
                    .ok());
  }
  EXPECT_EQ(
      ReadRows(
          *db,
          "SELECT SUB_KEY FROM QUIL_SETTINGS WHERE SECTION_KEY = 'SPROUTSMITH' ORDER BY SUB_KEY"),
      (Table{{"A"}, {"b"}, {"RUNNING_NODES"}, {"RUNNING_NODES"}}));
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, ProvisioningTest, testing::BothBackends(),
                         testing::BackendParamName);

GeneratorOptions Small() {
  return {.clients = 7,
          .matters_per_client = 3,
          .document_types = 4,
          .people = 6,
          .documents_per_matter = 5,
          .seed = 42};
}

// Everything the generator writes, as one comparable text.
std::string Dump(sql::Database& db) {
  std::vector<std::string> lines;
  for (const char* table :
       {"CLIENT", "MATTER", "DOCUMENTTYPES", "GROUPS", "PEOPLE", "PEOPLEGROUPS", "PROFILE",
        "VERSIONS", "STANDIN_RIGHTS", "QUIL_SETTINGS", "STANDIN_KEYS"}) {
    for (const auto& row : ReadRows(db, std::string("SELECT * FROM ") + table)) {
      lines.push_back(table);
      for (const auto& v : row) lines.back() += "|" + v;
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The generator on a provisioned library.
class TestDataTest : public ProvisioningTest {
 protected:
  std::unique_ptr<sql::Database> Generated(const GeneratorOptions& options = Small()) {
    auto db = Provisioned();
    EXPECT_TRUE(db && testing::Ok(GenerateTestData(*db, options)));
    return db;
  }
};

TEST_P(TestDataTest, LoginUserIsASupervisorAndTheOthersAreNot) {
  auto db = Generated();
  // The start-up rights check: membership of a group with UNIV_ACCESS >= 191.
  const std::string check =
      "SELECT COUNT(*) FROM PEOPLEGROUPS PG WHERE PG.PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM "
      "PEOPLE WHERE UPPER(USER_ID) = '%s') AND PG.GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM "
      "GROUPS WHERE UNIV_ACCESS >= 191)";
  auto rights_of = [&](const std::string& user) {
    std::string q = check;
    q.replace(q.find("%s"), 2, user);
    return Count(*db, q);
  };
  EXPECT_EQ(rights_of("DMADMIN"), 1);
  for (const auto& row : ReadRows(*db, "SELECT USER_ID FROM PEOPLE WHERE USER_ID <> 'DMADMIN'")) {
    EXPECT_EQ(rights_of(row[0]), 0) << row[0];
  }
}

TEST_P(TestDataTest, RulesKeepLongTextsWholeAndOneValueColumnPerKey) {
  auto db = Generated();
  RuleDefinition long_rule;
  long_rule.name = "long";
  long_rule.SetText("RULE_SPROUTSMITH_TEXT", std::string(1200, 'x'));
  ASSERT_TRUE(testing::Ok(WriteRule(*db, long_rule)));
  EXPECT_EQ(Scalar(*db, "SELECT CHAR_VAL FROM QUIL_SETTINGS WHERE SUB_KEY = 'long'"),
            std::string(1200, 'x'));
  // Integer keys carry INT_VAL, text keys CHAR_VAL: a NULL in the wrong one is skipped.
  ExpectCounts(*db, {{"QUIL_SETTINGS WHERE (CHAR_VAL IS NULL) = (INT_VAL IS NULL)", 0}});
}

TEST_P(TestDataTest, RefusesLibrariesItCannotFillAndWritesNothing) {
  std::string error;
  auto empty = Empty();
  error = GenerateTestData(*empty, Small()).text;
  EXPECT_NE(error.find("holds no DM library"), std::string::npos) << error;

  auto db = Generated();
  const std::string before = Dump(*db);
  error = GenerateTestData(*db, Small()).text;
  EXPECT_NE(error.find("already holds"), std::string::npos) << error;
  EXPECT_EQ(Dump(*db), before);

  LibraryDefinition without_quil = Demo();
  without_quil.with_quil_tables = false;
  auto bare = Provisioned(without_quil);
  error = GenerateTestData(*bare, Small()).text;
  EXPECT_NE(error.find("QUIL_SETTINGS"), std::string::npos) << error;
  ExpectCounts(*bare, {{"PEOPLE", 0}});
  GeneratorOptions no_rules = Small();
  no_rules.with_rules = false;
  EXPECT_TRUE(testing::Ok(GenerateTestData(*bare, no_rules)));

  auto fresh = Provisioned();
  GeneratorOptions bad = Small();
  bad.document_types = 0;
  EXPECT_NE(GenerateTestData(*fresh, bad).text, "");
  bad = Small();
  bad.login_user = " ";
  EXPECT_NE(GenerateTestData(*fresh, bad).text, "");
  ExpectCounts(*fresh, {{"PEOPLE", 0}});
}

TEST_P(TestDataTest, WritesTheRequestedAmountsInManyInsertBatches) {
  auto db = Generated({.clients = 120,
                       .matters_per_client = 4,
                       .document_types = 12,
                       .people = 40,
                       .documents_per_matter = 3,
                       .login_user = "jdoe"});
  ExpectCounts(*db, {{"CLIENT", 120},
                     {"MATTER", 480},
                     {"DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER'", 12},
                     {"PEOPLE", 41},
                     {"PROFILE", 1440},
                     {"VERSIONS", 1440},
                     {"(SELECT DISTINCT DOCNUMBER FROM VERSIONS) AS V", 1440}});
  // The login user keeps the case it was given; lookups ignore case anyway.
  EXPECT_EQ(Scalar(*db, "SELECT USER_ID FROM PEOPLE WHERE USER_ID = 'JDOE'"), "jdoe");
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, TestDataTest, testing::BothBackends(),
                         testing::BackendParamName);

}  // namespace
}  // namespace sproutsmith::schema
