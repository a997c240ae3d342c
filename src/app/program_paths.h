#pragma once
// The files start-up derives from the machine: the temp folder, the default log file and
// the read-me. Paths use "/".

#include <string>

#include "platform/os/environment.h"

namespace sproutsmith::app {

inline constexpr const char* kReadmeName = "Arborline_SproutRun_Readme.txt";

// folder + "/" + name (no doubled "/").
std::string JoinPath(const std::string& folder, const std::string& name);
// $LOGS_DIRECTORY (a systemd unit's log folder), else TEMP, else TMPDIR, else the program
// folder.
std::string TempFolder(const os::Environment& env, const std::string& program_folder);
// The log file when none is configured: the temp folder + "/" + product name + ".LOG".
std::string DefaultLogFile(const std::string& temp_folder, const std::string& product_name);

}  // namespace sproutsmith::app
