#pragma once
// The Ui of headless runs: no boxes and no window. Critical and exclamation messages go to
// stderr; information and status lines only when stderr is a terminal (cron mail stays
// quiet). A question is asked as y/n when stdin is a terminal and otherwise answers No,
// the safe answer nobody gave. There is nothing to yield to.

#include <iosfwd>
#include <string>
#include <vector>

#include "runtime/ui.h"

namespace sproutsmith::app {

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

 private:
  runtime::Answer Ask(const std::string& text, bool with_cancel);

  std::istream& in_;
  std::ostream& err_;
  bool in_is_terminal_;
  bool err_is_terminal_;
};

}  // namespace sproutsmith::app
