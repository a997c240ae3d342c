#include "platform/os/environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace sproutsmith::os {
namespace {

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}

}  // namespace

std::string GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? "" : value;
}

std::string ProgramFolder() {
  const std::filesystem::path exe = ExecutablePath();
  if (exe.empty() || !exe.has_parent_path()) return ".";
  return exe.parent_path().string();
}

std::string ExecutableName() {
  const std::filesystem::path exe = ExecutablePath();
  return exe.empty() ? "sproutsmith" : exe.filename().string();
}

std::string ComputerName() {
  // gethostname may leave the name without its NUL when it is cut short.
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  name[sizeof name - 1] = '\0';
  return std::string(name);
}

std::string SystemEnvironment::Variable(const std::string& name) const { return GetEnv(name); }
std::string SystemEnvironment::ProgramFolder() const { return os::ProgramFolder(); }
std::string SystemEnvironment::ExecutableName() const { return os::ExecutableName(); }
// COMPUTERNAME, as Windows sets it, names this computer to the others when it is set
// (several "computers" on one machine); else the host name.
std::string SystemEnvironment::ComputerName() const {
  if (std::string named = GetEnv("COMPUTERNAME"); !named.empty()) return named;
  return os::ComputerName();
}
std::string SystemEnvironment::RegistryValue(const std::string&) const { return ""; }

}  // namespace sproutsmith::os
