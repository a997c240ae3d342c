#include "platform/os/file_system.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace sproutsmith::os {

Status ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::Error(path + ": cannot be opened");
  std::ostringstream read;
  read << in.rdbuf();
  if (in.bad()) return Status::Error(path + ": cannot be read");
  *text = read.str();
  return Status::Ok();
}
namespace {

Status FromErrno(int number) {
  if (number == 0) number = EIO;
  return Status::Error(number, std::strerror(number));
}

Status FromErrorCode(const std::error_code& ec) {
  return ec ? Status::Error(ec.value() != 0 ? ec.value() : EIO, ec.message()) : Status::Ok();
}

class SystemAppendFile final : public AppendFile {
 public:
  explicit SystemAppendFile(std::FILE* file) : file_(file) {}
  ~SystemAppendFile() override { std::fclose(file_); }
  SystemAppendFile(const SystemAppendFile&) = delete;
  SystemAppendFile& operator=(const SystemAppendFile&) = delete;

  Status Write(std::string_view text) override {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0) {
      return Status::Ok();
    }
    return FromErrno(errno);
  }

 private:
  std::FILE* file_;
};

}  // namespace

Status FileSystem::Append(const std::string& path, std::string_view text) {
  std::string error;
  const std::unique_ptr<AppendFile> file = OpenForAppend(path, &error);
  if (file == nullptr) return Status::Error(EIO, error);
  return file->Write(text);
}

std::unique_ptr<AppendFile> SystemFileSystem::OpenForAppend(const std::string& path,
                                                            std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    if (error != nullptr) *error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<SystemAppendFile>(file);
}

bool SystemFileSystem::Exists(const std::string& path) const {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

Status SystemFileSystem::Remove(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return FromErrorCode(ec);
}

Status SystemFileSystem::Copy(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  return FromErrorCode(ec);
}

Status SystemFileSystem::Replace(const std::string& path, std::string_view text) {
  // Per process: two programs writing the same file never share a temporary one.
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return FromErrno(errno);
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  const int close_errno = errno;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return FromErrno(!written ? write_errno : close_errno);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int rename_errno = errno;
    std::remove(temporary.c_str());
    return FromErrno(rename_errno);
  }
  return Status::Ok();
}

FileSystem& SystemFiles() {
  static SystemFileSystem files;
  return files;
}

}  // namespace sproutsmith::os
