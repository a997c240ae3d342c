// Old days' logs and reports are removed at start-up; nothing else in the folder is.

#include "app/log_housekeeping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

TEST(LogHousekeepingTest, OnlyTheLogsAndReportsOfDaysPastTheLimitGo) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    bool removed;  // with 30 days kept on 2026-12-07
  };
  const Case cases[] = {
      {"run_20261106.LOG", true},
      {"run_20261106_090507.json", true},
      {"run_20261106_090507-2.json", true},
      {"run_20261106.json", true},  // older runs' name
      {"run_20261107.LOG", false},
      {"run_20261207_101010.json", false},
      {"run.LOG", false},
      {"run_20261106.txt", false},  // not the log's kind
      {"run_20261106_notes.json", false},
      {"other_20200101.LOG", false},
      {"run_20261399.LOG", false},
      {"run_2026110.LOG", false},
  };
  for (const Case& c : cases) testing::WriteFile(dir.File(c.name), "x");
  const std::vector<std::string> removed =
      RemoveOldLogs(dir.File("run.LOG"), 30, text::DateTime{2026, 12, 7, 9, 0, 0});
  for (const Case& c : cases) {
    EXPECT_EQ(std::filesystem::exists(dir.File(c.name)), !c.removed) << c.name;
    EXPECT_EQ(std::count(removed.begin(), removed.end(), dir.File(c.name)), c.removed ? 1 : 0)
        << c.name;
  }
  // 0 keeps every day.
  testing::WriteFile(dir.File("run_20000101.LOG"), "x");
  EXPECT_TRUE(RemoveOldLogs(dir.File("run.LOG"), 0, text::DateTime{2026, 12, 7}).empty());
  EXPECT_TRUE(std::filesystem::exists(dir.File("run_20000101.LOG")));
}

TEST(LogHousekeepingTest, TheReportsOfADayAreEveryRunsAndNothingElse) {
  testing::TempDir dir;
  for (const char* name :
       {"run_20261207.LOG", "run_20261207_090507.json", "run_20261207_101010-2.json",
        "run_20261207.json", "run_20261206_090507.json", "run_20261207_x.json"}) {
    testing::WriteFile(dir.File(name), "x");
  }
  std::vector<std::string> reports = ReportsOfDay(dir.File("run_20261207.LOG"));
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (std::vector<std::string>{dir.File("run_20261207.json"),
                                               dir.File("run_20261207_090507.json"),
                                               dir.File("run_20261207_101010-2.json")}));
}

}  // namespace
}  // namespace sproutsmith::app
