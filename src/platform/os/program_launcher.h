#pragma once
// Starting other programs without waiting for them: the text viewer for the log and the
// read-me, and the screen locker. Behind an interface so tests record the launches instead
// of opening viewers.

#include <sys/types.h>

#include <string>
#include <vector>

namespace sproutsmith::os {

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Starts `program` with `args` and returns at once. The Windows viewers the product names
  // ("NotePad.exe", "iexplore.exe", any letter case) stand for the desktop's default viewer.
  // Returns false when the program could not be started (not found, spawn failed).
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args) = 0;
  // The desktop's default viewer (also the browser); "" when there is none.
  virtual std::string DefaultViewer() const = 0;
};

// posix_spawn from the PATH; the default viewer is xdg-open. Children are reaped when they
// have finished, at the next start and when the launcher goes away, never waited for.
class SystemLauncher final : public ProgramLauncher {
 public:
  SystemLauncher() = default;
  SystemLauncher(const SystemLauncher&) = delete;
  SystemLauncher& operator=(const SystemLauncher&) = delete;
  ~SystemLauncher() override;

  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override;
  std::string DefaultViewer() const override;

 private:
  void ReapFinished();
  std::vector<pid_t> children_;
};

// The full path of `program` found on $PATH (or `program` itself when it holds a "/" and is
// executable); "" when not found.
std::string FindOnPath(const std::string& program);

// Locks the screen (loginctl lock-session) when the desktop offers it. Never fails the
// caller: a machine without a session locker simply stays unlocked.
void LockWorkstation(ProgramLauncher& launcher);

// Blocks the calling thread.
void Sleep(int milliseconds);

}  // namespace sproutsmith::os
