// What an unattended run prints and returns at its end.

#include "app/run_summary.h"

#include <gtest/gtest.h>

#include "app/engine.h"

namespace sproutsmith::app {
namespace {

TEST(RunSummaryTest, OneLinePerRuleAndAnExitStatusThatTellsFailuresApart) {
  runtime::Options options;
  EXPECT_EQ(RunSummary(options, "/tmp/x.LOG"), "No rule ran.\nLog: /tmp/x.LOG\n");
  EXPECT_EQ(RunExitCode(kExitFinished, options), kExitFinished);

  options.ListResults.push_back({"DEMO - CLIENTS", "", "12 folder(s) added", 10, 12, 0});
  EXPECT_EQ(RunExitCode(kExitFinished, options), kExitFinished);
  options.ListResults.push_back({"DEMO - BROKEN", "", "SQL Error", 0, 0, 0});
  EXPECT_EQ(RunSummary(options, "L"),
            "DEMO - CLIENTS: 10 row(s) selected, 12 folder(s) created, 0 row(s) failed\n"
            "DEMO - BROKEN: 0 row(s) selected, 0 folder(s) created, 0 row(s) failed (SQL Error)\n"
            "Log: L\n");
  EXPECT_EQ(RunExitCode(kExitFinished, options), kExitRuleFailed);
  options.ListResults.pop_back();
  options.ListResults[0].rows_failed = 1;
  EXPECT_EQ(RunExitCode(kExitFinished, options), kExitRuleFailed);
  // A failed start keeps its own status.
  EXPECT_EQ(RunExitCode(kExitFailed, options), kExitFailed);
}

}  // namespace
}  // namespace sproutsmith::app
