#pragma once
// The Ui of sproutsmith-admin: every message box is printed to stdout. A question is
// answered Yes by --yes, asked as y/N when stdin is a terminal that is free for it, and
// otherwise answered No, the safe answer nobody gave. The library chooser answers with the
// library named on the command line.

#include <iosfwd>
#include <string>
#include <vector>

#include "runtime/ui.h"

namespace sproutsmith::admin {

class AdminUi final : public runtime::Ui {
 public:
  // `in` answers questions only when `ask` (a terminal nobody else reads).
  AdminUi(std::istream& in, std::ostream& out, bool assume_yes, bool ask);

  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle style,
                             const std::string& title) override;
  void Yield() override {}
  void StatusChanged(const std::string& text) override { statuses_.push_back(text); }
  void SetBusy(bool) override {}
  void SleepOneSecond() override;
  std::string ChooseSaveFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&) override {
    return "";
  }
  std::string ChooseLibrary(const std::vector<std::string>&) override { return library_; }

  void SetLibraryChoice(std::string library) { library_ = std::move(library); }
  // Stdin carries data (a statement): questions can no longer be asked on it.
  void StopAsking() { ask_ = false; }
  // Every status line shown so far, in order.
  const std::vector<std::string>& statuses() const { return statuses_; }
  // The answer to the last question (kNone before any).
  runtime::Answer last_answer() const { return last_answer_; }

 private:
  std::istream& in_;
  std::ostream& out_;
  bool assume_yes_;
  bool ask_;
  std::string library_;
  runtime::Answer last_answer_ = runtime::Answer::kNone;
  std::vector<std::string> statuses_;
};

}  // namespace sproutsmith::admin
