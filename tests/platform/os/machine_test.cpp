// The process and the machine it runs on: where it runs from, its environment, the programs
// it starts, its signals, and the one run per computer.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/os/cancel_signal.h"
#include "platform/os/environment.h"
#include "platform/os/instance_lock.h"
#include "platform/os/program_launcher.h"
#include "support/temp_dir.h"

namespace sproutsmith::os {
namespace {

TEST(EnvironmentTest, TheProcessKnowsWhereItRunsFromItsVariablesAndItsPath) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramFolder(), exe.parent_path().string());
  EXPECT_EQ(ExecutableName(), exe.filename().string());
  // The whole name, as a 255-byte buffer holds it.
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(ComputerName(), std::string(expected));

  ::setenv("SPROUTSMITH_TEST_VARIABLE", "value with blanks", 1);
  ::unsetenv("SPROUTSMITH_TEST_UNSET");
  const SystemEnvironment env;
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_VARIABLE"), "value with blanks");
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_UNSET"), "");

  EXPECT_NE(FindOnPath("sh"), "");
  EXPECT_EQ(FindOnPath("/bin/sh"), "/bin/sh");
  for (const char* missing : {"no-such-program-sproutsmith", "/no/such/program", ""}) {
    EXPECT_EQ(FindOnPath(missing), "") << missing;
  }

  SystemLauncher launcher;
  EXPECT_TRUE(launcher.StartProgram("true", {"ignored argument"}));
  EXPECT_FALSE(launcher.StartProgram("no-such-program-sproutsmith", {}));
}

// In a child process of its own (the handlers are process-wide): a first signal only raises
// the flag, a second one ends the process at once.
TEST(CancelSignalTest, TheFirstSignalIsAFlagTheSecondEndsAtOnce) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(number);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (CancelSignal::Requested()) _exit(10);
      CancelSignal::Install();
      if (CancelSignal::Requested()) _exit(11);
      ::raise(number);
      if (!CancelSignal::Requested() || CancelSignal::Number() != number) _exit(12);
      ::raise(SIGTERM);
      _exit(13);  // not reached: the second signal ends the process
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + SIGTERM);
  }
}

// The run lock between processes: a child process holds it, the parent is refused and told
// the child's process id. Locks are per installation and computer name.
// A child process that takes the lock, says whether it got it through a pipe, and then
// waits to be killed.
class Holder {
 public:
  Holder(const std::string& config, const std::string& computer,
         const std::vector<std::string>& fallbacks) {
    int pipe_fds[2];
    EXPECT_EQ(::pipe(pipe_fds), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      const InstanceLock lock = InstanceLock::Take(config, computer, fallbacks);
      const char answer = lock.held() ? 'y' : 'n';
      if (::write(pipe_fds[1], &answer, 1) != 1) _exit(1);
      while (true) ::pause();
    }
    ::close(pipe_fds[1]);
    char answer = 0;
    held_ = ::read(pipe_fds[0], &answer, 1) == 1 && answer == 'y';
    ::close(pipe_fds[0]);
  }
  ~Holder() { Kill(); }

  bool held() const { return held_; }
  pid_t pid() const { return pid_; }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  bool held_ = false;
};

class InstanceLockTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  // The configuration's folder does not exist yet: taking the lock makes it.
  std::string config_ = dir_.File("dm/dm.conf");
  std::vector<std::string> fallbacks_ = {dir_.File("fallback")};
};

TEST_F(InstanceLockTest, AHolderKeepsOthersOfTheSameInstallationAndComputerOff) {
  Holder holder(config_, "pc1", fallbacks_);
  ASSERT_TRUE(holder.held());
  const std::string file =
      (std::filesystem::canonical(dir_.path()) / "dm" / "dm.conf.PC1.lock").string();
  EXPECT_EQ(testing::ReadFile(file), std::to_string(holder.pid()) + "\n");

  // Letter case does not make another computer; another spelling of the path is the same
  // installation.
  for (const std::string computer : {"PC1", "pc1"}) {
    for (const std::string& config : {config_, dir_.File("dm/../dm/./dm.conf")}) {
      SCOPED_TRACE(computer + " " + config);
      const InstanceLock refused = InstanceLock::Take(config, computer, fallbacks_);
      EXPECT_EQ(std::tuple(refused.state(), refused.holder(), refused.path()),
                std::tuple(InstanceLock::State::kHeldElsewhere, holder.pid(), file));
    }
  }
  // Another computer on the same installation, and the same computer on another one.
  for (const auto& [config, computer] : std::vector<std::pair<std::string, std::string>>{
           {config_, "PC2"}, {config_, "PC 1"}, {dir_.File("dm/other.conf"), "PC1"}}) {
    EXPECT_TRUE(InstanceLock::Take(config, computer, fallbacks_).held())
        << config << " " << computer;
  }
}

TEST_F(InstanceLockTest, AConfigurationFolderThatCannotHoldTheFileFallsBackToOneItCan) {
  // A file where the configuration's folder would be: no lock file can be made beside it.
  testing::WriteFile(dir_.File("blocked"), "");
  const std::string config = dir_.File("blocked/dm.conf");
  std::filesystem::create_directories(fallbacks_[0]);
  const std::vector<std::string> fallbacks = {dir_.File("missing"), fallbacks_[0]};

  Holder holder(config, "PC1", fallbacks);
  ASSERT_TRUE(holder.held());
  const InstanceLock refused = InstanceLock::Take(config, "pc1", fallbacks);
  EXPECT_EQ(std::tuple(refused.state(), refused.holder(),
                       std::filesystem::path(refused.path()).parent_path().string()),
            std::tuple(InstanceLock::State::kHeldElsewhere, holder.pid(), fallbacks_[0]));
  EXPECT_EQ(std::filesystem::path(refused.path()).filename().string().rfind("sproutsmith-PC1-", 0),
            0u)
      << refused.path();

  // With nowhere to put the file, nothing is held and every place tried is named.
  const InstanceLock nowhere = InstanceLock::Take(config, "PC1", {dir_.File("missing")});
  EXPECT_EQ(nowhere.state(), InstanceLock::State::kUnavailable);
  EXPECT_NE(nowhere.error().find("blocked/dm.conf.PC1.lock: Not a directory"), std::string::npos)
      << nowhere.error();
  EXPECT_NE(nowhere.error().find("missing/sproutsmith-PC1-"), std::string::npos) << nowhere.error();
}

}  // namespace
}  // namespace sproutsmith::os
