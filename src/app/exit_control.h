#pragma once
// The Exit button and the window's close request. A click reaches a running cycle only
// through the flags: a running cycle is cancelled (it stops at its next check), the loop
// delay is cut short, and otherwise the program ends through `program_end`.

#include <functional>

#include "app/main_window_model.h"
#include "log/context.h"

namespace sproutsmith::app {

enum class ExitAction { kCancelCycle, kCloseWindow, kEndLoopDelay };
enum class CloseAction { kCancelCycle, kProgramEnd, kExitLoopDelay };

// Pure decisions over the flags.
ExitAction ExitButtonAction(const runtime::RunState& state);
CloseAction CloseRequestAction(const runtime::RunState& state);

// Button_Exit: cancels the cycle, closes the window (WindowCloseRequest) or ends the loop
// delay. Returns what it did.
ExitAction ExitButtonClick(Context& context, MainWindowModel& window,
                           const std::function<void()>& program_end);
// The window's close box. Only kProgramEnd calls `program_end`; after it the process ends.
CloseAction WindowCloseRequest(Context& context, MainWindowModel& window,
                               const std::function<void()>& program_end);

}  // namespace sproutsmith::app
