// Folder building through the whole cycle over generated libraries of both flavours on both
// back ends: the tree in the library must be exactly the one the source tables call for,
// computed here by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/cycle_session.h"
#include "support/new_rows.h"
#include "support/test_params.h"

namespace sproutsmith::app {
namespace {

using testing::LibrarySpec;

class FolderBuildingTest : public CycleSession,
                           public ::testing::WithParamInterface<testing::FlavourOnBackEnd> {
 protected:
  void SetUp() override { install_.backend = std::get<1>(GetParam()); }
  int EngineCode() const { return std::get<0>(GetParam()); }

  Paths Tree(const std::string& library) { return FolderPaths(install_, library); }
  Paths Expected(const std::string& library) { return StandardRulePaths(install_, library); }

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
};

TEST_P(FolderBuildingTest, TheStandardRulesBuildExactlyTheTreeTheDataCallsFor) {
  Start({{.name = "LIB", .engine_code = EngineCode()}});
  const Paths expected = Expected("LIB");
  ASSERT_GT(expected.size(), 20u);
  size_t type_folders = 0;
  for (const std::string& path : expected) {
    type_folders += std::count(path.begin(), path.end(), '/') == 3;
  }

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
  EXPECT_EQ(install_.Scalar("LIB", "SELECT COUNT(*) FROM FOLDER WHERE PATH NOT LIKE 'ARBORLINE%'"),
            "0");
  EXPECT_EQ(install_.Scalar("LIB",
                            "SELECT COUNT(*) FROM PROFILE P JOIN FOLDER F ON F.DOCNUMBER "
                            "= P.DOCNUMBER WHERE P.DEFAULT_RIGHTS <> 1"),
            "0");
  // The queue holds the documents of the new bottom folders.
  EXPECT_NE(install_.Scalar("LIB", "SELECT COUNT(*) FROM NEEDS_FOLDERING"), "0");
  // The row's records reach the new folders' profiles: the matter on a matter folder, the
  // document type only on the bottom level (the others keep the folder type).
  for (const auto& row : install_.Query(
           "LIB",
           "SELECT P.MATTER, M.SYSTEM_ID, D.TYPE_ID FROM FOLDER_ITEM FI JOIN PROFILE P ON "
           "P.DOCNUMBER = FI.DOCNUMBER JOIN PROFILE UP ON UP.DOCNUMBER = FI.PARENT JOIN "
           "FOLDER_ITEM UFI ON UFI.DOCNUMBER = FI.PARENT JOIN ROOT_OBJECT R ON R.DOCNUMBER = "
           "UFI.PARENT JOIN CLIENT CL ON CL.CLIENT_ID = UP.DOCNAME JOIN MATTER M ON "
           "M.CLIENT_ID = CL.SYSTEM_ID AND M.MATTER_ID = P.DOCNAME JOIN DOCUMENTTYPES D ON "
           "D.SYSTEM_ID = P.DOCUMENTTYPE WHERE R.DISPLAYNAME = 'FIRM MATTERS'")) {
    EXPECT_EQ(row[0], row[1]);
    EXPECT_EQ(row[2], "FOLDER");
  }
  const std::string typed =
      "SELECT COUNT(*) FROM FOLDER F JOIN PROFILE P ON P.DOCNUMBER = F.DOCNUMBER JOIN "
      "DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE WHERE D.TYPE_ID <> 'FOLDER'";
  EXPECT_EQ(install_.Scalar("LIB", typed + " AND D.TYPE_ID <> P.DOCNAME"), "0");
  EXPECT_EQ(install_.Scalar("LIB", typed), std::to_string(type_folders));

  const auto before = Snapshot("LIB");
  const int statements_before = Count("INSERT INTO") + Count("UPDATE ");
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Snapshot("LIB"), before);
  EXPECT_EQ(Count("INSERT INTO") + Count("UPDATE "), statements_before);
  EXPECT_EQ(Tree("LIB"), expected);
}

TEST_P(FolderBuildingTest, ARenamedClientRenamesItsFolderWhenTheRuleIdentifiesItByACount) {
  Start({{.name = "LIB", .engine_code = EngineCode()}}, [this] {
    install_.AddRule(
        "LIB", "CLIENT NAMES",
        [](schema::RuleDefinition& r) { r.SetText("RULE_PARSECHARACTERS", "5"); },
        "%CLIENT NAMES% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %-% %MATTER.CLIENT_ID.CLIENT_NAME%");
  });
  OnlyRule("LIB", "CLIENT NAMES");
  EXPECT_TRUE(cycle().Go());
  const auto first = install_.Query("LIB",
                                    "SELECT C.SYSTEM_ID, C.CLIENT_ID, C.CLIENT_NAME FROM "
                                    "CLIENT C WHERE C.SYSTEM_ID = (SELECT MIN(CLIENT_ID) "
                                    "FROM MATTER)");
  ASSERT_EQ(first.size(), 1u);
  const std::string old_name = first[0][1] + "-" + first[0][2];
  ASSERT_EQ(Tree("LIB").count("CLIENT NAMES/" + old_name), 1u) << Dump();

  // The client's new name reaches the rule with the client's next new matter.
  install_.Exec(
      "LIB", "UPDATE CLIENT SET CLIENT_NAME = 'Renamed Holdings' WHERE SYSTEM_ID = " + first[0][0]);
  install_.Exec("LIB", testing::NewMatterSql(900001, first[0][0], "0099", "New matter"));
  EXPECT_TRUE(cycle().Go());
  const Paths tree = Tree("LIB");
  EXPECT_EQ(tree.count("CLIENT NAMES/" + first[0][1] + "-Renamed Holdings"), 1u) << Dump();
  EXPECT_EQ(tree.count("CLIENT NAMES/" + old_name), 0u);
  EXPECT_EQ(Count("Changing the profile name to \"" + first[0][1] + "-Renamed Holdings\""), 1);
}

TEST_P(FolderBuildingTest, TwoRowsWithOneEmailAddressGiveItToTheFirstFolderOnly) {
  Start({{.name = "LIB", .engine_code = EngineCode()}}, [this] {
    install_.AddRule("LIB", "MAILBOX", [](schema::RuleDefinition& r) {
      r.SetText("RULE_EMAIL_TEMPLATE", "intake@example.com");
      r.SetInteger("RULE_EMAIL_LEVEL", 2);
    });
  });
  OnlyRule("LIB", "MAILBOX");
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(install_.Scalar("LIB",
                            "SELECT COUNT(*) FROM PROFILE WHERE PD_ADDRESSEE = "
                            "'intake@example.com'"),
            "1");
  EXPECT_EQ(Count("Setting eMail address for this folder to \"intake@example.com\""), 1);
  EXPECT_EQ(Count("Cannot set the eMail address for this folder to \"intake@example.com\" - the "
                  "address is currently assigned to another item in library LIB"),
            install_.Query("LIB", "SELECT DISTINCT CLIENT_ID FROM MATTER").size() - 1);
}

TEST_P(FolderBuildingTest, ALevelInTheOtherLibraryGetsNoRecordNumbersOfThisOne) {
  Start({{.name = "LIB", .engine_code = EngineCode()}, {.name = "OTHER"}}, [this] {
    install_.AddRule(
        "LIB", "MAIL ROOM",
        [](schema::RuleDefinition& r) {
          r.SetText("RULE_EMAIL_NAME", "CORRESPONDENCE");
          r.SetText("RULE_EMAIL_LIBRARY", "OTHER");
        },
        "%MAIL ROOM% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %CORRESPONDENCE%");
  });
  OnlyRule("LIB", "MAIL ROOM");
  EXPECT_TRUE(cycle().Go());
  const std::string clients =
      std::to_string(install_.Query("LIB", "SELECT DISTINCT CLIENT_ID FROM MATTER").size());
  // One CORRESPONDENCE folder per client, living in OTHER, linked under the client's folder.
  EXPECT_EQ(install_.Scalar("OTHER",
                            "SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = "
                            "'CORRESPONDENCE'"),
            clients)
      << Dump();
  EXPECT_EQ(install_.Scalar("LIB",
                            "SELECT COUNT(*) FROM FOLDER_ITEM FI JOIN REMOTE_LIBRARIES RL "
                            "ON RL.SYSTEM_ID = FI.LIBRARY WHERE RL.LIBRARY_NAME = 'OTHER'"),
            clients);
  // Matter numbers of LIB name other matters in OTHER: none is written there.
  EXPECT_EQ(install_.Scalar("OTHER",
                            "SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = "
                            "'CORRESPONDENCE' AND MATTER IS NOT NULL"),
            "0");
  EXPECT_EQ(Count("Error: "), 0) << Dump();
}

// Microsoft SQL Server and Oracle flavours.
INSTANTIATE_TEST_SUITE_P(FlavoursOnBothBackEnds, FolderBuildingTest,
                         testing::BothFlavoursOnBothBackEnds(), testing::FlavourOnBackEndName);

}  // namespace
}  // namespace sproutsmith::app
