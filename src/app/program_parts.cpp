#include "app/program_parts.h"

#include <iostream>

#include "app/command_line.h"
#include "platform/os/clock.h"
#include "platform/os/program_launcher.h"
#include "platform/os/settings_store.h"

namespace sproutsmith::app {

EngineParts SystemEngineParts(std::unique_ptr<os::Environment> env, std::unique_ptr<runtime::Ui> ui,
                              const std::vector<std::string>& args) {
  EngineParts parts;
  parts.clock = std::make_unique<os::SystemClock>();
  parts.settings = std::make_unique<os::SettingsStore>(os::SettingsStore::DefaultFolder(*env));
  parts.ui = std::move(ui);
  parts.installation = OpenDmInstallation(*parts.clock, *env, !UnattendedArguments(args));
  parts.computer_name = env->ComputerName();
  parts.launcher = std::make_unique<os::SystemLauncher>();
  parts.environment = std::move(env);
  return parts;
}

void WatchLog(log::Log& log) {
  log.OnWriteFailure([](const std::string& why) {
    std::cerr << "Warning: the log cannot be written, its lines are lost: " << why << std::endl;
  });
  log.StartLateWriter();
}

}  // namespace sproutsmith::app
