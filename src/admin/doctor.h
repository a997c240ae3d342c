#pragma once
// The checks an installation should pass before the program is scheduled: the DM client's
// configuration, each library as the configured user reaches it (and its rule tables and
// rules), the log folder, and the General settings. Nothing is written but a file the log
// folder check creates and removes again.

#include <string>
#include <vector>

#include "platform/os/environment.h"
#include "platform/os/settings_store.h"

namespace sproutsmith::admin {

struct DoctorCheck {
  bool ok = false;
  std::string what;  // what was checked, for "OK   <what>" or "FAIL <what>: <fix>"
  std::string fix;   // why it failed and what to do (only when not ok)
};

// `log_file` is the program's log file (the LogFile setting, else the default).
std::vector<DoctorCheck> RunDoctorChecks(const os::Environment& env,
                                         const os::SettingsStore& settings,
                                         const std::string& product, const std::string& log_file);

}  // namespace sproutsmith::admin
