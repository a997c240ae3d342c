#pragma once
// Everything a window does for the engine. The engine calls it on its one thread; the desktop
// implements it with Qt, headless runs with the console, tests with a scripted Ui.

#include <string>
#include <vector>

namespace sproutsmith::runtime {

enum class MessageStyle { kInformation, kExclamation, kCritical, kYesNo, kYesNoCancel };
enum class Answer { kNone, kYes, kNo, kCancel };

// Where a running cycle is, for a progress display.
struct CycleProgress {
  enum class Step { kRuleStarts, kRows, kRuleEnds, kCycleEnds };
  Step step = Step::kCycleEnds;
  std::string library;  // the rule being run (the last one after kCycleEnds)
  std::string rule;
  int rows_selected = 0;  // of the rule being run
  int rows_read = 0;
  int folders_added = 0;
  int rules_done = 0;  // of this pass
  int rules_checked = 0;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // A modal message box; questions return the answer, other styles kNone.
  virtual Answer MessageBox(const std::string& text, MessageStyle style,
                            const std::string& title) = 0;
  // The yield point: let the window process pending events (repaint, Exit, Esc).
  virtual void Yield() = 0;
  // The status label changed (the model holds the text).
  virtual void StatusChanged(const std::string& text) = 0;
  virtual void SetBusy(bool busy) = 0;
  // A state that may last long and must be seen even where status lines are not (a service's
  // journal): said once when it begins. A window shows it as a status.
  virtual void Notice(const std::string& text) { StatusChanged(text); }
  // Sleeps about one second while staying responsive.
  virtual void SleepOneSecond() = 0;
  // A save-file dialog; "" when cancelled.
  virtual std::string ChooseSaveFile(const std::string& title, const std::string& default_ext,
                                     const std::string& filter, const std::string& folder,
                                     const std::string& file) = 0;
  // The DM library chooser; "" when cancelled.
  virtual std::string ChooseLibrary(const std::vector<std::string>& libraries) = 0;
  // The cycle moved on: a rule began or ended, rows were read, the cycle ended. Shown at the
  // next yield point at the latest; a Ui without a progress display ignores it.
  virtual void Progress(const CycleProgress&) {}
};

}  // namespace sproutsmith::runtime
