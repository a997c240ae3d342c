#include "platform/os/instance_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace sproutsmith::os {
namespace {

namespace fs = std::filesystem;

std::string FileNamePart(const std::string& computer) {
  std::string out;
  for (char c : computer) {
    const auto u = static_cast<unsigned char>(c);
    out += std::isalnum(u) != 0 || c == '-' || c == '_' ? static_cast<char>(std::toupper(u)) : '_';
  }
  return out.empty() ? "_" : out;
}

// FNV-1a: stable across builds and runs, which std::hash is not bound to be.
std::string Hash(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

// Opened without O_CREAT first: in a sticky shared folder the kernel may refuse O_CREAT on
// a file another user made, even when its mode lets us write it.
int OpenLockFile(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) *error = path + ": " + std::strerror(errno);
  return fd;
}

}  // namespace

std::vector<std::string> InstanceLock::DefaultFallbackFolders() { return {"/run/lock", "/tmp"}; }

InstanceLock InstanceLock::Take(const std::string& config_path, const std::string& computer,
                                const std::vector<std::string>& fallback_folders) {
  std::error_code ec;
  fs::path config = fs::weakly_canonical(fs::absolute(config_path, ec), ec);
  if (config.empty()) config = fs::path(config_path).lexically_normal();
  const std::string name = FileNamePart(computer);
  std::vector<std::string> candidates = {config.string() + "." + name + ".lock"};
  const std::string hashed =
      "sproutsmith-" + name + "-" + Hash(config.string() + "\n" + name) + ".lock";
  for (const std::string& folder : fallback_folders) {
    candidates.push_back((fs::path(folder) / hashed).string());
  }
  fs::create_directories(config.parent_path(), ec);

  InstanceLock lock;
  for (const std::string& path : candidates) {
    std::string why;
    lock.path_ = path;
    const int fd = OpenLockFile(path, &why);
    if (fd >= 0) {
      lock.error_.clear();
      lock.Lock(fd);
      return lock;
    }
    lock.error_ += (lock.error_.empty() ? "" : "; ") + why;
  }
  return lock;
}

void InstanceLock::Lock(int fd) {
  // Between a refused F_SETLK and F_GETLK the holder may let go; then it is tried again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0) {
      fd_ = fd;
      state_ = State::kHeld;
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
      }
      return;
    }
    if (errno != EACCES && errno != EAGAIN) {
      error_ = path_ + ": " + std::strerror(errno);
      ::close(fd);
      state_ = State::kUnavailable;
      return;
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
      holder_ = probe.l_pid;
      break;
    }
  }
  ::close(fd);
  state_ = State::kHeldElsewhere;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  // The number of a process that has ended would only mislead whoever reads the file.
  [[maybe_unused]] const int emptied = ::ftruncate(fd_, 0);
  ::close(fd_);
  fd_ = -1;
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : state_(other.state_),
      fd_(std::exchange(other.fd_, -1)),
      holder_(other.holder_),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {
  other.state_ = State::kUnavailable;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    Release();
    state_ = std::exchange(other.state_, State::kUnavailable);
    fd_ = std::exchange(other.fd_, -1);
    holder_ = other.holder_;
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
  }
  return *this;
}

InstanceLock::~InstanceLock() { Release(); }

}  // namespace sproutsmith::os
