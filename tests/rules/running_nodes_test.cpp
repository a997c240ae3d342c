#include "rules/running_nodes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rules/rules_session.h"
#include "support/temp_dir.h"

namespace sproutsmith::rules {
namespace {

using testing::LibrarySpec;
using Rows = std::vector<std::vector<std::string>>;

// Everything one running program owns, besides the installation's shared files.
struct Computer {
  Computer(testing::DmInstallation& install, const std::string& log_name)
      : log(install.clock, state, options, ui),
        context{
            install.clock, install.settings, ui, state, options, install.identity, log,
        } {
    state.LogFile = install.dir.File(log_name);
    state.TempDir = install.dir.path().string();
  }
  testing::ScriptedUi ui;
  runtime::RunState state;
  runtime::Options options;
  log::Log log;
  Context context;
};

// Two computers on the same library files: "PC-ONE" is the installation's own program,
// "PC-TWO" a second program with its own session, options, window and log.
class RunningNodesTest : public RulesSession {
 protected:
  void StartBoth(const std::vector<LibrarySpec>& libraries) {
    Start(libraries);
    one_ = std::make_unique<RunningNodes>(install_.context, *connection_, "PC-ONE");
    second_client_ = install_.OpenClient();
    second_connection_ = std::make_unique<dm::Connection>(two_.context, *second_client_);
    ASSERT_TRUE(second_connection_->StartFusion());
    two_nodes_ = std::make_unique<RunningNodes>(two_.context, *second_connection_, "PC-TWO");
  }

  Rows Nodes(const std::string& library = "DEMO") {
    return install_.RunningNodes(library, "CHAR_VAL, DATE_VAL IS NOT NULL, SECTION_KEY");
  }
  void Node(const std::string& library, const std::optional<std::string>& value,
            const std::optional<std::string>& since = "2020-11-13 08:00:00") {
    install_.AddRunningNode(library, value, since);
  }
  int TwoCount(const std::string& fragment) {
    two_.log.Flush();
    int n = 0;
    const auto day = install_.clock.Now();
    for (const auto& l : testing::ReadLines(log::Log::DatedName(two_.state.LogFile, day))) {
      n += l.find(fragment) != std::string::npos;
    }
    return n;
  }

  Computer two_{install_, "SecondComputer.LOG"};
  std::unique_ptr<RunningNodes> one_;
  std::unique_ptr<dmapi::Client> second_client_;
  std::unique_ptr<dm::Connection> second_connection_;
  std::unique_ptr<RunningNodes> two_nodes_;
};

TEST_F(RunningNodesTest, ARegisteredRuleBlocksOtherComputersUntilItsOwnerCleansUp) {
  StartBoth({{.name = "DEMO"}});
  install_.options.CheckDisplayErrors = 1;
  two_.options.CheckDisplayErrors = 1;
  EXPECT_FALSE(one_->ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_FALSE(one_->ActiveStatus(kRegisterRule, "CLIENTS"));
  EXPECT_EQ(Nodes(), (Rows{{"PC-ONE:CLIENTS", "1", "SPROUTSMITH"}}));
  EXPECT_EQ(Count("INSERT INTO DOCSADM.QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
                  "DATE_VAL) VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', "
                  "'PC-ONE:CLIENTS', "),
            1)
      << Dump();
  EXPECT_EQ(Count("DELETE FROM DOCSADM.QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
                  "SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' AND ((CHAR_VAL LIKE "
                  "'PC-ONE:%' OR CHAR_VAL IS NULL OR CHAR_VAL = '') OR DATE_VAL IS NULL)"),
            2);
  // The rule name is compared in upper case; other rules stay free.
  EXPECT_TRUE(two_nodes_->ActiveStatus(kTestRule, "clients"));
  EXPECT_EQ(TwoCount("Determining whether another computer is actively working on rule clients "
                     "in library DEMO"),
            1);
  EXPECT_EQ(TwoCount("Computer PC-ONE is actively working on rule clients in library DEMO since "),
            1);
  EXPECT_FALSE(two_nodes_->ActiveStatus(kTestRule, "CLIENT MATTERS"));
  EXPECT_FALSE(two_nodes_->ActiveStatus(kRegisterRule, "CLIENT MATTERS"));
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENT MATTERS"));
  // Testing cleaned up PC-ONE's own row; PC-TWO's stays.
  EXPECT_EQ(Nodes(), (Rows{{"PC-TWO:CLIENT MATTERS", "1", "SPROUTSMITH"}}));
  EXPECT_FALSE(two_nodes_->ActiveStatus(kCleanUpOnly, ""));
  EXPECT_TRUE(Nodes().empty());
}

TEST_F(RunningNodesTest, ThisComputersOwnRowsNeverBlockIt) {
  StartBoth({{.name = "DEMO"}});
  // A computer whose name differs only in case is the same computer.
  RunningNodes same(two_.context, *second_connection_, "pc-one");
  ASSERT_FALSE(one_->ActiveStatus(kRegisterRule, "CLIENTS"));
  EXPECT_FALSE(same.ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_TRUE(Nodes().empty());
}

TEST_F(RunningNodesTest, BrokenRowsAreDeletedByAnyComputer) {
  StartBoth({{.name = "DEMO"}});
  Node("DEMO", std::nullopt);
  Node("DEMO", "");
  Node("DEMO", "PC-X:A", std::nullopt);
  Node("DEMO", "PC-X:B");
  Node("DEMO", "NO COLON");
  // A row without "computer:" names no rule; it blocks nothing.
  EXPECT_FALSE(two_nodes_->ActiveStatus(kTestRule, "NO COLON"));
  EXPECT_EQ(Nodes(), (Rows{{"NO COLON", "1", "SPROUTSMITH"}, {"PC-X:B", "1", "SPROUTSMITH"}}));
  EXPECT_TRUE(two_nodes_->ActiveStatus(kTestRule, "b"));
}

TEST_F(RunningNodesTest, ACrashedComputersRowHoldsTheRuleUntilTheMenuClearsIt) {
  StartBoth({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  ASSERT_TRUE(second_connection_->ConnectLibrary("ARCHIVE"));
  ASSERT_FALSE(two_nodes_->ActiveStatus(kRegisterRule, "CLIENTS"));
  ASSERT_FALSE(one_->ActiveStatus(kRegisterRule, "O'HARA"));
  two_nodes_.reset();  // PC-TWO crashes: nobody cleans up ARCHIVE's row
  second_connection_.reset();

  ASSERT_TRUE(connection_->ConnectLibrary("ARCHIVE"));
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENTS")) << "rows are never aged out";
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  // Another computer's row without our SECTION_KEY goes too: the menu asks for no section.
  Node("ARCHIVE", "PC-Y:OTHER");
  Exec("ARCHIVE", "UPDATE QUIL_SETTINGS SET SECTION_KEY = 'ELSE' WHERE CHAR_VAL = 'PC-Y:OTHER'");
  install_.ui.answers = {runtime::Answer::kNo};
  install_.options.LabelStatus = "Ready";
  one_->MNClearRunningNodes();
  EXPECT_EQ(Nodes("ARCHIVE").size(), 2u);
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text,
            "This procedure will reset your enterprise libraries to remove the RUNNING_NODES "
            "setting in the QUIL_SETTINGS table so that any library that is 'held' from "
            "processing (due to a crash of a computer running QUIL_SPROUTSMITH, or exiting the "
            "program via Task Manager). You should only run this procedure if NO computers are "
            "running QUIL_SPROUTSMITH on any library, otherwise unpredictable results may "
            "occur.\r\n\r\nAre you sure you want to run this procedure?");
  EXPECT_EQ(install_.ui.messages[0].style, runtime::MessageStyle::kYesNo);

  install_.ui.answers = {runtime::Answer::kYes};
  one_->MNClearRunningNodes();
  EXPECT_TRUE(Nodes("ARCHIVE").empty());
  EXPECT_TRUE(Nodes("DEMO").empty());
  EXPECT_EQ(Count("Clearing library DEMO"), 1) << Dump();
  EXPECT_EQ(Count("Clearing library ARCHIVE"), 1);
  EXPECT_EQ(Count("DELETE FROM DOCSADM.QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SUB_KEY = "
                  "'RUNNING_NODES'"),
            2);
  EXPECT_EQ(Count("Finished clearing 3 item(s) from 2 libraries"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_EQ(install_.options.LabelStatus, "Ready");
  EXPECT_FALSE(install_.ui.busy);
  EXPECT_FALSE(one_->ActiveStatus(kTestRule, "CLIENTS"));
}

TEST_F(RunningNodesTest, AnOracleLibraryGetsNoRowButIsStillTested) {
  StartBoth({{.name = "ORA", .engine_code = 2}});
  install_.options.CheckDisplayErrors = 1;
  EXPECT_FALSE(one_->ActiveStatus(kRegisterRule, "CLIENTS"));
  EXPECT_TRUE(Nodes("ORA").empty());
  EXPECT_EQ(Count("INSERT INTO DOCSADM.QUIL_SETTINGS"), 0);
  EXPECT_EQ(Count("DELETE FROM DOCSADM.QUIL_SETTINGS"), 1) << Dump();
  Node("ORA", "PC-TWO:CLIENTS");
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENTS")) << Dump();
}

TEST_F(RunningNodesTest, TheComputerNameIsStoredAsWrittenOrElseTheUserIdStandsIn) {
  StartBoth({{.name = "DEMO"}});
  RunningNodes quoted(install_.context, *connection_, std::string("O'BRIEN\0junk", 12));
  EXPECT_EQ(quoted.ComputerName(), "O'BRIEN");
  EXPECT_FALSE(quoted.ActiveStatus(kRegisterRule, "O'HARA"));
  EXPECT_EQ(
      Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE CHAR_VAL = 'O''BRIEN:O''HARA'"),
      "1");
  EXPECT_TRUE(two_nodes_->ActiveStatus(kTestRule, "o'hara"));
  EXPECT_FALSE(quoted.ActiveStatus(kCleanUpOnly, ""));
  EXPECT_FALSE(two_nodes_->ActiveStatus(kTestRule, "O'HARA"));
  // Without a computer name the user id stands in.
  RunningNodes nameless(install_.context, *connection_, "");
  EXPECT_FALSE(nameless.ActiveStatus(kRegisterRule, "CLIENTS"));
  EXPECT_EQ(nameless.ComputerName(), "DMADMIN");
  EXPECT_EQ(Nodes(), (Rows{{"DMADMIN:CLIENTS", "1", "SPROUTSMITH"}}));
}

// The clean-up's pattern is each server's own: SQL Server's "[_]" is no escape to Oracle. A
// wildcard in this computer's name claims no other computer's rows, so they still block it.
TEST_F(RunningNodesTest, TheCleanUpTakesExactlyThisComputersRowsOnBothFlavours) {
  StartBoth({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    RunningNodes underscore(install_.context, *connection_, "PC_1");
    for (const char* row : {"PC_1:CLIENTS", "pc_1:OTHER", "PCX1:CLIENTS", "PC_10:X"}) {
      Node(library, row);
    }
    EXPECT_FALSE(underscore.ActiveStatus(kRegisterRule, "CLIENTS"));
    EXPECT_FALSE(underscore.ActiveStatus(kCleanUpOnly, ""));
    EXPECT_EQ(Nodes(library),
              (Rows{{"PCX1:CLIENTS", "1", "SPROUTSMITH"}, {"PC_10:X", "1", "SPROUTSMITH"}}));
    EXPECT_TRUE(underscore.ActiveStatus(kTestRule, "CLIENTS"));
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

TEST_F(RunningNodesTest, TheCallIsSilentUnlessErrorsAreDisplayed) {
  StartBoth({{.name = "DEMO"}});
  install_.options.CheckDisplayErrors = 0;
  install_.options.CheckLogMethod = 1;
  Node("DEMO", "PC-TWO:CLIENTS");
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_EQ(install_.options.CheckLogMethod, 1);
  EXPECT_EQ(Count("Determining whether another computer"), 0);
  EXPECT_EQ(Count("is actively working on rule"), 0);

  install_.options.CheckDisplayErrors = 1;
  EXPECT_TRUE(one_->ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_EQ(Count("Computer PC-TWO is actively working on rule CLIENTS in library DEMO since "
                  "2020-11-13 08:00:00"),
            1)
      << Dump();
}

TEST_F(RunningNodesTest, TwoComputersThatRegisteredAtOnceBothWithdrawAndOneAloneKeepsTheRule) {
  StartBoth({{.name = "DEMO"}});
  // Both tested the free rule before either registered.
  EXPECT_FALSE(one_->ActiveStatus(kTestRule, "CLIENTS"));
  EXPECT_FALSE(two_nodes_->ActiveStatus(kTestRule, "CLIENTS"));
  one_->ActiveStatus(kRegisterRule, "CLIENTS");
  two_nodes_->ActiveStatus(kRegisterRule, "CLIENTS");
  EXPECT_FALSE(one_->ConfirmRegistration("CLIENTS"));
  EXPECT_EQ(Nodes(), (Rows{{"PC-TWO:CLIENTS", "1", "SPROUTSMITH"}}));
  // The second one to look finds the rule its own again.
  EXPECT_TRUE(two_nodes_->ConfirmRegistration("clients"));
  EXPECT_EQ(Nodes(), (Rows{{"PC-TWO:CLIENTS", "1", "SPROUTSMITH"}}));
  // Another rule of the other computer does not count.
  one_->ActiveStatus(kRegisterRule, "CLIENT MATTERS");
  EXPECT_TRUE(one_->ConfirmRegistration("CLIENT MATTERS"));
  EXPECT_EQ(Nodes(), (Rows{{"PC-ONE:CLIENT MATTERS", "1", "SPROUTSMITH"},
                           {"PC-TWO:CLIENTS", "1", "SPROUTSMITH"}}));
}

}  // namespace
}  // namespace sproutsmith::rules
