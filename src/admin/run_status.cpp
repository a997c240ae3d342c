#include "admin/run_status.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "app/log_housekeeping.h"
#include "platform/os/file_system.h"
#include "platform/os/instance_lock.h"
#include "text/json_reader.h"
#include "text/text.h"

namespace sproutsmith::admin {
namespace {

using text::JsonValue;

// Reports read back from the newest: enough for every rule of an installation, few enough
// to answer at once with a month of reports kept.
constexpr size_t kReportsRead = 500;

std::string WholeFile(const std::string& path) {
  std::string text;
  (void)os::ReadWholeFile(path, &text);  // a report that cannot be read counts as half-written
  return text;
}

std::string Count(const JsonValue& value, const char* what) {
  return text::Number(static_cast<long long>(value.Number())) + " " + what;
}

std::string RuleLine(const JsonValue& rule, const std::string& started) {
  std::string line = "  " + rule["library"].Text() + " - " + rule["rule"].Text() + ": " + started +
                     " " + rule["outcome"].Text() + ", " +
                     Count(rule["rows_selected"], "row(s) selected") + ", " +
                     Count(rule["folders_created"], "folder(s) created") + ", " +
                     Count(rule["rows_failed"], "row(s) failed");
  std::string why = rule["first_error"].Text();
  if (why.empty()) why = rule["reason"].Text();
  if (!why.empty()) line += "; " + why;
  return line;
}

void RunningNow(const std::string& config_path, const std::string& computer, std::ostream& out) {
  // Taking the lock for an instant is the one question the kernel answers; a run that starts
  // in that instant stops as a second run does, which its timer counts as success.
  const os::InstanceLock lock = os::InstanceLock::Take(config_path, computer);
  switch (lock.state()) {
    case os::InstanceLock::State::kHeld:
      out << "Running now: no run on this computer (" << computer << ")\n";
      break;
    case os::InstanceLock::State::kHeldElsewhere:
      out << "Running now: a run is under way on this computer (" << computer << ")";
      if (lock.holder() != 0) out << ", process " << lock.holder();
      out << "\n";
      break;
    case os::InstanceLock::State::kUnavailable:
      out << "Running now: unknown (" << lock.error() << ")\n";
      break;
  }
}

}  // namespace

int ShowStatus(const std::string& log_file, const std::string& config_path,
               const std::string& computer, std::ostream& out) {
  RunningNow(config_path, computer, out);
  const std::vector<std::string> reports = app::AllReports(log_file);
  if (reports.empty()) {
    out << "No run report yet in " << std::filesystem::path(log_file).parent_path().string()
        << " (the folder of the LogFile setting)\n";
    return 0;
  }
  std::vector<std::string> rule_lines;
  std::set<std::string> seen;
  bool last_shown = false;
  size_t read = 0;
  for (auto it = reports.rbegin(); it != reports.rend() && read < kReportsRead; ++it, ++read) {
    const std::optional<JsonValue> report = text::ParseJson(WholeFile(*it));
    if (!report) continue;  // being replaced, or not one of ours
    const JsonValue& r = *report;
    const std::string started = r["started"].Text();
    if (!last_shown) {
      last_shown = true;
      const std::string ended = r["ended"].Text();
      out << "Last run: started " << started << ", "
          << (ended.empty() ? "not ended (under way, or killed)" : "ended " + ended) << ": "
          << r["outcome"].Text() << " (exit " << static_cast<long>(r["exit_status"].Number())
          << "), " << Count(r["errors"], "error(s)") << ", " << Count(r["warnings"], "warning(s)")
          << "\n  report: " << *it << "\n";
      const JsonValue& unchecked = r["unchecked_libraries"];
      if (!unchecked.Items().empty()) {
        out << "Unchecked libraries, skipped by every run (as of that run):\n";
        for (const JsonValue& library : unchecked.Items()) {
          out << "  " << library["library"].Text() << ": " << library["reason"].Text() << "\n";
        }
      }
      for (const JsonValue& failed : r["last_cycle"]["failed_libraries"].Items()) {
        out << "Library " << failed["library"].Text()
            << " could not be worked on: " << failed["reason"].Text() << "\n";
      }
    }
    for (const JsonValue& rule : r["last_cycle"]["rules"].Items()) {
      const std::string key = rule["library"].Text() + "\n" + rule["rule"].Text();
      if (seen.insert(key).second) rule_lines.push_back(RuleLine(rule, started));
    }
  }
  if (!rule_lines.empty()) {
    out << "Each rule's last run (library - rule: started, outcome, rows, folders):\n";
    std::sort(rule_lines.begin(), rule_lines.end());
    for (const std::string& line : rule_lines) out << line << "\n";
  }
  return 0;
}

}  // namespace sproutsmith::admin
