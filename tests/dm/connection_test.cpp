#include "dm/connection.h"

#include <gtest/gtest.h>

#include "dm/dm_test_support.h"
#include "support/engine_session.h"

namespace sproutsmith::dm {
namespace {

using testing::Describe;
using testing::ExpectCounts;
using testing::ExpectLogged;

using ConnectionTest = testing::EngineSession;

TEST_F(ConnectionTest, StartFusionConnectsTheCurrentLibraryAndNarratesIt) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  ExpectLogged(Lines(), {"Connected to MSSQL 15 Library Object DEMO.",
                         "Fusion started with connection to DEMO",
                         "Database Compatibility Level is 150", "Quoted Identifier for database"});
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
  EXPECT_EQ(Describe(connection_->library_state()),
            "QUIL_SETTINGS QUIL_SPROUTSMITH NEEDS_FOLDERING SEC_REASON FOLDER.LAST_UPDATE");
  EXPECT_TRUE(install_.ui.messages.empty());
}

TEST_F(ConnectionTest, ASecondConnectionRunsNoDetectionAndNoPreparation) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  // Unknown and blank names are refused.
  EXPECT_FALSE(connection_->ConnectLibrary("ELSEWHERE"));
  EXPECT_EQ(Count("Unable to define library ELSEWHERE in requisite Library Array"), 1);
  EXPECT_FALSE(connection_->ConnectLibrary("  "));
  EXPECT_EQ(Count("Library name is blank - cannot change connection"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  ASSERT_TRUE(connection_->ConnectLibrary("archive"));
  const int statements = Count("Executing ");
  const size_t lines = install_.LogLines().size();
  EXPECT_TRUE(connection_->ConnectLibrary("Archive"));  // already connected: nothing logged
  EXPECT_EQ(install_.LogLines().size(), lines);
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  ASSERT_TRUE(connection_->ConnectLibrary("ARCHIVE"));
  EXPECT_EQ(Count("Executing "), statements) << Dump();
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object ARCHIVE."), 2);
  EXPECT_TRUE(connection_->library_state().HasQuilSettings);
}

TEST_F(ConnectionTest, AnOracleLibraryIsNarratedInItsFlavour) {
  Start({{.name = "ORA", .engine_code = 2}});
  EXPECT_TRUE(connection_->library_state().HasQuilSettings) << Dump();
  // Table checks run with the verbose log switched off; the owner, unknown on the first
  // connection, is read without the prefix.
  ExpectCounts(Lines(),
               {{"SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'QUIL_SETTINGS'", 0},
                {"SQL Error", 0},
                {"@@VERSION", 0},
                {"SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'", 1}});
}

TEST_F(ConnectionTest, RunSqlNarratesEveryOutcomeAndRecreatesALostSqlObject) {
  Start({{.name = "DEMO"}});
  auto* sql = connection_->sql();
  const size_t lines = install_.LogLines().size();
  EXPECT_FALSE(connection_->RunSQL(""));
  EXPECT_EQ(install_.LogLines().size(), lines);

  Mark();
  EXPECT_TRUE(
      connection_->RunSQL("UPDATE [OWNER].CLIENT SET CLIENT_NAME = CLIENT_NAME WHERE 1 = 0"));
  EXPECT_EQ(Since("SQL Instruction Executed with nothing added or changed in library DEMO"), 1);

  Mark();
  connection_->RunSQL("SELECT COUNT(*) FROM [OWNER].MATTER");
  EXPECT_EQ(Since("SQL Instruction Executed Successfully on DEMO with 1 row(s) returned."), 1);
  EXPECT_EQ(Since("SQL Results: 8"), 1) << Dump();

  Mark();
  connection_->RunSQL("UPDATE [OWNER].MATTER SET MATTER_ID = MATTER_ID");
  EXPECT_EQ(Since("SQL Instruction Executed Successfully on DEMO with 8 row(s) processed."), 1);

  Mark();
  connection_->RunSQL("SELECT ANYTHING FROM [OWNER].NOWHERE");
  EXPECT_NE(sql->GetSQLErrorCode(), 0);
  EXPECT_EQ(Since("SQL Error #1 (no such table: NOWHERE) encountered in library DEMO"), 1)
      << Dump();
  EXPECT_EQ(Since("SELECT ANYTHING FROM DOCSADM.NOWHERE OPTION (MAXDOP 1)"), 1);

  connection_->RunSQL("SELECT CLIENT_ID FROM [OWNER].CLIENT ORDER BY CLIENT_ID");
  EXPECT_EQ(connection_->Column(1), "C0001");  // positioned on the first row
  EXPECT_EQ(sql->GetSQLErrorCode(), 0);

  connection_->LoseSqlObjectForTest();
  EXPECT_TRUE(connection_->RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT"));
  EXPECT_EQ(Count("CheckFusion is Re-Setting PCDClient.PCDSQL Object"), 1);
  EXPECT_EQ(connection_->Column(1), "4");

  // TableExists reports a missing table and leaves the verbose setting as it found it.
  install_.options.CheckLogMethod = 1;
  EXPECT_FALSE(connection_->TableExists("NO_SUCH_TABLE"));
  EXPECT_TRUE(connection_->TableExists("PROFILE"));
  EXPECT_EQ(install_.options.CheckLogMethod, 1);
  EXPECT_EQ(Count("NO_SUCH_TABLE not found in library DEMO"), 1);
  EXPECT_EQ(Count("object_id('DOCSADM.NO_SUCH_TABLE')"), 0);
}

TEST_F(ConnectionTest, MissingTablesSkipTheirStatementsAndOnlyClearTheirFlags) {
  Start({{.name = "BARE", .with_quil_tables = false, .with_optional_tables = false}});
  EXPECT_EQ(Describe(connection_->library_state()), "FOLDER.LAST_UPDATE");
  EXPECT_TRUE(connection_->facts().LibraryConnected);
  // No settings query without the table, nothing counted without SEC_REASON.
  ExpectCounts(Lines(), {{"QUIL_SPROUTSMITH table does not exist in library BARE", 1},
                         {"FROM DOCSADM.QUIL_SETTINGS", 0},
                         {"FROM DOCSADM.SEC_REASON", 0},
                         {"SQL Error", 0}});
}

TEST_F(ConnectionTest, QuotedIdentifiersOffStillConnectsWithTheWarning) {
  install_.Create({{.name = "DEMO"}});
  install_.Exec("DEMO", "UPDATE STANDIN_SYS_DATABASES SET IS_QUOTED_IDENTIFIER_ON = 0");
  install_.options.CheckLogMethod = 0;
  ASSERT_TRUE(Restart());
  ExpectCounts(Lines(), {{"Warning: ", 1},
                         {"The SQL option 'QUOTED_IDENTIFIER' is set to 'OFF' in the database "
                          "DEMO for library DEMO!",
                          1},
                         {"ALTER DATABASE DEMO SET QUOTED_IDENTIFIER ON", 1}});
}

TEST_F(ConnectionTest, ALostApplicationFailsCheckFusionAndAsksToExit) {
  Start({{.name = "DEMO"}});
  bool ended = false;
  connection_->SetProgramEnd([&] { ended = true; });
  connection_->LoseApplicationForTest();
  install_.ui.answers.push_back(runtime::Answer::kYes);
  EXPECT_FALSE(connection_->RunSQL("SELECT 1"));
  EXPECT_TRUE(ended);
  // Errors carry their time stamp after the prefix.
  EXPECT_EQ(Count("Error: 2020-11-14 09:30:15.00  Fusion object is not set for RunSQL"), 1)
      << Dump();
  EXPECT_EQ(Count("CheckFusion failed on RunSQL on Saturday, November 14, 2020 at 09:30:15 AM"), 1);
  ASSERT_EQ(install_.ui.messages.size(), 1u);
}

}  // namespace
}  // namespace sproutsmith::dm
