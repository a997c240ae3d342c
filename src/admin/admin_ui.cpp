#include "admin/admin_ui.h"

#include <chrono>
#include <istream>
#include <ostream>
#include <thread>

#include "text/text.h"

namespace sproutsmith::admin {

using runtime::Answer;
using runtime::MessageStyle;

namespace {

// Box texts break lines with CR LF; a terminal wants LF.
std::string Printable(const std::string& text) { return text::Replace(text, "\r\n", "\n"); }

}  // namespace

AdminUi::AdminUi(std::istream& in, std::ostream& out, bool assume_yes, bool ask)
    : in_(in), out_(out), assume_yes_(assume_yes), ask_(ask) {}

Answer AdminUi::MessageBox(const std::string& text, MessageStyle style, const std::string&) {
  out_ << Printable(text) << '\n';
  if (style != MessageStyle::kYesNo && style != MessageStyle::kYesNoCancel) {
    out_.flush();
    return Answer::kNone;
  }
  Answer answer = Answer::kNo;
  if (assume_yes_) {
    out_ << "Yes (--yes)\n";
    answer = Answer::kYes;
  } else if (ask_) {
    out_ << "[y/N] " << std::flush;
    std::string line;
    if (std::getline(in_, line)) {
      const std::string reply = text::UCase(text::Trim(line));
      if (reply == "Y" || reply == "YES") answer = Answer::kYes;
    } else {
      out_ << '\n';
    }
  } else {
    out_ << "No (nobody to ask; --yes answers Yes)\n";
  }
  out_.flush();
  last_answer_ = answer;
  return answer;
}

void AdminUi::SleepOneSecond() { std::this_thread::sleep_for(std::chrono::seconds(1)); }

}  // namespace sproutsmith::admin
