#pragma once
// The few file operations the log, its commands and start-up need, behind one interface so
// that tests can make them fail (a full disk, a file that cannot be removed). Failures are
// answered with the system's reason text ("No space left on device") in *error, which may
// be null; nothing is thrown.

#include <memory>
#include <string>
#include <string_view>

namespace sproutsmith::os {

// A file held open for appending. Each Write is on disk (flushed) when it returns, so a
// reader or a crash never misses a line that was reported written.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual bool Write(std::string_view text, std::string* error) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens the file for appending, creating it; null with *error when it cannot.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path,
                                                    std::string* error) = 0;
  // Opens, appends the text and closes.
  bool Append(const std::string& path, std::string_view text, std::string* error);
  // Whether a regular file of that name exists ("" never does).
  virtual bool Exists(const std::string& path) const = 0;
  // Removes the file; true also when there was none.
  virtual bool Remove(const std::string& path, std::string* error) = 0;
  // Copies the file over `to` (replacing it).
  virtual bool Copy(const std::string& from, const std::string& to, std::string* error) = 0;
};

class SystemFileSystem final : public FileSystem {
 public:
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, std::string* error) override;
  bool Exists(const std::string& path) const override;
  bool Remove(const std::string& path, std::string* error) override;
  bool Copy(const std::string& from, const std::string& to, std::string* error) override;
};

// The process's own file system, for owners that are not handed one.
FileSystem& SystemFiles();

}  // namespace sproutsmith::os
