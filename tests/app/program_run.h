#pragma once
// The real sproutsmith program as a child process, with an installation, settings and temp
// folder of its own, as cron or a service manager starts it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace sproutsmith::app {

struct ProgramSetting {
  std::string config;    // SPROUTSMITH_DM
  std::string home;      // settings in home/config, log and report in home/temp
  std::string computer;  // COMPUTERNAME ("" keeps the host's)
};

// Starts the program with `args`; its process id (0 when it could not start). Its stderr is
// appended to home/stderr.txt.
inline pid_t StartProgram(const ProgramSetting& setting, const std::vector<std::string>& args) {
  namespace fs = std::filesystem;
  fs::create_directories(setting.home + "/config");
  fs::create_directories(setting.home + "/temp");
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const char* name :
         {"SPROUTSMITH_DM=", "XDG_CONFIG_HOME=", "TEMP=", "TMPDIR=", "COMPUTERNAME="}) {
      replaced = replaced || entry.rfind(name, 0) == 0;
    }
    if (!replaced) env.push_back(entry);
  }
  env.push_back("SPROUTSMITH_DM=" + setting.config);
  env.push_back("XDG_CONFIG_HOME=" + setting.home + "/config");
  env.push_back("TEMP=" + setting.home + "/temp");
  if (!setting.computer.empty()) env.push_back("COMPUTERNAME=" + setting.computer);
  std::vector<std::string> argv = {SPROUTSMITH_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  auto pointers = [](std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
  };
  std::vector<char*> c_argv = pointers(argv);
  std::vector<char*> c_env = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string err = setting.home + "/stderr.txt";
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, c_argv[0], &actions, nullptr, c_argv.data(), c_env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

// The exit status of a started program; -1 when it did not start or did not end normally
// (a signal ended it).
inline int WaitProgram(pid_t pid) {
  int status = 0;
  if (pid == 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs the program to its end; its exit status.
inline int RunProgram(const ProgramSetting& setting, const std::vector<std::string>& args) {
  return WaitProgram(StartProgram(setting, args));
}

// The day's log the program writes in home/temp ("" before it has one).
inline std::string ProgramLog(const ProgramSetting& setting) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(setting.home + "/temp", ec)) {
    if (entry.path().extension() == ".LOG") return entry.path().string();
  }
  return "";
}

}  // namespace sproutsmith::app
