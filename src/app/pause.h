#pragma once
// The daily pause window and the keys of the main window. The pause check holds the cycle
// one second at a time (Ui::SleepOneSecond, then the yield point) while the clock is inside
// the window, so the Exit button and Esc reach it through the flags.

#include <string>
#include <string_view>

#include "app/main_window_model.h"
#include "log/context.h"

namespace sproutsmith::app {

// A time box's text as "HH:MM": "12:3" gives "12:30", "9:30" gives "09:30", "1230" gives
// "12:30". An empty text stays empty; a text that is no time of day comes back unchanged
// (apart from the padding), so it never matches the clock.
std::string NormalizeTimeText(std::string_view text);

// Whether the time `now` ("HH:MM") lies in the window from `start` to `end` (both "HH:MM",
// compared as text). A start that is not before the end makes a window across midnight.
bool InsidePauseWindow(const std::string& now, const std::string& start, const std::string& end);

// CheckForPause: returns at once when CheckPauseTime is off, the times are wrong (the timer
// is switched off with a warning), today's weekday is not a pause day, or the clock is
// outside the window; otherwise waits until the clock leaves it, a cancel is requested (the
// timer is switched off) or the operator unticks CheckPauseTime.
void CheckForPause(Context& context, MainWindowModel& window);

enum class WindowKey { kEscape, kShiftInsert, kPlus, kMinus };

// A key pressed in the main window (which sees keys before its controls). Esc cancels a
// running cycle as the Exit button does, or ends the loop delay; Shift+Insert toggles the
// options lock; "+" and "-" change the results list's font size.
void PressKey(Context& context, MainWindowModel& window, WindowKey key);

// Shows the status label's text without logging it (captions that change every second).
void ShowStatusLabel(Context& context, const std::string& text);

}  // namespace sproutsmith::app
