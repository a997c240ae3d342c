#pragma once
// What every engine subsystem is handed: the clock, the per-user settings, the window (Ui),
// the run state and options, the identity strings and the log. Owned by the Engine; a test
// builds two engines in one process to play two computers.

#include "log/log.h"
#include "platform/os/clock.h"
#include "platform/os/settings_store.h"
#include "runtime/identity.h"
#include "runtime/message.h"
#include "runtime/options.h"
#include "runtime/run_state.h"
#include "runtime/ui.h"

namespace sproutsmith {

struct Context {
  const os::Clock& clock;
  os::SettingsStore& settings;
  runtime::Ui& ui;
  runtime::RunState& state;
  runtime::Options& options;
  runtime::Identity& identity;
  log::Log& log;

  runtime::Answer ShowMessage(const std::string& message, runtime::MessageStyle style) {
    return runtime::ShowMessage(ui, state, identity, message, style);
  }
  // Error boxes of the processing cycle and its operations: only with CheckDisplayErrors and
  // without "/G".
  bool ShowsErrors() const { return options.CheckDisplayErrors != 0 && !state.HasSwitch("/G"); }
};

}  // namespace sproutsmith
