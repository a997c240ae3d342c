// Folder building through the whole cycle over generated libraries of both flavours: the tree
// in the library must be exactly the one the source tables call for, computed here by hand.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/cycle_session.h"
#include "platform/dm/folder_tree.h"

namespace sproutsmith::app {
namespace {

using testing::LibrarySpec;
using Paths = std::multiset<std::string>;

class FolderBuildingTest : public CycleSession, public ::testing::WithParamInterface<int> {
 protected:
  // Every folder of the library as "TOP/CHILD/...", once per place it appears.
  Paths Tree(const std::string& library) {
    std::string error;
    auto db = sql::SqliteDatabase::Open(install_.LibraryFile(library), false, &error);
    EXPECT_TRUE(db) << error;
    std::vector<dmapi::FolderNode> roots;
    EXPECT_TRUE(dmapi::ReadFolderTree(*db, &roots, &error)) << error;
    Paths paths;
    for (const auto& root : roots) Collect(root, "", paths);
    return paths;
  }

  // What the two standard rules stand for, from the source tables alone.
  Paths Expected(const std::string& library) {
    Paths paths{"FIRM MATTERS", "CLIENTS"};
    std::set<std::string> clients, matters;
    for (const auto& row : install_.Query(
             library,
             "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P JOIN MATTER M ON "
             "M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID JOIN "
             "DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE JOIN APPS A ON A.SYSTEM_ID = "
             "P.APPLICATION WHERE A.APPLICATION <> 'FOLDER'")) {
      const std::string client = "FIRM MATTERS/" + row[0];
      const std::string matter = client + "/" + row[1];
      if (clients.insert(client).second) paths.insert(client);
      if (matters.insert(matter).second) paths.insert(matter);
      paths.insert(matter + "/" + row[2]);
    }
    for (const auto& row : install_.Query(library,
                                          "SELECT DISTINCT C.CLIENT_ID FROM MATTER M JOIN CLIENT C "
                                          "ON C.SYSTEM_ID = M.CLIENT_ID")) {
      paths.insert("CLIENTS/" + row[0]);
    }
    return paths;
  }

  // Row counts of the tables a cycle writes.
  std::map<std::string, std::string> Snapshot(const std::string& library) {
    std::map<std::string, std::string> counts;
    for (const char* table : {"PROFILE", "FOLDER", "FOLDER_ITEM", "SECURITY", "REGISTRY",
                              "ROOT_OBJECT", "QUIL_SPROUTSMITH", "NEEDS_FOLDERING"}) {
      counts[table] = install_.Scalar(library, std::string("SELECT COUNT(*) FROM ") + table);
    }
    counts["stamps"] =
        install_.Scalar(library, "SELECT COUNT(*) FROM FOLDER WHERE PATH LIKE 'ARBORLINE%'");
    return counts;
  }

 private:
  static void Collect(const dmapi::FolderNode& node, const std::string& above, Paths& out) {
    const std::string path = above.empty() ? node.name : above + "/" + node.name;
    out.insert(path);
    for (const auto& child : node.children) Collect(child, path, out);
  }
};

TEST_P(FolderBuildingTest, TheStandardRulesBuildExactlyTheTreeTheDataCallsFor) {
  {
    Start({{.name = "LIB", .engine_code = GetParam()}});
    const Paths expected = Expected("LIB");
    ASSERT_GT(expected.size(), 20u);

    EXPECT_TRUE(cycle().Go());
    EXPECT_EQ(Tree("LIB"), expected) << Dump();
    EXPECT_EQ(Count("Error:"), 0) << Dump();
    EXPECT_EQ(Count("SQL Error"), 0);
    // Every source row is recorded, so the next cycle selects nothing.
    EXPECT_EQ(install_.Scalar("LIB",
                              "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = "
                              "'MATTER' AND RULE_NAME = 'CLIENTS'"),
              install_.Scalar("LIB", "SELECT COUNT(*) FROM MATTER"));
    // Public top folders, every folder stamped, secured and sorted.
    EXPECT_EQ(install_.Scalar("LIB", "SELECT COUNT(*) FROM ROOT_OBJECT"), "2");
    EXPECT_EQ(
        install_.Scalar("LIB", "SELECT COUNT(*) FROM FOLDER WHERE PATH NOT LIKE 'ARBORLINE%'"),
        "0");
    EXPECT_EQ(install_.Scalar("LIB",
                              "SELECT COUNT(*) FROM PROFILE P JOIN FOLDER F ON F.DOCNUMBER "
                              "= P.DOCNUMBER WHERE P.DEFAULT_RIGHTS <> 1"),
              "0");
    // The queue holds the documents of the new bottom folders.
    EXPECT_NE(install_.Scalar("LIB", "SELECT COUNT(*) FROM NEEDS_FOLDERING"), "0");

    const auto before = Snapshot("LIB");
    const int statements_before = Count("INSERT INTO") + Count("UPDATE ");
    EXPECT_TRUE(cycle().Go());
    EXPECT_EQ(Snapshot("LIB"), before);
    EXPECT_EQ(Count("INSERT INTO") + Count("UPDATE "), statements_before);
    EXPECT_EQ(Tree("LIB"), expected);
  }
}

// Microsoft SQL Server and Oracle flavours.
INSTANTIATE_TEST_SUITE_P(Flavours, FolderBuildingTest, ::testing::Values(10, 2));

}  // namespace
}  // namespace sproutsmith::app
