#pragma once
// The real sproutsmith program as a child process, started the way a timer or an operator
// starts it: a computer name, a DM installation, per-user settings and a temporary folder
// of its own (the test process's other variables are kept).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace sproutsmith::app {

// Starts `program` with `args` and exactly the environment `env` ("NAME=value" each), stderr
// at the end of `err`, stdout in `out` and stdin from `in` when they are given. Its process id;
// 0 when it could not start.
inline pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                          std::vector<std::string> env, const std::string& err,
                          const std::string& out = "", const std::string& in = "") {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  auto pointers = [](std::vector<std::string>& texts) {
    std::vector<char*> c;
    for (std::string& t : texts) c.push_back(t.data());
    c.push_back(nullptr);
    return c;
  };
  std::vector<char*> c_argv = pointers(argv);
  std::vector<char*> c_env = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (!out.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!in.empty()) posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, c_argv[0], &actions, nullptr, c_argv.data(), c_env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

// The test process's environment for a program run as `computer` ("" keeps the environment's,
// or the host's name): SPROUTSMITH_DM names `config` (unset when ""), XDG_CONFIG_HOME is
// home/config and TEMP home/temp, both made now.
inline std::vector<std::string> ProgramEnvironment(const std::string& computer,
                                                   const std::string& config,
                                                   const std::string& home) {
  std::filesystem::create_directories(home + "/config");
  std::filesystem::create_directories(home + "/temp");
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = !computer.empty() && entry.starts_with("COMPUTERNAME=");
    for (const char* name : {"SPROUTSMITH_DM=", "XDG_CONFIG_HOME=", "TEMP=", "TMPDIR="}) {
      replaced = replaced || entry.starts_with(name);
    }
    if (!replaced) env.push_back(entry);
  }
  if (!config.empty()) env.push_back("SPROUTSMITH_DM=" + config);
  env.push_back("XDG_CONFIG_HOME=" + home + "/config");
  env.push_back("TEMP=" + home + "/temp");
  if (!computer.empty()) env.push_back("COMPUTERNAME=" + computer);
  return env;
}

// Starts SPROUTSMITH_PROGRAM in that environment with `switches`, stderr at the end of `err`
// (home/stderr.txt when ""). Its process id; 0 when it could not start.
inline pid_t StartProgram(const std::string& computer, const std::string& config,
                          const std::string& home, const std::vector<std::string>& switches,
                          std::string err = "") {
  if (err.empty()) err = home + "/stderr.txt";
  return SpawnProgram(SPROUTSMITH_PROGRAM, switches, ProgramEnvironment(computer, config, home),
                      err);
}

// The exit status of a started program (-1 when it did not start or end normally).
inline int WaitProgram(pid_t pid) {
  int status = 0;
  if (pid == 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs the program to its end; its exit status.
inline int RunProgram(const std::string& computer, const std::string& config,
                      const std::string& home, const std::vector<std::string>& switches) {
  return WaitProgram(StartProgram(computer, config, home, switches));
}

// Whether `ready` came to hold within `limit`, asked every `every`.
inline bool WaitUntil(const std::function<bool()>& ready,
                      std::chrono::milliseconds limit = std::chrono::minutes(1),
                      std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(every);
  }
  return true;
}

// The files of one extension in `folder`, by name.
inline std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& ext) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ext) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The day's log the program writes in home/temp ("" before it has one).
inline std::string ProgramLog(const std::string& home) {
  const std::vector<std::string> logs = FilesEndingIn(home + "/temp", ".LOG");
  return logs.empty() ? "" : logs.front();
}

// The reports of the runs that wrote in home/temp, oldest first.
inline std::vector<std::string> ProgramReports(const std::string& home) {
  return FilesEndingIn(home + "/temp", ".json");
}

}  // namespace sproutsmith::app
