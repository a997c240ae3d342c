#pragma once
// A FileSystem that passes every call to another one and can make chosen operations fail,
// so tests can prove that a log on a full disk, or a file that will not go away, is
// reported and the run still ends as it should.
//
// Opens, writes (every Write of an open file and every Append), removes, copies and
// replacements are counted, each kind on its own. A failing call is not passed on at all:
// nothing reaches the disk, and the call answers a failure (or no file) with the armed
// reason.

#include <memory>
#include <string>
#include <vector>

#include "platform/os/file_system.h"

namespace sproutsmith::os {

class FailingFileSystem final : public FileSystem {
 public:
  enum class Operation { kOpen, kWrite, kRemove, kCopy, kReplace };
  // What a full disk answers a write.
  static constexpr char kDiskFull[] = "No space left on device";

  explicit FailingFileSystem(
      std::unique_ptr<FileSystem> inner = std::make_unique<SystemFileSystem>());

  // Restarts the operation's count and fails its `n`th call (1-based) with `reason`; with
  // `and_every_later` every later call fails too, as a disk that stays full does. n <= 0
  // lets the operation through again.
  void Fail(Operation operation, long n, bool and_every_later = true,
            std::string reason = kDiskFull);
  // Restarts every count and lets everything through.
  void Disarm();

  // Calls of the operation counted since it was last armed or disarmed.
  long calls(Operation operation) const { return Of(operation).calls; }
  long failures() const { return failures_; }
  // What each call was ("Write /path", "Remove /path", ...), in order, "FAILED " before
  // the failed ones: a failing test prints it.
  const std::vector<std::string>& call_log() const { return call_log_; }

  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, std::string* error) override;
  bool Exists(const std::string& path) const override { return inner_->Exists(path); }
  Status Remove(const std::string& path) override;
  Status Copy(const std::string& from, const std::string& to) override;
  Status Replace(const std::string& path, std::string_view text) override;

 private:
  struct Arming {
    long fail_at = 0;
    bool later = false;
    std::string reason;
    long calls = 0;
  };
  class File;

  const Arming& Of(Operation operation) const { return armed_[static_cast<int>(operation)]; }
  // Counts one call; the armed failure when it is to fail, else success.
  Status Fails(Operation operation, const std::string& what);

  std::unique_ptr<FileSystem> inner_;
  Arming armed_[5];
  long failures_ = 0;
  std::vector<std::string> call_log_;
};

}  // namespace sproutsmith::os
