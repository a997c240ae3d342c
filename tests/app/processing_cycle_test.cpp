// The processing cycle over real SQLite libraries: which rules it runs, skips and unchecks,
// its loop delay, cancel, midnight, initialize mode, row loop and site shapes.

#include "app/processing_cycle.h"

#include <gtest/gtest.h>

#include "app/exit_control.h"
#include "app/pause.h"
#include "cycle_session.h"

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
  const Limit limits[] = {{"0", 0, 10000},     {"-1", 0, 10000}, {"20000", 0, 10000},
                          {"10000", 0, 10000}, {"25", 0, 25},    {"25", 1, 0},
                          {"", 0, 10000},      {"0", 1, 10000}};
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
 protected:
  std::string RuleRows(const std::string& library, const std::string& table) {
    return install_.Scalar(
        library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = '" + table + "'");
  }
  void InsertRunningNode(const std::string& library, const std::string& value) {
    install_.Exec(library,
                  "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
                  "DATE_VAL) VALUES ('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', '" +
                      value + "', '2020-11-14 09:00:00')");
  }
  std::string NodeRows(const std::string& library, const std::string& computer) {
    return install_.Scalar(library,
                           "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES' "
                           "AND CHAR_VAL LIKE '" +
                               computer + ":%'");
  }
  std::vector<std::string> ResultStates() {
    std::vector<std::string> states;
    for (const auto& row : install_.options.ListResults) {
      states.push_back(row.text + ": " + row.state);
    }
    return states;
  }
  // Only `rule` of DEMO stays checked.
  void OnlyRule(const std::string& rule) {
    tree().ExpandLibraryNode(Library("DEMO"));
    for (CheckNode& node : Library("DEMO").rules) node.checked = node.text == rule;
  }
};

TEST_F(ProcessingCycleTest, RuleChecksSkipAndUncheckOnlyTheFaultyRules) {
  Start({{.name = "DEMO"}}, [this] {
    AddRule("DEMO", "NO TEMPLATE",
            [](schema::RuleDefinition& r) { r.SetText("RULE_TEMPLATE", ""); });
    AddRule("DEMO", "NO VALUES", [](schema::RuleDefinition& r) {
      r.SetText("RULE_VALUES", "");
      r.SetInteger("RULE_OVERRIDERULEPARAMETERS", 1);
    });
    AddRule("DEMO", "ELSEWHERE",
            [](schema::RuleDefinition& r) { r.SetText("RULE_MASTERFOLDER_LIBRARY", "ARCHIVE"); });
    // Only the exact capitals of *NONE* mean "no master library".
    AddRule("DEMO", "LOWER NONE",
            [](schema::RuleDefinition& r) { r.SetText("RULE_MASTERFOLDER_LIBRARY", "*none*"); });
    AddRule("DEMO", "UPPER NONE",
            [](schema::RuleDefinition& r) { r.SetText("RULE_MASTERFOLDER_LIBRARY", "*NONE*"); });
    AddRule("DEMO", "OWN MASTER",
            [](schema::RuleDefinition& r) { r.SetText("RULE_MASTERFOLDER_LIBRARY", "demo"); });
  });
  EXPECT_TRUE(cycle().Go()) << Dump();

  EXPECT_EQ(Count("Rule NO TEMPLATE configured improperly in library DEMO"), 1);
  EXPECT_EQ(Count("Rule NO VALUES configured improperly in library DEMO"), 1);
  EXPECT_EQ(Count("Rule ELSEWHERE has a different master folder library (ARCHIVE) "
                  "than the selected library (DEMO)"),
            1);
  EXPECT_EQ(Count("Rule LOWER NONE has a different master folder library (*none*) "
                  "than the selected library (DEMO)"),
            1);
  for (const char* faulty : {"NO TEMPLATE", "NO VALUES", "ELSEWHERE", "LOWER NONE"}) {
    EXPECT_EQ(Mark("DEMO", faulty), "unchecked") << faulty;
    EXPECT_EQ(Count(std::string("Processing library DEMO rule ") + faulty), 0) << faulty;
  }
  std::vector<std::string> ran;
  for (const auto& row : install_.options.ListResults) ran.push_back(row.text);
  EXPECT_EQ(ran, (std::vector<std::string>{"DEMO - CLIENT MATTERS", "DEMO - CLIENTS",
                                           "DEMO - OWN MASTER", "DEMO - UPPER NONE"}));
  EXPECT_EQ(Mark("DEMO", "UPPER NONE"), "checked");
  EXPECT_EQ(NodeRows("DEMO", "PC1"), "0");
  EXPECT_EQ(Shown("Finished processing."), 1);  // no "/G": an information box
  EXPECT_EQ(install_.settings.Get(kProduct, kGeneral, "IsRunning", ""), "0");
}

TEST_F(ProcessingCycleTest, RulesHeldByAnotherComputerAreSkippedWithOneMessagePerLibrary) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}}, [this] {
    InsertRunningNode("DEMO", "OTHERPC:CLIENT MATTERS");
    InsertRunningNode("DEMO", "OTHERPC:CLIENTS");
    InsertRunningNode("ARCHIVE", "OTHERPC:CLIENT MATTERS");
  });
  install_.state.CommandLine = "/G";
  const std::string start_status = install_.options.LabelStatus;
  EXPECT_TRUE(cycle().Go());
  const std::string skip =
      "It appears that another machine is already running QUIL_SPROUTSMITH "
      "against rule ";
  EXPECT_EQ(Count(skip + "CLIENT MATTERS in library DEMO - will skip this rule"), 1);
  EXPECT_EQ(Count(skip + "CLIENT MATTERS in library ARCHIVE - will skip this rule"), 1);
  EXPECT_EQ(Count(skip), 2) << Dump();
  EXPECT_EQ(Count("Processing library DEMO rule"), 0);
  EXPECT_EQ(Count("Processing library ARCHIVE rule CLIENTS"), 1);
  // Nothing is unchecked, the other computer keeps its rows and this one leaves none.
  EXPECT_EQ(Mark("DEMO", "CLIENTS"), "checked");
  EXPECT_EQ(Mark("ARCHIVE", "CLIENT MATTERS"), "checked");
  EXPECT_EQ(NodeRows("DEMO", "OTHERPC"), "2");
  EXPECT_EQ(NodeRows("ARCHIVE", "PC1"), "0");
  EXPECT_TRUE(install_.ui.messages.empty());
  EXPECT_EQ(install_.options.LabelStatus, start_status);  // shown again at the end
}

TEST_F(ProcessingCycleTest, TheExitButtonCancelsTheRunAtItsNextYield) {
  Start({{.name = "DEMO"}});
  bool cancelled = false;
  install_.ui.on_yield = [&] {
    if (!cancelled &&
        install_.options.LabelStatus == "Processing library DEMO rule CLIENT MATTERS") {
      cancelled = true;
      EXPECT_EQ(ExitButtonClick(install_.context, window_, [] { FAIL() << "program end"; }),
                ExitAction::kCancelCycle);
    }
  };
  EXPECT_TRUE(cycle().Go());
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(Shown("Task Canceled"), 1);
  EXPECT_EQ(Count("Processing library DEMO rule CLIENTS"), 0);
  EXPECT_EQ(Count("Finished processing."), 1);
  EXPECT_EQ(ResultStates(), std::vector<std::string>{"DEMO - CLIENT MATTERS: Finished"});
  // The common ending makes the window ready for the next Go.
  EXPECT_FALSE(install_.state.CancelRequested);
  EXPECT_TRUE(window_.ButtonExitEnabled);
  EXPECT_TRUE(window_.ButtonGoEnabled);
  EXPECT_EQ(end_requests_, 0);
}

TEST_F(ProcessingCycleTest, LoopDelayNotAboveZeroWaitsThreeSecondsAndEscEndsTheDelay) {
  Start({{.name = "DEMO"}});
  OnlyRule("CLIENTS");
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
    EXPECT_TRUE(StatusShown(wait)) << wait;
  }
  EXPECT_EQ(Count("Processing library DEMO rule CLIENTS"), 2);
  // The second pass runs the statement the first one saved.
  EXPECT_EQ(Count("Using the existing saved SQL statement for this run of rule CLIENTS"), 1);
  EXPECT_EQ(Count("Saving the SQL statement from this run of rule CLIENTS"), 1);
  EXPECT_EQ(locks_, 1);
  EXPECT_FALSE(install_.state.InLoopDelay);

  // Esc in the delay ends the run without the cancel box.
  install_.options.CheckLoop = 1;
  install_.ui.on_sleep = [&] { PressKey(install_.context, window_, WindowKey::kEscape); };
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(install_.ui.sleeps, 4);
  EXPECT_EQ(Count("Processing library DEMO rule CLIENTS"), 3);
  EXPECT_EQ(Shown("Task Canceled"), 0);
  EXPECT_EQ(Count("Finished processing."), 2);
}

TEST_F(ProcessingCycleTest, APassAcrossMidnightCountsTheSecondsOnBothSides) {
  install_.clock.Set({2026, 12, 6, 23, 59, 50});
  Start({{.name = "DEMO"}});
  install_.state.CommandLine = "/G";
  install_.ui.on_yield = [&] {
    if (install_.options.LabelStatus == "Processing library DEMO rule CLIENTS") {
      install_.clock.Set({2026, 12, 7, 0, 0, 10});
    }
  };
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(cycle().TotalSeconds(), 20);
  EXPECT_EQ(Count("Finished processing. (total time: 20 seconds)"), 1) << Dump();
  EXPECT_TRUE(install_.ui.messages.empty());
}

TEST_F(ProcessingCycleTest, WithoutALibraryThatHasRulesTheRunEndsWithoutWork) {
  Start({{.name = "DEMO"}, {.name = "BARE", .with_quil_tables = false}});
  Library("DEMO").rules.clear();  // checked, but no rule nodes
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Quil_Settings table not found in library BARE"), 1);
  EXPECT_FALSE(Library("BARE").checked);
  EXPECT_FALSE(Library("DEMO").checked);
  EXPECT_EQ(Count(kNoWork), 1);
  EXPECT_EQ(Shown(kNoWork), 1);
  EXPECT_EQ(Count("Finished processing."), 0);

  install_.state.CommandLine = "/G";
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Count(kNoWork), 2);
  EXPECT_EQ(Shown(kNoWork), 1);  // with "/G" no box
  EXPECT_EQ(end_requests_, 0);
}

TEST_F(ProcessingCycleTest, InitializeModeRecordsTheSelectedRowsWithoutBuilding) {
  Start({{.name = "DEMO"}});
  OnlyRule("CLIENTS");
  install_.options.CheckInitialize = 1;
  install_.options.TextMaxFolders = "25";
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(RuleRows("DEMO", "MATTER"), install_.Scalar("DEMO", "SELECT COUNT(*) FROM MATTER"));
  EXPECT_EQ(RuleRows("DEMO", "CLIENT"),
            install_.Scalar("DEMO", "SELECT COUNT(DISTINCT CLIENT_ID) FROM MATTER"));
  EXPECT_EQ(install_.options.LabelRead, "8");
  EXPECT_EQ(ResultStates(), std::vector<std::string>{"DEMO - CLIENTS: 0 folder(s) added"});
  EXPECT_EQ(install_.Scalar("DEMO", "SELECT COUNT(*) FROM FOLDER"), "0");
}

TEST_F(ProcessingCycleTest, AMissingTableUnchecksTheLibraryAndAnSqlErrorTheRule) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}}, [this] {
    install_.Exec("ARCHIVE", "DROP TABLE NEEDS_FOLDERING");
    AddRule("DEMO", "BROKEN", [](schema::RuleDefinition& r) {
      r.SetText("RULE_SPROUTSMITH_TEXT", "CLIENT.NO_SUCH_COLUMN = 1");
    });
  });
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Unable to locate NEEDS_FOLDERING table in library ARCHIVE"), 1);
  EXPECT_FALSE(Library("ARCHIVE").checked);
  EXPECT_EQ(Count("Processing library ARCHIVE"), 0);

  const auto broken = Section("Processing library DEMO rule BROKEN", "Processing library");
  ASSERT_FALSE(broken.empty()) << Dump();
  int sql_errors = 0;
  for (const auto& l : broken) sql_errors += l.rfind("SQL Error: ", 0) == 0;
  EXPECT_EQ(sql_errors, 1) << Dump();
  EXPECT_EQ(Count("NOT saving the SQL statement from this run of rule BROKEN"), 1);
  EXPECT_EQ(seam_->rules()->SavedStatementFor("DEMO", "BROKEN"), "");
  EXPECT_EQ(Mark("DEMO", "BROKEN"), "unchecked");
  EXPECT_EQ(Mark("DEMO", "CLIENTS"), "checked");
  ASSERT_FALSE(ResultStates().empty());
  EXPECT_EQ(ResultStates()[0], "DEMO - BROKEN: SQL Error");
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
  OnlyRule("CLIENTS");
  ReportingRows rows;
  rows.cancel = &install_.state.CancelRequested;
  ProcessingCycle custom({install_.context,
                          window_,
                          connection(),
                          *seam_->rules(),
                          *seam_->nodes(),
                          *seam_->compiler(),
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
  OnlyRule("CLIENTS");
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
  OnlyRule("CLIENT MATTERS");
  install_.ui.answers = {runtime::Answer::kNo};
  EXPECT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Processing canceled for library DEMO"), 1);
  EXPECT_EQ(Count("Processing library DEMO rule CLIENT MATTERS"), 0);
  EXPECT_EQ(Mark("DEMO", "CLIENT MATTERS"), "checked");
}

}  // namespace
}  // namespace sproutsmith::app
