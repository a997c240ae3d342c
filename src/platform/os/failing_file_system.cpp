#include "platform/os/failing_file_system.h"

namespace sproutsmith::os {

// The inner file, with each write asked of the owner first.
class FailingFileSystem::File final : public AppendFile {
 public:
  File(FailingFileSystem& owner, std::string path, std::unique_ptr<AppendFile> inner)
      : owner_(owner), path_(std::move(path)), inner_(std::move(inner)) {}
  bool Write(std::string_view text, std::string* error) override {
    if (owner_.Fails(Operation::kWrite, "Write " + path_, error)) return false;
    return inner_->Write(text, error);
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

bool FailingFileSystem::Fails(Operation operation, const std::string& what, std::string* error) {
  Arming& arming = armed_[static_cast<int>(operation)];
  ++arming.calls;
  const bool fails = arming.fail_at > 0 && (arming.calls == arming.fail_at ||
                                            (arming.later && arming.calls > arming.fail_at));
  call_log_.push_back((fails ? "FAILED " : "") + what);
  if (!fails) return false;
  ++failures_;
  if (error != nullptr) *error = arming.reason;
  return true;
}

std::unique_ptr<AppendFile> FailingFileSystem::OpenForAppend(const std::string& path,
                                                             std::string* error) {
  if (Fails(Operation::kOpen, "Open " + path, error)) return nullptr;
  std::unique_ptr<AppendFile> file = inner_->OpenForAppend(path, error);
  if (!file) return nullptr;
  return std::make_unique<File>(*this, path, std::move(file));
}

bool FailingFileSystem::Remove(const std::string& path, std::string* error) {
  if (Fails(Operation::kRemove, "Remove " + path, error)) return false;
  return inner_->Remove(path, error);
}

bool FailingFileSystem::Copy(const std::string& from, const std::string& to, std::string* error) {
  if (Fails(Operation::kCopy, "Copy " + from + " to " + to, error)) return false;
  return inner_->Copy(from, to, error);
}

}  // namespace sproutsmith::os
