#include "app/console_ui.h"

#include <unistd.h>

#include <iostream>

#include "platform/os/program_launcher.h"
#include "text/text.h"

namespace sproutsmith::app {

using runtime::Answer;
using runtime::MessageStyle;

ConsoleUi::ConsoleUi(std::istream& in, std::ostream& err, bool in_is_terminal, bool err_is_terminal)
    : in_(in), err_(err), in_is_terminal_(in_is_terminal), err_is_terminal_(err_is_terminal) {}

ConsoleUi ConsoleUi::ForProcess() {
  return ConsoleUi(std::cin, std::cerr, ::isatty(STDIN_FILENO) == 1, ::isatty(STDERR_FILENO) == 1);
}

Answer ConsoleUi::Ask(const std::string& text, bool with_cancel) {
  const std::string choices = with_cancel ? " [y/n/c] " : " [y/n] ";
  if (!in_is_terminal_) {
    err_ << text << choices << "n" << std::endl;
    return Answer::kNo;
  }
  std::string line;
  while (true) {
    err_ << text << choices << std::flush;
    if (!std::getline(in_, line)) return Answer::kNo;
    const std::string reply = text::UCase(text::Trim(line));
    if (reply == "Y" || reply == "YES") return Answer::kYes;
    if (reply == "N" || reply == "NO") return Answer::kNo;
    if (with_cancel && (reply == "C" || reply == "CANCEL")) return Answer::kCancel;
  }
}

Answer ConsoleUi::MessageBox(const std::string& text, MessageStyle style, const std::string&) {
  switch (style) {
    case MessageStyle::kYesNo:
      return Ask(text, false);
    case MessageStyle::kYesNoCancel:
      return Ask(text, true);
    case MessageStyle::kCritical:
    case MessageStyle::kExclamation:
      err_ << text << std::endl;
      break;
    case MessageStyle::kInformation:
      if (err_is_terminal_) err_ << text << std::endl;
      break;
  }
  return Answer::kNone;
}

void ConsoleUi::StatusChanged(const std::string& text) {
  if (err_is_terminal_ && !text.empty()) err_ << text << std::endl;
}

void ConsoleUi::Notice(const std::string& text) { err_ << text << std::endl; }

void ConsoleUi::SleepOneSecond() { os::Sleep(1000); }

}  // namespace sproutsmith::app
