// Which DM installation the program opens, read from the environment it is handed: the file
// named by SPROUTSMITH_DM, else the per-user one, made as a demo when it does not exist.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/dm_session_seam.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/installation.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

class InstallationChoiceTest : public ::testing::Test {
 protected:
  InstallationChoiceTest() {
    env_.variables = {{"XDG_CONFIG_HOME", dir_.File("config")}, {"HOME", dir_.File("home")}};
  }
  std::string PerUserFolder() { return dir_.File("config/sproutsmith"); }

  testing::TempDir dir_;
  os::FixedClock clock_{text::DateTime{2026, 12, 6, 9, 4, 29}};
  os::FixedEnvironment env_;
};

TEST_F(InstallationChoiceTest, TheNamedFileIsOpenedAndNoDemoIsMade) {
  dmapi::DemoInstallation demo;
  ASSERT_TRUE(testing::Ok(dmapi::CreateDemoInstallation(dir_.File("site"), {}, &demo)));
  env_.variables[dmapi::kConfigEnvironmentVariable] = demo.config_path;
  InstallationChoice choice = OpenDmInstallation(clock_, env_);
  ASSERT_NE(choice.client, nullptr) << choice.problem;
  EXPECT_TRUE(choice.created_demo.empty());
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder()));

  // A named file that is missing is the problem; the per-user folder stays untouched.
  env_.variables[dmapi::kConfigEnvironmentVariable] = dir_.File("absent.conf");
  choice = OpenDmInstallation(clock_, env_);
  EXPECT_EQ(choice.client, nullptr);
  EXPECT_EQ(choice.problem, dir_.File("absent.conf") + ": no such file");
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder()));
}

TEST_F(InstallationChoiceTest, WithoutANameThePerUserDemoIsMadeOnceAndThenOpened) {
  InstallationChoice first = OpenDmInstallation(clock_, env_);
  ASSERT_NE(first.client, nullptr) << first.problem;
  EXPECT_EQ(first.created_demo, PerUserFolder());
  EXPECT_TRUE(std::filesystem::exists(PerUserFolder() + "/dm.conf"));
  first.client.reset();

  const InstallationChoice second = OpenDmInstallation(clock_, env_);
  ASSERT_NE(second.client, nullptr) << second.problem;
  EXPECT_TRUE(second.created_demo.empty());
}

}  // namespace
}  // namespace sproutsmith::app
