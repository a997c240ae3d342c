#include "platform/os/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace sproutsmith::os {
namespace {

void SetError(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
}

class SystemAppendFile final : public AppendFile {
 public:
  explicit SystemAppendFile(std::FILE* file) : file_(file) {}
  ~SystemAppendFile() override { std::fclose(file_); }
  SystemAppendFile(const SystemAppendFile&) = delete;
  SystemAppendFile& operator=(const SystemAppendFile&) = delete;

  bool Write(std::string_view text, std::string* error) override {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0) {
      return true;
    }
    SetError(error, std::strerror(errno != 0 ? errno : EIO));
    return false;
  }

 private:
  std::FILE* file_;
};

}  // namespace

bool FileSystem::Append(const std::string& path, std::string_view text, std::string* error) {
  const std::unique_ptr<AppendFile> file = OpenForAppend(path, error);
  return file != nullptr && file->Write(text, error);
}

std::unique_ptr<AppendFile> SystemFileSystem::OpenForAppend(const std::string& path,
                                                            std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    SetError(error, std::strerror(errno));
    return nullptr;
  }
  return std::make_unique<SystemAppendFile>(file);
}

bool SystemFileSystem::Exists(const std::string& path) const {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool SystemFileSystem::Remove(const std::string& path, std::string* error) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  if (ec) SetError(error, ec.message());
  return !ec;
}

bool SystemFileSystem::Copy(const std::string& from, const std::string& to, std::string* error) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) SetError(error, ec.message());
  return !ec;
}

FileSystem& SystemFiles() {
  static SystemFileSystem files;
  return files;
}

}  // namespace sproutsmith::os
