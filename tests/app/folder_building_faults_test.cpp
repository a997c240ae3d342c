// A folder's creation broken off at every database call in turn (a failed write, a full disk,
// a crash): the next cycles must finish the tree without a second folder of any name under
// the same parent, and without leaving a folder that nothing links.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/saved_options.h"
#include "app/session.h"
#include "app/standard_rule_tree.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/sql/fault_injecting_database.h"
#include "platform/sql/sqlite_database.h"
#include "support/dm_installation.h"
#include "support/fault_opener.h"
#include "support/product_name.h"

namespace sproutsmith::app {
namespace {

// One library with one matter, so the CLIENTS rule builds CLIENTS and one client folder,
// over a database that fails the calls it is told to.
struct FaultyLibrary {
  FaultyLibrary() {
    install.Create({{.name = "LIB"}});
    install.Exec("LIB",
                 "DELETE FROM MATTER WHERE SYSTEM_ID <> (SELECT MIN(SYSTEM_ID) FROM MATTER)");
    session = std::make_unique<Session>(
        install.context, window,
        InstallationChoice{
            .client = install.OpenClient(testing::FaultInjectingOpener(
                [this](const std::string&, sql::FaultInjectingDatabase& db) { fault = &db; }))},
        "PC1");
    EXPECT_TRUE(session->StartFusion());
    window.TVRules.push_back(ReadLibraryNode(install.settings, testing::kProductName, "LIB"));
    session->tree().ExpandLibraryNode(window.TVRules[0]);
    for (CheckNode& node : window.TVRules[0].rules) node.checked = node.text == "CLIENTS";
  }

  void Go() { session->cycle().Go(); }

  // Twice the same name under one parent (or at the top), and folders linked nowhere.
  std::string Problems() {
    std::string problems = Repeated(FolderPaths(install, "LIB"));
    const std::string unlinked = install.Scalar(
        "LIB",
        "SELECT COUNT(*) FROM FOLDER WHERE DOCNUMBER NOT IN (SELECT DOCNUMBER FROM FOLDER_ITEM) "
        "AND DOCNUMBER NOT IN (SELECT DOCNUMBER FROM ROOT_OBJECT)");
    if (unlinked != "0") problems += unlinked + " folder(s) linked nowhere; ";
    return problems;
  }

  // The client's folder under the public CLIENTS folder.
  std::string Built() {
    return install.Scalar(
        "LIB",
        "SELECT COUNT(*) FROM FOLDER_ITEM FI JOIN ROOT_OBJECT R ON R.DOCNUMBER = FI.PARENT "
        "JOIN PROFILE P ON P.DOCNUMBER = FI.DOCNUMBER WHERE R.DISPLAYNAME = 'CLIENTS' AND "
        "P.DOCNAME = (SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = "
        "M.CLIENT_ID)");
  }
  std::string Recorded() {
    return install.Scalar("LIB",
                          "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'MATTER'");
  }
  std::string Dump() const { return install.LogText(); }

  testing::DmInstallation install;
  MainWindowModel window;
  sql::FaultInjectingDatabase* fault = nullptr;
  std::unique_ptr<Session> session;
};

TEST(FolderBuildingFaultsTest, EveryCallOfARowsFoldersMayFailAndTheNextCyclesFinishTheTree) {
  // A clean run tells which calls belong to the row's folders: from the first folder lookup to
  // the row's tracking record.
  long first = 0, last = 0;
  {
    FaultyLibrary clean;
    ASSERT_NE(clean.fault, nullptr);
    clean.fault->Disarm();
    clean.Go();
    ASSERT_EQ(clean.Built(), "1") << clean.Dump();
    ASSERT_EQ(clean.Problems(), "");
    const std::vector<std::string>& calls = clean.fault->call_log();
    for (size_t i = 0; i < calls.size(); ++i) {
      const std::string& call = calls[i];
      if (first == 0 && call.find("F.PATH") != std::string::npos) first = static_cast<long>(i) + 1;
      if (call.find("INSERT INTO QUIL_SPROUTSMITH") != std::string::npos) {
        last = static_cast<long>(i) + 1;
      }
    }
    ASSERT_GT(first, 0);
    ASSERT_GT(last, first);
  }
  // One failed call, or a crash: that call and every later one fail.
  for (const bool crash : {false, true}) {
    for (long k = first; k <= last; ++k) {
      FaultyLibrary run;
      run.fault->FailCall(k, crash);
      run.Go();
      const std::string failed = run.fault->failures() > 0 ? run.fault->call_log()[k - 1] : "";
      run.fault->Disarm();
      run.Go();
      run.Go();
      SCOPED_TRACE(std::string(crash ? "crash at" : "failing") + " call " + std::to_string(k) +
                   ": " + failed);
      EXPECT_EQ(run.Problems(), "");
      EXPECT_EQ(run.Built(), "1");
      EXPECT_EQ(run.Recorded(), "1");
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << run.Dump();
        return;
      }
    }
  }
}

}  // namespace
}  // namespace sproutsmith::app
