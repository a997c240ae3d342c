#include "app/program_paths.h"

#include <string_view>

namespace sproutsmith::app {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string TempFolder(const os::Environment& env, const std::string& program_folder) {
  // systemd sets LOGS_DIRECTORY only for a unit that asks for a log folder of its own: the
  // service's choice comes first, and a service has neither TEMP nor a writable program folder.
  for (const char* variable : {"LOGS_DIRECTORY", "TEMP", "TMPDIR"}) {
    std::string value = env.Variable(variable);
    // systemd joins several folders with ":"; the first is the unit's own.
    if (variable == std::string_view("LOGS_DIRECTORY")) value = value.substr(0, value.find(':'));
    if (!value.empty()) return value;
  }
  return program_folder;
}

std::string DefaultLogFile(const std::string& temp_folder, const std::string& product_name) {
  return JoinPath(temp_folder, product_name + "." + "LOG");
}

}  // namespace sproutsmith::app
