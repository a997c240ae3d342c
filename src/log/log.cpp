#include "log/log.h"

#include <cstdint>
#include <utility>

#include "text/text.h"

namespace sproutsmith::log {

using text::Format;
using text::Number;
using text::Trim;
using text::UCase;

std::string Log::DatedName(const std::string& log_file, const text::DateTime& day,
                           bool split_at_first_dot) {
  const std::string stamp = "_" + Format(day, "YYYYMMDD");
  // Only the file name's dots: a folder such as ~/.local must not take the date.
  const size_t slash = log_file.find_last_of("/\\");
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = split_at_first_dot ? log_file.find('.', name) : log_file.rfind('.');
  if (dot == std::string::npos || dot < name) return log_file + stamp + ".txt";
  return log_file.substr(0, dot) + stamp + "." + log_file.substr(dot + 1);
}

std::string Log::ReportName(const std::string& dated_log_file, const text::DateTime& run_started) {
  std::string time = "_" + Format(run_started, "HH:MM:SS") + ".json";
  std::erase(time, ':');
  const size_t slash = dated_log_file.find_last_of("/\\");
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = dated_log_file.rfind('.');
  if (dot == std::string::npos || dot < name) return dated_log_file + time;
  return dated_log_file.substr(0, dot) + time;
}

std::string Log::TimeStamp(const text::DateTime& now) {
  const std::string timer = Format(now.SecondsSinceMidnight(), "#0.00");
  return Format(now, "YYYY-MM-DD HH:MM:SS") + "." + text::Right(timer, 2) + " ";
}

std::string Log::CurrentDatedLogFile() const { return DatedName(state_.LogFile, clock_.Now()); }

void Log::AddLog(std::string_view message) {
  std::string line = Trim(message);
  if (line.empty() || line == last_log_text_) return;
  const text::DateTime now = clock_.Now();
  const bool isError = text::StartsWithNoCase(line, "ERROR:");
  const bool isWarning = text::StartsWithNoCase(line, "WARNING:");
  if (isError) {
    ++error_count_;
    constexpr size_t kKept = 20;
    if (recent_errors_.size() == kKept) recent_errors_.erase(recent_errors_.begin());
    recent_errors_.push_back(line);
    if (first_error_since_mark_.empty()) first_error_since_mark_ = line;
  }
  if (isWarning) ++warning_count_;
  if (isError || isWarning) last_problem_ = line;
  bool taken = false;
  if (options_.CheckLogMethod == 1 || isError || isWarning) {
    NameDayFile(now);
    std::string text = line;
    if (options_.MNTimeStampLogFile) {
      text = TimeStamp(now) + " " + line;
    } else if (isError || isWarning) {
      const size_t n = isError ? 6 : 8;
      text = line.substr(0, n) + " " + TimeStamp(now) + " " + Trim(line.substr(n));
    }
    text += "\r\n";
    // Errors and warnings are what a reader comes for: they never wait in memory.
    taken = Take(text, now, isError || isWarning);
  }
  last_log_text_ = std::move(line);
  // A line taken for the file (held or written) needs no look at the disk.
  if (taken) {
    log_menus_enabled_ = true;
  } else {
    UpdateLogMenus();
  }
}

void Log::NameDayFile(const text::DateTime& now) {
  if (now.day == named_day_ && now.month == named_month_ && now.year == named_year_ &&
      state_.LogFile == named_for_ && !dated_log_file_.empty()) {
    return;
  }
  dated_log_file_ = DatedName(state_.LogFile, now);
  named_for_ = state_.LogFile;
  named_year_ = now.year;
  named_month_ = now.month;
  named_day_ = now.day;
}

bool Log::Take(const std::string& text, const text::DateTime& now, bool at_once) {
  Failure failure;
  {
    const std::lock_guard<std::mutex> lock(held_mutex_);
    // A new day (or a new LogFile): the held lines belong to the file they were added for.
    if (!held_.empty() && held_.file() != dated_log_file_) WriteOut(failure);
    if (held_.empty()) held_since_ = std::chrono::steady_clock::now();
    const std::int64_t at_ms = now.ToEpochSeconds() * 1000 + now.millisecond;
    held_.Add(dated_log_file_, text, at_ms);
    if (at_once || held_.Due(at_ms)) WriteOut(failure);
    TakeLateFailure(failure);
  }
  return Reported(failure);
}

void Log::Flush() { (void)WriteHeld(); }

bool Log::WriteHeld() {
  Failure failure;
  {
    const std::lock_guard<std::mutex> lock(held_mutex_);
    WriteOut(failure);
    TakeLateFailure(failure);
  }
  return Reported(failure);
}

void Log::WriteOut(Failure& failure) {
  if (held_.empty()) return;
  const Status written = held_.WriteOut(files_);
  if (!written.ok() && failure.reason.empty()) failure = {held_.file(), written.text};
}

void Log::TakeLateFailure(Failure& failure) {
  // The late writer's failure came first.
  if (!late_failure_.reason.empty()) failure = std::exchange(late_failure_, {});
}

bool Log::Reported(const Failure& failure) {
  if (failure.reason.empty()) return true;
  WriteFailed(failure.file, failure.reason);
  UpdateLogMenus();
  return false;
}

void Log::StartLateWriter() {
  if (late_writer_.joinable()) return;
  late_writer_ = std::thread([this] {
    // Checked twice a second, lines held half a second or more are written: none waits a
    // second.
    const auto check = std::chrono::milliseconds(500);
    std::unique_lock<std::mutex> lock(held_mutex_);
    while (!stopping_) {
      wake_late_writer_.wait_for(lock, check);
      if (!stopping_ && !held_.empty() && std::chrono::steady_clock::now() - held_since_ >= check) {
        WriteOut(late_failure_);
      }
    }
  });
}

void Log::WriteFailed(const std::string& file, const std::string& reason) {
  if (!write_failure_.empty()) return;
  write_failure_ = file + ": " + reason;
  if (on_write_failure_) on_write_failure_(write_failure_);
}

const std::string& Log::DatedLogFile() {
  Flush();
  return dated_log_file_;
}

Log::~Log() {
  if (late_writer_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(held_mutex_);
      stopping_ = true;
    }
    wake_late_writer_.notify_one();
    late_writer_.join();
  }
  on_write_failure_ = nullptr;  // whoever listened may be gone already
  Flush();
}

void Log::Separator() { AddLog(text::kSeparator); }

void Log::SetStatus(std::string_view message) {
  const std::string line = Trim(message);
  if (line.empty()) return;
  AddLog(line);
  options_.LabelStatus = line;
  ui_.StatusChanged(line);
  ui_.Yield();
}

void Log::ReportError(long number, std::string_view source, std::string_view description) {
  if (number != 0) {
    AddLog("Error: #" + Number(number) + " was generated by " + std::string(source) +
           std::string(text::kCrLf) + std::string(description));
  } else {
    AddLog("Error: An unknown error occurred during this task!");
  }
  Separator();
}

void Log::UpdateLogMenus() { log_menus_enabled_ = files_.Exists(dated_log_file_); }

}  // namespace sproutsmith::log
