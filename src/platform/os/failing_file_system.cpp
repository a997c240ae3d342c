#include "platform/os/failing_file_system.h"

#include <cerrno>

namespace sproutsmith::os {

// The inner file, with each write asked of the owner first.
class FailingFileSystem::File final : public AppendFile {
 public:
  File(FailingFileSystem& owner, std::string path, std::unique_ptr<AppendFile> inner)
      : owner_(owner), path_(std::move(path)), inner_(std::move(inner)) {}
  Status Write(std::string_view text) override {
    Status failed = owner_.Fails(Operation::kWrite, "Write " + path_);
    return failed.ok() ? inner_->Write(text) : failed;
  }

 private:
  FailingFileSystem& owner_;
  std::string path_;
  std::unique_ptr<AppendFile> inner_;
};

FailingFileSystem::FailingFileSystem(std::unique_ptr<FileSystem> inner)
    : inner_(std::move(inner)) {}

void FailingFileSystem::Fail(Operation operation, long n, bool and_every_later,
                             std::string reason) {
  Arming& arming = armed_[static_cast<int>(operation)];
  arming = Arming{n > 0 ? n : 0, and_every_later, std::move(reason), 0};
}

void FailingFileSystem::Disarm() {
  for (Arming& arming : armed_) arming = Arming{};
}

Status FailingFileSystem::Fails(Operation operation, const std::string& what) {
  Arming& arming = armed_[static_cast<int>(operation)];
  ++arming.calls;
  const bool fails = arming.fail_at > 0 && (arming.calls == arming.fail_at ||
                                            (arming.later && arming.calls > arming.fail_at));
  call_log_.push_back((fails ? "FAILED " : "") + what);
  if (!fails) return Status::Ok();
  ++failures_;
  return Status::Error(ENOSPC, arming.reason);
}

std::unique_ptr<AppendFile> FailingFileSystem::OpenForAppend(const std::string& path,
                                                             std::string* error) {
  if (Status failed = Fails(Operation::kOpen, "Open " + path); !failed.ok()) {
    if (error != nullptr) *error = failed.text;
    return nullptr;
  }
  std::unique_ptr<AppendFile> file = inner_->OpenForAppend(path, error);
  if (!file) return nullptr;
  return std::make_unique<File>(*this, path, std::move(file));
}

Status FailingFileSystem::Remove(const std::string& path) {
  Status failed = Fails(Operation::kRemove, "Remove " + path);
  return failed.ok() ? inner_->Remove(path) : failed;
}

Status FailingFileSystem::Copy(const std::string& from, const std::string& to) {
  Status failed = Fails(Operation::kCopy, "Copy " + from + " to " + to);
  return failed.ok() ? inner_->Copy(from, to) : failed;
}

Status FailingFileSystem::Replace(const std::string& path, std::string_view text) {
  Status failed = Fails(Operation::kReplace, "Replace " + path);
  return failed.ok() ? inner_->Replace(path, text) : failed;
}

}  // namespace sproutsmith::os
