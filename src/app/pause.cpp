#include "app/pause.h"

#include <cctype>

#include "app/exit_control.h"
#include "text/text.h"

namespace sproutsmith::app {
namespace {

using text::Format;

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string PadRight(std::string s, size_t length) {
  while (s.size() < length) s += '0';
  return s;
}

// Hour and minute of a normalised "HH:MM" text; false when it is no time of day.
bool ParseTime(const std::string& s, int* hour, int* minute) {
  if (s.size() != 5 || s[2] != ':' || !AllDigits(s.substr(0, 2)) || !AllDigits(s.substr(3))) {
    return false;
  }
  *hour = std::stoi(s.substr(0, 2));
  *minute = std::stoi(s.substr(3));
  return *hour < 24 && *minute < 60;
}

std::string AmPm(const std::string& time) {
  int hour = 0, minute = 0;
  if (!ParseTime(time, &hour, &minute)) return time;
  return Format(text::DateTime{1899, 12, 30, hour, minute, 0, 0}, "HH:MM ampm");
}

bool PauseDayToday(const Context& context, const MainWindowModel& window) {
  const std::string today = text::UCase(Format(context.clock.Now(), "DDDD"));
  for (const CheckNode& day : window.TVPause) {
    // A locale whose day names differ from the nodes finds none: every day pauses.
    if (text::UCase(day.text) == today) return day.checked;
  }
  return true;
}

}  // namespace

std::string NormalizeTimeText(std::string_view input) {
  const std::string s = text::Trim(input);
  if (s.empty()) return s;
  std::string hour, minute;
  const size_t colon = s.find(':');
  if (colon != std::string::npos) {
    // Cutting at the colon keeps "9:30" at half past nine; padding the minutes on the right
    // makes "12:3" half past twelve.
    hour = s.substr(0, colon);
    minute = PadRight(s.substr(colon + 1, 2), 2);
  } else {
    const std::string digits = PadRight(s.substr(0, 4), 4);
    hour = digits.substr(0, 2);
    minute = digits.substr(2, 2);
  }
  if (!AllDigits(hour) || hour.size() > 2 || !AllDigits(minute)) return s;
  const std::string result = Format(text::Val(hour), "00") + ":" + Format(text::Val(minute), "00");
  int h = 0, m = 0;
  return ParseTime(result, &h, &m) ? result : s;
}

bool InsidePauseWindow(const std::string& now, const std::string& start, const std::string& end) {
  if (start < end) return now >= start && now < end;
  return now >= start || now < end;
}

void ShowStatusLabel(Context& context, const std::string& text) {
  context.options.LabelStatus = text;
  context.ui.StatusChanged(text);
}

void CheckForPause(Context& context, MainWindowModel& window) {
  runtime::Options& options = context.options;
  runtime::RunState& state = context.state;
  if (options.CheckPauseTime != 1) return;
  options.TextPauseEnd = NormalizeTimeText(options.TextPauseEnd);
  options.TextPauseStart = NormalizeTimeText(options.TextPauseStart);
  const std::string& start = options.TextPauseStart;
  const std::string& end = options.TextPauseEnd;
  int h = 0, m = 0;
  // A text that is no time of day would pause at random hours once compared as text.
  const bool wrong = start.empty() != end.empty() || start == end || !ParseTime(start, &h, &m) ||
                     !ParseTime(end, &h, &m);
  if (wrong) {
    context.log.AddLogAndSeparator(
        "Warning: You have enabled the pause timer, but the start and/or end times are not "
        "entered properly. The pause timer will be disabled");
    options.CheckPauseTime = 0;
    return;
  }
  if (!PauseDayToday(context, window)) return;

  bool noticed = false;
  while (options.CheckPauseTime == 1) {
    const std::string now = Format(context.clock.Now(), "HH:MM");
    if (!InsidePauseWindow(now, options.TextPauseStart, options.TextPauseEnd)) break;
    if (!noticed) {
      // A service seems hung for hours otherwise.
      context.ui.Notice("Paused until " + AmPm(options.TextPauseEnd) +
                        " (the pause window of the settings); the cycle goes on then");
      noticed = true;
    }
    context.ui.SetBusy(false);
    ShowStatusLabel(context, "Paused until " + AmPm(options.TextPauseEnd) +
                                 " - Press Cancel or Esc to exit pausing");
    window.ButtonExitCaption = "Cancel";
    window.ButtonExitToolTip = "Exit pausing";
    state.Paused = true;
    context.ui.SleepOneSecond();
    context.ui.Yield();
    if (state.CancelRequested) {
      context.log.AddLogAndSeparator("Pausing canceled at " +
                                     Format(context.clock.Now(), "HH:MM ampm"));
      options.CheckPauseTime = 0;
      break;
    }
  }
  state.Paused = false;
}

void PressKey(Context& context, MainWindowModel& window, WindowKey key) {
  runtime::RunState& state = context.state;
  switch (key) {
    case WindowKey::kEscape:
      if (ExitButtonAction(state) == ExitAction::kCancelCycle) {
        // In this state the Exit button only cancels; it never ends the program.
        ExitButtonClick(context, window, [] {});
      } else if (state.InLoopDelay) {
        state.InLoopDelay = false;
      }
      break;
    case WindowKey::kShiftInsert:
      state.Locked = !state.Locked;
      window.LabelLockedVisible = state.Locked;
      window.OptionsEnabled = !state.Locked;
      break;
    case WindowKey::kPlus:
      if (window.ListResultsFontSize <= 16) window.ListResultsFontSize += 2;
      break;
    case WindowKey::kMinus:
      if (window.ListResultsFontSize >= 8) window.ListResultsFontSize -= 2;
      break;
  }
}

}  // namespace sproutsmith::app
