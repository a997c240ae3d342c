// A whole run over a real DM installation (SQLite libraries in a temporary folder) as a cron
// job or a service manager sees it: the log, the exit status, the run report and the stop;
// and what an unattended run prints at its end and writes for monitoring to read.

#include "app/exit_status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/cycle_session.h"
#include "app/engine_test_fixture.h"
#include "app/run_report.h"
#include "app/run_summary.h"
#include "platform/schema/test_data.h"
#include "support/status_assertions.h"
#include "support/test_params.h"
#include "text/json.h"

namespace sproutsmith::app {
namespace {

using testing::Contains;

class ExitStatusTest : public InstalledEngineTest {
 protected:
  void Install(bool archive = true) {
    std::vector<testing::LibrarySpec> libraries = {{.name = "DEMO"}};
    if (archive) libraries.push_back({.name = "ARCHIVE", .engine_code = 2});
    install_.Create(libraries);
  }
  // The rules of the last cycle, "LIBRARY - RULE: outcome (reason)".
  std::vector<std::string> Rules() {
    std::vector<std::string> rules;
    if (engine_ == nullptr || engine_->LastCycle() == nullptr) return rules;
    for (const RuleReport& r : engine_->LastCycle()->rules) {
      rules.push_back(r.library + " - " + r.rule + ": " + r.outcome +
                      (r.reason.empty() ? "" : " (" + r.reason + ")"));
    }
    return rules;
  }
};

TEST_F(ExitStatusTest, AFinishedCycleBuildsAndRecordsEveryRulesRowsAndReportsThem) {
  Install();
  // Counted by hand over the library files: the rows each rule's template stands for.
  const std::string per_matter = install_.Scalar(
      "DEMO", "SELECT COUNT(*) FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID");
  const std::string per_document_type = install_.Scalar(
      "DEMO",
      "SELECT COUNT(*) FROM (SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
      "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
      "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
      "JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER')");
  ASSERT_NE(per_matter, "0");
  ASSERT_NE(per_document_type, "0");

  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), kExitFinished);
  const struct {
    const char* name;
    const char* folder_template;
    std::string rows;
  } rules[] = {{schema::kClientMattersRule, schema::kMatterTemplate, per_document_type},
               {schema::kClientsRule, schema::kClientsTemplate, per_matter}};
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    for (const auto& rule : rules) {
      SCOPED_TRACE(std::string(library) + " " + rule.name);
      const auto section = testing::Section(
          LogLines(), std::string("Processing library ") + library + " rule " + rule.name,
          std::string("Finished with library ") + library);
      ASSERT_FALSE(section.empty());
      for (const std::string& line :
           {std::string("Rule Parameters:"), "Rule Template: " + std::string(rule.folder_template),
            std::string("Rule Security: %AUTHOR.PRIMARY_GROUP% = 127"), std::string("Rule Form: "),
            std::string("SELECT DISTINCT "),
            rule.rows + " SQL value(s) match the folder template"}) {
        EXPECT_EQ(std::count_if(section.begin(), section.end(),
                                [&](const std::string& l) { return l.starts_with(line); }),
                  1)
            << line;
      }
    }
    EXPECT_NE(install_.Scalar(library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "0") << library;
  }
  EXPECT_EQ(Count("Finished processing."), 1);
  EXPECT_EQ(Count("Error:"), 0);
  const std::string report = Report();
  EXPECT_TRUE(Contains(report, "\"exit_status\": 0,\n  \"outcome\": \"finished\""));
  EXPECT_TRUE(Contains(report, "\"library\": \"DEMO\",\n        \"rule\": \"CLIENTS\""));
  EXPECT_TRUE(Contains(report, "\"library\": \"ARCHIVE\",\n        \"rule\": \"CLIENT MATTERS\""));

  for (const char* field : {"\"started\": \"2026-12-06T09:04:29\"",
                            "\"ended\": \"2026-12-06T09:04:29\"", "\"cycles\": 1,"}) {
    EXPECT_TRUE(Contains(report, field)) << field;
  }

  // A second run, with nothing new, is still a finished run and writes a report of its own.
  const std::string first = engine_->ReportPath();
  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), kExitFinished);
  EXPECT_NE(engine_->ReportPath(), first);
  EXPECT_EQ(testing::ReadFile(first), report);
  EXPECT_TRUE(Contains(Report(), "\"folders_created\": 0,"));
}

// What a cycle found, changed behind the system's back: its exit status, the libraries it left
// unchecked and its rules, said alike by the report and the summary.
struct OutcomeCase {
  const char* name;
  bool archive = true;
  std::vector<std::array<std::string, 3>> saved;         // section, key, value
  std::vector<std::pair<std::string, std::string>> sql;  // library, statement
  std::array<std::string, 3> rule;  // a rule added: name, column, value ("": none)
  int status = kExitRuleFailed;
  std::vector<std::string> unchecked;  // "LIBRARY: how its reason begins"
  std::vector<std::string> rules;      // the cycle's, "LIBRARY - RULE: outcome (reason)"
  const char* logged = "";             // a line the log holds once
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

const std::string kNoTable = "Error: Unable to locate ";
const std::string kNoQueue = kNoTable + "NEEDS_FOLDERING table in library ";
const std::string kMattersFailed = " - CLIENT MATTERS: library failed (";
const std::string kDemoFinished[] = {"DEMO - CLIENT MATTERS: finished", "DEMO - CLIENTS: finished"};

// clang-format off
const OutcomeCase kOutcomes[] = {
    {.name = "NoLibraryChecked",
     .saved = {{"Libraries", "DEMO", "0"}, {"Libraries", "ARCHIVE", "0"}},
     .status = kExitNothingToDo, .unchecked = {"DEMO: ", "ARCHIVE: "},
     .logged = "No libraries or rules selected - cannot continue."},
    {.name = "NoRuleChecked", .archive = false,
     .saved = {{"Rules", "DEMO:CLIENTS", "0"}, {"Rules", "DEMO:CLIENT MATTERS", "0"}},
     .status = kExitNothingToDo},
    // Libraries that were to be worked on and could not be are failures, not "nothing to do".
    {.name = "EveryCheckedLibraryFails",
     .sql = {{"DEMO", "DROP TABLE NEEDS_FOLDERING"}, {"ARCHIVE", "DROP TABLE NEEDS_FOLDERING"}},
     .unchecked = {"DEMO: " + kNoQueue + "DEMO (", "ARCHIVE: " + kNoQueue + "ARCHIVE ("},
     .rules = {"DEMO" + kMattersFailed + kNoQueue + "DEMO)",
               "ARCHIVE" + kMattersFailed + kNoQueue + "ARCHIVE)"}},
    {.name = "OneLibraryFailsTheOtherWorks",
     .sql = {{"ARCHIVE", "DROP TABLE QUIL_SPROUTSMITH"}},
     .unchecked = {"ARCHIVE: " + kNoTable + "QUIL_SPROUTSMITH table in library ARCHIVE"},
     .rules = {kDemoFinished[0], kDemoFinished[1],
               "ARCHIVE" + kMattersFailed + kNoTable +
                   "QUIL_SPROUTSMITH table in library ARCHIVE)"}},
    {.name = "AnSqlErrorInOneRule", .archive = false,
     .rule = {"BROKEN", "RULE_SPROUTSMITH_TEXT", "CLIENT.NO_SUCH_COLUMN = 1"},
     .rules = {"DEMO - BROKEN: sql error (SQL Error: 1 occurred trying to identify new folders)",
               kDemoFinished[0], kDemoFinished[1]}},
    {.name = "AnImproperlyConfiguredRule", .archive = false,
     .rule = {"NO TEMPLATE", "RULE_TEMPLATE", ""},
     .rules = {kDemoFinished[0], kDemoFinished[1],
               "DEMO - NO TEMPLATE: skipped (Error: Rule NO TEMPLATE configured improperly in "
               "library DEMO)"}},
};
// clang-format on

class CycleOutcomeTest : public ExitStatusTest,
                         public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(CycleOutcomeTest, TheStatusTheUncheckedLibrariesAndTheRulesAreSaidAlike) {
  const OutcomeCase& c = GetParam();
  Install(c.archive);
  for (const auto& [section, key, value] : c.saved) Save(section, key, value);
  for (const auto& [library, statement] : c.sql) install_.Exec(library, statement);
  if (!c.rule[0].empty()) {
    install_.AddRule("DEMO", c.rule[0],
                     [&c](schema::RuleDefinition& r) { r.SetText(c.rule[1], c.rule[2]); });
  }
  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), c.status);
  const std::vector<LibraryProblem> unchecked = engine_->UncheckedLibraries();
  ASSERT_EQ(unchecked.size(), c.unchecked.size());
  for (size_t i = 0; i < unchecked.size(); ++i) {
    EXPECT_TRUE((unchecked[i].library + ": " + unchecked[i].reason).starts_with(c.unchecked[i]))
        << unchecked[i].library << ": " << unchecked[i].reason;
  }
  EXPECT_EQ(Rules(), c.rules);
  EXPECT_TRUE(Contains(Report(), "\"exit_status\": " + std::to_string(c.status) + ","));
  const std::string summary = RunSummary(SummaryFactsOf(*engine_));
  EXPECT_TRUE(Contains(summary, std::string("Outcome: ") + OutcomeWord(c.status) + " (exit " +
                                    std::to_string(c.status) + ")."));
  for (const LibraryProblem& library : unchecked) {
    EXPECT_TRUE(Contains(summary, "sproutsmith-admin check " + library.library + "\n"));
  }
  if (*c.logged) {
    EXPECT_EQ(Count(c.logged), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CycleOutcomeTest, ::testing::ValuesIn(kOutcomes),
                         testing::RowName<OutcomeCase>);

// Another program takes a write lock on DEMO as its first rule begins: each DEMO rule stops
// before its first row (its selected rows cannot even be remembered), ARCHIVE's rules run,
// and the next run, with the lock gone, builds what was left.
TEST_F(ExitStatusTest, ARuleStopsOnALibraryAnotherProgramHoldsAWriteLockOn) {
  Install();
  install_.config.libraries[install_.config.Find("DEMO")].busy_wait_seconds = 1;
  BuildReal();
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
  const std::string busy = "Library DEMO is busy (another program holds a write lock) - rule ";
  const std::string again = " stops here and the next cycle tries again";
  EXPECT_EQ(Rules(), (std::vector<std::string>{
                         "DEMO - CLIENT MATTERS: library busy (Error: " + busy + "CLIENT MATTERS" +
                             again + ")",
                         "DEMO - CLIENTS: library busy (Error: " + busy + "CLIENTS" + again + ")",
                         "ARCHIVE - CLIENT MATTERS: finished", "ARCHIVE - CLIENTS: finished"}));
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    SCOPED_TRACE(rule.library + " - " + rule.rule);
    if (rule.library == "ARCHIVE") {
      EXPECT_GT(rule.folders_created, 0);
      continue;
    }
    EXPECT_EQ(Count(busy + rule.rule + again), 1);
    EXPECT_GT(rule.rows_selected, 1);
    EXPECT_EQ(rule.rows_failed, 0);  // none was tried
  }
  for (const runtime::ResultsRow& row : engine_->options().ListResults) {
    EXPECT_EQ(row.state == "Library busy", row.text.rfind("DEMO - ", 0) == 0) << row.text;
  }

  other.reset();
  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), kExitFinished);
  EXPECT_EQ(FolderPaths(install_, "DEMO"), StandardRulePaths(install_, "DEMO"));
}

// The client loses its application object while the first rule runs; the unattended
// "exit now?" answers Yes, and the program ends once the cycle has returned.
TEST_F(ExitStatusTest, ALostSessionBreaksTheCycleOff) {
  Install(false);
  BuildReal();
  bool lost = false;
  ui_->on_yield = [&] {
    if (!lost && Count("Processing library DEMO rule") > 0) {
      lost = true;
      session_->connection().LoseApplicationForTest();
    }
  };
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitBrokenOff);
  ASSERT_NE(engine_->LastCycle(), nullptr);
  EXPECT_TRUE(engine_->LastCycle()->broken_off);
  EXPECT_GE(Count("CheckFusion failed on "), 1);
  EXPECT_EQ(Count(") Ended on "), 1);
  EXPECT_TRUE(engine_->Ended());
}

// A stop (a service stop, Ctrl+C) in the pause window or during start-up ends the run cleanly:
// the end of the log, IsRunning 0, no running-node row, the report's outcome. (A stop during a
// rule and in the loop delay: the real program's tests.)
struct StopCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> general;  // saved before the run
  // The stop comes at the first yield where this holds; null: at the first one-second wait.
  std::function<bool(const runtime::Options&)> at_yield;
  std::vector<std::pair<std::string, int>> logged;         // how many lines hold each
  std::vector<std::pair<std::string, std::string>> saved;  // General settings afterwards
  int cycles = 0;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

const StopCase kStops[] = {
    {.name = "InThePauseWindowCancelsButKeepsThePauseTimer",
     .general = {{"UsePauseTime", "-1"}, {"PauseStart", "09:00"}, {"PauseEnd", "10:00"}},
     .logged = {{"Pausing canceled at ", 1}, {"Processing library", 0}},  // at 09:04
     .saved = {{"UsePauseTime", "1"}},
     .cycles = 1},  // it began, paused, and ran no rule
    {.name = "DuringStartUpRunsNoCycle",
     .at_yield = [](const runtime::Options& o) { return o.LabelStatus == "Setting Libraries"; },
     .logged = {{"Processing library", 0}}},
};

class StopTest : public ExitStatusTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, TheRunEndsCleanly) {
  const StopCase& c = GetParam();
  Install(false);
  for (const auto& [key, value] : c.general) Save("General", key, value);
  BuildReal();
  if (c.at_yield) {
    ui_->on_yield = [&] { stop_ = stop_ || c.at_yield(engine_->options()); };
  } else {
    ui_->on_sleep = [&] { stop_ = true; };
  }
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitCancelled);
  for (const auto& [fragment, count] : c.logged) EXPECT_EQ(Count(fragment), count) << fragment;
  EXPECT_EQ(Count(") Ended on "), 1);
  for (const auto& [key, value] : c.saved) EXPECT_EQ(Saved("General", key), value) << key;
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(ui_->sleeps, c.cycles);  // a second's wait in the pause window, not the hour's
  EXPECT_EQ(engine_->Cycles(), c.cycles);
  EXPECT_TRUE(Rules().empty());
  if (c.cycles > 0) {
    EXPECT_TRUE(engine_->LastCycle()->cancelled);
  }
  EXPECT_TRUE(install_.RunningNodes("DEMO").empty());
  EXPECT_TRUE(Contains(Report(), "\"outcome\": \"cancelled\""));
}

INSTANTIATE_TEST_SUITE_P(Stops, StopTest, ::testing::ValuesIn(kStops), testing::RowName<StopCase>);

TEST_F(ExitStatusTest, SiteNameIsReadAndNeverOverwrittenAndPurgeRemovesTodaysFiles) {
  Install(false);
  Save("General", "SiteName", "Hollowbrink Legal");
  EXPECT_EQ(BuildReal().Run({"/X"}), kExitFinished);
  EXPECT_EQ(engine_->state().SiteName, "Hollowbrink Legal");
  EXPECT_EQ(Saved("General", "SiteName"), "Hollowbrink Legal");

  auto temp = [this](const std::string& suffix) {
    return dir_.File(std::string("temp/") + kProduct + suffix);
  };
  const std::string report = temp("_20261206_090429.json");
  // An earlier run's report of the same day goes with the day's log.
  const std::string earlier = temp("_20261206_070000.json");
  std::ofstream(earlier) << "{}\n";
  const std::string other_day = temp("_20261205.LOG");
  std::ofstream(other_day) << "kept\n";
  ASSERT_TRUE(std::filesystem::exists(DatedLog()));
  ASSERT_TRUE(std::filesystem::exists(report));
  EXPECT_EQ(BuildReal().Run({"/P", "/NV", "/X"}), kExitFinished);
  // Today's files were removed before the new run's banner: only its own lines are there.
  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].find(BuildLine() + " initiating startup"), 0u);
  EXPECT_EQ(Count(" initiating startup"), 1);
  EXPECT_TRUE(std::filesystem::exists(other_day));
  EXPECT_FALSE(std::filesystem::exists(earlier));
  EXPECT_EQ(engine_->ReportPath(), report);  // the purged name is free again
}

namespace outcome = rule_outcome;

RuleReport Rule(const char* name, const char* how = outcome::kFinished, int failed = 0,
                long errors = 0) {
  RuleReport r;
  r.library = "DEMO";
  r.rule = name;
  r.outcome = how;
  r.rows_selected = 10;
  r.folders_created = 12;
  r.rows_failed = failed;
  r.errors = errors;
  return r;
}

// The other kinds of cycle are run end to end by the exit status tests.
TEST(CycleExitStatusTest, HeldRulesFailedRowsAndErrorsHaveTheirStatus) {
  const CycleReport held = {.rules = {Rule("A"), Rule("B", outcome::kHeld)}};
  EXPECT_EQ(CycleExitStatus(held), kExitFinished) << "another computer's work";
  EXPECT_EQ(CycleExitStatus({.rules = {Rule("A"), Rule("B", outcome::kFinished, 1)}}), 2);
  EXPECT_EQ(CycleExitStatus({.rules = {Rule("A", outcome::kFinished, 0, 1)}}), 2);

  // Over several cycles the status that says more is wrong wins.
  EXPECT_EQ(WorseExitStatus(kExitFinished, kExitNothingToDo), kExitNothingToDo);
  EXPECT_EQ(WorseExitStatus(kExitRuleFailed, kExitNothingToDo), kExitRuleFailed);
  EXPECT_EQ(WorseExitStatus(kExitRuleFailed, kExitBrokenOff), kExitBrokenOff);
  EXPECT_EQ(WorseExitStatus(kExitBrokenOff, kExitFinished), kExitBrokenOff);
}

TEST(RunSummaryTest, OneLinePerRuleTheUncheckedLibrariesAndTheOutcome) {
  SummaryFacts facts;
  facts.log_path = "/l/x_20261206.LOG";
  facts.report_path = "/l/x_20261206.json";
  EXPECT_EQ(RunSummary(facts),
            "No cycle ran.\n"
            "Outcome: finished (exit 0). Log: /l/x_20261206.LOG. Report: /l/x_20261206.json\n");

  CycleReport cycle;
  cycle.rules = {Rule("CLIENTS"), Rule("MATTERS", outcome::kSqlError, 0, 1)};
  cycle.rules[1].reason = "SQL Error: 1 occurred trying to identify new folders";
  cycle.rules[1].rows_selected = 0;
  cycle.rules[1].folders_created = 0;
  facts.last_cycle = &cycle;
  cycle.failed_libraries = {{"ARCHIVE", "Error: Library ARCHIVE cannot be used: no such file"}};
  facts.unchecked_libraries = {{"ARCHIVE", "Error: Library ARCHIVE cannot be used: no such file"},
                               {"OLD", "unchecked in the settings"}};
  facts.exit_status = kExitRuleFailed;
  facts.log_failure = "/l/x_20261206.LOG: Permission denied";
  EXPECT_EQ(RunSummary(facts),
            "DEMO - CLIENTS: 10 row(s) selected, 12 folder(s) created, 0 row(s) failed\n"
            "DEMO - MATTERS: 0 row(s) selected, 0 folder(s) created, 0 row(s) failed, 1 "
            "error(s) (sql error: SQL Error: 1 occurred trying to identify new folders)\n"
            "Library ARCHIVE could not be worked on: Error: Library ARCHIVE cannot be used: no "
            "such file\n"
            "Library ARCHIVE is unchecked (Error: Library ARCHIVE cannot be used: no such file) "
            "and skipped by every run; check it again with: sproutsmith-admin check ARCHIVE\n"
            "Library OLD is unchecked (unchecked in the settings) and skipped by every run; "
            "check it again with: sproutsmith-admin check OLD\n"
            "Outcome: rule-failures (exit 2). Log: /l/x_20261206.LOG (not written: "
            "/l/x_20261206.LOG: Permission denied). Report: /l/x_20261206.json\n");

  const char* words[] = {"finished",      "failed-start", "rule-failures",
                         "nothing-to-do", "broken-off",   "cancelled"};
  for (int status = 0; status <= 5; ++status) EXPECT_STREQ(OutcomeWord(status), words[status]);
}

TEST(RunReportTest, TheJsonReportHoldsEveryRuleAndEscapesItsTexts) {
  CycleReport cycle;
  cycle.pass = 2;
  cycle.seconds = 1.25;
  cycle.rules = {Rule("QUOTE \"A\" \\ B\tNEW\nLINE")};
  cycle.rules[0].seconds = 0.5;
  cycle.rules[0].first_error = "Error: one";
  cycle.rules[0].warnings = 3;
  RunReport report;
  report.program = "Sproutsmith Build 1";
  report.computer = "PC1";
  report.process = 42;
  report.log_file = "/l/x.LOG";
  report.started = "2026-12-06T09:04:29";
  report.exit_status = kExitFinished;
  report.cycles = 2;
  report.errors = 1;
  report.warnings = 3;
  report.last = &cycle;
  report.unchecked_libraries = {{"ARCHIVE", "unchecked in the settings"}};
  EXPECT_EQ(RunReportJson(report), R"({
  "program": "Sproutsmith Build 1",
  "computer": "PC1",
  "process": 42,
  "log": "/l/x.LOG",
  "started": "2026-12-06T09:04:29",
  "ended": "",
  "exit_status": 0,
  "outcome": "finished",
  "cycles": 2,
  "errors": 1,
  "warnings": 3,
  "unchecked_libraries": [
    {
      "library": "ARCHIVE",
      "reason": "unchecked in the settings"
    }
  ],
  "last_cycle": {
    "pass": 2,
    "exit_status": 0,
    "no_work": false,
    "broken_off": false,
    "cancelled": false,
    "seconds": 1.25,
    "failed_libraries": [],
    "rules": [
      {
        "library": "DEMO",
        "rule": "QUOTE \"A\" \\ B\tNEW\nLINE",
        "outcome": "finished",
        "reason": "",
        "first_error": "Error: one",
        "rows_selected": 10,
        "folders_created": 12,
        "rows_failed": 0,
        "errors": 0,
        "warnings": 3,
        "seconds": 0.5
      }
    ]
  }
}
)");
}

TEST(JsonStringTest, ControlCharactersAndBytesOutsideUtf8AreEscaped) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "\"plain\""},
      {std::string("a\0b", 3), "\"a\\u0000b\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"\r\b\f", "\"\\r\\b\\f\""},
      {"caf\xc3\xa9 \xe2\x84\xa2 \xf0\x9f\x93\x81",
       "\"caf\xc3\xa9 \xe2\x84\xa2 \xf0\x9f\x93\x81\""},
      // Windows-1252 text: the trade-mark sign (153) and an e with acute (233).
      {"Arborline\x99 caf\xe9", "\"Arborline\\u0099 caf\\u00e9\""},
      // A truncated sequence, an overlong form and a surrogate are not UTF-8 either.
      {"\xe2\x84", "\"\\u00e2\\u0084\""},
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
  };
  for (const Case& c : cases) EXPECT_EQ(text::JsonString(c.in), c.out) << c.in;
  EXPECT_EQ(text::JsonWriter().BeginArray().EndArray().Text(), "[]\n");
  EXPECT_EQ(text::JsonWriter().BeginObject().Key("n").Number(-0.0001).EndObject().Text(),
            "{\n  \"n\": 0\n}\n");
}

}  // namespace
}  // namespace sproutsmith::app
