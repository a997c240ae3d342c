// The run's log file: whenever the program may wait (after start-up, after each row, in the
// loop delay, stuck on a busy library) the file already holds every line; and a log that cannot
// be written, under a real cycle, is reported once, loses only its own lines and costs the
// cycle none of its work.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/engine_test_fixture.h"
#include "app/program_process.h"
#include "app/run_summary.h"
#include "platform/dmapi/installation.h"
#include "platform/os/failing_file_system.h"
#include "support/status_assertions.h"
#include "support/test_params.h"

namespace sproutsmith::app {
namespace {

class LogOnDiskTest : public InstalledEngineTest {
 protected:
  // Whether the file held every line already: read behind the log's back, then after a flush.
  bool NothingHeld() {
    const std::vector<std::string> before = testing::ReadLines(DatedLog());
    engine_->log().Flush();
    return !before.empty() && before == testing::ReadLines(DatedLog());
  }
};

TEST_F(LogOnDiskTest, AWindowWaitingAfterStartUpHasItsLinesOnDisk) {
  install_.Create({{.name = "DEMO"}});
  ASSERT_TRUE(BuildReal().StartUp({}));
  EXPECT_FALSE(engine_->Ended());
  EXPECT_TRUE(NothingHeld());
}

TEST_F(LogOnDiskTest, EveryRowEndAndEveryWaitOfTheLoopFindsTheLinesOnDisk) {
  install_.Create({{.name = "DEMO"}});
  BuildReal();
  int read = 0;
  int row_ends = 0;
  int held_at_row_end = 0;
  ui_->on_yield = [&] {
    // The rows-read counter goes up just after a row's end (and back to 0 for a new rule).
    const int now = std::atoi(engine_->options().LabelRead.c_str());
    if (now > read) {
      ++row_ends;
      held_at_row_end += NothingHeld() ? 0 : 1;
    }
    read = now;
  };
  bool held_at_wait = true;
  ui_->on_sleep = [&] {
    if (stop_) return;
    held_at_wait = !NothingHeld();
    stop_ = true;  // one pass, then the loop delay ends the run
  };
  EXPECT_EQ(engine_->Run({"/G", "/X", "/L"}), kExitFinished);
  EXPECT_GT(row_ends, 5);
  EXPECT_EQ(held_at_row_end, 0);
  EXPECT_FALSE(held_at_wait);
}

// The real program, stuck in one statement on a library another program holds a write lock
// on: the lines that led up to it are in the file while it waits, though no row has ended
// and no later line comes to push them out.
TEST(ProgramLogTest, AProgramWaitingForABusyLibraryHasItsLinesOnDisk) {
  testing::DmInstallation install;
  install.Create({{.name = "LIB"}});
  install.config.libraries[0].busy_wait_seconds = 600;
  const std::string config = install.WriteConfig();
  std::unique_ptr<sql::Database> other = install.OpenLibrary("LIB");
  ASSERT_TRUE(other && other->Begin());
  const std::string home = install.dir.File("pc1");
  const pid_t run = StartProgram("PC1", config, home, {"/G", "/X"});
  ASSERT_NE(run, 0);

  // Start-up counts the ARBORLINE reason, then takes a key for it: the first write, where
  // the program waits. A minute only keeps a broken run from hanging the test.
  const std::string waiting_after = "SQL Results: 0\r\n" + std::string(70, '-') + "\r\n";
  const bool on_disk =
      WaitUntil([&] { return testing::ReadFile(ProgramLog(home)).ends_with(waiting_after); });
  const std::string seen = testing::ReadFile(ProgramLog(home));
  other.reset();
  EXPECT_TRUE(on_disk) << seen;
  EXPECT_EQ(WaitProgram(run), kExitFinished) << testing::ReadFile(home + "/stderr.txt");
}

using Op = os::FailingFileSystem::Operation;

struct Failure {
  const char* name;
  Op op;
  long n;  // 1-based; 0: nothing fails
  bool and_every_later;
  const char* reason;
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

class LogDiskFullTest : public InstalledEngineTest, public ::testing::WithParamInterface<Failure> {
 protected:
  void BuildOn(std::unique_ptr<os::FileSystem> files) {
    engine_.reset();
    BuildReal([&](EngineParts& parts) { parts.files = std::move(files); });
    // As the program does: once, on stderr there.
    engine_->log().OnWriteFailure([this](const std::string& why) { reports_.push_back(why); });
  }

  std::vector<std::string> reports_;
};

TEST_P(LogDiskFullTest, TheCycleDoesItsWorkAndTheFailureIsReportedOnce) {
  const Failure& failure = GetParam();
  install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
  auto files = std::make_unique<os::FailingFileSystem>();
  os::FailingFileSystem& disk = *files;
  disk.Fail(failure.op, failure.n, failure.and_every_later, failure.reason);
  BuildOn(std::move(files));

  // The work is done either way; a run whose log or report is lost does not say "finished".
  const int status = failure.n == 0 ? kExitFinished : kExitRuleFailed;
  EXPECT_EQ(engine_->Run({"/G", "/X"}), status);
  EXPECT_TRUE(engine_->Ended());
  EXPECT_TRUE(ui_->messages.empty());  // no box: an unattended run has no one to click it

  // Every rule ran to its end and built its folders.
  ASSERT_NE(engine_->LastCycle(), nullptr);
  ASSERT_EQ(engine_->LastCycle()->rules.size(), 4u);
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    SCOPED_TRACE(rule.library + " " + rule.rule);
    EXPECT_EQ(rule.outcome, rule_outcome::kFinished);
    EXPECT_GT(rule.rows_selected, 0);
    EXPECT_GT(rule.folders_created, 0);
    EXPECT_EQ(rule.rows_failed, 0);
    EXPECT_EQ(rule.errors, 0);
  }
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    EXPECT_TRUE(install_.RunningNodes(library).empty()) << library;
  }
  EXPECT_EQ(Saved("General", "IsRunning"), "0");

  // What the log holds: the lines before the disk filled up, and nothing after.
  const std::vector<std::string> lines = LogLines();
  const std::string dated = engine_->LogPath();
  const bool report_fault = failure.op == Op::kReplace;
  if (failure.n == 0 || report_fault) {
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(engine_->log().WriteFailure().empty());
  } else {
    ASSERT_EQ(reports_.size(), 1u) << ::testing::PrintToString(disk.call_log());
    EXPECT_EQ(reports_[0], dated + ": " + failure.reason);
    EXPECT_EQ(engine_->log().WriteFailure(), reports_[0]);
    EXPECT_TRUE(testing::Contains(OutcomeLine(SummaryFactsOf(*engine_)),
                                  "Outcome: rule-failures (exit 2). Log: " + dated +
                                      " (not written: " + dated + ": " + failure.reason + ")"));
  }
  if (failure.n > 0 && failure.op == Op::kWrite && failure.and_every_later) {
    // What the writes before the failing one held: at least a line each, and the end missing.
    EXPECT_GE(static_cast<long>(lines.size()), failure.n - 1);
    if (failure.n == 1) {
      EXPECT_TRUE(lines.empty());
    }
    if (!lines.empty()) {
      EXPECT_TRUE(testing::Contains(lines[0], " initiating startup on "));
      EXPECT_EQ(testing::CountHolding(lines, ") Ended on "), 0);
    }
  } else {
    // A passing fault: the log goes on afterwards and holds the program's end.
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(testing::Contains(lines[lines.size() - 2], ") Ended on "));
  }
  if (report_fault) {
    // A report that cannot be written is said where the report would be named.
    EXPECT_EQ(engine_->ReportFailure(), failure.reason);
    EXPECT_TRUE(
        testing::Contains(OutcomeLine(SummaryFactsOf(*engine_)),
                          "Report: " + engine_->ReportPath() + " (not written: " + failure.reason));
    EXPECT_FALSE(std::filesystem::exists(engine_->ReportPath()));
  } else {
    // The run report does not live in the log: it is written all the same.
    EXPECT_TRUE(engine_->ReportFailure().empty()) << engine_->ReportFailure();
    EXPECT_TRUE(testing::Contains(testing::ReadFile(engine_->ReportPath()),
                                  "\"exit_status\": " + std::to_string(status)));
  }

  // Every row was recorded: the next run, with a log that works, finds nothing new.
  BuildOn(std::make_unique<os::SystemFileSystem>());
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFinished);
  ASSERT_NE(engine_->LastCycle(), nullptr);
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    EXPECT_EQ(rule.rows_selected, 0) << rule.library << " " << rule.rule;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, LogDiskFullTest,
    ::testing::Values(Failure{"Working", Op::kWrite, 0, true, ""},
                      Failure{"FullFromTheStart", Op::kWrite, 1, true, "No space left on device"},
                      Failure{"FullAfterTwelveWrites", Op::kWrite, 13, true,
                              "No space left on device"},
                      Failure{"OneWriteLost", Op::kWrite, 20, false, "Input/output error"},
                      Failure{"FolderRefusedOnce", Op::kOpen, 1, false, "Permission denied"},
                      Failure{"ReportRefused", Op::kReplace, 1, true, "Read-only file system"}),
    testing::RowName<Failure>);

}  // namespace
}  // namespace sproutsmith::app
