// The processing cycle over real SQLite libraries: which rules it runs, skips and unchecks,
// its loop delay, cancel, midnight, initialize mode, row loop and site shapes; and the
// library/rule tree: rule loading on expansion with its filters, saved marks and rights test,
// the library menu and the chooser.
//
// Folder building through the whole cycle over generated libraries of both flavours on both
// back ends: the tree in the library must be exactly the one the source tables call for,
// computed here by hand.
//
// What Exit, closing the window and Esc do as the run stands, and the pause window on a fixed
// clock (the scripted Ui's sleep moves it) with its time texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/cycle_session.h"
#include "app/exit_control.h"
#include "app/library_tree.h"
#include "app/pause.h"
#include "app/processing_cycle.h"
#include "app/saved_options.h"
#include "support/new_rows.h"
#include "support/test_params.h"

namespace sproutsmith::app {
namespace {

using testing::LibrarySpec;

constexpr char kNoWork[] = "No libraries or rules selected - cannot continue.";

TEST(CycleArithmeticTest, RowLimitAndElapsedTime) {
  struct Limit {
    const char* max_folders;
    int initialize;
    long limit;
  };
  const Limit limits[] = {
      {"0", 0, 10000},     {"-1", 0, 10000}, {"20000", 0, 10000},
      {"10000", 0, 10000}, {"25", 0, 25},    {"25", 1, 0},
      {"", 0, 10000},      {"0", 1, 10000},  {"99999999999999999999", 0, 10000}};
  for (const Limit& c : limits) {
    runtime::Options options;
    options.TextMaxFolders = c.max_folders;
    options.CheckInitialize = c.initialize;
    EXPECT_EQ(RowLimit(options), c.limit) << c.max_folders << " initialize " << c.initialize;
  }
  EXPECT_EQ(ElapsedSeconds(100, 130), 30);
  EXPECT_EQ(ElapsedSeconds(23 * 3600 + 59 * 60 + 50, 10), 20);  // across midnight
  EXPECT_EQ(ElapsedSeconds(500, 500), 0);
}

class ProcessingCycleTest : public CycleSession {
 public:
  std::string RuleRows(const std::string& library, const std::string& table) {
    return install_.Scalar(
        library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = '" + table + "'");
  }
  std::vector<std::string> ResultStates() {
    std::vector<std::string> states;
    for (const auto& row : install_.options.ListResults) {
      states.push_back(row.text + ": " + row.state);
    }
    return states;
  }
  std::string status_before_go;
};

// One cycle over libraries prepared behind the system's back, and what it leaves. Every
// scenario also leaves the running-node rows as it found them, IsRunning 0 and the program
// running.
struct Scenario {
  const char* name;
  std::vector<LibrarySpec> libraries;
  std::function<void(testing::DmInstallation&)> prepare;  // before the session starts
  std::function<void(ProcessingCycleTest&)> before_go;    // the window and the options
  std::vector<std::pair<std::string, int>> logged;        // how many lines hold each
  std::vector<std::array<std::string, 3>> marks;          // library, rule ("": the library's), mark
  std::vector<std::string> results;                       // the results list, "TEXT: STATE"
  std::vector<std::string> shown;                         // every message box, in order
  std::function<void(ProcessingCycleTest&)> more;         // what this scenario alone checks
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// A rule of DEMO whose text column `column` holds `value`.
void AddRule(testing::DmInstallation& install, const char* rule, const char* column,
             const char* value) {
  install.AddRule("DEMO", rule, [=](schema::RuleDefinition& r) { r.SetText(column, value); });
}

const std::string kSkip =
    "It appears that another machine is already running QUIL_SPROUTSMITH against rule ";
const std::string kMaster = " has a different master folder library (";
const char* const kFinished = "Finished processing.";

// clang-format off
const Scenario kScenarios[] = {
    {.name = "FaultyRulesAreSkippedAndUncheckedTheOthersRun",
     .libraries = {{.name = "DEMO"}},
     .prepare = [](testing::DmInstallation& install) {
       AddRule(install, "NO TEMPLATE", "RULE_TEMPLATE", "");
       install.AddRule("DEMO", "NO VALUES", [](schema::RuleDefinition& r) {
         r.SetText("RULE_VALUES", "");
         r.SetInteger("RULE_OVERRIDERULEPARAMETERS", 1);
       });
       AddRule(install, "ELSEWHERE", "RULE_MASTERFOLDER_LIBRARY", "ARCHIVE");
       // Only the exact capitals of *NONE* mean "no master library".
       AddRule(install, "LOWER NONE", "RULE_MASTERFOLDER_LIBRARY", "*none*");
       AddRule(install, "UPPER NONE", "RULE_MASTERFOLDER_LIBRARY", "*NONE*");
       AddRule(install, "OWN MASTER", "RULE_MASTERFOLDER_LIBRARY", "demo");
     },
     .logged = {{"Rule NO TEMPLATE configured improperly in library DEMO", 1},
                {"Rule NO VALUES configured improperly in library DEMO", 1},
                {"Rule ELSEWHERE" + kMaster + "ARCHIVE) than the selected library (DEMO)", 1},
                {"Rule LOWER NONE" + kMaster + "*none*) than the selected library (DEMO)", 1},
                {"Processing library DEMO rule", 4}},
     .marks = {{"DEMO", "NO TEMPLATE", "unchecked"}, {"DEMO", "NO VALUES", "unchecked"},
               {"DEMO", "ELSEWHERE", "unchecked"}, {"DEMO", "LOWER NONE", "unchecked"},
               {"DEMO", "UPPER NONE", "checked"}},
     .results = {"DEMO - CLIENT MATTERS: 21 folder(s) added", "DEMO - CLIENTS: 5 folder(s) added",
                 "DEMO - OWN MASTER: 5 folder(s) added", "DEMO - UPPER NONE: 5 folder(s) added"},
     .shown = {kFinished}},  // no "/G": an information box
    {.name = "RulesHeldByAnotherComputerAreSkippedWithOneLinePerLibrary",
     .libraries = {{.name = "DEMO"}, {.name = "ARCHIVE"}},
     .prepare = [](testing::DmInstallation& install) {
       install.AddRunningNode("DEMO", "OTHERPC:CLIENT MATTERS");
       install.AddRunningNode("DEMO", "OTHERPC:CLIENTS");
       install.AddRunningNode("ARCHIVE", "OTHERPC:CLIENT MATTERS");
     },
     .before_go = [](ProcessingCycleTest& t) { t.install_.state.CommandLine = "/G"; },
     .logged = {{kSkip + "CLIENT MATTERS in library DEMO - will skip this rule", 1},
                {kSkip + "CLIENT MATTERS in library ARCHIVE - will skip this rule", 1},
                {kSkip, 2}, {"Processing library DEMO rule", 0},
                {"Processing library ARCHIVE rule CLIENTS", 1}},
     // Nothing is unchecked, and the other computer keeps its rows.
     .marks = {{"DEMO", "CLIENTS", "checked"}, {"ARCHIVE", "CLIENT MATTERS", "checked"}},
     .results = {"ARCHIVE - CLIENTS: 5 folder(s) added"},
     .more = [](ProcessingCycleTest& t) {
       EXPECT_EQ(t.install_.options.LabelStatus, t.status_before_go);  // shown again
     }},
    {.name = "WithoutALibraryThatHasRulesTheRunEndsWithoutWork",
     .libraries = {{.name = "DEMO"}, {.name = "BARE", .with_quil_tables = false}},
     .before_go = [](ProcessingCycleTest& t) { t.Library("DEMO").rules.clear(); },
     .logged = {{"Quil_Settings table not found in library BARE", 1}, {kNoWork, 1},
                {kFinished, 0}},
     .marks = {{"DEMO", "", "unchecked"}, {"BARE", "", "unchecked"}},  // DEMO: no rule nodes
     .shown = {kNoWork},
     .more = [](ProcessingCycleTest& t) {
       t.install_.state.CommandLine = "/G";
       EXPECT_TRUE(t.cycle().Go());
       EXPECT_EQ(t.Count(kNoWork), 2);
       EXPECT_EQ(t.Shown(kNoWork), 1);  // with "/G" no box
     }},
    {.name = "AMissingTableUnchecksTheLibraryAndAnSqlErrorTheRule",
     .libraries = {{.name = "DEMO"}, {.name = "ARCHIVE"}},
     .prepare = [](testing::DmInstallation& install) {
       install.Exec("ARCHIVE", "DROP TABLE NEEDS_FOLDERING");
       AddRule(install, "BROKEN", "RULE_SPROUTSMITH_TEXT", "CLIENT.NO_SUCH_COLUMN = 1");
     },
     .logged = {{"Unable to locate NEEDS_FOLDERING table in library ARCHIVE", 1},
                {"Processing library ARCHIVE", 0},
                {"NOT saving the SQL statement from this run of rule BROKEN", 1}},
     .marks = {{"DEMO", "BROKEN", "unchecked"}, {"DEMO", "CLIENTS", "checked"},
               {"ARCHIVE", "", "unchecked"}},
     .results = {"DEMO - BROKEN: SQL Error", "DEMO - CLIENT MATTERS: 21 folder(s) added",
                 "DEMO - CLIENTS: 5 folder(s) added"},
     .shown = {kFinished},
     .more = [](ProcessingCycleTest& t) {
       const auto broken = testing::Section(
           t.install_.LogLines(), "Processing library DEMO rule BROKEN", "Processing library");
       EXPECT_EQ(testing::CountHolding(broken, "SQL Error: "), 1);
       EXPECT_EQ(t.session_->rules().SavedStatementFor("DEMO", "BROKEN"), "");
     }},
    {.name = "InitializeModeRecordsTheSelectedRowsWithoutBuilding",
     .libraries = {{.name = "DEMO"}},
     .before_go = [](ProcessingCycleTest& t) {
       t.OnlyRule("DEMO", "CLIENTS");
       t.install_.options.CheckInitialize = 1;
       t.install_.options.TextMaxFolders = "25";
     },
     .results = {"DEMO - CLIENTS: 0 folder(s) added"},
     .shown = {kFinished},
     .more = [](ProcessingCycleTest& t) {
       testing::DmInstallation& install = t.install_;
       EXPECT_EQ(t.RuleRows("DEMO", "MATTER"),
                 install.Scalar("DEMO", "SELECT COUNT(*) FROM MATTER"));
       EXPECT_EQ(t.RuleRows("DEMO", "CLIENT"),
                 install.Scalar("DEMO", "SELECT COUNT(DISTINCT CLIENT_ID) FROM MATTER"));
       EXPECT_EQ(install.options.LabelRead, "8");
       EXPECT_EQ(install.Scalar("DEMO", "SELECT COUNT(*) FROM FOLDER"), "0");
     }},
    {.name = "TheExitButtonCancelsTheRunAtItsNextYield",
     .libraries = {{.name = "DEMO"}},
     .before_go = [](ProcessingCycleTest& t) {
       t.install_.ui.on_yield = [&t] {
         if (t.install_.state.CancelRequested ||
             t.install_.options.LabelStatus != "Processing library DEMO rule CLIENT MATTERS") {
           return;
         }
         EXPECT_EQ(ExitButtonClick(t.install_.context, t.window_, [] { FAIL() << "program end"; }),
                   ExitAction::kCancelCycle);
       };
     },
     .logged = {{"Processing library DEMO rule CLIENTS", 0}, {kFinished, 1}},
     .results = {"DEMO - CLIENT MATTERS: Finished"},
     .shown = {"Task Canceled", kFinished},
     .more = [](ProcessingCycleTest& t) {
       // The common ending makes the window ready for the next Go.
       EXPECT_FALSE(t.install_.state.CancelRequested);
       EXPECT_TRUE(t.window_.ButtonExitEnabled);
       EXPECT_TRUE(t.window_.ButtonGoEnabled);
     }},
    {.name = "APassAcrossMidnightCountsTheSecondsOnBothSides",
     .libraries = {{.name = "DEMO"}},
     .prepare = [](testing::DmInstallation& i) { i.clock.Set({2026, 12, 6, 23, 59, 50}); },
     .before_go = [](ProcessingCycleTest& t) {
       t.install_.state.CommandLine = "/G";
       t.install_.ui.on_yield = [&t] {
         if (t.install_.options.LabelStatus == "Processing library DEMO rule CLIENTS") {
           t.install_.clock.Set({2026, 12, 7, 0, 0, 10});
         }
       };
     },
     .logged = {{"Finished processing. (total time: 20 seconds)", 1}},
     .results = {"DEMO - CLIENT MATTERS: 21 folder(s) added", "DEMO - CLIENTS: 5 folder(s) added"},
     .more = [](ProcessingCycleTest& t) { EXPECT_EQ(t.cycle().TotalSeconds(), 20); }},
};
// clang-format on

class CycleScenarioTest : public ProcessingCycleTest,
                          public ::testing::WithParamInterface<Scenario> {};

TEST_P(CycleScenarioTest, WhatTheCycleLeaves) {
  const Scenario& s = GetParam();
  Start(s.libraries, [&] {
    if (s.prepare) s.prepare(install_);
  });
  std::map<std::string, testing::Rows> nodes;
  for (const LibrarySpec& library : s.libraries) {
    if (library.with_quil_tables) nodes[library.name] = install_.RunningNodes(library.name);
  }
  if (s.before_go) s.before_go(*this);
  status_before_go = install_.options.LabelStatus;
  EXPECT_TRUE(cycle().Go()) << Dump();

  for (const auto& [fragment, count] : s.logged) EXPECT_EQ(Count(fragment), count) << fragment;
  for (const auto& [library, rule, mark] : s.marks) EXPECT_EQ(Mark(library, rule), mark) << rule;
  EXPECT_EQ(ResultStates(), s.results);
  std::vector<std::string> shown;
  for (const auto& m : install_.ui.messages) shown.push_back(m.text);
  EXPECT_EQ(shown, s.shown);
  for (const auto& [library, rows] : nodes) EXPECT_EQ(install_.RunningNodes(library), rows);
  EXPECT_EQ(install_.settings.Get(kProduct, kGeneral, "IsRunning", ""), "0");
  if (s.more) s.more(*this);
  EXPECT_EQ(end_requests_, 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CycleScenarioTest, ::testing::ValuesIn(kScenarios),
                         testing::RowName<Scenario>);

TEST_F(ProcessingCycleTest, LoopDelayNotAboveZeroWaitsThreeSeconds) {
  Start({{.name = "DEMO"}});
  OnlyRule("DEMO", "CLIENTS");
  install_.options.CheckLoop = 1;
  install_.options.TextLoopDelay = "0";
  install_.options.CheckReUseSQL = 1;
  install_.options.CheckLockWorkstation = 1;
  install_.ui.on_sleep = [&] {
    EXPECT_TRUE(install_.state.InLoopDelay);
    if (install_.ui.sleeps == 3) install_.options.CheckLoop = 0;  // the second pass is the last
  };
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(install_.options.TextLoopDelay, "3");
  EXPECT_EQ(install_.ui.sleeps, 3);
  for (const char* wait : {"Waiting 3 seconds before starting", "Waiting 2 seconds before starting",
                           "Waiting 1 seconds before starting"}) {
    EXPECT_EQ(std::count(install_.ui.statuses.begin(), install_.ui.statuses.end(), wait), 1)
        << wait;
  }
  EXPECT_EQ(Count("Processing library DEMO rule CLIENTS"), 2);
  // The second pass runs the statement the first one saved.
  EXPECT_EQ(Count("Using the existing saved SQL statement for this run of rule CLIENTS"), 1);
  EXPECT_EQ(Count("Saving the SQL statement from this run of rule CLIENTS"), 1);
  EXPECT_EQ(locks_, 1);
  EXPECT_FALSE(install_.state.InLoopDelay);
}

// A row processor that builds nothing but reports what folder building would.
class ReportingRows final : public RowProcessor {
 public:
  RowOutcome ProcessFolderItem(const RuleRun& run, rules::PendingRow&, int row) override {
    rows.push_back(row);
    rule = run.rule.Name();
    if (row == cancel_at) *cancel = true;
    RowOutcome o;
    o.first_level_folder = row % 2 == 1 ? 100 + row : 0;
    o.level_left = 2;
    o.folders_added = 2;
    o.failed = row == 3;
    return o;
  }
  void SortFolders(long long folder) override { sorted.push_back(folder); }
  void RecordRow(const RuleRun&, const rules::PendingRow& row, const RowOutcome&) override {
    recorded.push_back(static_cast<int>(row.sequence));
  }

  std::vector<int> rows, recorded;
  std::vector<long long> sorted;
  std::string rule;
  int cancel_at = 0;
  bool* cancel = nullptr;
};

TEST_F(ProcessingCycleTest, EveryRowGoesThroughTheRowProcessorAndTheCounters) {
  Start({{.name = "DEMO"}});
  OnlyRule("DEMO", "CLIENTS");
  ReportingRows rows;
  rows.cancel = &install_.state.CancelRequested;
  ProcessingCycle custom({install_.context,
                          window_,
                          connection(),
                          session_->rules(),
                          session_->nodes(),
                          session_->compiler(),
                          tree(),
                          rows,
                          {},
                          {}});
  EXPECT_TRUE(custom.Go());
  EXPECT_EQ(rows.rule, "CLIENTS");
  EXPECT_EQ(rows.rows, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(rows.recorded, rows.rows);
  EXPECT_EQ(rows.sorted, (std::vector<long long>{101, 103, 105, 107}));
  EXPECT_EQ(install_.options.LabelRead, "8");
  EXPECT_EQ(install_.options.LabelAdded, "16");
  EXPECT_EQ(install_.options.LabelErrors, "1");
  EXPECT_EQ(ResultStates(), std::vector<std::string>{"DEMO - CLIENTS: 16 folder(s) added"});

  // A cancel during row 3 stops the row loop after it.
  rows.rows.clear();
  rows.cancel_at = 3;
  EXPECT_TRUE(custom.Go());
  EXPECT_EQ(rows.rows, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(install_.options.LabelRead, "3");
}

TEST_F(ProcessingCycleTest, SiteShapes) {
  Start({{.name = "DEMO"}}, [this] {
    install_.Exec("DEMO",
                  "INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME, FTBNAME, CMSKEY) VALUES "
                  "(90001, 'PROFILE', 'DIVISION', 'DIVISIONS', 'N'), "
                  "(90002, 'DIVISIONS', 'DIV_ID', '', 'C')");
  });
  OnlyRule("DEMO", "CLIENTS");
  EXPECT_TRUE(cycle().Go());
  EXPECT_TRUE(cycle().SiteLookups().empty());

  install_.state.SiteName = "Hollowbrink Partners";
  EXPECT_TRUE(cycle().Go());
  ASSERT_EQ(cycle().SiteLookups().size(), 1u);
  const SiteLookup& division = cycle().SiteLookups()[0];
  EXPECT_EQ(division.key_column, "DIV_ID");
  EXPECT_EQ(division.assignment,
            "DIVISION = (SELECT SYSTEM_ID FROM [OWNER].DIVISIONS WHERE DIV_ID = 'SP')");

  // The first rule of a TAVI library without e-mail settings asks before it runs.
  install_.state.SiteName = "TAVI LLP";
  OnlyRule("DEMO", "CLIENT MATTERS");
  install_.ui.answers = {runtime::Answer::kNo};
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Processing canceled for library DEMO"), 1);
  EXPECT_EQ(Count("Processing library DEMO rule CLIENT MATTERS"), 0);
  EXPECT_EQ(Mark("DEMO", "CLIENT MATTERS"), "checked");
}

using runtime::MessageStyle;

class LibraryTreeTest : public CycleSession {
 protected:
  std::vector<std::string> RuleTexts(const std::string& library) {
    std::vector<std::string> texts;
    for (const CheckNode& node : Library(library).rules) texts.push_back(node.text);
    return texts;
  }
  // The logged-on user loses DOCS_SUPERVISORS and every right in `library`.
  void TakeRights(const std::string& library) {
    const std::string users = "(SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS')";
    install_.Exec(library,
                  "UPDATE PEOPLE SET PRIMARY_GROUP = " + users + " WHERE USER_ID = 'DMADMIN'");
    install_.Exec(library,
                  "DELETE FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM PEOPLE "
                  "WHERE USER_ID = 'DMADMIN') AND GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM GROUPS "
                  "WHERE GROUP_ID = 'DOCS_SUPERVISORS')");
    install_.Exec(library, "UPDATE STANDIN_RIGHTS SET ALLOWED = 0 WHERE USER_ID = 'DMADMIN'");
  }
};

TEST_F(LibraryTreeTest, ExpandingLoadsTheShownRulesWithTheirMarksAndReconnectsTheLibrary) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}}, [this] {
    install_.AddRule("ARCHIVE", "*DELETED* OLD CLIENTS", [](schema::RuleDefinition&) {});
    install_.AddRule("ARCHIVE", "NIGHTLY", [](schema::RuleDefinition& r) {
      r.SetText("RULE_PURPOSE", "Monthly maintenance");
    });
    install_.settings.Save(kProduct, kRules, "ARCHIVE:CLIENTS", "0");
  });
  install_.options.LabelStatus = "Waiting for user input";
  ASSERT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(RuleTexts("ARCHIVE"), std::vector<std::string>{"[]"});

  EXPECT_TRUE(tree().ExpandLibraryNode(Library("ARCHIVE")));
  EXPECT_EQ(RuleTexts("ARCHIVE"), (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(Mark("ARCHIVE", "CLIENT MATTERS"), "checked");  // no saved mark
  EXPECT_EQ(Mark("ARCHIVE", "CLIENTS"), "unchecked");
  EXPECT_EQ(Count("Setting 4 rule(s) for Node ARCHIVE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(install_.options.LabelStatus, "Waiting for user input");
  EXPECT_FALSE(install_.ui.busy);

  // The cycle never meets the hidden rules.
  install_.state.CommandLine = "/G";
  ASSERT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Processing library ARCHIVE rule CLIENT MATTERS"), 1);
  EXPECT_EQ(Count("rule NIGHTLY"), 0);
  EXPECT_EQ(Count("rule *DELETED*"), 0);
}

TEST_F(LibraryTreeTest, ALibraryWithoutRightsIsUncheckedWithoutRules) {
  Start({{.name = "DEMO"}, {.name = "LOCKED"}}, [this] { TakeRights("LOCKED"); });
  const std::string refusal =
      "Error: DMADMIN does not have rights to manage folders in library LOCKED";
  EXPECT_TRUE(tree().ExpandLibraryNode(Library("LOCKED")));
  EXPECT_FALSE(Library("LOCKED").checked);
  EXPECT_TRUE(Library("LOCKED").rules.empty());
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, refusal);
  EXPECT_EQ(install_.ui.messages[0].style, MessageStyle::kExclamation);
  EXPECT_EQ(Count("does not have rights to manage folders in library LOCKED"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");

  // A supervisor by primary group needs no rights rows.
  install_.Exec("LOCKED",
                "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = "
                "'DOCS_SUPERVISORS') WHERE USER_ID = 'DMADMIN'");
  LibraryNode again = ReadLibraryNode(install_.settings, kProduct, "LOCKED");
  EXPECT_TRUE(tree().ExpandLibraryNode(again));
  EXPECT_TRUE(again.checked);
  EXPECT_EQ(again.rules.size(), 2u);
}

TEST_F(LibraryTreeTest, TheLibraryMenuAndTheChooserConnectOtherLibraries) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  install_.options.LabelStatus = "Waiting for user input";
  tree().ClickLibraryMenuEntry("DEMO");
  EXPECT_EQ(Count("Switching to library"), 0);
  tree().ClickLibraryMenuEntry("ARCHIVE");
  EXPECT_EQ(Count("Switching to library ARCHIVE"), 1);
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_EQ(install_.options.LabelStatus, "Waiting for user input");

  install_.ui.files = {"", "DEMO"};
  EXPECT_FALSE(tree().SelectLibrary());
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, "Selection canceled");
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_TRUE(tree().SelectLibrary());
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(Count("Selecting library to process"), 1);  // a repeated line is logged once
}

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

TEST(ExitDecisionTest, TheFlagsDecideWhatExitAndCloseDo) {
  struct Case {
    bool running, cancel, delay;
    ExitAction exit;
    CloseAction close;
  };
  const std::vector<Case> cases = {
      {false, false, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
      {true, false, false, ExitAction::kCancelCycle, CloseAction::kCancelCycle},
      {true, false, true, ExitAction::kEndLoopDelay, CloseAction::kExitLoopDelay},
      {false, false, true, ExitAction::kEndLoopDelay, CloseAction::kExitLoopDelay},
      // Already told to cancel: a second request ends the program.
      {true, true, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
      {false, true, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
  };
  for (const Case& c : cases) {
    runtime::RunState state;
    state.CycleRunning = c.running;
    state.CancelRequested = c.cancel;
    state.InLoopDelay = c.delay;
    EXPECT_EQ(ExitButtonAction(state), c.exit) << c.running << c.cancel << c.delay;
    EXPECT_EQ(CloseRequestAction(state), c.close) << c.running << c.cancel << c.delay;
  }
}

// The engine's runtime around a Context, with no library: only the window's state matters.
class ExitControlTest : public ::testing::Test {
 protected:
  ExitControlTest() { window_.LabelStatusColour = 192; }  // red while a cycle runs
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const auto& m : install_.ui.messages) texts.push_back(m.text);
    return texts;
  }

  testing::DmInstallation install_;
  runtime::RunState& state_ = install_.state;
  testing::ScriptedUi& ui_ = install_.ui;
  Context& context_ = install_.context;
  MainWindowModel window_;
  int program_ends_ = 0;
  std::function<void()> end_ = [this] { ++program_ends_; };
};

TEST_F(ExitControlTest, CancellingStopsTheCycleAndDisablesExit) {
  state_.CycleRunning = true;
  ExitButtonClick(context_, window_, end_);
  EXPECT_FALSE(state_.CycleRunning);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_FALSE(window_.ButtonExitEnabled);
  EXPECT_EQ(window_.LabelStatusColour, 0xC00000);
  EXPECT_EQ(ui_.messages.at(0).style, MessageStyle::kInformation);

  state_ = {};
  state_.CycleRunning = state_.Paused = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Task Canceled", "Pause Canceled"}));
  EXPECT_EQ(program_ends_, 0);

  // Unattended runs cancel without a box.
  state_ = {};
  state_.CommandLine = "/G /X";
  state_.CycleRunning = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_EQ(ui_.messages.size(), 2u);
}

TEST_F(ExitControlTest, OnlyAnIdleWindowEndsTheProgram) {
  EXPECT_EQ(ExitButtonClick(context_, window_, end_), ExitAction::kCloseWindow);
  EXPECT_EQ(WindowCloseRequest(context_, window_, end_), CloseAction::kProgramEnd);
  EXPECT_EQ(program_ends_, 2);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ExitControlTest, TheLoopDelayIsCutShortAndOnlyCloseSaysSo) {
  state_.CycleRunning = state_.InLoopDelay = true;
  ExitButtonClick(context_, window_, end_);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_TRUE(ui_.messages.empty());

  state_.InLoopDelay = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_FALSE(state_.CancelRequested);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Loop Delay exited"});
  EXPECT_EQ(program_ends_, 0);
}

TEST(PauseTextTest, TimeTextsAreNormalisedToHoursAndMinutes) {
  const std::pair<const char*, const char*> cases[] = {
      {"12:3", "12:30"},  {"1230", "12:30"},   {"9:30", "09:30"},   {"0930", "09:30"},
      {"12:00", "12:00"}, {" 7:05 ", "07:05"}, {"12:345", "12:34"}, {"123", "12:30"},
      {"", ""},           {"2400", "2400"},    {"ab:cd", "ab:cd"},  {"25:00", "25:00"},
  };
  for (const auto& [typed, shown] : cases) EXPECT_EQ(NormalizeTimeText(typed), shown) << typed;
}

TEST(PauseTextTest, WindowsAcrossMiddayAndMidnight) {
  struct Case {
    const char* now;
    const char* start;
    const char* end;
    bool held;
  };
  const Case cases[] = {
      {"12:00", "12:00", "13:00", true},  {"12:59", "12:00", "13:00", true},
      {"11:59", "12:00", "13:00", false}, {"13:00", "12:00", "13:00", false},
      {"23:00", "22:00", "06:00", true},  {"05:59", "22:00", "06:00", true},
      {"06:00", "22:00", "06:00", false}, {"21:59", "22:00", "06:00", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InsidePauseWindow(c.now, c.start, c.end), c.held)
        << c.now << " in " << c.start << "-" << c.end;
  }
}

class PauseTest : public ExitControlTest {
 protected:
  PauseTest() {
    // A Sunday at noon.
    install_.clock.Set({2026, 12, 6, 12, 0, 0});
    window_.TVPause = ReadPauseDays(install_.settings, "Sproutsmith");
    options().CheckPauseTime = 1;
    options().TextPauseStart = "12:00";
    options().TextPauseEnd = "1300";
  }
  runtime::Options& options() { return install_.options; }
};

TEST_F(PauseTest, TheCheckHoldsWhileTheClockIsInsideTheWindow) {
  std::vector<bool> paused_while_sleeping;
  install_.ui.on_sleep = [&] {
    paused_while_sleeping.push_back(state_.Paused);
    install_.clock.Advance(20 * 60);
  };
  CheckForPause(install_.context, window_);
  // Held at 12:00, 12:20 and 12:40; released at 13:00.
  EXPECT_EQ(paused_while_sleeping, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(state_.Paused);
  EXPECT_EQ(options().TextPauseEnd, "13:00");
  EXPECT_EQ(options().CheckPauseTime, 1);
  EXPECT_EQ(install_.ui.statuses.back(),
            "Paused until 01:00 PM - Press Cancel or Esc to exit pausing");
  // Said once for whoever reads a service's output, not once a second.
  EXPECT_EQ(std::count(install_.ui.statuses.begin(), install_.ui.statuses.end(),
                       "Paused until 01:00 PM (the pause window of the settings); the cycle "
                       "goes on then"),
            1);
  EXPECT_EQ(window_.ButtonExitCaption, "Cancel");
  EXPECT_EQ(window_.ButtonExitToolTip, "Exit pausing");
  EXPECT_GE(install_.ui.yields, 3);

  // Outside the window the check returns at once.
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 3);
}

TEST_F(PauseTest, DaysLocalesAndWrongTimes) {
  // Sunday is no pause day: no pause whatever the times.
  window_.TVPause[0].checked = false;
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 0);

  // Day names the clock does not use: the window applies every day.
  for (CheckNode& day : window_.TVPause) {
    day.text = "Tag " + day.text;
    day.checked = false;
  }
  install_.ui.on_sleep = [&] { install_.clock.Advance(3600); };
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 1);

  for (const auto& [start, end] :
       {std::pair{"12:00", "12:00"}, {"12:00", ""}, {"99:00", "13:00"}}) {
    options().CheckPauseTime = 1;
    options().TextPauseStart = start;
    options().TextPauseEnd = end;
    CheckForPause(install_.context, window_);
    EXPECT_EQ(options().CheckPauseTime, 0) << start << "-" << end;
  }
  EXPECT_EQ(install_.CountLogLines("You have enabled the pause timer, but the start and/or end "
                                   "times are not entered properly. The pause timer will be "
                                   "disabled"),
            3);
  EXPECT_EQ(install_.ui.sleeps, 1);
}

TEST_F(PauseTest, CancellingWhilePausedSwitchesTheTimerOff) {
  PressKey(install_.context, window_, WindowKey::kEscape);  // idle: nothing to cancel
  EXPECT_FALSE(state_.CancelRequested);
  state_.CycleRunning = true;
  install_.ui.on_sleep = [&] { PressKey(install_.context, window_, WindowKey::kEscape); };
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 1);
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, "Pause Canceled");
  EXPECT_EQ(install_.CountLogLines("Pausing canceled at 12:00 PM"), 1);
  EXPECT_EQ(options().CheckPauseTime, 0);
  EXPECT_FALSE(state_.Paused);
  EXPECT_FALSE(window_.ButtonExitEnabled);
}

}  // namespace
}  // namespace sproutsmith::app
