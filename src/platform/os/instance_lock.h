#pragma once
// One run per DM installation and computer at a time: an advisory write lock (fcntl) on a
// lock file of its own. The kernel lets go of it when the holder ends, however it ends
// (SIGKILL included), so a crash never leaves a stale lock behind. The file holds the
// holder's process id for people to read; a refused process asks the kernel who holds it.
//
// Where the lock file lives: beside the DM configuration file, named
// "<configuration file>.<COMPUTER>.lock" (the configuration's folder is made when missing).
// When no file can be opened there (a read-only /etc), it is
// "sproutsmith-<COMPUTER>-<hash of both>.lock" in the first fallback folder that can hold it.
// COMPUTER is the name in capitals (computers that differ only in case are one computer),
// with every character but letters, digits, "-" and "_" made "_".
//
// REQUIRES: nothing else in the process opens the lock file (POSIX drops a process's fcntl
// locks on a file when any of its descriptors for that file is closed), and a process keeps
// at most one InstanceLock per file: the lock belongs to the process, so a second Take in
// the holding process succeeds as well.

#include <string>
#include <vector>

namespace sproutsmith::os {

class InstanceLock {
 public:
  enum class State {
    kHeld,           // this process holds it until the object goes away
    kHeldElsewhere,  // another process holds it: holder() names it
    kUnavailable,    // no lock file could be opened: error() says why
  };

  // Machine-wide folders ("/run/lock", "/tmp"): the same for a service and for a login
  // session, unlike $XDG_RUNTIME_DIR or $TMPDIR.
  static std::vector<std::string> DefaultFallbackFolders();

  // Tries once and never waits. `config_path` names the DM installation (relative paths and
  // symbolic links are resolved, so every spelling of one file shares one lock).
  static InstanceLock Take(
      const std::string& config_path, const std::string& computer,
      const std::vector<std::string>& fallback_folders = DefaultFallbackFolders());

  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // Lets go of a held lock.
  ~InstanceLock();

  State state() const { return state_; }
  bool held() const { return state_ == State::kHeld; }
  // kHeldElsewhere: the holding process; 0 when the kernel cannot name it (a process of
  // another PID namespace, or one that let go while it was being asked).
  long holder() const { return holder_; }
  // The lock file held or refused; the last one tried when unavailable.
  const std::string& path() const { return path_; }
  // kUnavailable: every file tried and why it could not be opened.
  const std::string& error() const { return error_; }

 private:
  InstanceLock() = default;
  void Lock(int fd);
  void Release();

  State state_ = State::kUnavailable;
  int fd_ = -1;
  long holder_ = 0;
  std::string path_;
  std::string error_;
};

}  // namespace sproutsmith::os
