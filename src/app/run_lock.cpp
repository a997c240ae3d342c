#include "app/run_lock.h"

#include <filesystem>

#include "app/exit_status.h"
#include "platform/dmapi/installation.h"

namespace sproutsmith::app {

std::string RunLock::StderrText() const {
  return refusal + "\nOutcome: " + OutcomeWord(exit_status) + " (exit " +
         std::to_string(exit_status) + "). No log or report was written.\n";
}

RunLock TakeRunLock(const os::Environment& env) {
  const std::string config = std::filesystem::absolute(dmapi::DefaultConfigPath(env)).string();
  const std::string computer = env.ComputerName();
  RunLock run{os::InstanceLock::Take(config, computer)};
  const std::string where = "the DM installation " + config + " on computer " + computer;
  switch (run.lock.state()) {
    case os::InstanceLock::State::kHeld:
      break;
    case os::InstanceLock::State::kHeldElsewhere: {
      const std::string who =
          run.lock.holder() > 0 ? " (process " + std::to_string(run.lock.holder()) + ")" : "";
      run.refusal = "Error: another Sproutsmith run" + who + " is using " + where +
                    "; this run stops without doing anything";
      run.exit_status = kExitAlreadyRunning;
      break;
    }
    case os::InstanceLock::State::kUnavailable:
      run.refusal = "Error: no lock file can keep a second run off " + where + " (" +
                    run.lock.error() + "); this run stops without doing anything";
      run.exit_status = kExitFailed;
      break;
  }
  return run;
}

}  // namespace sproutsmith::app
