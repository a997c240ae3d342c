// "sproutsmith-dm workspaces": users' workspaces read back from a real library's REGISTRY.

#include "platform/dmapi/workspace_listing.h"

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

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
