#pragma once
// Log lines on their way to one file: held in memory, then appended with one open, one write
// and one close, instead of a write and a flush for each of the few hundred lines a folder
// takes.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/file_system.h"
#include "platform/os/status.h"

namespace sproutsmith::log {

class PendingLines {
 public:
  // More than this much text is written at once: memory stays small however much a row says.
  static constexpr size_t kMaxBytes = 64 * 1024;
  // Lines wait at most this long (by the clock of the lines) before the next one writes them.
  static constexpr std::int64_t kMaxWaitMs = 1000;

  bool empty() const { return text_.empty(); }
  // The file the held lines go to (after WriteOut: the file they went to).
  const std::string& file() const { return file_; }

  // REQUIRES: empty() or file == file().
  void Add(const std::string& file, std::string_view line, std::int64_t at_ms);
  // Whether the held lines are big enough, or a line at `now_ms` late enough, to be written.
  bool Due(std::int64_t now_ms) const;
  // Appends the held lines to their file and forgets them, written or not: lines that cannot
  // be written are lost rather than held without bound.
  Status WriteOut(os::FileSystem& files);

 private:
  std::string file_;
  std::string text_;
  std::int64_t first_ms_ = 0;
};

}  // namespace sproutsmith::log
