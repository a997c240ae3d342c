#pragma once
// What both programs (the headless sproutsmith and sproutsmith-window) build their engine from.

#include <memory>
#include <string>
#include <vector>

#include "app/engine.h"
#include "platform/os/environment.h"
#include "runtime/ui.h"

namespace sproutsmith::app {

// The system's clock, launcher and environment, the per-user settings, this computer's name,
// and the DM installation, a demo made first on a start that is not unattended (said on
// stderr). REQUIRES: the run lock is held, so a second run never makes a demo too.
EngineParts SystemEngineParts(std::unique_ptr<os::Environment> env, std::unique_ptr<runtime::Ui> ui,
                              const std::vector<std::string>& args);

// A log that cannot be written says so on stderr; its lines reach the file within a second,
// even while one statement runs for long.
void WatchLog(log::Log& log);

}  // namespace sproutsmith::app
