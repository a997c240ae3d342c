#include "app/log_housekeeping.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>

namespace sproutsmith::app {
namespace {

namespace fs = std::filesystem;

struct LogName {
  fs::path folder;
  std::string stem;       // the file name up to its extension
  std::string extension;  // with its dot; "" when the name has none
};

LogName Split(const std::string& file) {
  const fs::path path(file);
  std::string name = path.filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {path.parent_path(), name, ""};
  return {path.parent_path(), name.substr(0, dot), name.substr(dot)};
}

std::optional<std::chrono::sys_days> DayOf(const std::string& digits) {
  if (digits.size() != 8) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const std::chrono::year_month_day day{std::chrono::year{std::stoi(digits.substr(0, 4))},
                                        std::chrono::month{unsigned(std::stoi(digits.substr(4, 2)))},
                                        std::chrono::day{unsigned(std::stoi(digits.substr(6, 2)))}};
  if (!day.ok()) return std::nullopt;
  return std::chrono::sys_days{day};
}

// A report's name after "<day stem>": "_HHMMSS.json", "_HHMMSS-N.json", or ".json" (older runs).
bool ReportSuffix(const std::string& rest) {
  if (rest == ".json") return true;
  if (rest.size() < 12 || rest[0] != '_' || !rest.ends_with(".json")) return false;
  for (size_t i = 1; i < 7; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return false;
  }
  const std::string tail = rest.substr(7, rest.size() - 12);
  return tail.empty() || (tail[0] == '-' && tail.find_first_not_of("0123456789", 1) == std::string::npos);
}

}  // namespace

std::vector<std::string> ReportsOfDay(const std::string& dated_log_file) {
  const LogName day = Split(dated_log_file);
  std::vector<std::string> reports;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(day.folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(day.stem) && ReportSuffix(name.substr(day.stem.size()))) {
      reports.push_back(entry.path().string());
    }
  }
  return reports;
}

std::vector<std::string> AllReports(const std::string& log_file) {
  const LogName log = Split(log_file);
  const std::string prefix = log.stem + "_";
  std::vector<std::string> reports;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(log.folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && DayOf(name.substr(prefix.size(), 8)) &&
        ReportSuffix(name.substr(std::min(name.size(), prefix.size() + 8)))) {
      reports.push_back(entry.path().string());
    }
  }
  // "_YYYYMMDD_HHMMSS" sorts by time; a second run of one second ("-2") after the first.
  std::sort(reports.begin(), reports.end());
  return reports;
}

std::vector<std::string> RemoveOldLogs(const std::string& log_file, int keep_days,
                                       const text::DateTime& today) {
  std::vector<std::string> removed;
  if (keep_days <= 0) return removed;
  const LogName log = Split(log_file);
  const std::string log_extension = log.extension.empty() ? ".txt" : log.extension;
  const std::chrono::sys_days oldest_kept =
      std::chrono::sys_days{std::chrono::year_month_day{
          std::chrono::year{today.year}, std::chrono::month{unsigned(today.month)},
          std::chrono::day{unsigned(today.day)}}} -
      std::chrono::days{keep_days};
  const std::string prefix = log.stem + "_";
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(log.folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || !entry.is_regular_file(ec)) continue;
    const std::optional<std::chrono::sys_days> day = DayOf(name.substr(prefix.size(), 8));
    if (!day || *day >= oldest_kept) continue;
    const std::string rest = name.substr(prefix.size() + 8);
    if (rest != log_extension && !ReportSuffix(rest)) continue;
    if (fs::remove(entry.path(), ec)) removed.push_back(entry.path().string());
  }
  return removed;
}

}  // namespace sproutsmith::app
