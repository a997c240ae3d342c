// The process and the machine it runs on: where it runs from, its environment, the programs
// it starts, its signals, and the status every call answers with.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "platform/os/cancel_signal.h"
#include "platform/os/environment.h"
#include "platform/os/program_launcher.h"
#include "platform/os/status.h"

namespace sproutsmith::os {
namespace {

// A failure is any non-zero code, whatever its sign; the text travels unchanged.
TEST(StatusTest, OnlyCodeZeroIsSuccess) {
  EXPECT_TRUE(Status().ok());
  EXPECT_EQ(std::tuple(Status::Ok().ok(), Status::Ok().text), std::tuple(true, ""));
  for (const long code : {-1L, 1L, 1014L}) {
    const Status s = Status::Error(code, "[Sproutsmith][SQLite] disk I/O error");
    EXPECT_EQ(std::tuple(s.ok(), s.code, s.text),
              std::tuple(false, code, "[Sproutsmith][SQLite] disk I/O error"));
  }
}

TEST(EnvironmentTest, TheProcessKnowsWhereItRunsFrom) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramFolder(), exe.parent_path().string());
  EXPECT_EQ(ExecutableName(), exe.filename().string());
  EXPECT_EQ(ExecutableName(), "platform_os_tests");
  // The whole name, as a 255-byte buffer holds it.
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(ComputerName(), std::string(expected));
}

TEST(EnvironmentTest, VariablesAndTheMissingRegistry) {
  ::setenv("SPROUTSMITH_TEST_VARIABLE", "value with blanks", 1);
  ::unsetenv("SPROUTSMITH_TEST_UNSET");
  const SystemEnvironment env;
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_VARIABLE"), "value with blanks");
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_UNSET"), "");
  // No DM client registry on this platform.
  EXPECT_EQ(
      env.RegistryValue("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion"),
      "");
}

TEST(LauncherTest, ProgramsAreFoundOnThePathOrNotAtAll) {
  EXPECT_NE(FindOnPath("sh"), "");
  EXPECT_EQ(FindOnPath("/bin/sh"), "/bin/sh");
  for (const char* missing : {"no-such-program-sproutsmith", "/no/such/program", ""}) {
    EXPECT_EQ(FindOnPath(missing), "") << missing;
  }

  SystemLauncher launcher;
  EXPECT_TRUE(launcher.StartProgram("true", {"ignored argument"}));
  EXPECT_FALSE(launcher.StartProgram("no-such-program-sproutsmith", {}));
  // The Windows viewers stand for the desktop's viewer, which may not exist here.
  EXPECT_EQ(launcher.DefaultViewer(), FindOnPath("xdg-open"));
  if (launcher.DefaultViewer().empty()) {
    EXPECT_FALSE(launcher.StartProgram("NotePad.exe", {"/dev/null"}));
    EXPECT_FALSE(launcher.StartProgram("IEXPLORE.EXE", {"/dev/null"}));
  }
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

}  // namespace
}  // namespace sproutsmith::os
