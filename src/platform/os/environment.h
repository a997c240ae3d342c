#pragma once
// Facts about the machine and the process that start-up reads: environment variables, the
// program's own folder, the computer's name, and the Windows registry values of the DM
// client. Production uses SystemEnvironment; tests use FixedEnvironment.

#include <map>
#include <string>

namespace sproutsmith::os {

class Environment {
 public:
  virtual ~Environment() = default;
  // The variable's value; "" when it is not set.
  virtual std::string Variable(const std::string& name) const = 0;
  // The folder of the running executable, without a trailing "/".
  virtual std::string ProgramFolder() const = 0;
  // The executable's file name.
  virtual std::string ExecutableName() const = 0;
  virtual std::string ComputerName() const = 0;
  // A value of the Windows registry ("HKEY_LOCAL_MACHINE\...\Name"). This platform has no
  // registry, so the system answers "" like a machine without the DM client.
  virtual std::string RegistryValue(const std::string& key) const = 0;
};

class SystemEnvironment final : public Environment {
 public:
  std::string Variable(const std::string& name) const override;
  std::string ProgramFolder() const override;
  std::string ExecutableName() const override;
  std::string ComputerName() const override;
  std::string RegistryValue(const std::string& key) const override;
};

// Everything given in advance.
class FixedEnvironment final : public Environment {
 public:
  std::string Variable(const std::string& name) const override { return Find(variables, name); }
  std::string ProgramFolder() const override { return program_folder; }
  std::string ExecutableName() const override { return executable_name; }
  std::string ComputerName() const override { return computer_name; }
  std::string RegistryValue(const std::string& key) const override { return Find(registry, key); }

  std::map<std::string, std::string> variables;
  std::map<std::string, std::string> registry;
  std::string program_folder = ".";
  std::string executable_name = "sproutsmith";
  std::string computer_name = "TESTHOST";

 private:
  static std::string Find(const std::map<std::string, std::string>& m, const std::string& k) {
    const auto it = m.find(k);
    return it == m.end() ? "" : it->second;
  }
};

// The process's own answers, for callers without an Environment at hand.
std::string GetEnv(const std::string& name);
// The folder of /proc/self/exe; "." when it cannot be read.
std::string ProgramFolder();
std::string ExecutableName();
// gethostname, cut at the first NUL, at most 255 characters; "" when unknown.
std::string ComputerName();

}  // namespace sproutsmith::os
