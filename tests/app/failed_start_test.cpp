// Start-up on a machine without a DM installation.

#include <filesystem>

#include "app/engine_test_fixture.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

constexpr const char* kFusionFailure =
    "Unable to start the DM application (Connecting to OpenText eDOCS) - I will end the program "
    "now";

TEST_F(EngineTest, WithoutADmSessionStartUpEndsWithTheBannerAndTheReason) {
  Engine& engine = BuildWithoutDm();
  EXPECT_EQ(engine.Run({"/g", "/x"}), kExitFailed);
  EXPECT_EQ(
      LogLines(),
      (std::vector<std::string>{
          BuildLine() + " initiating startup on Sunday, December 6, 2026 at 9:04:29 AM",
          Separator(), std::string("Error: 2026-12-06 09:04:29.00  ") + kNoInstallation,
          Separator(), std::string("Error: 2026-12-06 09:04:29.00  ") + kFusionFailure, Separator(),
          BuildLine() + " Ended on Sunday, December 6, 2026 at 9:04:29 AM", Separator()}));
  // Unattended: no box, so the caller must print the reason.
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(engine.FailureMessage(), std::string("Error: ") + kFusionFailure);
  EXPECT_FALSE(engine.FailureMessageShown());
  EXPECT_TRUE(engine.Ended());
  EXPECT_EQ(engine.identity().version_text, "Dec 6, 2026");
}

TEST_F(EngineTest, AnAttendedFailedStartShowsOneCriticalBox) {
  Engine& engine = BuildWithoutDm();
  EXPECT_EQ(engine.Run({}), kExitFailed);
  ASSERT_EQ(ui_->messages.size(), 1u);  // not followed by the status-label box
  EXPECT_EQ(ui_->messages[0].text, std::string("Error: ") + kFusionFailure);
  EXPECT_EQ(ui_->messages[0].style, MessageStyle::kCritical);
  EXPECT_EQ(ui_->messages[0].title, "Arborline\u2122 Sproutsmith for OpenText eDOCS");
  EXPECT_TRUE(engine.FailureMessageShown());
}

TEST_F(EngineTest, TheDmClientVersionComesFromTheRegistryWhenThereIsOne) {
  env_.registry["HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion"] = "5.3";
  env_.registry
      ["HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\Hummingbird DM Extensions API\\PatchLevel"] =
      "2";
  BuildWithoutDm().Run({"/G", "/X"});
  const auto lines = LogLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with(" using DM 5.3 patch 2")) << lines[0];
  EXPECT_TRUE(lines[4].ends_with(
      "Unable to start the DM 5.3 (patch 2) application (Connecting to OpenText eDOCS 5.3 patch "
      "2) - I will end the program now"))
      << lines[4];
}

TEST_F(EngineTest, AFailedStartStillSavesWhatStartUpAndProgramEndWrite) {
  Save("General", "Loop_Delay", "-30");
  Save("General", "Screen.Left", "500");  // off the left edge
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(Saved("General", "Path"), dir_.File("program/sproutsmith"));
  EXPECT_EQ(Saved("General", "Loop_Delay"), "30");
  // No screen, so no place of its own: the next window opens where the last one stood.
  EXPECT_EQ(Saved("General", "Screen.Left"), "500");
  EXPECT_EQ(Saved("General", "Screen.Top"), "(absent)");
  EXPECT_EQ(Saved("General", "LogFile"), "");            // the default is not bound for later runs
  EXPECT_EQ(Saved("General", "IsRunning"), "(absent)");  // start-up never got that far
  const os::SettingsStore store(dir_.File("config"));
  EXPECT_EQ(store.Get("QUIL", "General", "RegisterAPI"), "-1");
  EXPECT_EQ(store.Get("QUIL", "General", "RegisterQuilClasses"), "-1");
  // The companion components cannot exist here: no reminder question.
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(EngineTest, WithoutTempTheLogGoesToTheProgramFolder) {
  env_.variables["TEMP"] = "";
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(engine_->state().TempDir, dir_.File("program"));
  EXPECT_TRUE(
      std::filesystem::exists(dir_.File(std::string("program/") + kProduct + "_20261206.LOG")));
}

TEST_F(EngineTest, PurgeSwitchDeletesTheConfiguredLogFile) {
  testing::WriteFile(DefaultLog(), "old\r\n");
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_TRUE(std::filesystem::exists(DefaultLog()));
  BuildWithoutDm().Run({"/G", "/X", "/p"});
  EXPECT_FALSE(std::filesystem::exists(DefaultLog()));
}

TEST_F(EngineTest, AQuietLogKeepsOnlyTheError) {
  Save("General", "LogMethod", "0");
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            std::string("Error: 2026-12-06 09:04:29.00  ") + kNoInstallation,
                            std::string("Error: 2026-12-06 09:04:29.00  ") + kFusionFailure}));
}

}  // namespace
}  // namespace sproutsmith::app
