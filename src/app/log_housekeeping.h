#pragma once
// The files a log setting leads to over the days: each day's log ("<name>_YYYYMMDD.<ext>")
// and each run's report beside it ("<name>_YYYYMMDD_HHMMSS.json"). One verbose day is many
// megabytes, so days older than the KeepLogDays setting are removed at start-up.

#include <string>
#include <vector>

#include "text/text.h"

namespace sproutsmith::app {

// Days of logs and reports kept when the setting is absent; 0 keeps every day.
inline constexpr int kDefaultKeepLogDays = 30;

// The reports written beside one day's log, whatever run wrote them.
std::vector<std::string> ReportsOfDay(const std::string& dated_log_file);

// Every report of `log_file`'s runs, whatever day, oldest first.
std::vector<std::string> AllReports(const std::string& log_file);

// Removes the logs and reports of `log_file` dated more than `keep_days` days before `today`
// (nothing when keep_days is 0 or less) and returns what it removed. Other files in the folder
// are never touched.
std::vector<std::string> RemoveOldLogs(const std::string& log_file, int keep_days,
                                       const text::DateTime& today);

}  // namespace sproutsmith::app
