#pragma once
// The Ui of tests: answers queued in advance, every message box and status change recorded.
// An unexpected question (no answer queued) answers No and is recorded, so a test sees it.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "runtime/ui.h"

namespace sproutsmith::testing {

struct ShownMessage {
  std::string text;
  runtime::MessageStyle style;
  std::string title;
};

class ScriptedUi final : public runtime::Ui {
 public:
  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle style,
                             const std::string& title) override {
    messages.push_back({text, style, title});
    if (style != runtime::MessageStyle::kYesNo && style != runtime::MessageStyle::kYesNoCancel) {
      return runtime::Answer::kNone;
    }
    if (answers.empty()) return runtime::Answer::kNo;
    const runtime::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void Yield() override {
    ++yields;
    if (on_yield) on_yield();
  }
  void StatusChanged(const std::string& text) override { statuses.push_back(text); }
  void SetBusy(bool value) override { busy = value; }
  void SleepOneSecond() override {
    ++sleeps;
    if (on_sleep) on_sleep();
  }
  std::string ChooseSaveFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&) override {
    return NextFile();
  }
  std::string ChooseLibrary(const std::vector<std::string>&) override { return NextFile(); }

  std::deque<runtime::Answer> answers;
  std::deque<std::string> files;  // answers of file and library choosers ("" = cancel)
  std::vector<ShownMessage> messages;
  std::vector<std::string> statuses;
  int yields = 0;
  int sleeps = 0;
  bool busy = false;
  // Hooks to play a user clicking while the engine works.
  std::function<void()> on_yield;
  std::function<void()> on_sleep;

 private:
  std::string NextFile() {
    if (files.empty()) return "";
    std::string f = files.front();
    files.pop_front();
    return f;
  }
};

}  // namespace sproutsmith::testing
