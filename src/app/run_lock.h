#pragma once
// One engine run per DM installation and computer: two runs at once (a timer's and a manual
// one) would each take the other's running-node rows for their own and build the same
// rules side by side. The programs that run the engine take this lock before they open, or
// create, the installation and keep it until they end; the admin and DM tools do not.

#include <string>

#include "platform/os/environment.h"
#include "platform/os/instance_lock.h"

namespace sproutsmith::app {

struct RunLock {
  os::InstanceLock lock;
  // Why this run must stop at once, one line starting "Error: " ("" when the lock is held).
  std::string refusal;
  // kExitAlreadyRunning, or kExitFailed when no lock file could be opened.
  int exit_status = 0;

  bool taken() const { return refusal.empty(); }
  // What the refused run prints on stderr: the refusal and an outcome line.
  std::string StderrText() const;
};

// The lock of the installation dmapi::DefaultConfigPath(env) names, for env.ComputerName().
RunLock TakeRunLock(const os::Environment& env);

}  // namespace sproutsmith::app
