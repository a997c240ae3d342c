// The sproutsmith-dm commands, run in process against real library files.

#include "platform/dmapi/dm_tool.h"

#include <filesystem>

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

TEST(DmToolTest, HelpAndUsageErrors) {
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SPROUTSMITH_DM"), std::string::npos);
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.status, 2) << c.first_line;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first_line);
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
