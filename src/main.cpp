// The sproutsmith program, headless: no window, no message boxes; progress on stderr when it
// is a terminal. Started without /G on a desktop, it becomes the window program instead. The DM
// installation comes from the environment (SPROUTSMITH_DM), never from the command line, whose
// switches are substring tests.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_ui.h"
#include "app/desktop_handover.h"
#include "app/engine.h"
#include "app/exit_status.h"
#include "app/program_parts.h"
#include "app/run_lock.h"
#include "app/run_summary.h"
#include "platform/os/build_version.h"
#include "platform/os/cancel_signal.h"
#include "platform/os/environment.h"

int main(int argc, char** argv) {
  using namespace sproutsmith;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (os::VersionRequested(args)) {
    std::cout << os::VersionLine("sproutsmith") << std::endl;
    return app::kExitFinished;
  }
  if (app::HelpRequested(argc, argv)) {
    std::cout << app::HelpText(std::filesystem::path(argv[0]).filename().string());
    return app::kExitFinished;
  }
  {
    const os::SystemEnvironment env;
    const std::string window = app::WindowProgramFor(args, env);
    if (!window.empty()) {
      ::execv(window.c_str(), argv);
      std::cerr << "Warning: " << window << " could not be started (" << std::strerror(errno)
                << "); going on without a window" << std::endl;
    }
  }
  // A service stop or Ctrl+C cancels the way the Exit button does; a second one ends at once.
  os::CancelSignal::Install();

  auto env = std::make_unique<os::SystemEnvironment>();
  // Before the installation is opened or made: a second run must not even create the demo.
  // Held until the process ends, after the engine's own ending.
  const app::RunLock run_lock = app::TakeRunLock(*env);
  if (!run_lock.taken()) {
    std::cerr << run_lock.StderrText();
    return run_lock.exit_status;
  }
  app::EngineParts parts = app::SystemEngineParts(
      std::move(env), std::make_unique<app::ConsoleUi>(app::ConsoleUi::ForProcess()), args);
  parts.stop_requested = [] { return os::CancelSignal::Requested(); };

  // Run: start-up, the "/G" cycle, then program end at once. A console has no window to
  // wait in: the program ends as a closed window would.
  app::Engine engine(std::move(parts));
  app::WatchLog(engine.log());
  const int status = engine.Run(args);
  // An unattended run shows no boxes, but a failed start must still say why.
  if (status == app::kExitFailed) std::cerr << app::FailedStartText(engine);
  // For whoever started the run (a script, a timer): what each rule did, and the outcome.
  const app::SummaryFacts facts = app::SummaryFactsOf(engine);
  std::cerr << (engine.state().Unattended() ? app::RunSummary(facts)
                                            : app::OutcomeLine(facts) + "\n");
  return status;
}
