#include "app/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sproutsmith::app {
namespace {

using runtime::Answer;
using runtime::MessageStyle;

TEST(ConsoleUiTest, WithoutATerminalOnlyProblemsAreShownAndQuestionsAnswerNo) {
  std::istringstream in("y\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, /*in_is_terminal=*/false, /*err_is_terminal=*/false);
  ui.StatusChanged("Setting Libraries");
  EXPECT_EQ(ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Error: broken", MessageStyle::kCritical, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Warning: odd", MessageStyle::kExclamation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kNo);
  ui.Notice("Paused until 01:00 PM");  // a service's journal must show a long wait
  EXPECT_EQ(err.str(), "Error: broken\nWarning: odd\nPurge? [y/n] n\nPaused until 01:00 PM\n");
  EXPECT_EQ(ui.ChooseSaveFile("a", "b", "c", "d", "e"), "");
  EXPECT_EQ(ui.ChooseLibrary({"DOCS"}), "");
}

TEST(ConsoleUiTest, AtATerminalStatusShowsAndQuestionsAreAsked) {
  std::istringstream in("maybe\nYes\n n \nc\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, true, true);
  ui.StatusChanged("Setting Libraries");
  ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t");
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kYes);  // asked twice
  EXPECT_EQ(ui.MessageBox("Again?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(ui.MessageBox("Go on?", MessageStyle::kYesNoCancel, "t"), Answer::kCancel);
  EXPECT_EQ(ui.MessageBox("At end of input?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(err.str(),
            "Setting Libraries\nTask Canceled\nPurge? [y/n] Purge? [y/n] Again? [y/n] "
            "Go on? [y/n/c] At end of input? [y/n] ");
}

}  // namespace
}  // namespace sproutsmith::app
