// The sproutsmith program. Headless for now: no window, no message boxes; progress on
// stderr when it is a terminal. The DM installation comes from the environment
// (SPROUTSMITH_DM), never from the command line, whose switches are substring tests.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/console_ui.h"
#include "app/dm_seam.h"
#include "app/dm_session_seam.h"
#include "app/engine.h"
#include "app/run_summary.h"
#include "platform/os/clock.h"
#include "platform/os/environment.h"
#include "platform/os/program_launcher.h"
#include "platform/os/settings_store.h"

int main(int argc, char** argv) {
  using namespace sproutsmith;
  app::EngineParts parts;
  parts.clock = std::make_unique<os::SystemClock>();
  parts.settings = std::make_unique<os::SettingsStore>(os::SettingsStore::DefaultFolder());
  parts.ui = std::make_unique<app::ConsoleUi>(app::ConsoleUi::ForProcess());
  // The DM installation: SPROUTSMITH_DM, else the per-user one (made as a demo on first use).
  app::InstallationChoice installation = app::OpenDmInstallation(*parts.clock);
  if (!installation.created_demo.empty()) {
    std::cerr << "Created the demo DM installation in " << installation.created_demo << std::endl;
  }
  const std::string computer = os::ComputerName();
  parts.make_dm = [&](Context& context) -> std::unique_ptr<app::DmSeam> {
    return std::make_unique<app::DmSessionSeam>(context, std::move(installation.client),
                                                installation.problem, computer);
  };
  parts.launcher = std::make_unique<os::SystemLauncher>();
  parts.environment = std::make_unique<os::SystemEnvironment>();

  // Run: start-up, the "/G" cycle, then program end at once. A console has no window to
  // wait in, so "Waiting for user input" is logged and the program ends as a closed window.
  app::Engine engine(std::move(parts));
  const int code = engine.Run(std::vector<std::string>(argv + 1, argv + argc));
  // An unattended run shows no boxes, but a failed start must still say why.
  if (code != app::kExitFinished && !engine.FailureMessage().empty() &&
      !engine.FailureMessageShown()) {
    std::cerr << engine.FailureMessage() << std::endl;
  }
  // A cycle's outcome per rule, for whoever started the run (a script, a timer).
  if (engine.state().Unattended()) {
    const std::string& log = engine.log().DatedLogFile();
    std::cerr << app::RunSummary(engine.options(),
                                 log.empty() ? engine.log().CurrentDatedLogFile() : log);
  }
  return app::RunExitCode(code, engine.options());
}
