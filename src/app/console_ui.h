#pragma once
// The Ui of headless runs: no boxes and no window. Critical and exclamation messages go to
// stderr; information and status lines only when stderr is a terminal (cron mail stays
// quiet). A question is asked as y/n when stdin is a terminal and otherwise answers No,
// the safe answer nobody gave. There is nothing to yield to.
//
// On a terminal a running rule also shows one progress line that is redrawn in place and
// ends with a newline when the rule ends; other output clears it first and draws it again
// after. Without a terminal (a service, cron, a pipe) there is no progress line.

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "runtime/ui.h"

namespace sproutsmith::app {

// The progress line of a rule `seconds` after it began: library - rule, rows read of
// selected, folders created, folders a second and the time left (once a row was read).
std::string ProgressLineText(const runtime::CycleProgress& progress, double seconds);

class ConsoleUi final : public runtime::Ui {
 public:
  // `in` answers questions when `in_is_terminal`; everything shown goes to `err`.
  ConsoleUi(std::istream& in, std::ostream& err, bool in_is_terminal, bool err_is_terminal);
  // std::cin and std::cerr, with their terminal states.
  static ConsoleUi ForProcess();

  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle style,
                             const std::string& title) override;
  void Yield() override {}
  void StatusChanged(const std::string& text) override;
  void SetBusy(bool) override {}
  // Always on stderr, terminal or not.
  void Notice(const std::string& text) override;
  void SleepOneSecond() override;
  // No dialogs on a console: both answer as cancelled.
  std::string ChooseSaveFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&) override {
    return "";
  }
  std::string ChooseLibrary(const std::vector<std::string>&) override { return ""; }
  void Progress(const runtime::CycleProgress& progress) override;

  // Lines longer than this are cut (0: never), so the line stays one line and can be redrawn.
  void SetColumns(int columns) { columns_ = columns; }

 private:
  using SteadyClock = std::chrono::steady_clock;

  runtime::Answer Ask(const std::string& text, bool with_cancel);
  // Before and after other output: the progress line makes room, then comes back.
  void ClearProgressLine();
  void RedrawProgressLine();
  void DrawProgressLine();

  std::istream& in_;
  std::ostream& err_;
  bool in_is_terminal_;
  bool err_is_terminal_;
  int columns_ = 0;
  runtime::CycleProgress progress_;
  SteadyClock::time_point rule_started_;
  SteadyClock::time_point drawn_at_;
  bool line_open_ = false;
};

}  // namespace sproutsmith::app
