// The SQL pass-through object: attaching, one result set at a time, errors as values.

#include <filesystem>
#include <tuple>

#include "platform/dmapi/dm_tool.h"
#include "standin_fixture.h"
#include "text/text.h"

namespace sproutsmith::dmapi {
namespace {

using SqlObjectTest = StandinTest;

TEST_F(SqlObjectTest, AttachingNeedsTheLoginTokenAndAReachableLibraryAndTellsItsEngine) {
  std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
  EXPECT_NE(sql->Execute("SELECT 1"), 0);
  EXPECT_EQ(sql->ErrDescription().rfind("[Sproutsmith][DM] ", 0), 0u) << sql->ErrDescription();

  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);  // no token yet
  sql->AttachToken("DST-FORGED");
  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);
  // Another client's login is not this one's.
  sql->AttachToken(OpenInstallation(config)->CreateApplication()->LoginToken());
  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);

  sql->AttachToken(app->LoginToken());
  EXPECT_NE(sql->AttachLibrary("NOWHERE"), 0);
  EXPECT_NE(sql->ErrDescription().find("NOWHERE"), std::string::npos);
  EXPECT_EQ(sql->AttachLibrary("lib2"), 0) << sql->ErrDescription();
  EXPECT_EQ(sql->EngineCode(), 2);
  EXPECT_EQ(sql->AttachLibrary("LIB1"), 0);
  EXPECT_EQ(sql->EngineCode(), 10);

  // A client that cannot tell (engine code 0) reports 0, and the library's own row
  // decides the flavour.
  config.libraries[1].engine_code = 0;
  Reopen();
  std::unique_ptr<SqlObject> unknown = Attached("LIB2");
  EXPECT_EQ(unknown->EngineCode(), 0);
  ASSERT_EQ(unknown->Execute("SELECT USER_ID FROM DOCSADM.PEOPLE WHERE ROWNUM <= 1"), 0)
      << unknown->ErrDescription();
  EXPECT_EQ(unknown->GetRowCount(), 1);
}

// A table named with an empty owner is refused on both flavours, as their servers refuse
// it; the same statement with the owner runs.
TEST_F(SqlObjectTest, AnEmptyOwnerIsRefused) {
  const char* const statements[] = {
      "SELECT COUNT(*) FROM {}PROFILE",
      "SELECT COUNT(*) FROM {}PROFILE P, {}FOLDER F WHERE P.DOCNUMBER = F.DOCNUMBER",
      "DELETE FROM {}QUIL_SETTINGS WHERE 1 = 0",
      "UPDATE {}PROFILE SET DOCNAME = DOCNAME WHERE 1 = 0",
      "INSERT INTO {}QUIL_SETTINGS (INT_VAL) SELECT SYSTEM_ID FROM {}PROFILE WHERE 1 = 0",
  };
  for (const char* library : {"LIB1", "LIB2"}) {
    std::unique_ptr<SqlObject> sql = Attached(library);
    for (const char* statement : statements) {
      SCOPED_TRACE(std::string(library) + ": " + statement);
      EXPECT_NE(sql->Execute(text::Replace(statement, "{}", ".")), 0);
      EXPECT_NE(sql->GetSQLErrorCode(), 0);
      EXPECT_FALSE(sql->ErrDescription().empty());
      EXPECT_EQ(sql->Execute(text::Replace(statement, "{}", "DOCSADM.")), 0)
          << sql->ErrDescription();
    }
  }
}

// "+" gives what the library's server gives, or an error: never a sum of two strings.
TEST_F(SqlObjectTest, PlusConcatenatesOnSqlServerAndOnlyAddsOnOracle) {
  const std::string user = Query("LIB1", "SELECT MIN(USER_ID) FROM PEOPLE")[0][0];
  const std::string labels =
      Query("LIB1",
            "SELECT GROUP_CONCAT(L, '|') FROM (SELECT CLIENT_ID || '-' || CLIENT_NAME AS L "
            "FROM CLIENT ORDER BY CLIENT_ID)")[0][0];
  // (library, statement, expected); expected: "ERROR" when the server refuses it
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"LIB1", "SELECT 'A' + 'B'", "AB"},
      {"LIB1", "SELECT ('A' + ('B' + 'C')) + 'D'", "ABCD"},
      {"LIB1", "SELECT 'A' + NULL", "NULL"},
      {"LIB1", "SELECT COUNT(*) FROM PEOPLE WHERE USER_ID + '' = '" + user + "'", "1"},
      {"LIB1",
       "SELECT GROUP_CONCAT(L, '|') FROM (SELECT C.CLIENT_ID + '-' + C.CLIENT_NAME AS L FROM "
       "DOCSADM.CLIENT C ORDER BY C.CLIENT_ID)",
       labels},
      {"LIB1", "SELECT 1 + 2 * 3 - 4", "3"},
      {"LIB1", "SELECT '1' + 2", "3"},
      {"LIB1", "SELECT COUNT(*) + 1 FROM PEOPLE WHERE USER_ID = '" + user + "'", "2"},
      {"LIB1", "SELECT 'X' + 1", "ERROR"},
      {"LIB2", "SELECT 1 + 2 FROM DUAL", "3"},
      {"LIB2", "SELECT '1' + 2 FROM DUAL", "3"},
      {"LIB2", "SELECT 'A' || 'B' FROM DUAL", "AB"},
      {"LIB2", "SELECT NULL + 1 FROM DUAL", "NULL"},
      {"LIB2", "SELECT 'A' + 'B' FROM DUAL", "ERROR"},
  };
  for (const auto& [library, statement, expected] : cases) {
    SCOPED_TRACE(std::string(library) + ": " + statement);
    std::unique_ptr<SqlObject> sql = Attached(library);
    const int status = sql->Execute(statement);
    if (expected == "ERROR") {
      EXPECT_NE(status, 0);
      EXPECT_FALSE(sql->ErrDescription().empty());
      continue;
    }
    ASSERT_EQ(status, 0) << sql->ErrDescription();
    ASSERT_TRUE(sql->MoveFirst());
    const sql::Value v = sql->ColumnValue(1);
    EXPECT_EQ(v.IsNull() ? "NULL" : v.text, expected);
  }
}

TEST_F(SqlObjectTest, QueryResultIsCountedBeforeItIsReadAndWalkedRowByRow) {
  std::unique_ptr<SqlObject> sql = Attached("LIB1");
  const Rows users = Query("LIB1", "SELECT USER_ID FROM PEOPLE ORDER BY USER_ID");
  ASSERT_GE(users.size(), 3u);

  ASSERT_EQ(
      sql->Execute("SELECT USER_ID, SYSTEM_ID AS \"P.SYSTEM_ID\" FROM PEOPLE ORDER BY USER_ID"), 0)
      << sql->ErrDescription();
  EXPECT_EQ(std::tuple(sql->GetRowCount(), sql->ColumnCount(), sql->ColumnName(1),
                       sql->ColumnName(2), sql->ColumnName(3)),
            std::tuple(static_cast<long long>(users.size()), 2, "USER_ID", "P.SYSTEM_ID", ""));
  ASSERT_TRUE(sql->MoveFirst());
  Rows read;
  do {
    read.push_back({sql->ColumnValue(1).text});
  } while (sql->MoveNext());
  EXPECT_EQ(read, users);
  EXPECT_FALSE(sql->MoveNext());
  EXPECT_TRUE(sql->ColumnValue(1).IsNull());  // past the end
  EXPECT_TRUE(sql->MoveFirst());
  EXPECT_EQ(sql->ColumnValue(1).text, users[0][0]);
  EXPECT_TRUE(sql->ColumnValue(0).IsNull());

  sql->ReleaseResults();
  EXPECT_EQ(std::tuple(sql->GetRowCount(), sql->ColumnCount()), std::tuple(0, 0));
  EXPECT_FALSE(sql->MoveFirst());

  ASSERT_EQ(sql->Execute("SELECT USER_ID FROM PEOPLE WHERE USER_ID = 'NOBODY'"), 0);
  EXPECT_EQ(sql->GetRowCount(), 0);
  EXPECT_FALSE(sql->MoveFirst());
}

TEST_F(SqlObjectTest, ErrorsComeBackAsValuesUntilTheNextGoodStatement) {
  std::unique_ptr<SqlObject> sql = Attached("LIB1");
  const int status = sql->Execute("SELECT * FROM NO_SUCH_TABLE");
  EXPECT_NE(status, 0);
  EXPECT_EQ(sql->GetSQLErrorCode(), status);
  EXPECT_NE(sql->GetSQLErrorCode(), 9);
  EXPECT_NE(sql->ErrNumber(), 0);
  EXPECT_EQ(sql->ErrDescription().rfind("[Sproutsmith][SQLite] ", 0), 0u) << sql->ErrDescription();
  EXPECT_NE(sql->ErrDescription().find("NO_SUCH_TABLE"), std::string::npos);
  EXPECT_EQ(sql->GetRowCount(), 0);
  // The error stays readable after a release, and the next good statement clears it.
  sql->ReleaseResults();
  EXPECT_EQ(sql->GetSQLErrorCode(), status);
  ASSERT_EQ(sql->Execute("SELECT 1"), 0);
  EXPECT_EQ(std::tuple(sql->GetSQLErrorCode(), sql->ErrDescription()), std::tuple(0, ""));
}

TEST_F(SqlObjectTest, AllocatesKeysFromTheAttachedLibrary) {
  const std::string lib1_keys = LastKey("LIB1");
  std::unique_ptr<SqlObject> sql = Attached("LIB2");
  const long long last = std::stoll(LastKey("LIB2"));
  EXPECT_EQ(sql->AllocateKey("SYSTEMKEY"), last + 1);
  EXPECT_EQ(sql->AllocateKey("SYSTEMKEY"), last + 2);
  EXPECT_EQ(sql->AllocateKey("NO_SUCH_KEY"), 0);
  EXPECT_NE(sql->ErrDescription(), "");
  EXPECT_EQ(LastKey("LIB1"), lib1_keys);
  std::unique_ptr<SqlObject> detached = client->CreateSqlObject();
  EXPECT_EQ(detached->AllocateKey("SYSTEMKEY"), 0);
}

// The sproutsmith-dm commands, run in process against real library files.
TEST(DmToolTest, HelpAndUsageErrors) {
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SPROUTSMITH_DM"), std::string::npos);
  // (args, first_line)
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "sproutsmith-dm: no command given"},
      {{"frobnicate"}, "sproutsmith-dm: unknown command 'frobnicate'"},
      {{"provision", "x.db"}, "sproutsmith-dm: --name is needed"},
      {{"provision", "x.db", "--name"}, "sproutsmith-dm: option --name needs a value"},
      {{"provision", "x.db", "--name", "N", "--engine", "two"},
       "sproutsmith-dm: option --engine needs a whole number of at least 0, not 'two'"},
      {{"generate", "x.db", "--colour", "red"}, "sproutsmith-dm: unknown option --colour"},
      {{"provision", "x", "--name", "N", "--backend", "oracle"},
       "sproutsmith-dm: unknown back end 'oracle'"},
      {{"generate", "x", "--backend", "PostgreSQL"},
       "sproutsmith-dm: --backend postgresql needs --server"},
      {{"generate", "x.db", "--server", "host=/tmp"},
       "sproutsmith-dm: --server needs --backend postgresql"},
      {{"tree"}, "sproutsmith-dm: one library name is needed"},
      {{"workspaces", "LIB1", "LIB2"}, "sproutsmith-dm: one library name is needed"},
      {{"workspaces", "LIB1", "--all"}, "sproutsmith-dm: unknown option --all"},
      {{"sql", "LIB"}, "sproutsmith-dm: a library name and one statement are needed"},
  };
  for (const auto& [args, first_line] : cases) {
    const ToolRun r = RunTool(args);
    EXPECT_EQ(r.status, 2) << first_line;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), first_line);
  }
}

TEST(DmToolTest, ProvisionAndGenerateALibraryFile) {
  testing::TempDir dir;
  const std::string file = dir.File("new.db");
  ToolRun r = RunTool({"provision", file, "--name", "fresh", "--engine", "5", "--owner", "FRESHOWN",
                       "--other", "OLD:2", "--other", "NEWER:10:NEWOWN"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunTool({"generate", file, "--clients", "3", "--matters", "1", "--people", "4", "--user",
               "BOSS", "--no-rules"});
  ASSERT_EQ(r.status, 0) << r.err;

  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(file, false);
  auto scalar = [&](const std::string& statement) {
    return db->Execute(statement).result.rows.at(0).at(0).text;
  };
  EXPECT_EQ(scalar("SELECT LIBRARY_NAME || ':' || DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE "
                   "SYSTEM_ID = 0"),
            "FRESH:5");
  EXPECT_EQ(
      scalar("SELECT GROUP_CONCAT(LIBRARY_NAME || ':' || DATABASE_ENGINE || ':' || OWNER, ' ') "
             "FROM (SELECT * FROM REMOTE_LIBRARIES ORDER BY LIBRARY_NAME)"),
      "FRESH:5:FRESHOWN NEWER:10:NEWOWN OLD:2:FRESHOWN");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLIENT"), "3");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM PEOPLE WHERE USER_ID = 'BOSS'"), "1");

  r = RunTool({"generate", dir.File("missing.db")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "sproutsmith-dm: " + dir.File("missing.db") + ": no such file\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.db")));
}

using DmToolLibraryTest = ToolLibraryTest;

TEST_F(DmToolLibraryTest, TreeAndWorkspacesListTheLibraryAndSqlRunsThroughThePassThroughObject) {
  std::unique_ptr<FolderObject> top = session->NewFolder();
  top->SetName("Clients");
  top->MarkPublic();
  const long long t = top->Save("", 3).document_number;
  const long long a = MakeFolder("A matter");
  ASSERT_TRUE(session->OpenFolder(t, "LIB1")->AddItem("LIB1", a).status.ok());
  ToolRun r = RunTool({"tree", "lib1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Clients #" + std::to_string(t) + " [public] trustees=0\n  A matter #" +
                       std::to_string(a) + " trustees=0\n");
  EXPECT_EQ(RunTool({"tree", "NOWHERE"}).status, 1);

  // A user's workspace with one item, as REGISTRY rows.
  auto row = [this](long long id, const std::string& data, long long owner, const std::string& name,
                    const std::string& type = "String", const std::string& scope = "REGISTRY") {
    Exec("LIB1",
         "INSERT INTO REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) "
         "VALUES (" +
             std::to_string(id) + ", '" + data + "', 'PROPERTY', '" + scope + "', " +
             std::to_string(owner) + ", '" + name + "', '" + type + "')");
  };
  row(5000, "Matters", std::stoll(PeopleId("DMADMIN")), "WORKSPACES", "SubTree", "USER");
  row(5100, "Matters", 5000, "WS-Matters", "SubTree");
  int id = 5101;
  for (const char* p : {"NAME", "DESCRIPTION", "DATE", "FAVORITE", "WM"}) {
    row(id++, std::string(p) == "NAME" ? "Matters" : "", 5100, p);
  }
  row(5200, "A matter", 5100, "WMA matter");
  const std::vector<std::pair<const char*, const char*>> item = {
      {"NAME", "A matter"}, {"DESCRIPTION", ""}, {"ORDERNUMBER", "1"}, {"TYPE", "FOLDER"},
      {"LINKID", "88"},     {"LINKNAME", "A"},   {"LIBRARY", "LIB2"}};
  for (const auto& [name, value] : item) row(id++, value, 5200, name);
  r = RunTool({"workspaces", "lib1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "DMADMIN\n  Matters\n    1. A matter #88 LIB2\n");
  const ToolRun nowhere = RunTool({"workspaces", "NOWHERE"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err.rfind("sproutsmith-dm: library 'NOWHERE' is not in ", 0), 0u)
      << nowhere.err;

  r = RunTool({"sql", "LIB2",
               "SELECT USER_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'DMADMIN' "
               "AND ROWNUM <= 1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "USER_ID\nDMADMIN\n1 row(s)\n");
  r = RunTool({"sql", "LIB1", "UPDATE PEOPLE SET EMAIL_ADDRESS = NULL WHERE USER_ID = 'DMADMIN'"});
  EXPECT_EQ(r.out, "1 row(s) affected\n");
  r = RunTool({"sql", "LIB1", "SELECT * FROM NOTHING_HERE"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("sproutsmith-dm: error 1: [Sproutsmith][SQLite] ", 0), 0u) << r.err;
  r = RunTool({"sql", "NOWHERE", "SELECT 1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("[Sproutsmith][DM] Library 'NOWHERE'"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sproutsmith::dmapi
