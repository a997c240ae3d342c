// What the program reads before it opens a library: its command line, its saved options and
// paths, the window's place, whether a desktop start hands over to the window program, and
// which old logs and reports go.
// Which DM installation it opens: the file named by SPROUTSMITH_DM, else the per-user one, made
// as a demo when it does not exist.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/command_line.h"
#include "app/desktop_handover.h"
#include "app/installation_choice.h"
#include "app/log_housekeeping.h"
#include "app/program_paths.h"
#include "app/saved_options.h"
#include "app/window_placement.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/installation.h"
#include "support/product_name.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

TEST(CommandLineTest, ArgumentsBecomeOneTrimmedUpperCaseText) {
  EXPECT_EQ(BuildCommandLine({}), "");
  EXPECT_EQ(BuildCommandLine({"/g", "/x"}), "/G /X");
  EXPECT_EQ(BuildCommandLine({"  /kx ", "/v  "}), "/KX  /V");
  EXPECT_EQ(BuildCommandLine({"", "/l"}), "/L");
}

struct SwitchCase {
  std::vector<std::string> args;
  bool locked;
  int add_new_docs, display_errors, loop, log_method, lock_workstation;
  bool go, unattended, purge;
};

TEST(CommandLineTest, EverySwitchTakesEffect) {
  // Options start as: AddNewDocs 0, DisplayErrors 0, Loop 0, LogMethod 1, LockWorkstation 0,
  // unlocked.
  const std::vector<SwitchCase> cases = {
      {{}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/P"}, false, 0, 0, 0, 1, 0, false, false, true},
      {{"/adnf"}, false, 1, 0, 0, 1, 0, false, false, false},
      {{"/e"}, false, 0, 1, 0, 1, 0, false, false, false},
      {{"/K"}, true, 0, 0, 0, 1, 0, false, false, false},
      {{"/kx"}, false, 0, 0, 0, 1, 0, false, false, false},  // contains "/K", still unlocked
      {{"/KX", "/K"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/l"}, false, 0, 0, 1, 1, 0, false, false, false},
      {{"/NL"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/L", "/NL"}, false, 0, 0, 1, 1, 0, false, false, false},  // /L is tested first
      {{"/nv"}, false, 0, 0, 0, 0, 0, false, false, false},
      {{"/V", "/NV"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/w"}, false, 0, 0, 0, 1, 1, false, false, false},
      {{"/NW"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/g"}, false, 0, 0, 0, 1, 0, true, false, false},
      {{"/g", "/x"}, false, 0, 0, 0, 1, 0, true, true, false},
      {{"/X", "/G"}, false, 0, 0, 0, 1, 0, true, true, false},   // order is free
      {{"/G", "/XR"}, false, 0, 0, 0, 1, 0, true, true, false},  // "/XR" counts as "/X"
      {{"/X"}, false, 0, 0, 0, 1, 0, false, false, false},       // /X alone changes nothing
      {{"/Z", "/QUIET", "-G"}, false, 0, 0, 0, 1, 0, false, false, false},
  };
  for (const SwitchCase& c : cases) {
    runtime::RunState state;
    runtime::Options options;
    options.CheckAddNewDocs = 0;
    state.CommandLine = BuildCommandLine(c.args);
    ApplySessionSwitches(state, options);
    ApplyRunSwitches(state, options);
    const std::string label = "command line \"" + state.CommandLine + "\"";
    EXPECT_EQ(state.Locked, c.locked) << label;
    EXPECT_EQ(options.CheckAddNewDocs, c.add_new_docs) << label;
    EXPECT_EQ(options.CheckDisplayErrors, c.display_errors) << label;
    EXPECT_EQ(options.CheckLoop, c.loop) << label;
    EXPECT_EQ(options.CheckLogMethod, c.log_method) << label;
    EXPECT_EQ(options.CheckLockWorkstation, c.lock_workstation) << label;
    EXPECT_EQ(GoRequested(state), c.go) << label;
    EXPECT_EQ(state.Unattended(), c.unattended) << label;
    EXPECT_EQ(PurgeRequested(state), c.purge) << label;
  }
}

TEST(CommandLineTest, SwitchesOnlyEverCheckOrUncheck) {
  // Saved options stay when the command line says nothing about them.
  runtime::RunState state;
  runtime::Options options;
  options.CheckLoop = 1;
  options.CheckLogMethod = 0;
  options.CheckLockWorkstation = 1;
  state.Locked = true;
  state.CommandLine = BuildCommandLine({"/G"});
  ApplySessionSwitches(state, options);
  ApplyRunSwitches(state, options);
  EXPECT_EQ(options.CheckLoop, 1);
  EXPECT_EQ(options.CheckLogMethod, 0);
  EXPECT_EQ(options.CheckLockWorkstation, 1);
  EXPECT_TRUE(state.Locked);
}

using testing::TempDir;

constexpr const char* kApp = testing::kProductName;

class SavedOptionsTest : public ::testing::Test {
 protected:
  SavedOptionsTest() : store_(dir_.File("config")) {}
  void Put(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(store_.Save(kApp, section, key, value));
  }

  TempDir dir_;
  os::SettingsStore store_;
};

TEST_F(SavedOptionsTest, BooleansAreNumbersAndAnyNonZeroChecks) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"-1", 1}, {"0", 0}, {"1", 1}, {"2", 1}, {"", 0}, {"abc", 0}, {" -1", 1}, {"0.5", 1}};
  for (const auto& [saved, checked] : cases) {
    EXPECT_EQ(CheckValue(saved), checked) << '"' << saved << '"';
    Put("General", "Loop", saved);
    Put("PauseTimer", "Monday", saved);
    Put("Libraries", "DOCS", saved);
    runtime::Options o;
    ReadGeneralOptions(store_, kApp, o);
    EXPECT_EQ(o.CheckLoop, checked) << '"' << saved << '"';
    EXPECT_EQ(ReadPauseDays(store_, kApp)[1].checked, checked != 0) << '"' << saved << '"';
    EXPECT_EQ(ReadLibraryNode(store_, kApp, "docs").checked, checked != 0);
  }
}

TEST_F(SavedOptionsTest, NumbersAreShownAsAbsoluteValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-30", "30"}, {"30", "30"}, {"", "0"}, {"abc", "0"}, {"12.6", "13"}, {"-0", "0"}};
  for (const auto& [saved, shown] : cases) {
    Put("General", "Loop_Delay", saved);
    Put("General", "MaxFolders", saved);
    runtime::Options o;
    ReadGeneralOptions(store_, kApp, o);
    EXPECT_EQ(o.TextLoopDelay, shown) << saved;
    EXPECT_EQ(o.TextMaxFolders, shown) << saved;
  }
}

TEST_F(SavedOptionsTest, ProgramEndSavesInItsOrder) {
  runtime::Options o;
  o.CheckLoop = 1;
  o.TextLoopDelay = "-30";
  o.CheckLogMethod = 0;
  o.CheckDisplayErrors = 1;
  o.TextMaxFolders = "25 folders";
  o.TextPauseStart = "9:5";
  o.TextPauseEnd = "late";
  o.CheckLockWorkstation = 1;
  o.MNTimeStampLogFile = true;
  MainWindowModel window;
  window.window = {11985, 3532, 4830, 9135};
  window.window_on_screen = true;
  window.TVPause = {{"Sunday", true}, {"Monday", false}};
  window.TVRules = {{"DOCS", true, {{"Matters", true}, {" client folders ", false}}},
                    {"Archive", false, {{"[]", false}}}};
  ASSERT_TRUE(SaveProgramEndSettings(store_, kApp, o, "/tmp/x.LOG", window));
  EXPECT_EQ(testing::ReadFile(store_.FilePath(kApp)),
            "[General]\nScreen.Top=3532\nScreen.Left=11985\nScreen.Width=4830\nScreen.Height=9135\n"
            "Loop=1\nLoop_Delay=-30\nLogMethod=0\nLogFile=/tmp/x.LOG\nDisplayErrors=1\n"
            "ProcessDescending=0\nReUseSQL=0\nCheckAddNewDocs=1\nMaxFolders=25\nUsePauseTime=0\n"
            "PauseStart=09:05\nPauseEnd=late\nLockWorkstation=1\nTimeStampLogFile=-1\n\n"
            "[PauseTimer]\nSunday=-1\nMonday=0\n\n"
            "[Libraries]\nDOCS=-1\nArchive=0\n\n"
            "[Rules]\nDOCS:MATTERS=-1\nDOCS:CLIENT FOLDERS=0\nARCHIVE:[]=0\n\n");

  runtime::Options back;
  ReadGeneralOptions(store_, kApp, back);
  EXPECT_TRUE(back.MNTimeStampLogFile);
}

TEST(ProgramPathsTest, TempFolderFallsBackToTmpdir) {
  os::FixedEnvironment env;
  env.variables = {{"TEMP", "/temp"}, {"TMPDIR", "/tmpdir"}};
  EXPECT_EQ(TempFolder(env, "/opt/sprout"), "/temp");
  env.variables["TEMP"] = "";
  EXPECT_EQ(TempFolder(env, "/opt/sprout"), "/tmpdir");
  EXPECT_EQ(DefaultLogFile("/tmp/", kApp), std::string("/tmp/") + kApp + ".LOG");
}

TEST(WindowPlacementTest, SavedPositionsOffTheUsableScreenAreRecentred) {
  const ScreenSize screen{20000, 12000};
  const WindowRect start{0, 0, 4000, 8000};
  // Centred: left (20000 - 4000) / 2 = 8000, top (12000 - 8000) / 2 = 2000.
  struct Case {
    std::optional<long> left, top;
    long want_left, want_top;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, 8000, 2000}, {5000, 3000, 5000, 3000},
      {999, 3000, 8000, 3000},   // the very left edge
      {1000, 1000, 1000, 1000},  // 1000 itself is kept
      {-200, 999, 8000, 2000},
      {14999, 8999, 14999, 8999},  // just above three quarters
      {15000, 9000, 8000, 2000},   // at three quarters
      {40000, 50000, 8000, 2000},  // a screen that has since shrunk
  };
  // clang-format on
  for (const Case& c : cases) {
    const WindowRect placed = PlaceWindow(c.left, c.top, screen, start);
    EXPECT_EQ(placed.left, c.want_left) << c.left.value_or(-1);
    EXPECT_EQ(placed.top, c.want_top) << c.top.value_or(-1);
    EXPECT_EQ(placed.width, 4830);
    EXPECT_EQ(placed.height, 9135);  // raised to the minimum
  }
  EXPECT_EQ(PlaceWindow(5000, 3000, screen, {0, 0, 4000, 10000}).height, 10000);
}

TEST(DesktopHandoverTest, OnlyAStartWithoutGoOnADesktopWithTheWindowProgramHandsOver) {
  testing::TempDir dir;
  const std::string window = dir.File(kWindowProgram);
  testing::WriteFile(window, "#!/bin/sh\n");
  std::filesystem::permissions(window, std::filesystem::perms::owner_all);

  os::FixedEnvironment desktop;
  desktop.program_folder = dir.path().string();
  desktop.variables["DISPLAY"] = ":0";
  os::FixedEnvironment wayland = desktop;
  wayland.variables = {{"WAYLAND_DISPLAY", "wayland-0"}};
  os::FixedEnvironment server = desktop;
  server.variables.clear();
  os::FixedEnvironment elsewhere = desktop;
  elsewhere.program_folder = dir.File("missing");

  struct Case {
    const char* name;
    std::vector<std::string> args;
    const os::FixedEnvironment* env;
    bool hands_over;
  };
  const Case cases[] = {
      {"plain start on X", {}, &desktop, true},
      {"options only, on Wayland", {"/L", "/v"}, &wayland, true},
      {"a cycle is asked for", {"/g"}, &desktop, false},
      {"unattended", {"/X", "/G"}, &desktop, false},
      {"no display", {}, &server, false},
      {"no window program beside", {}, &elsewhere, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowProgramFor(c.args, *c.env), c.hands_over ? window : "") << c.name;
  }

  // A file that cannot be run is no window program.
  std::filesystem::permissions(
      window, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(WindowProgramFor({}, desktop), "");
}

TEST(LogHousekeepingTest, OnlyTheLogsAndReportsOfDaysPastTheLimitGo) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    bool removed;  // with 30 days kept on 2026-12-07
  };
  // clang-format off
  const Case cases[] = {
      {"run_20261106.LOG", true}, {"run_20261106_090507.json", true},
      {"run_20261106_090507-2.json", true}, {"run_20261106.json", true},  // older runs' name
      {"run_20261107.LOG", false}, {"run_20261207_101010.json", false}, {"run.LOG", false},
      {"run_20261106.txt", false},  // not the log's kind
      {"run_20261106_notes.json", false}, {"other_20200101.LOG", false},
      {"run_20261399.LOG", false}, {"run_2026110.LOG", false},
  };
  // clang-format on
  for (const Case& c : cases) testing::WriteFile(dir.File(c.name), "x");
  const std::vector<std::string> removed =
      RemoveOldLogs(dir.File("run.LOG"), 30, text::DateTime{2026, 12, 7, 9, 0, 0});
  for (const Case& c : cases) {
    EXPECT_EQ(std::filesystem::exists(dir.File(c.name)), !c.removed) << c.name;
    EXPECT_EQ(std::count(removed.begin(), removed.end(), dir.File(c.name)), c.removed ? 1 : 0)
        << c.name;
  }
  // 0 keeps every day.
  testing::WriteFile(dir.File("run_20000101.LOG"), "x");
  EXPECT_TRUE(RemoveOldLogs(dir.File("run.LOG"), 0, text::DateTime{2026, 12, 7}).empty());
  EXPECT_TRUE(std::filesystem::exists(dir.File("run_20000101.LOG")));
}

TEST(LogHousekeepingTest, TheReportsOfADayAreEveryRunsAndNothingElse) {
  testing::TempDir dir;
  for (const char* name :
       {"run_20261207.LOG", "run_20261207_090507.json", "run_20261207_101010-2.json",
        "run_20261207.json", "run_20261206_090507.json", "run_20261207_x.json"}) {
    testing::WriteFile(dir.File(name), "x");
  }
  std::vector<std::string> reports = ReportsOfDay(dir.File("run_20261207.LOG"));
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (std::vector<std::string>{dir.File("run_20261207.json"),
                                               dir.File("run_20261207_090507.json"),
                                               dir.File("run_20261207_101010-2.json")}));
}

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
