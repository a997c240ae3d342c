#include "platform/os/program_launcher.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/os/environment.h"
#include "text/text.h"

extern char** environ;

namespace sproutsmith::os {

std::string FindOnPath(const std::string& program) {
  if (program.empty()) return "";
  if (program.find('/') != std::string::npos) {
    return ::access(program.c_str(), X_OK) == 0 ? program : "";
  }
  for (const std::string& folder : text::Split(GetEnv("PATH"), ":")) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

SystemLauncher::~SystemLauncher() { ReapFinished(); }

void SystemLauncher::ReapFinished() {
  std::vector<pid_t> running;
  for (const pid_t pid : children_) {
    if (::waitpid(pid, nullptr, WNOHANG) == 0) running.push_back(pid);
  }
  children_.swap(running);
}

std::string SystemLauncher::DefaultViewer() const { return FindOnPath("xdg-open"); }

bool SystemLauncher::StartProgram(const std::string& program,
                                  const std::vector<std::string>& args) {
  ReapFinished();
  const bool viewer =
      text::EqualsNoCase(program, "NotePad.exe") || text::EqualsNoCase(program, "iexplore.exe");
  const std::string path = viewer ? DefaultViewer() : FindOnPath(program);
  if (path.empty()) return false;

  std::vector<std::string> argv_text{path};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  children_.push_back(pid);
  return true;
}

void LockWorkstation(ProgramLauncher& launcher) {
  launcher.StartProgram("loginctl", {"lock-session"});
}

void Sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace sproutsmith::os
