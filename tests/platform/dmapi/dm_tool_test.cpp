// The sproutsmith-dm commands, run in process against real library files.

#include "platform/dmapi/dm_tool.h"

#include <filesystem>

#include "platform/dmapi/workspace_listing.h"
#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

TEST(DmToolTest, HelpAndUsageErrors) {
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SPROUTSMITH_DM"), std::string::npos);
  EXPECT_NE(help.out.find("engine = 10"), std::string::npos);
  EXPECT_NE(help.out.find("  workspaces LIBRARY "), std::string::npos);
  for (const char* command : {"init-demo", "provision", "generate", "tree", "sql", "workspaces"}) {
    const ToolRun r = RunTool({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("Usage: sproutsmith-dm ") + command, 0), 0u) << r.out;
  }
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

TEST_F(DmToolLibraryTest, TreeShowsFoldersInChainOrderAndSqlRunsThroughThePassThroughObject) {
  EXPECT_EQ(RunTool({"tree", "LIB1"}).out, "(no folders)\n");

  std::unique_ptr<FolderObject> top = session->NewFolder();
  top->SetName("Clients");
  top->MarkPublic();
  const long long t = top->Save("", 3).document_number;
  const long long b = MakeFolder("B matter");
  const long long a = MakeFolder("A matter");
  const long long loose = MakeFolder("Loose");
  const std::string document = Scalar("LIB1",
                                      "SELECT MIN(P.DOCNUMBER) FROM PROFILE P, APPS A WHERE "
                                      "A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION <> 'FOLDER'");
  app->PointAtLibrary("LIB2");
  const long long remote = MakeFolder("Far away");
  app->PointAtLibrary("LIB1");
  std::unique_ptr<FolderObject> parent = session->OpenFolder(t, "LIB1");
  for (long long item : {b, a}) ASSERT_TRUE(parent->AddItem("LIB1", item).status.ok());
  ASSERT_TRUE(parent->AddItem("LIB2", remote).status.ok());
  ASSERT_TRUE(session->OpenFolder(a, "LIB1")->AddItem("LIB1", std::stoll(document)).status.ok());
  // Trustees by name with their rights; a row naming nobody shows its id.
  auto grant = [this](long long folder, const std::string& trustee, int rights) {
    Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, " +
                     trustee + ", " + std::to_string(rights) +
                     " FROM PROFILE WHERE DOCNUMBER = " + std::to_string(folder));
  };
  grant(b, "0", 63);
  grant(b, "(SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN')", 191);
  grant(b, "987654", 5);
  grant(a, "(SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS')", 255);

  ToolRun r = RunTool({"tree", "lib1"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto n = [](long long v) { return std::to_string(v); };
  EXPECT_EQ(r.out, "Clients #" + n(t) + " [public] trustees=0\n" + "  -> LIB2 #" + n(remote) +
                       " Far away\n" + "  B matter #" + n(b) +
                       " trustees=3 (#987654 5, DMADMIN 191, DOCS_USERS 63)\n" + "  A matter #" +
                       n(a) + " trustees=1 (DOCS_SUPERVISORS 255) documents=1\n" + "Loose #" +
                       n(loose) + " trustees=0\n");

  EXPECT_EQ(RunTool({"tree", "NOWHERE"}).status, 1);

  // sql runs through the pass-through object.
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

// "workspaces": users' workspaces read back from the library's REGISTRY.
class WorkspaceListingTest : public ToolLibraryTest {
 protected:
  void Row(long long id, const std::string& data, const std::string& scope, long long owner,
           const std::string& name, const std::string& type) {
    Exec("LIB1",
         "INSERT INTO REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) "
         "VALUES (" +
             std::to_string(id) + ", '" + data + "', 'PROPERTY', '" + scope + "', " +
             std::to_string(owner) + ", '" + name + "', '" + type + "')");
  }
  void Workspace(long long id, long long subtree, const std::string& name, int properties = 5) {
    Row(id, name, "REGISTRY", subtree, "WS-" + name.substr(0, 13), "SubTree");
    const char* names[] = {"NAME", "DESCRIPTION", "DATE", "FAVORITE", "WM"};
    const std::string values[] = {name, name + "-LIB1", "2026-12-06", "0", ""};
    for (int p = 0; p < properties; ++p) {
      Row(id + 1 + p, values[p], "REGISTRY", id, names[p], p == 3 ? "Boolean" : "String");
    }
  }
  void Item(long long id, long long workspace, const std::string& name, const std::string& order,
            const std::string& link, const std::string& library, int properties = 7) {
    Row(id, name, "REGISTRY", workspace, "WM" + name.substr(0, 13), "String");
    const char* names[] = {"NAME",   "DESCRIPTION", "ORDERNUMBER", "TYPE",
                           "LINKID", "LINKNAME",    "LIBRARY"};
    const std::string values[] = {name, name + "-" + library, order, "FOLDER", link, name, library};
    for (int p = 0; p < properties; ++p) {
      Row(id + 1 + p, values[p], "REGISTRY", id, names[p], "String");
    }
  }
};

TEST_F(WorkspaceListingTest, ListsUsersWorkspacesAndItemsInOrder) {
  EXPECT_EQ(RunTool({"workspaces", "LIB1"}).out, "(no workspaces)\n");
  const ToolRun nowhere = RunTool({"workspaces", "NOWHERE"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err.rfind("sproutsmith-dm: library 'NOWHERE' is not in ", 0), 0u)
      << nowhere.err;

  const long long admin = std::stoll(PeopleId("DMADMIN"));
  Row(5000, "Matters", "USER", admin, "WORKSPACES", "SubTree");
  Workspace(5100, 5000, "Matters");
  Item(5200, 5100, "B matter", "2", "1234", "LIB1");
  Item(5300, 5100, "A matter", "1", "88", "LIB2");
  Item(5400, 5100, "Half written", "3", "99", "LIB1", 2);  // NAME, DESCRIPTION only
  Item(5500, 5100, "C matter", "10", "1240", "LIB1");
  Workspace(5600, 5000, "Archive O''Neil", 3);
  // A person removed from PEOPLE keeps rows; in lower case as another client wrote them.
  Row(5700, "x", "user", 777777, "workspaces", "subtree");

  const ToolRun r = RunTool({"workspaces", "lib1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "#777777\n"
            "  (no workspaces)\n"
            "DMADMIN\n"
            "  Archive O'Neil [incomplete: 3 of 5 properties]\n"
            "    (no items)\n"
            "  Matters\n"
            "    1. A matter #88 LIB2\n"
            "    2. B matter #1234 LIB1\n"
            "    10. C matter #1240 LIB1\n"
            "    ?. Half written #? ? [incomplete: 2 of 7 properties]\n");
}

}  // namespace
}  // namespace sproutsmith::dmapi
