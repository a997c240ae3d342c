#include "platform/schema/test_data.h"

#include <gtest/gtest.h>

#include "platform/schema/library_schema.h"
#include "platform/schema/rule_rows.h"
#include "schema_test_util.h"
#include "support/status_assertions.h"

namespace sproutsmith::schema {
namespace {

using testutil::Count;
using testutil::OpenFile;
using testutil::Rows;
using testutil::Scalar;
using Table = std::vector<std::vector<std::string>>;

GeneratorOptions Small() {
  GeneratorOptions o;
  o.clients = 7;
  o.matters_per_client = 3;
  o.document_types = 4;
  o.people = 6;
  o.documents_per_matter = 5;
  o.seed = 42;
  return o;
}

// Everything the generator writes, as one comparable text.
std::string Dump(sql::Database& db) {
  std::string out;
  for (const char* table :
       {"CLIENT", "MATTER", "DOCUMENTTYPES", "GROUPS", "PEOPLE", "PEOPLEGROUPS", "PROFILE",
        "VERSIONS", "STANDIN_RIGHTS", "QUIL_SETTINGS", "STANDIN_KEYS"}) {
    for (const auto& row : Rows(db, std::string("SELECT * FROM ") + table + " ORDER BY rowid")) {
      out += table;
      for (const auto& v : row) out += "|" + v;
      out += "\n";
    }
  }
  return out;
}

class TestDataTest : public ::testing::Test {
 protected:
  std::unique_ptr<sql::SqliteDatabase> Library(const std::string& file, bool quil = true) {
    auto db = OpenFile(dir_.File(file));
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
  EXPECT_EQ(Rows(*db, "SELECT CLIENT_ID FROM CLIENT ORDER BY CLIENT_ID LIMIT 2"),
            (Table{{"C0001"}, {"C0002"}}));
  EXPECT_EQ(Rows(*db, "SELECT DISTINCT MATTER_ID FROM MATTER ORDER BY MATTER_ID"),
            (Table{{"0001"}, {"0002"}, {"0003"}}));
  EXPECT_EQ(Rows(*db,
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
  for (const auto& row : Rows(*db, "SELECT USER_ID FROM PEOPLE WHERE USER_ID <> 'DMADMIN'")) {
    EXPECT_EQ(rights_of(row[0]), 0) << row[0];
  }
  EXPECT_EQ(Rows(*db,
                 "SELECT G.GROUP_ID, P.PRIMARY_LIB FROM PEOPLE P, GROUPS G "
                 "WHERE G.SYSTEM_ID = P.PRIMARY_GROUP AND P.USER_ID = 'DMADMIN'"),
            (Table{{"DOCS_SUPERVISORS", "0"}}));
  // Everyone else is in DOCS_USERS (id 0) and one practice group.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM PEOPLE P WHERE P.USER_ID <> 'DMADMIN' AND "
                  "(SELECT COUNT(*) FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = P.SYSTEM_ID "
                  "AND GROUPS_SYSTEM_ID IN (0, P.PRIMARY_GROUP)) = 2"),
            6);
  EXPECT_EQ(Rows(*db,
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
  struct Check {
    const char* what;
    const char* orphans;
  };
  const Check checks[] = {
      {"matter of a document",
       "SELECT COUNT(*) FROM PROFILE WHERE MATTER NOT IN "
       "(SELECT SYSTEM_ID FROM MATTER)"},
      {"client of a matter",
       "SELECT COUNT(*) FROM MATTER WHERE CLIENT_ID NOT IN "
       "(SELECT SYSTEM_ID FROM CLIENT)"},
      {"type of a document",
       "SELECT COUNT(*) FROM PROFILE WHERE DOCUMENTTYPE NOT IN "
       "(SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER')"},
      {"document application",
       "SELECT COUNT(*) FROM PROFILE WHERE APPLICATION NOT IN "
       "(SELECT SYSTEM_ID FROM APPS WHERE APPLICATION <> 'FOLDER')"},
      {"author", "SELECT COUNT(*) FROM PROFILE WHERE AUTHOR NOT IN (SELECT SYSTEM_ID FROM PEOPLE)"},
      {"typist", "SELECT COUNT(*) FROM PROFILE WHERE TYPIST NOT IN (SELECT SYSTEM_ID FROM PEOPLE)"},
      {"form", "SELECT COUNT(*) FROM PROFILE WHERE FORM NOT IN (SELECT SYSTEM_ID FROM FORMS)"},
      {"primary group",
       "SELECT COUNT(*) FROM PEOPLE WHERE PRIMARY_GROUP NOT IN "
       "(SELECT SYSTEM_ID FROM GROUPS)"},
      {"membership",
       "SELECT COUNT(*) FROM PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID NOT IN "
       "(SELECT SYSTEM_ID FROM GROUPS) OR PEOPLE_SYSTEM_ID NOT IN "
       "(SELECT SYSTEM_ID FROM PEOPLE)"},
      {"version",
       "SELECT COUNT(*) FROM VERSIONS WHERE DOCNUMBER NOT IN "
       "(SELECT DOCNUMBER FROM PROFILE)"},
      {"rights",
       "SELECT COUNT(*) FROM STANDIN_RIGHTS WHERE USER_ID NOT IN "
       "(SELECT USER_ID FROM PEOPLE)"},
      // Trustee ids name a person or a group, never both.
      {"person and group sharing an id",
       "SELECT COUNT(*) FROM PEOPLE WHERE SYSTEM_ID IN "
       "(SELECT SYSTEM_ID FROM GROUPS)"},
      {"document number equal to a system id",
       "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER IN (SELECT SYSTEM_ID FROM PROFILE)"},
  };
  for (const Check& c : checks) EXPECT_EQ(Count(*db, c.orphans), 0) << c.what;
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

  const auto rows =
      Rows(*db,
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
  auto empty = OpenFile(dir_.File("empty.db"));
  error = GenerateTestData(*empty, Small()).text;
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.find("holds no DM library"), std::string::npos) << error;

  auto db = Generated("lib.db", Small());
  const std::string before = Dump(*db);
  error = GenerateTestData(*db, Small()).text;
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.find("already holds"), std::string::npos) << error;
  EXPECT_EQ(Dump(*db), before);

  auto bare = Library("bare.db", /*quil=*/false);
  error = GenerateTestData(*bare, Small()).text;
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.find("QUIL_SETTINGS"), std::string::npos) << error;
  EXPECT_EQ(Count(*bare, "SELECT COUNT(*) FROM PEOPLE"), 0);
  GeneratorOptions no_rules = Small();
  no_rules.with_rules = false;
  EXPECT_TRUE(testing::Ok(GenerateTestData(*bare, no_rules)));

  auto fresh = Library("fresh.db");
  GeneratorOptions bad = Small();
  bad.document_types = 0;
  error = GenerateTestData(*fresh, bad).text;
  EXPECT_FALSE(error.empty());
  bad = Small();
  bad.login_user = " ";
  error = GenerateTestData(*fresh, bad).text;
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Count(*fresh, "SELECT COUNT(*) FROM PEOPLE"), 0);
}

TEST_F(TestDataTest, LargerLibrarySpansManyInsertBatches) {
  GeneratorOptions big;
  big.clients = 120;
  big.matters_per_client = 4;
  big.documents_per_matter = 3;
  big.people = 40;
  big.document_types = 12;
  big.login_user = "jdoe";
  auto db = Generated("big.db", big);
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
