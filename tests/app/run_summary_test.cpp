// What an unattended run prints at its end, the exit status a cycle stands for, and the
// JSON report monitoring reads.

#include "app/run_summary.h"

#include <gtest/gtest.h>

#include "app/exit_status.h"
#include "app/run_report.h"
#include "text/json.h"

namespace sproutsmith::app {
namespace {

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
