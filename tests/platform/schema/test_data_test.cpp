#include "platform/schema/test_data.h"

#include <gtest/gtest.h>

#include "platform/both_backends.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/rule_rows.h"
#include "support/status_assertions.h"

namespace sproutsmith::schema {
namespace {

using testing::Count;
using testing::ReadRows;
using testing::Scalar;
using Table = std::vector<std::vector<std::string>>;

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
  std::string out;
  for (const char* table :
       {"CLIENT", "MATTER", "DOCUMENTTYPES", "GROUPS", "PEOPLE", "PEOPLEGROUPS", "PROFILE",
        "VERSIONS", "STANDIN_RIGHTS", "QUIL_SETTINGS", "STANDIN_KEYS"}) {
    for (const auto& row :
         ReadRows(db, std::string("SELECT * FROM ") + table + " ORDER BY rowid")) {
      out += table;
      for (const auto& v : row) out += "|" + v;
      out += "\n";
    }
  }
  return out;
}

class TestDataTest : public ::testing::Test {
 protected:
  std::unique_ptr<sql::SqliteDatabase> Open(const std::string& file) {
    return sql::SqliteDatabase::Open(dir_.File(file), true);
  }
  std::unique_ptr<sql::SqliteDatabase> Library(const std::string& file, bool quil = true) {
    auto db = Open(file);
    LibraryDefinition def;
    def.name = "DEMO";
    def.with_quil_tables = quil;
    EXPECT_TRUE(testing::Ok(ProvisionLibrary(*db, def)));
    return db;
  }
  std::unique_ptr<sql::SqliteDatabase> Generated(const std::string& file,
                                                 const GeneratorOptions& options) {
    auto db = Library(file);
    EXPECT_TRUE(testing::Ok(GenerateTestData(*db, options)));
    return db;
  }
  testing::TempDir dir_;
};

TEST_F(TestDataTest, WritesTheRequestedAmounts) {
  auto db = Generated("lib.db", Small());
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM CLIENT"), 7);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM MATTER"), 21);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER'"), 4);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PEOPLE"), 7);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PROFILE"), 105);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM VERSIONS"), 105);
  EXPECT_EQ(ReadRows(*db, "SELECT CLIENT_ID FROM CLIENT ORDER BY CLIENT_ID LIMIT 2"),
            (Table{{"C0001"}, {"C0002"}}));
  EXPECT_EQ(ReadRows(*db, "SELECT DISTINCT MATTER_ID FROM MATTER ORDER BY MATTER_ID"),
            (Table{{"0001"}, {"0002"}, {"0003"}}));
  EXPECT_EQ(ReadRows(*db,
                     "SELECT TYPE_ID FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER' "
                     "ORDER BY SYSTEM_ID"),
            (Table{{"CORR"}, {"MEMO"}, {"AGMT"}, {"PLEAD"}}));
}

TEST_F(TestDataTest, LoginUserIsASupervisorAndTheOthersAreNot) {
  auto db = Generated("lib.db", Small());
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
  EXPECT_EQ(ReadRows(*db,
                     "SELECT G.GROUP_ID, P.PRIMARY_LIB FROM PEOPLE P, GROUPS G "
                     "WHERE G.SYSTEM_ID = P.PRIMARY_GROUP AND P.USER_ID = 'DMADMIN'"),
            (Table{{"DOCS_SUPERVISORS", "0"}}));
  // Everyone else is in DOCS_USERS (id 0) and one practice group.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM PEOPLE P WHERE P.USER_ID <> 'DMADMIN' AND "
                  "(SELECT COUNT(*) FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = P.SYSTEM_ID "
                  "AND GROUPS_SYSTEM_ID IN (0, P.PRIMARY_GROUP)) = 2"),
            6);
  EXPECT_EQ(ReadRows(*db,
                     "SELECT RIGHT_NAME, ALLOWED FROM STANDIN_RIGHTS WHERE USER_ID = 'DMADMIN' "
                     "ORDER BY RIGHT_NAME"),
            (Table{{"User.CreateFolder", "1"},
                   {"User.ManageRootFolders", "1"},
                   {"User.SaveToRemoteLibrary", "1"}}));
  EXPECT_EQ(Count(*db, "SELECT COUNT(DISTINCT USER_ID) FROM STANDIN_RIGHTS WHERE ALLOWED = 1"), 4);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM STANDIN_RIGHTS WHERE ALLOWED = 0"), 1);
}

TEST_F(TestDataTest, SameSeedSameRowsOtherSeedOtherRows) {
  auto a = Generated("a.db", Small());
  auto b = Generated("b.db", Small());
  GeneratorOptions other = Small();
  other.seed = 43;
  auto c = Generated("c.db", other);
  const std::string dump = Dump(*a);
  EXPECT_EQ(dump, Dump(*b));
  EXPECT_NE(dump, Dump(*c));
  // Only the content varies with the seed, never the shape.
  EXPECT_EQ(Count(*c, "SELECT COUNT(*) FROM PROFILE"), 105);
}

TEST_F(TestDataTest, EveryReferenceResolvesAndKeysStayBelowTheCounter) {
  auto db = Generated("lib.db", Small());
  const struct {
    const char* column;  // TABLE.COLUMN
    const char* refers_to;
  } references[] = {
      {"PROFILE.MATTER", "SELECT SYSTEM_ID FROM MATTER"},
      {"MATTER.CLIENT_ID", "SELECT SYSTEM_ID FROM CLIENT"},
      {"PROFILE.DOCUMENTTYPE", "SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER'"},
      {"PROFILE.APPLICATION", "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION <> 'FOLDER'"},
      {"PROFILE.AUTHOR", "SELECT SYSTEM_ID FROM PEOPLE"},
      {"PROFILE.TYPIST", "SELECT SYSTEM_ID FROM PEOPLE"},
      {"PROFILE.FORM", "SELECT SYSTEM_ID FROM FORMS"},
      {"PEOPLE.PRIMARY_GROUP", "SELECT SYSTEM_ID FROM GROUPS"},
      {"PEOPLEGROUPS.GROUPS_SYSTEM_ID", "SELECT SYSTEM_ID FROM GROUPS"},
      {"PEOPLEGROUPS.PEOPLE_SYSTEM_ID", "SELECT SYSTEM_ID FROM PEOPLE"},
      {"VERSIONS.DOCNUMBER", "SELECT DOCNUMBER FROM PROFILE"},
      {"STANDIN_RIGHTS.USER_ID", "SELECT USER_ID FROM PEOPLE"},
  };
  for (const auto& r : references) {
    const std::string column = r.column;
    const size_t dot = column.find('.');
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + column.substr(0, dot) + " WHERE " +
                             column.substr(dot + 1) + " NOT IN (" + r.refers_to + ")"),
              0)
        << r.column;
  }
  // Trustee ids name a person or a group, never both; document numbers are no system ids.
  EXPECT_EQ(
      Count(*db, "SELECT COUNT(*) FROM PEOPLE WHERE SYSTEM_ID IN (SELECT SYSTEM_ID FROM GROUPS)"),
      0);
  EXPECT_EQ(
      Count(*db, "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER IN (SELECT SYSTEM_ID FROM PROFILE)"),
      0);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PROFILE WHERE STATUS <> 0"), 0);

  const long long last = Count(*db, "SELECT LAST_KEY FROM STANDIN_KEYS");
  const long long highest =
      Count(*db,
            "SELECT MAX(X) FROM (SELECT MAX(SYSTEM_ID) AS X FROM PROFILE UNION ALL SELECT "
            "MAX(DOCNUMBER) FROM PROFILE UNION ALL SELECT MAX(VERSION_ID) FROM VERSIONS UNION "
            "ALL SELECT MAX(SYSTEM_ID) FROM PEOPLE UNION ALL SELECT MAX(SYSTEM_ID) FROM GROUPS "
            "UNION ALL SELECT MAX(SYSTEM_ID) FROM MATTER UNION ALL SELECT MAX(SYSTEM_ID) FROM "
            "DOCSCOLUMN)");
  EXPECT_GE(last, highest);
}

TEST_F(TestDataTest, NoMatterHoldsEveryDocumentType) {
  auto db = Generated("lib.db", Small());
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM (SELECT MATTER FROM PROFILE GROUP BY MATTER "
                  "HAVING COUNT(DISTINCT DOCUMENTTYPE) >= 4)"),
            0);
  // ... but the library as a whole uses more than one, so type levels differ by matter.
  EXPECT_GT(Count(*db, "SELECT COUNT(DISTINCT DOCUMENTTYPE) FROM PROFILE"), 1);
}

TEST_F(TestDataTest, RulesReadBackThroughTheRuleStoreQuery) {
  auto db = Generated("lib.db", Small());
  RuleDefinition long_rule;
  long_rule.name = "long";
  long_rule.SetText("RULE_SPROUTSMITH_TEXT", std::string(1200, 'x'));
  ASSERT_TRUE(testing::Ok(WriteRule(*db, long_rule)));

  const auto rows = ReadRows(
      *db,
      "SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), INT_VAL, "
      "SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), SUBSTRING(CHAR_VAL, 763, "
      "254) FROM QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' "
      "OR SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, SECTION_KEY");
  auto value = [&rows](const std::string& section, const std::string& sub) {
    for (const auto& r : rows) {
      if (r[0] == section && r[1] == sub) {
        return r[3] != "NULL" ? r[3] : r[2] + r[4] + r[5] + r[6];
      }
    }
    return std::string("<missing>");
  };
  EXPECT_EQ(value("RULE_TEMPLATE", kClientMattersRule), kMatterTemplate);
  EXPECT_EQ(value("RULE_VALUES", kClientMattersRule), "%APPLICATION.APPLICATION% <> 'FOLDER'");
  EXPECT_EQ(value("RULE_TEMPLATE", kClientsRule), kClientsTemplate);
  EXPECT_EQ(value("RULE_FORM", kClientsRule), "FOLDER_PROF");
  EXPECT_EQ(value("RULE_VALUES", kClientsRule), "<missing>");
  EXPECT_EQ(value("RULE_CREATE_PUBLIC_FOLDERS", kClientMattersRule), "1");
  EXPECT_EQ(value("RULE_QUICKSEARCH_RANGE", kClientsRule), "90");
  EXPECT_EQ(value("SETTINGS", "MAXITEMSTOSORT"), "500");
  EXPECT_EQ(value("RULE_SPROUTSMITH_TEXT", "long"), std::string(1016, 'x'));

  // Integer keys carry INT_VAL, text keys CHAR_VAL: a NULL in the wrong one is skipped.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE (CHAR_VAL IS NULL) = "
                  "(INT_VAL IS NULL)"),
            0);
  // The rule store orders by SUB_KEY, blank before letters.
  EXPECT_EQ(rows.front()[1], kClientMattersRule);
}

TEST_F(TestDataTest, RefusesLibrariesItCannotFillAndWritesNothing) {
  std::string error;
  auto empty = Open("empty.db");
  error = GenerateTestData(*empty, Small()).text;
  EXPECT_NE(error.find("holds no DM library"), std::string::npos) << error;

  auto db = Generated("lib.db", Small());
  const std::string before = Dump(*db);
  error = GenerateTestData(*db, Small()).text;
  EXPECT_NE(error.find("already holds"), std::string::npos) << error;
  EXPECT_EQ(Dump(*db), before);

  auto bare = Library("bare.db", /*quil=*/false);
  error = GenerateTestData(*bare, Small()).text;
  EXPECT_NE(error.find("QUIL_SETTINGS"), std::string::npos) << error;
  EXPECT_EQ(Count(*bare, "SELECT COUNT(*) FROM PEOPLE"), 0);
  GeneratorOptions no_rules = Small();
  no_rules.with_rules = false;
  EXPECT_TRUE(testing::Ok(GenerateTestData(*bare, no_rules)));

  auto fresh = Library("fresh.db");
  GeneratorOptions bad = Small();
  bad.document_types = 0;
  EXPECT_NE(GenerateTestData(*fresh, bad).text, "");
  bad = Small();
  bad.login_user = " ";
  EXPECT_NE(GenerateTestData(*fresh, bad).text, "");
  EXPECT_EQ(Count(*fresh, "SELECT COUNT(*) FROM PEOPLE"), 0);
}

TEST_F(TestDataTest, LargerLibrarySpansManyInsertBatches) {
  auto db = Generated("big.db", {.clients = 120,
                                 .matters_per_client = 4,
                                 .document_types = 12,
                                 .people = 40,
                                 .documents_per_matter = 3,
                                 .login_user = "jdoe"});
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PROFILE"), 1440);
  EXPECT_EQ(Count(*db, "SELECT COUNT(DISTINCT DOCNUMBER) FROM VERSIONS"), 1440);
  EXPECT_EQ(Count(*db, "SELECT COUNT(DISTINCT USER_ID) FROM PEOPLE"), 41);
  // The login user keeps the case it was given; lookups ignore case anyway.
  EXPECT_EQ(Scalar(*db, "SELECT USER_ID FROM PEOPLE WHERE USER_ID = 'JDOE'"), "jdoe");
  EXPECT_EQ(Scalar(*db, "SELECT TYPE_ID FROM DOCUMENTTYPES ORDER BY SYSTEM_ID DESC LIMIT 1"),
            "TYPE12");
  EXPECT_EQ(Scalar(*db, "SELECT MAX(CLIENT_ID) FROM CLIENT"), "C0120");
}

}  // namespace
}  // namespace sproutsmith::schema
