#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/os/environment.h"
#include "platform/os/program_launcher.h"

namespace sproutsmith::os {
namespace {

TEST(EnvironmentTest, TheProcessKnowsWhereItRunsFrom) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramFolder(), exe.parent_path().string());
  EXPECT_EQ(ExecutableName(), exe.filename().string());
  EXPECT_EQ(ExecutableName(), "platform_os_tests");

  const std::string name = ComputerName();
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(name, std::string(expected));
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.find('\0'), std::string::npos);
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
  EXPECT_EQ(FindOnPath("no-such-program-sproutsmith"), "");
  EXPECT_EQ(FindOnPath("/no/such/program"), "");
  EXPECT_EQ(FindOnPath(""), "");

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

}  // namespace
}  // namespace sproutsmith::os
