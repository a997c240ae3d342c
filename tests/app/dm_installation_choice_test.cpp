// Which DM installation the program opens, read from the environment it is handed: the file
// named by SPROUTSMITH_DM, else the per-user one, made as a demo when it does not exist.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/installation_choice.h"
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
  InstallationChoice choice = OpenDmInstallation(clock_, env_, true);
  ASSERT_NE(choice.client, nullptr) << choice.problem;
  EXPECT_TRUE(choice.created_demo.empty());
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder()));

  // A named file that is missing is the problem; the per-user folder stays untouched.
  env_.variables[dmapi::kConfigEnvironmentVariable] = dir_.File("absent.conf");
  choice = OpenDmInstallation(clock_, env_, true);
  EXPECT_EQ(choice.client, nullptr);
  EXPECT_EQ(choice.problem, dir_.File("absent.conf") + ": no such file");
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder()));
}

TEST_F(InstallationChoiceTest, WithoutANameThePerUserDemoIsMadeOnceAndThenOpened) {
  InstallationChoice first = OpenDmInstallation(clock_, env_, true);
  ASSERT_NE(first.client, nullptr) << first.problem;
  EXPECT_EQ(first.created_demo, PerUserFolder());
  EXPECT_TRUE(std::filesystem::exists(PerUserFolder() + "/dm.conf"));
  first.client.reset();

  const InstallationChoice second = OpenDmInstallation(clock_, env_, true);
  ASSERT_NE(second.client, nullptr) << second.problem;
  EXPECT_TRUE(second.created_demo.empty());
}

TEST_F(InstallationChoiceTest, AnUnattendedRunMakesNoDemoAndSaysWhichFileIsMissing) {
  const InstallationChoice choice = OpenDmInstallation(clock_, env_, false);
  EXPECT_EQ(choice.client, nullptr);
  EXPECT_TRUE(choice.created_demo.empty());
  EXPECT_TRUE(testing::Contains(choice.problem, PerUserFolder() + "/dm.conf does not exist"));
  EXPECT_TRUE(testing::Contains(choice.problem, "sproutsmith-dm init-demo"));
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder() + "/dm.conf"));
}

TEST_F(InstallationChoiceTest, WhatADemoMadeHalfWayLeftBehindDoesNotBlockTheNextStart) {
  // A start killed while making the demo: its folder aside and a library file without the
  // configuration that would name it.
  std::filesystem::create_directories(PerUserFolder() + "/.demo-4242");
  testing::WriteFile(PerUserFolder() + "/.demo-4242/demo.db", "half");
  testing::WriteFile(PerUserFolder() + "/demo.db", "half");
  const InstallationChoice choice = OpenDmInstallation(clock_, env_, true);
  ASSERT_NE(choice.client, nullptr) << choice.problem;
  EXPECT_EQ(choice.created_demo, PerUserFolder());
  EXPECT_FALSE(std::filesystem::exists(PerUserFolder() + "/.demo-4242"));
  for (const auto& entry : std::filesystem::directory_iterator(PerUserFolder())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".demo-")) << entry.path();
  }
}

}  // namespace
}  // namespace sproutsmith::app
