#include "app/exit_control.h"

#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

class ExitControlTest : public ::testing::Test {
 protected:
  ExitControlTest()
      : clock_(text::DateTime{2020, 11, 14, 9, 0, 0}),
        settings_(dir_.File("config")),
        log_(clock_, state_, options_, ui_),
        context_{clock_, settings_, ui_, state_, options_, identity_, log_} {
    window_.LabelStatusColour = 192;  // red while a cycle runs
  }
  std::function<void()> CountEnds() {
    return [this] { ++program_ends_; };
  }
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const auto& m : ui_.messages) texts.push_back(m.text);
    return texts;
  }

  testing::TempDir dir_;
  os::FixedClock clock_;
  os::SettingsStore settings_;
  runtime::RunState state_;
  runtime::Options options_;
  runtime::Identity identity_;
  testing::ScriptedUi ui_;
  log::Log log_;
  Context context_;
  MainWindowModel window_;
  int program_ends_ = 0;
};

TEST_F(ExitControlTest, ExitDuringACycleCancelsIt) {
  state_.CycleRunning = true;
  EXPECT_EQ(ExitButtonClick(context_, window_, CountEnds()), ExitAction::kCancelCycle);
  EXPECT_FALSE(state_.CycleRunning);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_FALSE(window_.ButtonExitEnabled);
  EXPECT_EQ(window_.LabelStatusColour, 0xC00000);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Task Canceled"});
  EXPECT_EQ(ui_.messages[0].style, MessageStyle::kInformation);
  EXPECT_EQ(program_ends_, 0);

  // Cancelling while paused says so.
  state_ = {};
  state_.CycleRunning = state_.Paused = true;
  ExitButtonClick(context_, window_, CountEnds());
  EXPECT_EQ(MessageTexts().back(), "Pause Canceled");
}

TEST_F(ExitControlTest, ExitWhenIdleEndsTheProgram) {
  EXPECT_EQ(ExitButtonClick(context_, window_, CountEnds()), ExitAction::kCloseWindow);
  EXPECT_EQ(program_ends_, 1);
  EXPECT_TRUE(ui_.messages.empty());
  // A cycle already told to cancel is no longer cancellable: Exit closes.
  state_.CycleRunning = state_.CancelRequested = true;
  EXPECT_EQ(ExitButtonAction(state_), ExitAction::kCloseWindow);
}

TEST_F(ExitControlTest, ExitInTheLoopDelayEndsTheDelayOnly) {
  state_.CycleRunning = state_.InLoopDelay = true;
  EXPECT_EQ(ExitButtonClick(context_, window_, CountEnds()), ExitAction::kEndLoopDelay);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_FALSE(state_.CancelRequested);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(program_ends_, 0);
}

TEST_F(ExitControlTest, CloseDuringACycleCancelsWithoutEnding) {
  state_.CycleRunning = true;
  EXPECT_EQ(WindowCloseRequest(context_, window_, CountEnds()), CloseAction::kCancelCycle);
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_FALSE(window_.ButtonExitEnabled);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Task Canceled"});
  EXPECT_EQ(program_ends_, 0);
}

TEST_F(ExitControlTest, CloseWhenIdleRunsProgramEnd) {
  EXPECT_EQ(WindowCloseRequest(context_, window_, CountEnds()), CloseAction::kProgramEnd);
  EXPECT_EQ(program_ends_, 1);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ExitControlTest, CloseInTheLoopDelaySaysSoAndEndsTheDelay) {
  state_.CycleRunning = state_.InLoopDelay = true;
  EXPECT_EQ(WindowCloseRequest(context_, window_, CountEnds()), CloseAction::kExitLoopDelay);
  EXPECT_FALSE(state_.InLoopDelay);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Loop Delay exited"});
  EXPECT_EQ(program_ends_, 0);
}

TEST_F(ExitControlTest, UnattendedRunsCancelSilently) {
  state_.CommandLine = "/G /X";
  state_.CycleRunning = true;
  WindowCloseRequest(context_, window_, CountEnds());
  EXPECT_TRUE(state_.CancelRequested);
  EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace sproutsmith::app
