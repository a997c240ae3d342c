#include "app/exit_control.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

bool CycleCancellable(const runtime::RunState& s) {
  return s.CycleRunning && !s.CancelRequested && !s.InLoopDelay;
}

void CancelCycle(Context& context, MainWindowModel& window) {
  window.LabelStatusColour = kStatusDarkBlue;
  context.state.CycleRunning = false;
  context.state.CancelRequested = true;
  context.ShowMessage(context.state.Paused ? "Pause Canceled" : "Task Canceled",
                      MessageStyle::kInformation);
  window.ButtonExitEnabled = false;
}

}  // namespace

ExitAction ExitButtonAction(const runtime::RunState& state) {
  if (CycleCancellable(state)) return ExitAction::kCancelCycle;
  if (!state.InLoopDelay) return ExitAction::kCloseWindow;
  return ExitAction::kEndLoopDelay;
}

CloseAction CloseRequestAction(const runtime::RunState& state) {
  if (CycleCancellable(state)) return CloseAction::kCancelCycle;
  if (state.InLoopDelay) return CloseAction::kExitLoopDelay;
  return CloseAction::kProgramEnd;
}

ExitAction ExitButtonClick(Context& context, MainWindowModel& window,
                           const std::function<void()>& program_end) {
  const ExitAction action = ExitButtonAction(context.state);
  switch (action) {
    case ExitAction::kCancelCycle:
      CancelCycle(context, window);
      break;
    case ExitAction::kCloseWindow:
      WindowCloseRequest(context, window, program_end);
      break;
    case ExitAction::kEndLoopDelay:
      context.state.InLoopDelay = false;
      break;
  }
  return action;
}

CloseAction WindowCloseRequest(Context& context, MainWindowModel& window,
                               const std::function<void()>& program_end) {
  const CloseAction action = CloseRequestAction(context.state);
  switch (action) {
    case CloseAction::kCancelCycle:
      CancelCycle(context, window);
      break;
    case CloseAction::kProgramEnd:
      program_end();
      break;
    case CloseAction::kExitLoopDelay:
      context.ShowMessage("Loop Delay exited", MessageStyle::kInformation);
      context.state.InLoopDelay = false;
      break;
  }
  return action;
}

}  // namespace sproutsmith::app
