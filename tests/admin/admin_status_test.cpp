// sproutsmith-admin status over run reports written by the program's own report writer:
// each rule's latest run, the unchecked libraries, and the run lock of this computer.

#include <gtest/gtest.h>

#include "admin_process.h"
#include "app/run_report.h"
#include "platform/os/environment.h"
#include "platform/os/instance_lock.h"
#include "support/product_name.h"
#include "support/status_assertions.h"

namespace sproutsmith::admin {
namespace {

const std::string kLogStem = std::string(testing::kProductName) + "_";

app::RuleReport Rule(const char* rule, const char* outcome, int folders,
                     const char* first_error = "") {
  return {.library = "DEMO",
          .rule = rule,
          .outcome = outcome,
          .first_error = first_error,
          .rows_selected = folders,
          .folders_created = folders};
}

TEST(AdminStatusTest, EachRulesLatestRunTheUncheckedLibrariesAndTheRunLock) {
  testing::DmInstallation install;
  install.Create({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  const AdminProcess admin(install);

  const Outcome none = admin.Run({"status"});
  EXPECT_EQ(none.status, 0);
  EXPECT_TRUE(testing::Contains(none.out, "No run report yet in " + admin.temp()));

  // An earlier run with two rules, then a later one with only one of them.
  app::CycleReport earlier;
  earlier.rules = {Rule("CLIENTS", app::rule_outcome::kFinished, 21),
                   Rule("MATTERS", app::rule_outcome::kFailedRows, 3, "Error: row 7 refused")};
  app::CycleReport later;
  later.rules = {Rule("CLIENTS", app::rule_outcome::kFinished, 0)};
  const struct {
    const char* name;
    const char* started;
    const app::CycleReport* cycle;
    int exit_status;
  } runs[] = {{"20261206_090000.json", "2026-12-06T09:00:00", &earlier, 2},
              {"20261206_091500.json", "2026-12-06T09:15:00", &later, 0}};
  for (const auto& run : runs) {
    const app::RunReport report{
        .started = run.started,
        .ended = run.started,
        .exit_status = run.exit_status,
        .cycles = 1,
        .last = run.cycle,
        .unchecked_libraries = {{"ARCHIVE", "Error: Library ARCHIVE cannot be used: gone"}}};
    testing::WriteFile(admin.temp() + "/" + kLogStem + run.name, app::RunReportJson(report));
  }
  testing::WriteFile(admin.temp() + "/" + kLogStem + "20261206_093000.json", "{ half");

  const Outcome o = admin.Run({"status"});
  EXPECT_EQ(o.status, 0) << o.err;
  for (const std::string line :
       {"Running now: no run on this computer",
        "Last run: started 2026-12-06T09:15:00, ended 2026-12-06T09:15:00: finished (exit 0)",
        "  ARCHIVE: Error: Library ARCHIVE cannot be used: gone\n",
        "  DEMO - CLIENTS: 2026-12-06T09:15:00 finished, 0 row(s) selected, 0 folder(s) created",
        "  DEMO - MATTERS: 2026-12-06T09:00:00 failed rows, 3 row(s) selected, 3 folder(s) "
        "created, 0 row(s) failed; Error: row 7 refused\n"}) {
    EXPECT_TRUE(testing::Contains(o.out, line));
  }

  // A run under way holds the lock of the installation and computer.
  const os::InstanceLock held = os::InstanceLock::Take(admin.config(), os::ComputerName());
  ASSERT_TRUE(held.held());
  const Outcome running = admin.Run({"status"});
  EXPECT_TRUE(testing::Contains(running.out, "Running now: a run is under way on this computer (" +
                                                 os::ComputerName() + "), process " +
                                                 std::to_string(::getpid())));
}

}  // namespace
}  // namespace sproutsmith::admin
