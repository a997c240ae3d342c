#include "app/console_ui.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <iostream>

#include "platform/os/program_launcher.h"
#include "text/text.h"

namespace sproutsmith::app {

using runtime::Answer;
using runtime::CycleProgress;
using runtime::MessageStyle;

namespace {

// Back to the line's start and erase it.
constexpr char kClearLine[] = "\r\033[K";
// Often enough to look live, rarely enough not to cost the rows time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Minutes(double seconds) {
  const long long whole = std::llround(seconds);
  const long long s = whole % 60;
  return text::Number(whole / 60) + ":" + (s < 10 ? "0" : "") + text::Number(s);
}

}  // namespace

std::string ProgressLineText(const CycleProgress& p, double seconds) {
  std::string line = p.library + " - " + p.rule + ": " + text::Number(p.rows_read) + " of " +
                     text::Number(p.rows_selected) + " rows, " + text::Number(p.folders_added) +
                     " folder(s)";
  if (p.rows_read <= 0 || seconds <= 0) return line;
  line += ", " + text::Number(std::llround(p.folders_added / seconds)) + " folders/s";
  if (p.rows_read >= p.rows_selected) return line + ", done in " + Minutes(seconds);
  const double left = seconds * (p.rows_selected - p.rows_read) / p.rows_read;
  return line + ", " + Minutes(left) + " left";
}

ConsoleUi::ConsoleUi(std::istream& in, std::ostream& err, bool in_is_terminal, bool err_is_terminal)
    : in_(in), err_(err), in_is_terminal_(in_is_terminal), err_is_terminal_(err_is_terminal) {}

ConsoleUi ConsoleUi::ForProcess() {
  ConsoleUi ui(std::cin, std::cerr, ::isatty(STDIN_FILENO) == 1, ::isatty(STDERR_FILENO) == 1);
  winsize size{};
  if (ui.err_is_terminal_ && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) {
    ui.columns_ = size.ws_col;
  }
  return ui;
}

void ConsoleUi::Progress(const CycleProgress& progress) {
  if (!err_is_terminal_) return;
  const SteadyClock::time_point now = SteadyClock::now();
  if (progress.step == CycleProgress::Step::kRuleStarts) rule_started_ = now;
  progress_ = progress;
  switch (progress.step) {
    case CycleProgress::Step::kRuleStarts:
      break;
    case CycleProgress::Step::kRows:
      // Nothing selected, nothing to show; the rule's first rows and then a few times a second.
      if (progress.rows_selected > 0 && (!line_open_ || now - drawn_at_ >= kRedrawInterval)) {
        DrawProgressLine();
      }
      break;
    case CycleProgress::Step::kRuleEnds:
    case CycleProgress::Step::kCycleEnds:
      if (line_open_) {
        DrawProgressLine();  // the rule's last count
        err_ << std::endl;
        line_open_ = false;
      }
      break;
  }
}

void ConsoleUi::DrawProgressLine() {
  const std::chrono::duration<double> seconds = SteadyClock::now() - rule_started_;
  std::string line = ProgressLineText(progress_, seconds.count());
  if (columns_ > 1 && line.size() >= static_cast<size_t>(columns_)) {
    line.resize(static_cast<size_t>(columns_ - 1));
  }
  err_ << kClearLine << line << std::flush;
  line_open_ = true;
  drawn_at_ = SteadyClock::now();
}

void ConsoleUi::ClearProgressLine() {
  if (line_open_) err_ << kClearLine;
}

void ConsoleUi::RedrawProgressLine() {
  if (line_open_) DrawProgressLine();
}

Answer ConsoleUi::Ask(const std::string& text, bool with_cancel) {
  // A question stands on its own line; the next row draws the progress line again.
  if (line_open_) {
    err_ << kClearLine;
    line_open_ = false;
  }
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
      ClearProgressLine();
      err_ << text << std::endl;
      RedrawProgressLine();
      break;
    case MessageStyle::kInformation:
      if (err_is_terminal_) {
        ClearProgressLine();
        err_ << text << std::endl;
        RedrawProgressLine();
      }
      break;
  }
  return Answer::kNone;
}

void ConsoleUi::StatusChanged(const std::string& text) {
  if (!err_is_terminal_ || text.empty()) return;
  ClearProgressLine();
  err_ << text << std::endl;
  RedrawProgressLine();
}

void ConsoleUi::Notice(const std::string& text) { err_ << text << std::endl; }

void ConsoleUi::SleepOneSecond() { os::Sleep(1000); }

}  // namespace sproutsmith::app
