// What Exit, closing the window and Esc do as the run stands, and the pause window on a fixed
// clock (the scripted Ui's sleep moves it) with its time texts.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/exit_control.h"
#include "app/pause.h"
#include "app/saved_options.h"
#include "support/dm_installation.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

TEST(ExitDecisionTest, TheFlagsDecideWhatExitAndCloseDo) {
  struct Case {
    bool running, cancel, delay;
    ExitAction exit;
    CloseAction close;
  };
  const std::vector<Case> cases = {
      {false, false, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
      {true, false, false, ExitAction::kCancelCycle, CloseAction::kCancelCycle},
      {true, false, true, ExitAction::kEndLoopDelay, CloseAction::kExitLoopDelay},
      {false, false, true, ExitAction::kEndLoopDelay, CloseAction::kExitLoopDelay},
      // Already told to cancel: a second request ends the program.
      {true, true, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
      {false, true, false, ExitAction::kCloseWindow, CloseAction::kProgramEnd},
  };
  for (const Case& c : cases) {
    runtime::RunState state;
    state.CycleRunning = c.running;
    state.CancelRequested = c.cancel;
    state.InLoopDelay = c.delay;
    EXPECT_EQ(ExitButtonAction(state), c.exit) << c.running << c.cancel << c.delay;
    EXPECT_EQ(CloseRequestAction(state), c.close) << c.running << c.cancel << c.delay;
  }
}

// The engine's runtime around a Context, with no library: only the window's state matters.
class ExitControlTest : public ::testing::Test {
 protected:
  ExitControlTest() { window_.LabelStatusColour = 192; }  // red while a cycle runs
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const auto& m : install_.ui.messages) texts.push_back(m.text);
    return texts;
  }

  testing::DmInstallation install_;
  runtime::RunState& state_ = install_.state;
  testing::ScriptedUi& ui_ = install_.ui;
  Context& context_ = install_.context;
  MainWindowModel window_;
  int program_ends_ = 0;
  std::function<void()> end_ = [this] { ++program_ends_; };
};

TEST_F(ExitControlTest, CancellingStopsTheCycleAndDisablesExit) {
  state_.CycleRunning = true;
  ExitButtonClick(context_, window_, end_);
  EXPECT_FALSE(state_.CycleRunning);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_FALSE(window_.ButtonExitEnabled);
  EXPECT_EQ(window_.LabelStatusColour, 0xC00000);
  EXPECT_EQ(ui_.messages.at(0).style, MessageStyle::kInformation);

  state_ = {};
  state_.CycleRunning = state_.Paused = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Task Canceled", "Pause Canceled"}));
  EXPECT_EQ(program_ends_, 0);

  // Unattended runs cancel without a box.
  state_ = {};
  state_.CommandLine = "/G /X";
  state_.CycleRunning = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_EQ(ui_.messages.size(), 2u);
}

TEST_F(ExitControlTest, OnlyAnIdleWindowEndsTheProgram) {
  EXPECT_EQ(ExitButtonClick(context_, window_, end_), ExitAction::kCloseWindow);
  EXPECT_EQ(WindowCloseRequest(context_, window_, end_), CloseAction::kProgramEnd);
  EXPECT_EQ(program_ends_, 2);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ExitControlTest, TheLoopDelayIsCutShortAndOnlyCloseSaysSo) {
  state_.CycleRunning = state_.InLoopDelay = true;
  ExitButtonClick(context_, window_, end_);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_TRUE(ui_.messages.empty());

  state_.InLoopDelay = true;
  WindowCloseRequest(context_, window_, end_);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_FALSE(state_.CancelRequested);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Loop Delay exited"});
  EXPECT_EQ(program_ends_, 0);
}

TEST(PauseTextTest, TimeTextsAreNormalisedToHoursAndMinutes) {
  const std::pair<const char*, const char*> cases[] = {
      {"12:3", "12:30"},  {"1230", "12:30"},   {"9:30", "09:30"},   {"0930", "09:30"},
      {"12:00", "12:00"}, {" 7:05 ", "07:05"}, {"12:345", "12:34"}, {"123", "12:30"},
      {"", ""},           {"2400", "2400"},    {"ab:cd", "ab:cd"},  {"25:00", "25:00"},
  };
  for (const auto& [typed, shown] : cases) EXPECT_EQ(NormalizeTimeText(typed), shown) << typed;
}

TEST(PauseTextTest, WindowsAcrossMiddayAndMidnight) {
  struct Case {
    const char* now;
    const char* start;
    const char* end;
    bool held;
  };
  const Case cases[] = {
      {"12:00", "12:00", "13:00", true},  {"12:59", "12:00", "13:00", true},
      {"11:59", "12:00", "13:00", false}, {"13:00", "12:00", "13:00", false},
      {"23:00", "22:00", "06:00", true},  {"05:59", "22:00", "06:00", true},
      {"06:00", "22:00", "06:00", false}, {"21:59", "22:00", "06:00", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InsidePauseWindow(c.now, c.start, c.end), c.held)
        << c.now << " in " << c.start << "-" << c.end;
  }
}

class PauseTest : public ExitControlTest {
 protected:
  PauseTest() {
    // A Sunday at noon.
    install_.clock.Set({2026, 12, 6, 12, 0, 0});
    window_.TVPause = ReadPauseDays(install_.settings, "Sproutsmith");
    options().CheckPauseTime = 1;
    options().TextPauseStart = "12:00";
    options().TextPauseEnd = "1300";
  }
  runtime::Options& options() { return install_.options; }
};

TEST_F(PauseTest, TheCheckHoldsWhileTheClockIsInsideTheWindow) {
  std::vector<bool> paused_while_sleeping;
  install_.ui.on_sleep = [&] {
    paused_while_sleeping.push_back(state_.Paused);
    install_.clock.Advance(20 * 60);
  };
  CheckForPause(install_.context, window_);
  // Held at 12:00, 12:20 and 12:40; released at 13:00.
  EXPECT_EQ(paused_while_sleeping, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(state_.Paused);
  EXPECT_EQ(options().TextPauseEnd, "13:00");
  EXPECT_EQ(options().CheckPauseTime, 1);
  EXPECT_EQ(install_.ui.statuses.back(),
            "Paused until 01:00 PM - Press Cancel or Esc to exit pausing");
  // Said once for whoever reads a service's output, not once a second.
  EXPECT_EQ(std::count(install_.ui.statuses.begin(), install_.ui.statuses.end(),
                       "Paused until 01:00 PM (the pause window of the settings); the cycle "
                       "goes on then"),
            1);
  EXPECT_EQ(window_.ButtonExitCaption, "Cancel");
  EXPECT_EQ(window_.ButtonExitToolTip, "Exit pausing");
  EXPECT_GE(install_.ui.yields, 3);

  // Outside the window the check returns at once.
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 3);
}

TEST_F(PauseTest, DaysLocalesAndWrongTimes) {
  // Sunday is no pause day: no pause whatever the times.
  window_.TVPause[0].checked = false;
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 0);

  // Day names the clock does not use: the window applies every day.
  for (CheckNode& day : window_.TVPause) {
    day.text = "Tag " + day.text;
    day.checked = false;
  }
  install_.ui.on_sleep = [&] { install_.clock.Advance(3600); };
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 1);

  for (const auto& [start, end] :
       {std::pair{"12:00", "12:00"}, {"12:00", ""}, {"99:00", "13:00"}}) {
    options().CheckPauseTime = 1;
    options().TextPauseStart = start;
    options().TextPauseEnd = end;
    CheckForPause(install_.context, window_);
    EXPECT_EQ(options().CheckPauseTime, 0) << start << "-" << end;
  }
  EXPECT_EQ(install_.CountLogLines("You have enabled the pause timer, but the start and/or end "
                                   "times are not entered properly. The pause timer will be "
                                   "disabled"),
            3);
  EXPECT_EQ(install_.ui.sleeps, 1);
}

TEST_F(PauseTest, CancellingWhilePausedSwitchesTheTimerOff) {
  PressKey(install_.context, window_, WindowKey::kEscape);  // idle: nothing to cancel
  EXPECT_FALSE(state_.CancelRequested);
  state_.CycleRunning = true;
  install_.ui.on_sleep = [&] { PressKey(install_.context, window_, WindowKey::kEscape); };
  CheckForPause(install_.context, window_);
  EXPECT_EQ(install_.ui.sleeps, 1);
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, "Pause Canceled");
  EXPECT_EQ(install_.CountLogLines("Pausing canceled at 12:00 PM"), 1);
  EXPECT_EQ(options().CheckPauseTime, 0);
  EXPECT_FALSE(state_.Paused);
  EXPECT_FALSE(window_.ButtonExitEnabled);
}

}  // namespace
}  // namespace sproutsmith::app
