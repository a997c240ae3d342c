// One run per DM installation and computer: a second sproutsmith on the same installation
// and computer (a timer's run beside a manual one) stops at once with exit status 6 and
// names the run under way, before it opens the installation or makes the demo one; two
// runs started together build every folder once.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/exit_status.h"
#include "app/program_process.h"
#include "app/standard_rule_tree.h"
#include "platform/dmapi/installation.h"
#include "platform/os/instance_lock.h"
#include "support/dm_installation.h"

namespace sproutsmith::app {
namespace {

std::string Refusal(long holder, const std::string& config, const std::string& computer) {
  return "Error: another Sproutsmith run (process " + std::to_string(holder) +
         ") is using the DM installation " + config + " on computer " + computer +
         "; this run stops without doing anything\n"
         "Outcome: already-running (exit 6). No log or report was written.\n";
}

class OneRunPerComputerTest : public ::testing::Test {
 protected:
  // A home with the folders a run writes to.
  std::string Home(const std::string& name) {
    const std::string home = install_.dir.File(name);
    std::filesystem::create_directories(home + "/temp");
    std::filesystem::create_directories(home + "/config/sproutsmith");
    return home;
  }
  bool Wrote(const std::string& home) { return !std::filesystem::is_empty(home + "/temp"); }

  testing::DmInstallation install_;
};

TEST_F(OneRunPerComputerTest, ARunThatFindsTheLockHeldStopsAtOnceAndNamesItsHolder) {
  const std::string home = Home("pc1");
  // No SPROUTSMITH_DM and no installation yet: an unrefused run would make the demo one.
  const std::string config = home + "/config/sproutsmith/dm.conf";
  const os::InstanceLock held = os::InstanceLock::Take(config, "PC1");
  ASSERT_TRUE(held.held()) << held.error();

  for (const std::string computer : {"PC1", "pc1"}) {
    SCOPED_TRACE(computer);
    const std::string err = home + "/stderr-" + computer + ".txt";
    EXPECT_EQ(WaitProgram(StartProgram(computer, "", home, {"/G", "/X"}, err)),
              kExitAlreadyRunning);
    EXPECT_EQ(testing::ReadFile(err), Refusal(::getpid(), config, computer));
  }
  EXPECT_FALSE(std::filesystem::exists(config));
  EXPECT_FALSE(Wrote(home)) << "no log, no report";
}

// Both runs start while another program holds a write lock on the library, so the first
// one to start cannot be done before the second one has started: the second stops at once,
// the first builds the folders once the library is free.
TEST_F(OneRunPerComputerTest, TwoRunsStartedTogetherBuildEveryFolderOnce) {
  install_.Create({{.name = "LIB"}});
  install_.config.libraries[0].busy_wait_seconds = 120;
  const std::string config = install_.WriteConfig();
  const std::string home = Home("pc1");
  std::unique_ptr<sql::Database> other = install_.OpenLibrary("LIB");
  ASSERT_TRUE(other && other->Begin());

  const std::vector<pid_t> runs = {
      StartProgram("PC1", config, home, {"/G", "/X"}, home + "/stderr-0.txt"),
      StartProgram("PC1", config, home, {"/G", "/X"}, home + "/stderr-1.txt")};
  ASSERT_NE(runs[0], 0);
  ASSERT_NE(runs[1], 0);
  int stopped = -1;
  int status = 0;
  WaitUntil(
      [&] {
        for (int i = 0; i < 2 && stopped < 0; ++i) {
          if (::waitpid(runs[i], &status, WNOHANG) == runs[i]) stopped = i;
        }
        return stopped >= 0;
      },
      std::chrono::seconds(30));
  other.reset();
  if (stopped < 0) {
    ADD_FAILURE() << "neither run stopped while the other was under way";
    for (pid_t run : runs) WaitProgram(run);
  } else {
    const int running = 1 - stopped;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitAlreadyRunning) << status;
    EXPECT_EQ(testing::ReadFile(home + "/stderr-" + std::to_string(stopped) + ".txt"),
              Refusal(runs[running], config, "PC1"));
    const std::string err = home + "/stderr-" + std::to_string(running) + ".txt";
    EXPECT_EQ(WaitProgram(runs[running]), kExitFinished) << testing::ReadFile(err);
  }

  // No folder twice under one parent, nor two top folders of one name.
  const Paths built = FolderPaths(install_, "LIB");
  EXPECT_EQ(Repeated(built), "");
  EXPECT_EQ(built, StandardRulePaths(install_, "LIB"));
}

}  // namespace
}  // namespace sproutsmith::app
