// Start-up, the "/G" cycle and program end with a DM session that comes up.

#include <algorithm>
#include <filesystem>

#include "app/engine_test_fixture.h"
#include "log/unexpected_error.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

long IndexOf(const std::vector<std::string>& calls, const std::string& call) {
  const auto it = std::find(calls.begin(), calls.end(), call);
  return it == calls.end() ? -1 : static_cast<long>(it - calls.begin());
}

TEST_F(EngineTest, AFullStartUpWaitsThenEndsLikeAClosedWindow) {
  Engine& engine = BuildScripted();
  EXPECT_EQ(engine.Run({}), kExitFinished);
  const std::string ended = BuildLine() + " Ended on Sunday, December 6, 2026 at 9:04:29 AM";
  EXPECT_EQ(ui_->statuses,
            (std::vector<std::string>{
                "One moment...", "Getting Command Line Parameters",
                "Retrieving basic configuration settings", "Connecting to OpenText eDOCS",
                "Setting Libraries", "Retrieving Session information", "Checking Lock Status",
                "Verifying rights for jsmith in library DOCS", "Activating the main form",
                "Waiting for user input", "Ending program - please wait...", ended}));
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{
                BuildLine() + " initiating startup on Sunday, December 6, 2026 at 9:04:29 AM",
                Separator(),  // "Waiting for user input" is a caption only
                BuildLine() + " Started on Sunday, December 6, 2026 at 9:04:29 AM", Separator(),
                ended, Separator()}));
  EXPECT_EQ(dm_->calls, (std::vector<std::string>{"StartFusion", "ActiveStatus(-1,)",
                                                  "ActiveStatus(-1,)", "ReleaseObjects"}));
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_FALSE(engine.window().splash_visible);
  EXPECT_FALSE(engine.window().MNHelpReadmeVisible);  // no read-me in the program folder
  EXPECT_FALSE(ui_->busy);
}

TEST_F(EngineTest, PauseDaysAndLibrariesComeWithTheirSavedMarks) {
  Save("PauseTimer", "Saturday", "0");
  Save("Libraries", "ARCHIVE", "0");
  testing::WriteFile(dir_.File("program/Arborline_SproutRun_Readme.txt"), "read me");
  Engine& engine = BuildScripted();
  // The session connects before the menu's entries exist; the connected library gets the mark.
  dm_->current_library = "ARCHIVE";
  ASSERT_TRUE(engine.StartUp({}));
  const MainWindowModel& w = engine.window();
  ASSERT_EQ(w.TVPause.size(), 7u);
  EXPECT_EQ(w.TVPause[0].text, "Sunday");
  EXPECT_TRUE(w.TVPause[0].checked);
  EXPECT_EQ(w.TVPause[6].text, "Saturday");
  EXPECT_FALSE(w.TVPause[6].checked);
  const auto& menu = engine.options().MNLibList;
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].caption, "DOCS");
  EXPECT_FALSE(menu[0].checked);
  EXPECT_EQ(menu[1].caption, "ARCHIVE");
  EXPECT_TRUE(menu[1].checked);
  ASSERT_EQ(w.TVRules.size(), 2u);
  EXPECT_TRUE(w.TVRules[0].checked);
  EXPECT_FALSE(w.TVRules[1].checked);
  EXPECT_EQ(w.TVRules[1].rules.size(), 1u);
  EXPECT_EQ(w.TVRules[1].rules[0].text, "[]");
  EXPECT_TRUE(w.MNHelpReadmeVisible);
  EXPECT_EQ(w.caption, "Arborline\u2122 Sproutsmith For OpenText eDocs");
  EXPECT_EQ(w.ButtonLogDirToolTip, DefaultLog());

  // The marks go back at program end, changed ones included.
  engine.window().TVPause[6].checked = true;
  engine.ProgramEnd();
  EXPECT_EQ(Saved("PauseTimer", "Saturday"), "-1");
  EXPECT_EQ(Saved("Libraries", "ARCHIVE"), "0");
  EXPECT_EQ(Saved("Rules", "DOCS:[]"), "0");
}

TEST_F(EngineTest, RightsAreCheckedWithTheUserAsAQuotedLiteral) {
  BuildScripted();
  dm_->user_id = "o'brien";
  EXPECT_EQ(engine_->Run({}), kExitFinished);
  ASSERT_EQ(dm_->statements.size(), 1u);
  EXPECT_EQ(dm_->statements[0],
            "SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = (SELECT "
            "SYSTEM_ID FROM [OWNER].PEOPLE WHERE UPPER(USER_ID) = 'O''BRIEN') AND "
            "GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE UNIV_ACCESS >= 191)");
}

TEST_F(EngineTest, AUserWithoutRightsIsRefused) {
  const std::string refusal =
      "Error: You are not a member of any groups with Universal Access >= 191. This is a "
      "requirement for running Arborline Sproutsmith for OpenText eDOCS";
  for (const char* count : {"0", ""}) {  // a failed count refuses as well
    Engine& engine = BuildScripted();
    dm_->scalar = count;
    EXPECT_EQ(engine.Run({"/G"}), kExitFailed);
    EXPECT_EQ(IndexOf(dm_->calls, "Go"), -1);
    ASSERT_EQ(ui_->messages.size(), 2u);
    EXPECT_EQ(ui_->messages[0].text, refusal);
    EXPECT_EQ(ui_->messages[0].style, MessageStyle::kExclamation);
    EXPECT_EQ(ui_->messages[1].text, "Verifying rights for jsmith in library DOCS");
    EXPECT_EQ(ui_->messages[1].style, MessageStyle::kCritical);
    EXPECT_EQ(engine.FailureMessage(), refusal);
    EXPECT_TRUE(engine.FailureMessageShown());
  }
  const auto lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Error: 2026-12-06 09:04:29.00  You are not a member of any groups with "
                      "Universal Access >= 191. This is a requirement for running Arborline "
                      "Sproutsmith for OpenText eDOCS"),
            lines.end());
}

TEST_F(EngineTest, GoSwitchRunsOneCycleAfterStartUpWithTheSwitchesApplied) {
  Engine& engine = BuildScripted();
  int loop_at_go = -1;
  bool started_logged = false;
  dm_->on_go = [&] {
    loop_at_go = engine.options().CheckLoop;
    started_logged = LogLines().size() == 4;  // banner .. "Started on", separator
  };
  EXPECT_EQ(engine.Run({"/g", "/l", "/x"}), kExitFinished);
  EXPECT_EQ(loop_at_go, 1);
  EXPECT_TRUE(started_logged);
  EXPECT_EQ(std::count(dm_->calls.begin(), dm_->calls.end(), "Go"), 1);
  EXPECT_LT(IndexOf(dm_->calls, "Go returned"), IndexOf(dm_->calls, "ReleaseObjects"));
  EXPECT_TRUE(ui_->messages.empty());
}

// A switch given to an unattended run is for that run: a timer's one cycle must not find Loop
// saved by a "/L" it never saw. A window's switch shows in its check box and is saved with it;
// "/K" locks the window's options.
TEST_F(EngineTest, SwitchesReachTheWindowAndTheSettingsOnlyFromARunSomeoneSees) {
  struct Case {
    std::vector<std::string> args;
    const char* loop;
    const char* log_method;
    const char* lock;
    const char* errors;
    bool log_file_saved;
    bool cycle;
    bool locked;
  };
  const Case cases[] = {
      {{"/G", "/X", "/L", "/NV", "/W", "/E"}, "0", "1", "0", "0", false, true, false},
      {{"/L", "/NV", "/W", "/E"}, "1", "0", "1", "1", true, false, false},
      {{"/X", "/L"}, "1", "1", "0", "0", true, false, false},  // no "/G": changes nothing
      {{"/k"}, "0", "1", "0", "0", true, false, true},
      {{"/kx"}, "0", "1", "0", "0", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::filesystem::remove_all(dir_.File("config"));
    Engine& engine = BuildScripted();
    engine.Run(c.args);
    EXPECT_EQ(Saved("General", "Loop"), c.loop);
    EXPECT_EQ(Saved("General", "LogMethod"), c.log_method);
    EXPECT_EQ(Saved("General", "LockWorkstation"), c.lock);
    EXPECT_EQ(Saved("General", "DisplayErrors"), c.errors);
    EXPECT_EQ(Saved("General", "LogFile"), c.log_file_saved ? DefaultLog() : "");
    EXPECT_EQ(IndexOf(dm_->calls, "Go") >= 0, c.cycle);
    EXPECT_EQ(engine.state().Locked, c.locked);
    EXPECT_EQ(engine.window().LabelLockedVisible, c.locked);
    EXPECT_EQ(engine.window().OptionsEnabled, !c.locked);
  }
}

TEST_F(EngineTest, ClosingDuringACycleCancelsFirstAndEndsOnlyAfterTheCycleReturns) {
  Engine& engine = BuildScripted();
  dm_->on_go = [&] {
    engine.state().CycleRunning = true;
    engine.RequestClose();  // cancels
    EXPECT_TRUE(engine.state().CancelRequested);
    EXPECT_FALSE(engine.Ended());
    engine.RequestClose();  // ends, once the cycle is out of the way
    EXPECT_FALSE(engine.Ended());
    EXPECT_EQ(IndexOf(dm_->calls, "ReleaseObjects"), -1);
  };
  ASSERT_TRUE(engine.StartUp({"/G"}));
  EXPECT_TRUE(engine.Ended());
  EXPECT_LT(IndexOf(dm_->calls, "Go returned"), IndexOf(dm_->calls, "ReleaseObjects"));
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "Task Canceled");
  engine.ProgramEnd();  // runs once only
  EXPECT_EQ(std::count(dm_->calls.begin(), dm_->calls.end(), "ReleaseObjects"), 1);
}

TEST_F(EngineTest, AnUnexpectedErrorInTheCycleIsTrappedAndFailsTheRun) {
  Engine& engine = BuildScripted();
  dm_->on_go = [] { throw UnexpectedError(91, "Sproutsmith", "Object variable not set"); };
  EXPECT_EQ(engine.Run({"/G", "/X"}), kExitBrokenOff);
  EXPECT_EQ(engine.FailureMessage(), "Error: Object variable not set");
  const auto lines = LogLines();
  const auto trap = std::find(lines.begin(), lines.end(), "Button_Go_Click:");
  ASSERT_NE(trap, lines.end());
  EXPECT_EQ(*(trap + 1), "Error: 2026-12-06 09:04:29.00  #91 was generated by Sproutsmith");
  EXPECT_EQ(IndexOf(dm_->calls, "ReleaseObjects"), static_cast<long>(dm_->calls.size()) - 1);
}

TEST_F(EngineTest, AnUnexpectedErrorInStartUpIsReportedUnderFormLoad) {
  Engine& engine = BuildScripted();
  dm_->on_start = [] {
    throw UnexpectedError(429, "DOCSObjects", "ActiveX component can't create object");
  };
  EXPECT_EQ(engine.Run({}), kExitFailed);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2], "Form_Load:");
  EXPECT_EQ(lines[3], "Error: 2026-12-06 09:04:29.00  #429 was generated by DOCSObjects");
  EXPECT_EQ(lines[4], "ActiveX component can't create object");
  EXPECT_EQ(lines[5], Separator());
  // The failure end shows the status label's text; the reason is for the console.
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "Connecting to OpenText eDOCS");
  EXPECT_EQ(engine.FailureMessage(), "Error: ActiveX component can't create object");
  EXPECT_FALSE(engine.FailureMessageShown());
}

TEST_F(EngineTest, TwoEnginesInOneProcessKeepToThemselves) {
  Engine& first = BuildScripted();
  auto first_owned = std::move(engine_);
  testing::TempDir other;
  env_.variables["TEMP"] = other.path().string();
  Engine& second = BuildScripted();
  ASSERT_TRUE(first.StartUp({"/L"}));
  ASSERT_TRUE(second.StartUp({"/K"}));
  EXPECT_EQ(first.options().CheckLoop, 1);
  EXPECT_EQ(second.options().CheckLoop, 0);
  EXPECT_FALSE(first.state().Locked);
  EXPECT_TRUE(second.state().Locked);
  EXPECT_NE(first.state().LogFile, second.state().LogFile);
  EXPECT_EQ(LogLines().size(), 4u);
  EXPECT_EQ(testing::ReadLines(second.log().DatedLogFile()).size(), 4u);
}

}  // namespace
}  // namespace sproutsmith::app
