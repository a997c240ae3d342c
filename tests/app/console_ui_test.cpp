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

TEST(ConsoleUiTest, TheProgressLineCountsRowsFoldersRateAndTimeLeft) {
  struct Case {
    int selected, read, added;
    double seconds;
    const char* line;
  };
  const Case cases[] = {
      {83, 0, 0, 0.0, "DEMO - CLIENTS: 0 of 83 rows, 0 folder(s)"},
      {83, 20, 40, 0.5, "DEMO - CLIENTS: 20 of 83 rows, 40 folder(s), 80 folders/s, 0:02 left"},
      {1000, 10, 30, 6.0, "DEMO - CLIENTS: 10 of 1000 rows, 30 folder(s), 5 folders/s, 9:54 left"},
      {83, 83, 164, 2.0,
       "DEMO - CLIENTS: 83 of 83 rows, 164 folder(s), 82 folders/s, done in 0:02"},
  };
  for (const Case& c : cases) {
    runtime::CycleProgress p;
    p.library = "DEMO";
    p.rule = "CLIENTS";
    p.rows_selected = c.selected;
    p.rows_read = c.read;
    p.folders_added = c.added;
    EXPECT_EQ(ProgressLineText(p, c.seconds), c.line);
  }
}

TEST(ConsoleUiTest, OnATerminalARulesLineIsRedrawnInPlaceAndOtherOutputMakesRoomForIt) {
  using Step = runtime::CycleProgress::Step;
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "no terminal");
    std::istringstream in;
    std::ostringstream err;
    ConsoleUi ui(in, err, false, terminal);
    ui.SetColumns(30);
    runtime::CycleProgress p;
    p.library = "DEMO";
    p.rule = "CLIENTS";
    auto step = [&](Step s, int selected, int read) {
      p.step = s;
      p.rows_selected = selected;
      p.rows_read = read;
      ui.Progress(p);
    };
    step(Step::kRuleStarts, 0, 0);
    step(Step::kRows, 0, 0);  // nothing selected yet: no line
    step(Step::kRows, 9, 0);
    ui.StatusChanged("Finished with library DEMO");
    step(Step::kRuleEnds, 9, 9);
    step(Step::kCycleEnds, 9, 9);  // the line was ended with the rule
    const std::string shown = err.str();
    if (!terminal) {
      EXPECT_EQ(shown, "");
      continue;
    }
    // Cut to 29 columns, which also keeps the rate and the time out of the picture.
    const std::string clear = "\r\033[K";
    const std::string none_read = "DEMO - CLIENTS: 0 of 9 rows, ";
    const std::string all_read = "DEMO - CLIENTS: 9 of 9 rows, ";
    EXPECT_EQ(shown, clear + none_read + clear + "Finished with library DEMO\n" + clear +
                         none_read + clear + all_read + "\n");
  }
}

}  // namespace
}  // namespace sproutsmith::app
