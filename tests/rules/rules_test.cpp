// The rule store, the running-node rows and the tracking of built folders, on real libraries.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/schema/rule_rows.h"
#include "rules/row_journal.h"
#include "rules/rule_store.h"
#include "rules/rules_session.h"
#include "rules/running_nodes.h"
#include "rules/tracking.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::rules {
namespace {

using testing::LibrarySpec;
using Rows = std::vector<std::vector<std::string>>;

class RuleStoreTest : public RulesSession {
 protected:
  // A QUIL_SETTINGS row written as an administrator's tool would; "NULL" values unquoted.
  void Row(const std::string& library, const std::string& section, const std::string& sub_key,
           const std::string& char_val, const std::string& int_val = "NULL") {
    Exec(library,
         "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
         "VALUES ('ARBORLINE', '" +
             section + "', '" + sub_key + "', " + char_val + ", " + int_val + ")");
  }
  std::string Get(const std::string& rule, RuleKey key) const {
    const int index = store_->Find(connection_->LibraryName(), rule);
    EXPECT_NE(index, 0) << rule;
    return store_->Value(index, key);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 1; i <= store_->Count(); ++i) names.push_back(store_->Rule(i).Name());
    return names;
  }
};

// 1,200 characters whose every prefix is distinct, so a cut shows where it was made.
std::string LongValue() {
  std::string s;
  for (int i = 0; s.size() < 1200; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

TEST_F(RuleStoreTest, TheGeneratedLibrarysRulesLoadInNameOrder) {
  Start({{.name = "DEMO"}});
  EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(Count("Retrieving any existing rules for library DEMO"), 1) << Dump();
  EXPECT_EQ(Count("2 rule(s) identified"), 1);
  EXPECT_EQ(Count("SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), INT_VAL, "
                  "SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), "
                  "SUBSTRING(CHAR_VAL, 763, 254) FROM DOCSADM.QUIL_SETTINGS WHERE MASTER_KEY = "
                  "'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') "
                  "ORDER BY SUB_KEY, SECTION_KEY"),
            1);
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();

  EXPECT_EQ(store_->Rule(1).Library(), "DEMO");
  EXPECT_EQ(store_->Rule(1).Get(44), "");
  EXPECT_EQ(store_->Find("DEMO", "clients"), 2);
  // The library is compared exactly, the rule name in upper case.
  EXPECT_EQ(store_->Find("demo", "CLIENTS"), 0);
  EXPECT_EQ(store_->Value(3, RuleKey::kName), "");

  EXPECT_EQ(install_.options.MNRuleMenu1, (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(install_.options.MNRuleMenu2, install_.options.MNRuleMenu1);
}

TEST_F(RuleStoreTest, RowsAreReadAsTheRowFormatSays) {
  Start({{.name = "DEMO", .with_rules = false}});
  const std::string long_value = LongValue();
  const std::string quoted_long = "'" + long_value + "'";
  // Sub keys differing in case feed one rule.
  Row("DEMO", "RULE_TEMPLATE", "Mixed", "'%T%'");
  Row("DEMO", "RULE_FORM", "MIXED", "'  F1  '");
  Row("DEMO", "RULE_EMPTY_FOLDERS", "mixed", "NULL", "7");
  // An unknown key makes a rule and sets nothing; so does a key with a trailing blank.
  Row("DEMO", "RULE_NOT_A_KEY", "ODD", "'x'", "3");
  Row("DEMO", "RULE_FORM ", "ODD", "'y'");
  // A NULL integer stays empty.
  Row("DEMO", "RULE_MOVE_INTO", "ODD", "NULL");
  // Root folders: "*none*" is no root, any other is prefixed.
  Row("DEMO", "RULE_ROOT_FOLDER", "ROOTLESS", "'*none*'");
  Row("DEMO", "RULE_TEMPLATE", "ROOTLESS", "'%A% %\\% %B%'");
  Row("DEMO", "RULE_ROOT_FOLDER", "ROOTED", "' %TOP% '");
  Row("DEMO", "RULE_TEMPLATE", "ROOTED", "'%A%'");
  // Long values are cut per key kind.
  Row("DEMO", "RULE_SECURITY", "LONG", quoted_long);
  Row("DEMO", "RULE_EMAIL_NAME", "LONG", quoted_long);
  Row("DEMO", "RULE_EMAIL_LIBRARY", "LONG", quoted_long);
  Row("DEMO", "RULE_ROOT_FOLDER", "LONGROOT", quoted_long);
  // Untrimmed keys keep their blanks; an integer is held without fraction digits.
  Row("DEMO", "RULE_EMAIL_NAME", "RAW", "'  mail  '");
  Row("DEMO", "RULE_SPROUTSMITH_SQL_1", "RAW", "'SELECT<SPC>A '");
  Row("DEMO", "RULE_SPROUTSMITH_SQL_2", "RAW", "'FROM<SPC>B<SPC>'");
  Row("DEMO", "RULE_AUTOFOLDER_LEVEL", "RAW", "NULL", "2.0");
  // B before A in the table, A first in the list.
  Row("DEMO", "RULE_TEMPLATE", "B", "'%B%'");
  Row("DEMO", "RULE_TEMPLATE", "A", "'%A%'");
  // Rows of other kinds are no rules.
  Row("DEMO", "SPROUTSMITH", "RUNNING_NODES", "'PC:A'");
  Row("DEMO", "RULE_TEMPLATE", "   ", "'%BLANK%'");
  store_->LoadRules();

  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B", "LONG", "LONGROOT", "MIXED", "ODD", "RAW",
                                               "ROOTED", "ROOTLESS"}))
      << Dump();
  EXPECT_EQ(Count("9 rule(s) identified"), 1);

  EXPECT_EQ(Get("Mixed", RuleKey::kTemplate), "%T%");
  EXPECT_EQ(Get("mixed", RuleKey::kForm), "F1");
  EXPECT_EQ(Get("MIXED", RuleKey::kEmptyFolders), "7");

  for (int order = 3; order <= kRuleKeyCount; ++order) {
    EXPECT_EQ(store_->Rule(store_->Find("DEMO", "ODD")).Get(order), "") << "order " << order;
  }

  EXPECT_EQ(Get("ROOTLESS", RuleKey::kTemplate), "%A% %\\% %B%");
  EXPECT_EQ(Get("ROOTLESS", RuleKey::kRootFolder), "");
  EXPECT_EQ(Get("ROOTED", RuleKey::kTemplate), "%TOP% %\\% %A%");
  EXPECT_EQ(Get("ROOTED", RuleKey::kRootFolder), "%TOP%");

  EXPECT_EQ(Get("LONG", RuleKey::kSecurity), long_value.substr(0, 1016));
  EXPECT_EQ(Get("LONG", RuleKey::kEmailName), long_value.substr(0, 254));
  EXPECT_EQ(Get("LONG", RuleKey::kEmailLibrary), long_value.substr(0, 254));
  EXPECT_EQ(Get("LONGROOT", RuleKey::kRootFolder), long_value.substr(0, 762));
  EXPECT_EQ(Get("LONGROOT", RuleKey::kTemplate), long_value.substr(0, 762) + " %\\% ");

  EXPECT_EQ(Get("RAW", RuleKey::kEmailName), "  mail  ");
  EXPECT_EQ(Get("RAW", RuleKey::kSproutsmithSql1), "SELECT<SPC>A ");
  EXPECT_EQ(Get("RAW", RuleKey::kAutofolderLevel), "2");
  EXPECT_EQ(store_->SavedStatementFor("DEMO", "raw"), "SELECT A FROM B");
  EXPECT_EQ(store_->Saved(store_->FindSaved("DEMO", "RAW")).rule, "RAW");
  EXPECT_EQ(store_->SavedCount(), 1) << "rules without saved parts add no entry";
}

TEST_F(RuleStoreTest, LibrarySettingsAndTheMasterLibraryDefault) {
  Start({{.name = "DEMO", .with_rules = false}, {.name = "ARCHIVE"}});
  Row("DEMO", "SETTINGS", "PROFILE_EXCLUDE_COLUMN", "' ABSTRACT '");
  Row("DEMO", "SETTINGS", "default_workspace", "'My Work'");
  Row("DEMO", "SETTINGS", "TOPLEVELWARNING", "NULL", "25");
  Row("DEMO", "SETTINGS", "MASTER_LIBRARY", "'ARCHIVE'");
  Row("DEMO", "RULE_MASTER_LIBRARY", "FOLLOWS", "NULL", "1");
  Row("DEMO", "RULE_MASTER_LIBRARY", "OWN", "NULL", "1");
  Row("DEMO", "RULE_MASTERFOLDER_LIBRARY", "OWN", "'ELSEWHERE'");
  Row("DEMO", "RULE_MASTER_LIBRARY", "NOT", "NULL", "0");
  store_->LoadRules();

  const auto& settings = connection_->library_state().settings;
  EXPECT_EQ(settings.ProfileExcludeColumn, "ABSTRACT");
  EXPECT_EQ(settings.DefaultWorkspace, "My Work");
  EXPECT_EQ(settings.TopLevelWarning, 25);
  EXPECT_EQ(store_->MasterLibrary(), "ARCHIVE");
  EXPECT_EQ(Get("FOLLOWS", RuleKey::kMasterfolderLibrary), "ARCHIVE");
  EXPECT_EQ(Get("OWN", RuleKey::kMasterfolderLibrary), "ELSEWHERE");
  EXPECT_EQ(Get("NOT", RuleKey::kMasterfolderLibrary), "");
  // The setting belongs to its library: ARCHIVE has none.
  ASSERT_TRUE(connection_->ConnectLibrary("ARCHIVE"));
  EXPECT_EQ(store_->MasterLibrary(), "");
  EXPECT_EQ(store_->Count(), 2);
  EXPECT_EQ(store_->Rule(1).Library(), "ARCHIVE");
}

TEST_F(RuleStoreTest, ALibraryWithOnlySettingsGetsTheDefaultRule) {
  Start({{.name = "DEMO"}, {.name = "BARE", .with_quil_tables = false}});
  Exec("DEMO", "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE 'RULE%'");
  store_->LoadRules();
  ASSERT_EQ(store_->Count(), 1);
  const RuleRecord& rule = store_->Rule(1);
  EXPECT_EQ(rule.Name(), kDefaultRuleName);
  EXPECT_EQ(rule.Library(), "DEMO");
  EXPECT_EQ(rule[RuleKey::kTemplate], schema::kMatterTemplate);
  EXPECT_EQ(Count("0 rule(s) identified"), 1) << Dump();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM DOCSADM.DOCSCOLUMN WHERE COLNAME = 'MATTER' AND "
                  "TBNAME = 'PROFILE'"),
            1);
  EXPECT_EQ(install_.options.MNRuleMenu1, std::vector<std::string>{kDefaultRuleName});
  // Without a matter column of PROFILE, the author template.
  Exec("DEMO", "DELETE FROM DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'");
  store_->LoadRules();
  ASSERT_EQ(store_->Count(), 1);
  EXPECT_EQ(store_->Rule(1)[RuleKey::kTemplate], schema::kAuthorTemplate);
  // No settings table: no rules at all, and the menus keep what they showed.
  ASSERT_TRUE(connection_->ConnectLibrary("BARE")) << Dump();
  EXPECT_EQ(store_->Count(), 0);
  EXPECT_EQ(Count("Retrieving any existing rules for library BARE"), 0);
  EXPECT_EQ(install_.options.MNRuleMenu1, std::vector<std::string>{kDefaultRuleName});
}

TEST_F(RuleStoreTest, SavedStatementsOfEveryConnectedLibraryAreKept) {
  Start({{.name = "X"}, {.name = "Y"}});
  EXPECT_EQ(store_->SavedCount(), 0);
  Row("X", "RULE_SPROUTSMITH_SQL_1", "CLIENTS", "'SELECT<SPC>1'");
  Row("Y", "RULE_SPROUTSMITH_SQL_1", "CLIENTS", "'SELECT<SPC>2'");
  store_->LoadRules();
  ASSERT_TRUE(connection_->ConnectLibrary("Y"));
  EXPECT_EQ(store_->SavedStatementFor("X", "clients"), "SELECT 1");
  EXPECT_EQ(store_->SavedStatementFor("Y", "CLIENTS"), "SELECT 2");
  EXPECT_EQ(store_->Find("X", "CLIENTS"), 0) << "the rule list holds Y's rules only";
  // Reconnecting replaces an entry's text instead of adding a second entry.
  Exec("X",
       "UPDATE QUIL_SETTINGS SET CHAR_VAL = 'SELECT<SPC>3' WHERE SECTION_KEY = "
       "'RULE_SPROUTSMITH_SQL_1'");
  ASSERT_TRUE(connection_->ConnectLibrary("X"));
  EXPECT_EQ(store_->SavedCount(), 2);
  EXPECT_EQ(store_->SavedStatementFor("X", "CLIENTS"), "SELECT 3");
  // Add or replace by hand, as the selection builder does.
  const int index = store_->SaveStatement("Y", "clients", "  SELECT 4  ");
  EXPECT_EQ(index, store_->FindSaved("Y", "CLIENTS"));
  EXPECT_EQ(store_->Saved(index).statement, "SELECT 4");
  EXPECT_EQ(store_->SaveStatement("Y", "NEW RULE", "SELECT 5"), 3);
  EXPECT_EQ(store_->SavedStatementFor("y", "NEW RULE"), "") << "libraries compare exactly";
}

// A template longer than the four pieces is read cut short; the log says so, on both
// flavours, and a template that just fills the pieces is not taken for a cut one.
TEST_F(RuleStoreTest, ATemplateLongerThanThePiecesIsReportedAsCut) {
  Start({{.name = "DEMO", .with_rules = false},
         {.name = "ORA", .engine_code = 2, .with_rules = false}});
  const std::string long_value = LongValue();
  for (const char* library : {"DEMO", "ORA"}) {
    Row(library, "RULE_TEMPLATE", "Long One", "'" + long_value + "'");
    Row(library, "RULE_TEMPLATE", "EXACT", "'" + long_value.substr(0, 1016) + "'");
  }
  ASSERT_TRUE(connection_->ConnectLibrary("ORA"));
  EXPECT_EQ(Get("LONG ONE", RuleKey::kTemplate), long_value.substr(0, 1016));
  // Oracle's pieces are read with SUBSTR.
  EXPECT_EQ(Count("SELECT SECTION_KEY, SUB_KEY, SUBSTR(CHAR_VAL, 1, 254), INT_VAL, "
                  "SUBSTR(CHAR_VAL, 255, 254), SUBSTR(CHAR_VAL, 509, 254), "
                  "SUBSTR(CHAR_VAL, 763, 254) FROM DOCSADM.QUIL_SETTINGS"),
            1)
      << Dump();
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  EXPECT_EQ(Get("LONG ONE", RuleKey::kTemplate), long_value.substr(0, 1016));
  EXPECT_EQ(Count("Warning: "), 2) << Dump();
  EXPECT_EQ(Count(" The template of rule LONG ONE is 1200 characters long; only the first 1016 "
                  "are read, so the template is cut short"),
            2)
      << Dump();
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

// Everything one running program owns, besides the installation's shared files.
struct Computer {
  Computer(testing::DmInstallation& install, const std::string& log_name)
      : log(install.clock, state, options, ui), context{install.clock, install.settings, ui, state,
                                                        options,       install.identity, log} {
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

class TrackingTest : public RulesSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "ORA", .engine_code = 2}});
    tracking_ = std::make_unique<Tracking>(install_.context, *connection_);
    journal_ = std::make_unique<RowJournal>(install_.context, *connection_);
  }
  Rows Tracked(const std::string& library) {
    return Query(library,
                 "SELECT SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY FROM "
                 "QUIL_SPROUTSMITH ORDER BY rowid");
  }
  int Record(const ResultTable& t, const std::string& rule, const std::string& library = "DEMO",
             int level_left = 3, long long parent = 40) {
    return tracking_->RecordProcessedRow(t, 1, rule, library, level_left, parent);
  }

  // The rows under `headings`, by default a client's code and record.
  static ResultTable Selected(const Rows& rows, std::vector<std::string> headings = {
                                                    "CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID"}) {
    ResultTable t;
    t.SetHeadings(std::move(headings));
    for (const auto& row : rows) t.AddRow(row);
    return t;
  }
  // The values of each row of a work list, in order.
  static std::vector<std::string> Names(const std::vector<PendingRow>& work) {
    std::vector<std::string> names;
    for (const PendingRow& row : work) names.push_back(row.row.values.at(0));
    return names;
  }

  std::unique_ptr<Tracking> tracking_;
  std::unique_ptr<RowJournal> journal_;
};

TEST_F(TrackingTest, EverySystemIdColumnIsRecordedFromTheLastColumnToTheFirst) {
  const auto t = Selected({{"C0001", "11", "22"}},
                          {"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", "MATTER.SYSTEM_ID"});
  EXPECT_EQ(Record(t, "CLIENTS"), 2);
  EXPECT_EQ(Tracked("DEMO"),
            (Rows{{"22", "MATTER", "CLIENTS", "0", ""}, {"11", "CLIENT", "CLIENTS", "0", ""}}));
  EXPECT_EQ(Count("Updating QUIL_SPROUTSMITH information in DEMO for newly created folder(s)"), 1);
  EXPECT_LT(LineOf("Adding Folder column item MATTER.SYSTEM_ID to QUIL_SPROUTSMITH"),
            LineOf("Adding Folder column item CLIENT.SYSTEM_ID to QUIL_SPROUTSMITH"));
  EXPECT_EQ(Count("DELETE FROM DOCSADM.QUIL_SPROUTSMITH WHERE SID = 22 AND TABLE_NAME = 'MATTER' "
                  "AND UPPER(RULE_NAME) = 'CLIENTS'"),
            1)
      << Dump();
  EXPECT_EQ(Count("INSERT INTO DOCSADM.QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, "
                  "LOCKED_BY) VALUES(11, 'CLIENT', 'CLIENTS', 0, '')"),
            1);
  // The same row again replaces its rows instead of adding to them.
  EXPECT_EQ(Record(t, "clients"), 2);
  EXPECT_EQ(Tracked("DEMO").size(), 2u);
}

TEST_F(TrackingTest, OnlyHeadingsNamingATableBeforeSystemIdAreRecorded) {
  const auto t = Selected({{"1", "2", "3", "4", "5"}}, {".SYSTEM_ID", "CLIENT_ID", "  .system_id",
                                                        "SYSTEM_ID", " matter .System_Id"});
  EXPECT_EQ(Record(t, "CLIENTS"), 1);
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"5", "matter", "CLIENTS", "0", ""}}));
  EXPECT_EQ(Record(Selected({{"1", "2"}}, {".SYSTEM_ID", "CLIENT.CLIENT_ID"}), "CLIENTS"), 0);
  EXPECT_EQ(Tracked("DEMO").size(), 1u);
}

TEST_F(TrackingTest, ARowWhoseFirstFolderFailedStaysNew) {
  const auto t = Selected({{"11"}}, {"CLIENT.SYSTEM_ID"});
  EXPECT_EQ(Record(t, "CLIENTS", "DEMO", 1, 0), 0);
  EXPECT_EQ(Record(t, "CLIENTS", "DEMO", 1, -1), 0);
  EXPECT_TRUE(Tracked("DEMO").empty());
  EXPECT_EQ(Count("Updating QUIL_SPROUTSMITH information"), 0);
  // Left deeper down, or at level 1 with a folder made: recorded.
  EXPECT_EQ(Record(t, "R1", "DEMO", 2, 0), 1);
  EXPECT_EQ(Record(t, "R2", "DEMO", 1, 7), 1);
  EXPECT_EQ(Tracked("DEMO").size(), 2u);
}

TEST_F(TrackingTest, RuleNamesWithWildcardsOrQuotesTouchOnlyTheirOwnRows) {
  const auto t = Selected({{"9"}}, {"O'NEIL.SYSTEM_ID"});
  for (const char* rule : {"AXB", "A_B", "A%B", "O'HARA", "AB"}) {
    EXPECT_EQ(Record(t, rule), 1) << rule;
  }
  for (const char* rule : {"A_B", "A%B", "O'HARA"}) Record(t, rule);
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"9", "O'NEIL", "AXB", "0", ""},
                                   {"9", "O'NEIL", "AB", "0", ""},
                                   {"9", "O'NEIL", "A_B", "0", ""},
                                   {"9", "O'NEIL", "A%B", "0", ""},
                                   {"9", "O'NEIL", "O'HARA", "0", ""}}))
      << Dump();
  EXPECT_EQ(Count("SQL Error"), 0);
}

TEST_F(TrackingTest, TheRulesLibraryIsUsedAndTheConnectedOneRestored) {
  const auto t = Selected({{"11"}}, {"CLIENT.SYSTEM_ID"});
  EXPECT_EQ(Record(t, "CLIENTS", "ARCHIVE"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_EQ(Tracked("ARCHIVE"), (Rows{{"11", "CLIENT", "CLIENTS", "0", ""}}));
  EXPECT_TRUE(Tracked("DEMO").empty());
  // A library that cannot be connected gets nothing, nothing lands elsewhere, and the row is
  // not recorded.
  EXPECT_EQ(Record(t, "CLIENTS", "NOWHERE"), -1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_TRUE(Tracked("DEMO").empty());
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1) << Dump();
}

class QueueTest : public TrackingTest {
 protected:
  void SetUp() override {
    TrackingTest::SetUp();
    matter_ = Scalar("ARCHIVE",
                     "SELECT MATTER FROM PROFILE WHERE MATTER IS NOT NULL ORDER BY "
                     "DOCNUMBER LIMIT 1");
    ASSERT_FALSE(matter_.empty());
    const std::string folder_app =
        Scalar("ARCHIVE", "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'");
    Exec("ARCHIVE",
         "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, "
         "MATTER) VALUES (900001, 900001, 'A folder', " +
             folder_app + ", 0, " + matter_ + ")");
    documents_ = Query("ARCHIVE", "SELECT DOCNUMBER FROM PROFILE WHERE MATTER = " + matter_ +
                                      " AND DOCNUMBER <> 900001 ORDER BY DOCNUMBER");
    ASSERT_GE(documents_.size(), 2u);
    Exec("ARCHIVE", "UPDATE PROFILE SET STATUS = 3 WHERE DOCNUMBER = " + documents_[1][0]);
    // A document without an application is still a document.
    Exec("ARCHIVE",
         "UPDATE PROFILE SET APPLICATION = NULL WHERE DOCNUMBER = " + documents_.back()[0]);
    // Already queued by someone else.
    Exec("ARCHIVE", "INSERT INTO NEEDS_FOLDERING (SID, STATUS, RETRY_COUNT, TABLE_NAME) VALUES (" +
                        documents_[0][0] + ", 5, 0, 'PROFILE')");
  }
  Rows Queue() {
    return Query("ARCHIVE",
                 "SELECT SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, "
                 "MACHINE_NAME, LOCK_TIME FROM NEEDS_FOLDERING ORDER BY SID");
  }

  std::string matter_;
  Rows documents_;
};

TEST_F(QueueTest, TheRowsDocumentsAreQueuedOnceAndFoldersNever) {
  EXPECT_TRUE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  Rows expected = {{documents_[0][0], "5", "NULL", "0", "NULL", "PROFILE", "NULL", "NULL"}};
  for (size_t i = 1; i < documents_.size(); ++i) {
    expected.push_back({documents_[i][0], "0", "", "0", i == 1 ? "3" : "0", "PROFILE", "", "NULL"});
  }
  EXPECT_EQ(Queue(), expected);
  EXPECT_EQ(Count("Adding New Documents to Queue in library ARCHIVE"), 1);
  EXPECT_EQ(Count("INSERT INTO DOCSADM.NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, "
                  "DOCSTATUS, TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, "
                  "STATUS, 'PROFILE', '', NULL FROM DOCSADM.PROFILE WHERE MATTER = " +
                  matter_ +
                  " AND NOT EXISTS (SELECT * FROM DOCSADM.APPS WHERE APPS.SYSTEM_ID = "
                  "PROFILE.APPLICATION AND APPS.APPLICATION = 'FOLDER')  AND DOCNUMBER NOT IN "
                  "(SELECT SID FROM DOCSADM.NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')"),
            1)
      << Dump();

  EXPECT_TRUE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(Queue(), expected);
}

TEST_F(QueueTest, NothingIsQueuedWithTheOptionOffOrWithoutConditions) {
  install_.options.CheckAddNewDocs = 0;
  EXPECT_FALSE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(Queue().size(), 1u);
  EXPECT_EQ(Count("Adding New Documents to Queue"), 0);

  install_.options.CheckAddNewDocs = 1;
  EXPECT_FALSE(tracking_->QueueDocuments("  ", "ARCHIVE"));
  EXPECT_EQ(Queue().size(), 1u);
  EXPECT_EQ(Count("Not adding new documents to Queue - unable to form SQL statement"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
}

// The journal of rows a cycle selected but has not finished.
TEST(RowJournalTextTest, EveryRowComesBackExactlyAndACutTextIsNoRow) {
  // A value of 1,200 characters with a two-byte character across the 1,000th byte: the
  // text is written in parts that never split a character.
  const std::string long_value = std::string(997, 'x') + "\xC3\xA9" + std::string(200, 'y');
  const std::vector<SourceRow> rows = {
      {{"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID"}, {"C0001", "11"}, ""},
      {{"A", "B", "C"}, {"it's 50% [done]", "tab\there", "line\r\nbreak"}, "x@example.com"},
      {{"", "\\"}, {" padded ", ""}, ""},
      {{"PROFILE.DOCNAME"}, {long_value}, ""},
      {{}, {}, ""},
  };
  for (const SourceRow& row : rows) {
    const std::string text = EncodeRow(row);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    SourceRow back;
    ASSERT_TRUE(DecodeRow(text, &back)) << text;
    EXPECT_EQ(back, row);
    // A text cut anywhere before its end marker is never taken for a row.
    for (const size_t cut : {text.size() - 1, text.size() / 2, size_t{3}}) {
      EXPECT_FALSE(DecodeRow(text.substr(0, cut), &back)) << cut;
    }
  }
}

TEST(RowJournalTextTest, ARowIsKnownByItsRecordsElseByAllItsValues) {
  const SourceRow a{{"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", ".SYSTEM_ID"}, {"C1", "11", "5"}, ""};
  const SourceRow renamed{
      {"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", ".SYSTEM_ID"}, {"C1 new", "11.0", "6"}, ""};
  EXPECT_EQ(RowKey(a), "CLIENT.SYSTEM_ID=11\n");
  EXPECT_EQ(RowKey(a), RowKey(renamed));
  const SourceRow plain{{"X"}, {"1"}, ""};
  EXPECT_EQ(RowKey(plain), EncodeRow(plain));
}

// On both flavours: rows left from earlier cycles come first, in their order; today's
// values replace those of a row nothing was made for; forgotten rows are gone.
TEST_F(TrackingTest, UnfinishedRowsComeFirstInTheirOrderAndKeepTheirNotes) {
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    const std::vector<std::string> emails = {"", "c1@x", "c2@x", "c3@x"};
    std::optional<std::vector<PendingRow>> first = journal_->Prepare(
        library, "R1", Selected({{"C1", "11"}, {"C2", "12"}, {"C3", "13"}}), emails);
    ASSERT_TRUE(first);
    ASSERT_EQ(Names(*first), (std::vector<std::string>{"C1", "C2", "C3"}));
    EXPECT_EQ((*first)[1].row.email, "c2@x");
    // C1 finished; C2 was making its level 2 folder; C3 was never reached.
    ASSERT_TRUE(journal_->Forget(library, "R1", (*first)[0]));
    ASSERT_TRUE(journal_->NoteCreating(library, "R1", (*first)[1], 1, 500));
    ASSERT_TRUE(journal_->NoteCreating(library, "R1", (*first)[1], 2, 640));
    // The next selection no longer returns C2 (its records are tracked) but returns C3 with
    // a new name and a new client C4.
    std::optional<std::vector<PendingRow>> next =
        journal_->Prepare(library, "R1", Selected({{"C3 renamed", "13"}, {"C4", "14"}}), {});
    ASSERT_TRUE(next);
    EXPECT_EQ(Names(*next), (std::vector<std::string>{"C2", "C3 renamed", "C4"}));
    EXPECT_EQ((*next)[0].creating_level, 2);
    EXPECT_EQ((*next)[0].watermark, 640);
    EXPECT_TRUE((*next)[0].resumed);
    EXPECT_EQ((*next)[0].row.email, "c2@x");
    EXPECT_FALSE((*next)[2].resumed);
    EXPECT_LT((*next)[1].sequence, (*next)[2].sequence);
    // Read back as stored: the same rows, the rename kept.
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    std::optional<std::vector<PendingRow>> stored = journal_->Load("R1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(Names(*stored), Names(*next));
    // Another rule's rows are its own.
    std::optional<std::vector<PendingRow>> other =
        journal_->Prepare(library, "R2", Selected({}), {});
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->empty());
    for (const PendingRow& row : *next) ASSERT_TRUE(journal_->Forget(library, "R1", row));
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    EXPECT_TRUE(journal_->Load("R1")->empty());
  }
  EXPECT_EQ(install_.CountLogLines(
                "Finishing 2 row(s) of rule R1 that an earlier run selected but did not finish"),
            2);
}

TEST_F(TrackingTest, ARowCutShortWhileItWasWrittenIsDroppedAndAPartWrittenTwiceIsReadOnce) {
  std::optional<std::vector<PendingRow>> work =
      journal_->Prepare("DEMO", "R1", Selected({{std::string(1500, 'L'), "11"}, {"C2", "12"}}), {});
  ASSERT_TRUE(work);
  // The long row's last part lost, as by a break between two inserts; the short row's part
  // written a second time.
  Exec("DEMO", "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " + (*work)[0].id +
                   "' AND KEY_TYPE = 2");
  Exec("DEMO",
       "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
       "KEY_TYPE) SELECT MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE "
       "FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " +
           (*work)[1].id + "'");
  std::optional<std::vector<PendingRow>> stored = journal_->Load("R1");
  ASSERT_TRUE(stored);
  EXPECT_EQ(Names(*stored), std::vector<std::string>{"C2"});
  EXPECT_EQ(install_.CountLogLines("Forgetting an unfinished row of rule R1 that was cut short "
                                   "while it was being remembered"),
            1);
  EXPECT_EQ(Query("DEMO", "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " +
                              (*work)[0].id + "'"),
            (testing::Rows{{"0"}}));
}

}  // namespace
}  // namespace sproutsmith::rules
