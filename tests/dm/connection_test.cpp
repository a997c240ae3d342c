#include "dm/connection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "support/dm_installation.h"

namespace sproutsmith::dm {
namespace {

using testing::DmInstallation;
using testing::LibrarySpec;

// A started session over a real installation; the log and the library files are read back.
class ConnectionTest : public ::testing::Test {
 protected:
  void Start(const std::vector<LibrarySpec>& libraries) {
    install_.Create(libraries);
    client_ = install_.OpenClient();
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
  }
  std::string Dump() const {
    std::string s;
    for (const auto& l : install_.LogLines()) s += l + "\n";
    return s;
  }
  int Count(const std::string& fragment) const { return install_.CountLogLines(fragment); }
  // Lines containing `fragment` written since the last Mark().
  void Mark() { mark_ = install_.LogMark(); }
  int Since(const std::string& fragment) const {
    return install_.CountLogLinesSince(mark_, fragment);
  }
  size_t mark_ = 0;

  DmInstallation install_;
  std::unique_ptr<dmapi::Client> client_;
  std::unique_ptr<Connection> connection_;
};

TEST_F(ConnectionTest, StartFusionConnectsTheCurrentLibraryAndNarratesIt) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_TRUE(connection_->facts().LibraryConnected);
  EXPECT_EQ(connection_->facts().EngineName, "MSSQL 15");
  EXPECT_EQ(connection_->facts().LibraryOwner, "DOCSADM");
  EXPECT_EQ(connection_->facts().NextColumn, "[NEXT]");
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object DEMO."), 1) << Dump();
  EXPECT_EQ(Count("Fusion started with connection to DEMO"), 1);
  EXPECT_EQ(Count("Database Compatibility Level is 150"), 1);
  EXPECT_EQ(Count("Quoted Identifier for database"), 1);
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
  const auto& state = connection_->library_state();
  EXPECT_TRUE(state.HasQuilSettings);
  EXPECT_TRUE(state.HasQuilSproutsmith);
  EXPECT_TRUE(state.HasNeedsFoldering);
  EXPECT_TRUE(state.HasFolderLastUpdate);
  // The system's security reason and the FOLDER column it needs were added.
  EXPECT_EQ(install_.Scalar("DEMO", "SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98"), "1");
  EXPECT_EQ(install_.Scalar("DEMO",
                            "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND "
                            "COLNAME = 'LAST_UPDATE'"),
            "1");
  EXPECT_TRUE(install_.ui.messages.empty());
  if (getenv("SHOW_LOG")) std::cout << Dump();
}

TEST_F(ConnectionTest, ASecondConnectionRunsNoDetectionAndNoPreparation) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
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

TEST_F(ConnectionTest, UnknownAndBlankLibrariesAreRefused) {
  Start({{.name = "DEMO"}});
  EXPECT_FALSE(connection_->ConnectLibrary("ELSEWHERE"));
  EXPECT_EQ(Count("Unable to define library ELSEWHERE in requisite Library Array"), 1);
  EXPECT_FALSE(connection_->ConnectLibrary("  "));
  EXPECT_EQ(Count("Library name is blank - cannot change connection"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
}

TEST_F(ConnectionTest, EngineCodeZeroIsReadFromRemoteLibrariesOnce) {
  Start({{.name = "DEMO"}, {.name = "OTHER", .engine_code = 0, .stored_engine_code = 6}});
  ASSERT_TRUE(connection_->ConnectLibrary("OTHER")) << Dump();
  EXPECT_EQ(connection_->facts().DatabaseEngine, 6);
  EXPECT_EQ(connection_->facts().EngineName, "Sybase");
  EXPECT_EQ(Count("SELECT DATABASE_ENGINE FROM"), 1);
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  ASSERT_TRUE(connection_->ConnectLibrary("OTHER"));
  EXPECT_EQ(Count("SELECT DATABASE_ENGINE FROM"), 1);
  EXPECT_EQ(connection_->facts().DatabaseEngine, 6);
}

TEST_F(ConnectionTest, AnOracleLibraryIsNarratedInItsFlavour) {
  Start({{.name = "ORA", .engine_code = 2}});
  EXPECT_EQ(connection_->facts().EngineName, "Oracle");
  EXPECT_EQ(connection_->facts().OuterJoinEquals, " (+) = ");
  EXPECT_EQ(connection_->facts().NextColumn, "\"NEXT\"");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'QUIL_SETTINGS'"), 0)
      << "table checks run with the verbose log switched off";
  EXPECT_TRUE(connection_->library_state().HasQuilSettings) << Dump();
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
  EXPECT_EQ(Count("@@VERSION"), 0);
  // The owner was unknown on the first connection: read without the prefix.
  EXPECT_EQ(Count("SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'"), 1)
      << Dump();
  EXPECT_EQ(connection_->facts().LibraryOwner, "DOCSADM");
}

TEST_F(ConnectionTest, RunSqlNarratesEveryOutcome) {
  Start({{.name = "DEMO"}});
  auto* sql = connection_->sql();
  EXPECT_FALSE(connection_->RunSQL(""));
  const size_t lines = install_.LogLines().size();
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
}

TEST_F(ConnectionTest, TableExistsRestoresTheVerboseSettingAndReportsMissingTables) {
  Start({{.name = "DEMO"}});
  install_.options.CheckLogMethod = 1;
  EXPECT_FALSE(connection_->TableExists("NO_SUCH_TABLE"));
  EXPECT_TRUE(connection_->TableExists("PROFILE"));
  EXPECT_EQ(install_.options.CheckLogMethod, 1);
  EXPECT_EQ(Count("NO_SUCH_TABLE not found in library DEMO"), 1);
  EXPECT_EQ(Count("object_id('DOCSADM.NO_SUCH_TABLE')"), 0);
}

TEST_F(ConnectionTest, TheLibraryRepairsHappenOnlyOnce) {
  install_.Create({{.name = "DEMO"}});
  // A dictionary row for LAST_UPDATE without the column would be duplicated by a naive insert.
  for (int run = 0; run < 2; ++run) {
    client_ = install_.OpenClient();
    connection_ = std::make_unique<Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    connection_->ReleaseObjects();
  }
  EXPECT_EQ(Count("Adding LAST_UPDATE column to FOLDER table in library DEMO"), 1);
  EXPECT_EQ(install_.Scalar("DEMO",
                            "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND "
                            "COLNAME = 'LAST_UPDATE'"),
            "1");
  EXPECT_EQ(install_.Scalar("DEMO", "SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98"), "1");
}

TEST_F(ConnectionTest, MissingTablesSkipTheirStatementsAndOnlyClearTheirFlags) {
  Start({{.name = "BARE", .with_quil_tables = false, .with_optional_tables = false}});
  const auto& state = connection_->library_state();
  EXPECT_FALSE(state.HasQuilSettings);
  EXPECT_FALSE(state.HasQuilSproutsmith);
  EXPECT_FALSE(state.HasSecReason);
  EXPECT_TRUE(connection_->facts().LibraryConnected);
  EXPECT_EQ(Count("QUIL_SPROUTSMITH table does not exist in library BARE"), 1);
  EXPECT_EQ(Count("FROM DOCSADM.QUIL_SETTINGS"), 0) << "no settings query without the table";
  EXPECT_EQ(Count("FROM DOCSADM.SEC_REASON"), 0) << "nothing counted without SEC_REASON";
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

TEST_F(ConnectionTest, AStaleDictionaryRowIsReplacedNotDuplicated) {
  install_.Create({{.name = "DEMO"}});
  install_.Exec("DEMO", "ALTER TABLE FOLDER ADD LAST_UPDATE DATETIME NULL");
  client_ = install_.OpenClient();
  connection_ = std::make_unique<Connection>(install_.context, *client_);
  ASSERT_TRUE(connection_->StartFusion()) << Dump();
  EXPECT_TRUE(connection_->library_state().HasFolderLastUpdate);
  EXPECT_EQ(install_.Scalar("DEMO",
                            "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND "
                            "COLNAME = 'LAST_UPDATE'"),
            "1");
}

TEST_F(ConnectionTest, QuotedIdentifiersOffStillConnectsWithTheWarning) {
  install_.Create({{.name = "DEMO"}});
  install_.Exec("DEMO", "UPDATE STANDIN_SYS_DATABASES SET IS_QUOTED_IDENTIFIER_ON = 0");
  install_.options.CheckLogMethod = 0;
  client_ = install_.OpenClient();
  connection_ = std::make_unique<Connection>(install_.context, *client_);
  ASSERT_TRUE(connection_->StartFusion());
  EXPECT_EQ(Count("Warning: "), 1) << Dump();
  EXPECT_EQ(Count("The SQL option 'QUOTED_IDENTIFIER' is set to 'OFF' in the database DEMO for "
                  "library DEMO!"),
            1)
      << Dump();
  EXPECT_EQ(Count("ALTER DATABASE DEMO SET QUOTED_IDENTIFIER ON"), 1);
}

TEST_F(ConnectionTest, ALostSqlObjectIsRecreatedBeforeTheNextStatement) {
  Start({{.name = "DEMO"}});
  connection_->LoseSqlObjectForTest();
  EXPECT_TRUE(connection_->RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT"));
  EXPECT_EQ(Count("CheckFusion is Re-Setting PCDClient.PCDSQL Object"), 1);
  EXPECT_EQ(connection_->Column(1), "4");
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
