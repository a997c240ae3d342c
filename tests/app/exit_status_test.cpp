// The exit status, the run report and the stop of a whole run over a real DM installation
// (SQLite libraries in a temporary folder): what a cron job or a service manager sees.

#include "app/exit_status.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/run_summary.h"
#include "app/standard_rule_tree.h"
#include "installed_engine.h"
#include "platform/schema/rule_rows.h"
#include "support/status_assertions.h"

namespace sproutsmith::app {
namespace {

class ExitStatusTest : public InstalledEngineTest {
 protected:
  void Install(bool archive = true) {
    std::vector<testing::LibrarySpec> libraries = {{.name = "DEMO"}};
    if (archive) libraries.push_back({.name = "ARCHIVE", .engine_code = 2});
    install_.Create(libraries);
  }
  Engine& Build() { return BuildReal(); }
  void AddRule(const std::string& library, const std::string& name,
               const std::function<void(schema::RuleDefinition&)>& change) {
    schema::RuleDefinition rule =
        schema::StandardRule(name, "%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%");
    change(rule);
    std::unique_ptr<sql::Database> db = install_.OpenLibrary(library);
    ASSERT_TRUE(db);
    ASSERT_TRUE(testing::Ok(schema::WriteRule(*db, rule)));
  }

  // Runs "/G /X" and checks the status, the unchecked libraries, the report, the summary.
  void ExpectOutcome(int status, const std::vector<std::string>& unchecked) {
    EXPECT_EQ(Build().Run({"/G", "/X"}), status);
    std::vector<std::string> names;
    for (const LibraryProblem& library : engine_->UncheckedLibraries()) {
      names.push_back(library.library);
    }
    EXPECT_EQ(names, unchecked);
    const std::string report = Report();
    EXPECT_NE(report.find("\"exit_status\": " + std::to_string(status) + ","), std::string::npos)
        << report;
    const std::string summary = RunSummary(SummaryFactsOf(*engine_));
    EXPECT_NE(summary.find(std::string("Outcome: ") + OutcomeWord(status) + " (exit " +
                           std::to_string(status) + ")."),
              std::string::npos)
        << summary;
    for (const std::string& library : unchecked) {
      EXPECT_NE(summary.find("sproutsmith-admin check " + library + "\n"), std::string::npos)
          << summary;
    }
    EXPECT_EQ(Saved("General", "IsRunning"), "0");
    ASSERT_NE(engine_->LastCycle(), nullptr);
  }
};

TEST_F(ExitStatusTest, AFinishedCycleExitsZeroAndReportsEveryRule) {
  Install();
  EXPECT_EQ(Build().Run({"/G", "/X"}), kExitFinished);
  const std::string report = Report();
  EXPECT_NE(report.find("\"exit_status\": 0,\n  \"outcome\": \"finished\""), std::string::npos)
      << report;
  for (const char* rule : {"\"library\": \"DEMO\",\n        \"rule\": \"CLIENTS\"",
                           "\"library\": \"ARCHIVE\",\n        \"rule\": \"CLIENT MATTERS\""}) {
    EXPECT_NE(report.find(rule), std::string::npos) << report;
  }
  // What each rule did is the disk-full test's working case; a second run, with nothing
  // new, is still a finished run and writes its own report.
  Build();
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFinished);
  EXPECT_NE(Report(), report);
}

TEST_F(ExitStatusTest, NoLibraryChecked) {
  Install();
  Save("Libraries", "DEMO", "0");
  Save("Libraries", "ARCHIVE", "0");
  ExpectOutcome(kExitNothingToDo, {"DEMO", "ARCHIVE"});
  EXPECT_EQ(Count("No libraries or rules selected - cannot continue."), 1);
}

TEST_F(ExitStatusTest, NoRuleChecked) {
  Install(false);
  Save("Rules", "DEMO:CLIENTS", "0");
  Save("Rules", "DEMO:CLIENT MATTERS", "0");
  ExpectOutcome(kExitNothingToDo, {});
}

// Libraries that were to be worked on and could not be are failures, not "nothing to do".
TEST_F(ExitStatusTest, EveryCheckedLibraryFails) {
  Install();
  install_.Exec("DEMO", "DROP TABLE NEEDS_FOLDERING");
  install_.Exec("ARCHIVE", "DROP TABLE NEEDS_FOLDERING");
  ExpectOutcome(kExitRuleFailed, {"DEMO", "ARCHIVE"});
  for (const LibraryProblem& library : engine_->UncheckedLibraries()) {
    EXPECT_TRUE(library.reason.starts_with("Error: Unable to locate NEEDS_FOLDERING table in "
                                           "library " + library.library + " ("))
        << library.reason;
  }
}

TEST_F(ExitStatusTest, OneLibraryFailsTheOtherWorks) {
  Install();
  install_.Exec("ARCHIVE", "DROP TABLE QUIL_SPROUTSMITH");
  ExpectOutcome(kExitRuleFailed, {"ARCHIVE"});
  const auto& rules = engine_->LastCycle()->rules;
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[2].outcome, rule_outcome::kLibraryFailed);
  EXPECT_EQ(rules[2].reason, "Error: Unable to locate QUIL_SPROUTSMITH table in library ARCHIVE");
}

TEST_F(ExitStatusTest, AnSqlErrorInOneRule) {
  Install(false);
  AddRule("DEMO", "BROKEN", [](schema::RuleDefinition& r) {
    r.SetText("RULE_SPROUTSMITH_TEXT", "CLIENT.NO_SUCH_COLUMN = 1");
  });
  ExpectOutcome(kExitRuleFailed, {});
  bool found = false;
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    if (rule.rule != "BROKEN") continue;
    found = true;
    EXPECT_EQ(rule.outcome, rule_outcome::kSqlError);
  }
  EXPECT_TRUE(found);
}

TEST_F(ExitStatusTest, AnImproperlyConfiguredRule) {
  Install(false);
  AddRule("DEMO", "NO TEMPLATE", [](schema::RuleDefinition& r) { r.SetText("RULE_TEMPLATE", ""); });
  ExpectOutcome(kExitRuleFailed, {});
}

// Another program takes a write lock on DEMO as its first rule begins: each DEMO rule stops
// before its first row (its selected rows cannot even be remembered), ARCHIVE's rules run,
// and the next run, with the lock gone, builds what was left.
TEST_F(ExitStatusTest, ARuleStopsOnALibraryAnotherProgramHoldsAWriteLockOn) {
  Install();
  install_.config.libraries[install_.config.Find("DEMO")].busy_wait_seconds = 1;
  Build();
  std::unique_ptr<sql::Database> other;
  ui_->on_yield = [&] {
    if (!other && Count("Processing library DEMO rule") > 0) {
      other = install_.OpenLibrary("DEMO");
      ASSERT_TRUE(other && other->Begin());
    }
  };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitRuleFailed);
  ASSERT_TRUE(other);
  EXPECT_TRUE(engine_->UncheckedLibraries().empty());  // the next cycle tries again
  ASSERT_NE(engine_->LastCycle(), nullptr);
  int demo_rules = 0;
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    SCOPED_TRACE(rule.library + " - " + rule.rule);
    if (rule.library == "ARCHIVE") {
      EXPECT_EQ(rule.outcome, rule_outcome::kFinished) << rule.reason;
      EXPECT_GT(rule.folders_created, 0);
      continue;
    }
    ++demo_rules;
    const std::string line = "Library DEMO is busy (another program holds a write lock) - rule " +
                             rule.rule + " stops here and the next cycle tries again";
    EXPECT_EQ(rule.outcome, rule_outcome::kLibraryBusy);
    EXPECT_EQ(rule.reason, "Error: " + line);
    EXPECT_EQ(Count(line), 1);
    EXPECT_GT(rule.rows_selected, 1);
    EXPECT_EQ(rule.rows_failed, 0);  // none was tried
  }
  EXPECT_EQ(demo_rules, 2);
  for (const runtime::ResultsRow& row : engine_->options().ListResults) {
    EXPECT_EQ(row.state == "Library busy", row.text.rfind("DEMO - ", 0) == 0) << row.text;
  }

  other.reset();
  EXPECT_EQ(Build().Run({"/G", "/X"}), kExitFinished);
  EXPECT_EQ(FolderPaths(install_, "DEMO"), StandardRulePaths(install_, "DEMO"));
}

// The client loses its application object while the first rule runs; the unattended
// "exit now?" answers Yes, and the program ends once the cycle has returned.
TEST_F(ExitStatusTest, ALostSessionBreaksTheCycleOff) {
  Install(false);
  Build();
  bool lost = false;
  ui_->on_yield = [&] {
    if (!lost && Count("Processing library DEMO rule") > 0) {
      lost = true;
      seam_->connection()->LoseApplicationForTest();
    }
  };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitBrokenOff);
  ASSERT_NE(engine_->LastCycle(), nullptr);
  EXPECT_TRUE(engine_->LastCycle()->broken_off);
  EXPECT_GE(Count("CheckFusion failed on "), 1);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_TRUE(engine_->Ended());
}

TEST_F(ExitStatusTest, AStopDuringARuleCancelsLikeExitAndEndsCleanly) {
  Install();
  Build();
  int rows_at_stop = -1;
  ui_->on_yield = [&] {
    if (!stop_ && engine_->options().LabelRead == "2") {
      stop_ = true;
      rows_at_stop = 2;
    }
  };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitCancelled);
  ASSERT_EQ(rows_at_stop, 2);
  EXPECT_EQ(Count("Stop requested - the run ends at the next point where it can stop"), 1);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(Saved("General", "Loop"), "0");  // the options were saved
  EXPECT_EQ(RunningNodes("DEMO"), "0");
  // The first rule stopped after its row; no other rule began.
  ASSERT_NE(engine_->LastCycle(), nullptr);
  ASSERT_EQ(engine_->LastCycle()->rules.size(), 1u);
  EXPECT_EQ(engine_->LastCycle()->rules[0].outcome, rule_outcome::kCancelled);
  EXPECT_LT(engine_->LastCycle()->rules[0].rows_selected, 1000);
  EXPECT_EQ(Count("Processing library ARCHIVE"), 0);
  EXPECT_TRUE(engine_->LastCycle()->cancelled);
  EXPECT_NE(Report().find("\"outcome\": \"cancelled\""), std::string::npos);
}

TEST_F(ExitStatusTest, AStopInTheLoopDelayEndsTheRunAsFinished) {
  Install(false);
  Save("General", "Loop_Delay", "600");
  Build();
  ui_->on_sleep = [&] { stop_ = true; };
  EXPECT_EQ(engine_->Run({"/G", "/X", "/L"}), kExitFinished);
  EXPECT_EQ(ui_->sleeps, 1);  // not 600
  EXPECT_EQ(engine_->Cycles(), 1);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
}

TEST_F(ExitStatusTest, AStopDuringThePauseWindowCancelsButKeepsThePauseTimer) {
  Install(false);
  Save("General", "UsePauseTime", "-1");
  Save("General", "PauseStart", "09:00");
  Save("General", "PauseEnd", "10:00");  // the clock stands at 09:04
  Build();
  ui_->on_sleep = [&] { stop_ = true; };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitCancelled);
  EXPECT_EQ(ui_->sleeps, 1);
  EXPECT_EQ(Count("Pausing canceled at "), 1);
  EXPECT_EQ(Count("Processing library"), 0);
  EXPECT_EQ(Saved("General", "UsePauseTime"), "1");
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
}

TEST_F(ExitStatusTest, AStopDuringStartUpRunsNoCycle) {
  Install(false);
  Build();
  ui_->on_yield = [&] {
    if (engine_->options().LabelStatus == "Setting Libraries") stop_ = true;
  };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitCancelled);
  EXPECT_EQ(engine_->Cycles(), 0);
  EXPECT_EQ(Count("Processing library"), 0);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_NE(Report().find("\"outcome\": \"cancelled\""), std::string::npos);
}

TEST_F(ExitStatusTest, AFailedStartSaysWhyAndWhereTheLogIs) {
  Install(false);
  // Take the login out of every group with universal access 191 or more.
  install_.Exec("DEMO",
                "DELETE FROM PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM "
                "GROUPS WHERE UNIV_ACCESS >= 191)");
  Build();
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFailed);
  const std::string refusal =
      "You are not a member of any groups with Universal Access >= 191. This is a requirement "
      "for running Arborline Sproutsmith for OpenText eDOCS";
  EXPECT_NE(FailedStartText(*engine_).find("Error: " + refusal), std::string::npos)
      << FailedStartText(*engine_);
  EXPECT_EQ(Count(refusal), 1);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_EQ(engine_->Cycles(), 0);
  const std::string outcome = OutcomeLine(SummaryFactsOf(*engine_));
  EXPECT_EQ(outcome,
            "Outcome: failed-start (exit 1). Log: " +
                dir_.File(std::string("temp/") + kProduct + "_20261206.LOG") +
                ". Report: " +
                dir_.File(std::string("temp/") + kProduct + "_20261206_090429.json"));
  EXPECT_NE(Report().find("\"exit_status\": 1,"), std::string::npos);
}

TEST_F(ExitStatusTest, SiteNameIsReadAndNeverOverwrittenAndPurgeRemovesTodaysFiles) {
  Install(false);
  Save("General", "SiteName", "Hollowbrink Legal");
  Build();
  EXPECT_EQ(engine_->Run({"/X"}), kExitFinished);
  EXPECT_EQ(engine_->state().SiteName, "Hollowbrink Legal");
  EXPECT_EQ(Saved("General", "SiteName"), "Hollowbrink Legal");

  const std::string dated = dir_.File(std::string("temp/") + kProduct + "_20261206.LOG");
  const std::string report = dir_.File(std::string("temp/") + kProduct + "_20261206_090429.json");
  // An earlier run's report of the same day goes with the day's log.
  const std::string earlier = dir_.File(std::string("temp/") + kProduct + "_20261206_070000.json");
  std::ofstream(earlier) << "{}\n";
  const std::string other_day = dir_.File(std::string("temp/") + kProduct + "_20261205.LOG");
  std::ofstream(other_day) << "kept\n";
  ASSERT_TRUE(std::filesystem::exists(dated));
  ASSERT_TRUE(std::filesystem::exists(report));
  Build();
  EXPECT_EQ(engine_->Run({"/P", "/NV", "/X"}), kExitFinished);
  // Today's files were removed before the new run's banner: only its own lines are there.
  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].find(BuildLine() + " initiating startup"), 0u);
  EXPECT_EQ(Count(" initiating startup"), 1);
  EXPECT_TRUE(std::filesystem::exists(other_day));
  EXPECT_FALSE(std::filesystem::exists(earlier));
  EXPECT_EQ(engine_->ReportPath(), report);  // the purged name is free again
}

}  // namespace
}  // namespace sproutsmith::app
