#include "log/pending_lines.h"

#include <cerrno>
#include <memory>

namespace sproutsmith::log {

void PendingLines::Add(const std::string& file, std::string_view line, std::int64_t at_ms) {
  if (text_.empty()) {
    if (file_ != file) file_ = file;
    first_ms_ = at_ms;
  }
  text_ += line;
}

bool PendingLines::Due(std::int64_t now_ms) const {
  if (text_.empty()) return false;
  // A clock set back counts too: the lines must not wait until it catches up.
  return text_.size() >= kMaxBytes || now_ms - first_ms_ >= kMaxWaitMs || now_ms < first_ms_;
}

Status PendingLines::WriteOut(os::FileSystem& files) {
  if (text_.empty()) return Status::Ok();
  std::string error;
  // Opened anew each time: a file deleted or moved meanwhile is created again.
  const std::unique_ptr<os::AppendFile> out = files.OpenForAppend(file_, &error);
  const Status written = out ? out->Write(text_) : Status::Error(EIO, error);
  text_.clear();
  return written;
}

}  // namespace sproutsmith::log
