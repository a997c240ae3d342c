#pragma once
// The few file operations the log, its commands and start-up need, behind one interface so
// that tests can make them fail (a full disk, a file that cannot be removed). A failure is a
// Status whose code is the system's error number and whose text is its reason ("No space
// left on device"); nothing is thrown.

#include <memory>
#include <string>
#include <string_view>

#include "platform/os/status.h"

namespace sproutsmith::os {

// The whole of a file, read at once into `text`; an error when it cannot be opened or read.
Status ReadWholeFile(const std::string& path, std::string* text);

// A file held open for appending. Each Write is on disk (flushed) when it returns, so a
// reader or a crash never misses a line that was reported written.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual Status Write(std::string_view text) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens the file for appending, creating it; null with *error when it cannot.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path,
                                                    std::string* error) = 0;
  // Opens, appends the text and closes.
  Status Append(const std::string& path, std::string_view text);
  // Whether a regular file of that name exists ("" never does).
  virtual bool Exists(const std::string& path) const = 0;
  // Removes the file; true also when there was none.
  virtual Status Remove(const std::string& path) = 0;
  // Copies the file over `to` (replacing it).
  virtual Status Copy(const std::string& from, const std::string& to) = 0;
  // Replaces the file by the whole text, through a temporary file in the same folder and a
  // rename: a reader sees the old text or the new one, never a part.
  virtual Status Replace(const std::string& path, std::string_view text) = 0;
};

class SystemFileSystem final : public FileSystem {
 public:
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, std::string* error) override;
  bool Exists(const std::string& path) const override;
  Status Remove(const std::string& path) override;
  Status Copy(const std::string& from, const std::string& to) override;
  Status Replace(const std::string& path, std::string_view text) override;
};

// The process's own file system, for owners that are not handed one.
FileSystem& SystemFiles();

}  // namespace sproutsmith::os
