// The running program holds its log lines in memory only while it works: whenever it may wait
// (after start-up, after each row, in the loop delay), the file already holds every line.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/program_process.h"
#include "installed_engine.h"
#include "platform/dmapi/installation.h"

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

}  // namespace
}  // namespace sproutsmith::app
