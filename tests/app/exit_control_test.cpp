#include "app/exit_control.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sproutsmith::app
