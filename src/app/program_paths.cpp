#include "app/program_paths.h"

namespace sproutsmith::app {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string TempFolder(const os::Environment& env, const std::string& program_folder) {
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    const std::string value = env.Variable(variable);
    if (!value.empty()) return value;
  }
  return program_folder;
}

std::string DefaultLogFile(const std::string& temp_folder, const std::string& product_name) {
  return JoinPath(temp_folder, product_name + "." + "LOG");
}

}  // namespace sproutsmith::app
