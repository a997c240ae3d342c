// Libraries on PostgreSQL: the same tables, fixed rows and generated data as on SQLite, in
// the owner's schema of a database of their own.

#include <gtest/gtest.h>

#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/postgres_database.h"
#include "schema_test_util.h"
#include "support/postgres_server.h"
#include "support/status_assertions.h"

namespace sproutsmith::schema {
namespace {

using testutil::Count;
using testutil::Rows;
using testutil::Scalar;
using Table = std::vector<std::vector<std::string>>;

class PostgresProvisioningTest : public ::testing::Test {
 protected:
  std::unique_ptr<sql::PostgresDatabase> Open(const std::string& owner = "LawAdm") {
    const std::string connection = testing::NewPostgresDatabase("provision");
    if (connection.empty()) return nullptr;
    Status status;
    auto db = sql::PostgresDatabase::Open(connection, owner, &status);
    EXPECT_NE(db, nullptr) << status.text;
    return db;
  }
  LibraryDefinition Demo() {
    LibraryDefinition def;
    def.name = "demo";
    def.owner = "LawAdm";
    def.other_libraries = {{"archive", 10}};
    return def;
  }
};

TEST_F(PostgresProvisioningTest, ALibraryInTheOwnersSchemaWithTheGeneratedData) {
  auto db = Open();
  ASSERT_TRUE(db);
  std::string error;
  ASSERT_TRUE(testing::Ok(ProvisionLibrary(*db, Demo())));
  EXPECT_TRUE(IsDmLibrary(*db));
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = "
                  "'lawadm' AND table_name = 'profile'"),
            1);
  EXPECT_EQ(Rows(*db, "SELECT SYSTEM_ID, LIBRARY_NAME, OWNER FROM REMOTE_LIBRARIES ORDER BY 1"),
            (Table{{"0", "DEMO", "LawAdm"},
                   {Scalar(*db, "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE SYSTEM_ID > 0"),
                    "ARCHIVE", "LawAdm"}}));
  GeneratorOptions options;
  options.clients = 4;
  ASSERT_TRUE(testing::Ok(GenerateTestData(*db, options)));
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM CLIENT"), 4);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM MATTER"), 12);
  EXPECT_GT(Count(*db, "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE 'RULE_%'"), 0);
  // Keys stay below the counter, as on every back end.
  EXPECT_GE(Count(*db, "SELECT LAST_KEY FROM STANDIN_KEYS"),
            Count(*db, "SELECT MAX(SYSTEM_ID) FROM PROFILE"));
  const long long last = Count(*db, "SELECT LAST_KEY FROM STANDIN_KEYS");
  EXPECT_EQ(AllocateKeys(*db, 3, &error), last + 1) << error;
}

TEST_F(PostgresProvisioningTest, KeyColumnsIgnoreCaseWhileFlagsAndWidthsHold) {
  auto db = Open();
  ASSERT_TRUE(db);
  std::string error;
  ASSERT_TRUE(testing::Ok(ProvisionLibrary(*db, Demo())));
  ASSERT_TRUE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (900, 'jsmith')").ok());
  struct Case {
    const char* query;
    long long expected;
  };
  const Case cases[] = {
      {"SELECT COUNT(*) FROM PEOPLE WHERE USER_ID = 'JSMITH'", 1},
      {"SELECT COUNT(*) FROM PEOPLE WHERE USER_ID LIKE 'JS%'", 1},
      {"SELECT COUNT(*) FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'demo'", 1},
      {"SELECT COUNT(*) FROM APPS WHERE APPLICATION IN ('Folder')", 1},
      {"SELECT COUNT(*) FROM DOCSTABLE WHERE TABLE_NAME = 'quil_settings'", 1},
      {"SELECT COUNT(*) FROM STANDIN_SYS_DATABASES WHERE NAME = 'Demo'", 1},
      {"SELECT COUNT(*) FROM FORMS WHERE FORM_TYPE = 'p'", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Count(*db, c.query), c.expected) << c.query;
  EXPECT_FALSE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (901, 'JSMITH')").ok());
  EXPECT_FALSE(db->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (902, '" +
                           std::string(65, 'X') + "')")
                   .ok());
  EXPECT_EQ(Rows(*db, "SELECT GROUP_ID FROM GROUPS WHERE GROUP_ID LIKE 'docs%' ORDER BY GROUP_ID"),
            (Table{{"DOCS_SUPERVISORS"}, {"DOCS_USERS"}}));
}

TEST_F(PostgresProvisioningTest, RefusesAFilledSchemaAndRollsBackAFailure) {
  auto db = Open();
  ASSERT_TRUE(db);
  std::string error;
  ASSERT_TRUE(testing::Ok(ProvisionLibrary(*db, Demo())));
  error = ProvisionLibrary(*db, Demo()).text;
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.find("already holds a DM library"), std::string::npos) << error;

  // A view named like a table passes the emptiness check and fails half-way.
  auto other = Open("DOCSADM");
  ASSERT_TRUE(other);
  ASSERT_TRUE(
      other->ExecuteScript("CREATE SCHEMA docsadm; CREATE VIEW docsadm.client AS SELECT 1 AS x")
          .ok());
  LibraryDefinition def = Demo();
  def.owner = "DOCSADM";
  error = ProvisionLibrary(*other, def).text;
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.find("CREATE TABLE CLIENT"), std::string::npos) << error;
  EXPECT_FALSE(IsDmLibrary(*other));
  EXPECT_EQ(Count(*other,
                  "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = "
                  "'docsadm'"),
            1);
}

}  // namespace
}  // namespace sproutsmith::schema
