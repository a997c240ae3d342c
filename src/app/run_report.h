#pragma once
// What a cycle did, rule by rule, and the JSON report beside the log that lets monitoring
// read it without parsing the log. The report is rewritten after every cycle and once more
// when the program ends, always as a whole (temporary file, then rename).

#include <string>
#include <vector>

namespace sproutsmith::app {

// How a rule's run ended.
namespace rule_outcome {
inline constexpr char kFinished[] = "finished";
inline constexpr char kFailedRows[] = "failed rows";
inline constexpr char kLibraryFailed[] = "library failed";  // connection, rights, tables
inline constexpr char kSkipped[] = "skipped";               // the rule's own configuration
inline constexpr char kHeld[] = "held by another computer";
inline constexpr char kTemplateError[] = "template error";
inline constexpr char kSyntaxError[] = "syntax error";
inline constexpr char kSqlError[] = "sql error";
inline constexpr char kLibraryBusy[] = "library busy";  // another program's write lock
inline constexpr char kCancelled[] = "cancelled";
inline constexpr char kError[] = "error";
}  // namespace rule_outcome

struct RuleReport {
  std::string library;
  std::string rule;
  std::string outcome = rule_outcome::kFinished;
  std::string reason;  // the logged line that explains an outcome other than finished
  int rows_selected = 0;
  int folders_created = 0;
  int rows_failed = 0;
  long errors = 0;  // "Error:" lines logged while the rule ran
  double seconds = 0;
};

struct CycleReport {
  int pass = 0;             // 1 for the run's first pass
  bool no_work = false;     // no checked library had rules
  bool broken_off = false;  // an unexpected error or a lost DM session ended it
  bool cancelled = false;
  double seconds = 0;
  std::vector<RuleReport> rules;
};

// The exit status one cycle stands for (finished, rule failures, nothing to do, broken off).
// A rule held by another computer is not a failure: that computer does the work.
int CycleExitStatus(const CycleReport& cycle);

struct RunReport {
  std::string program;  // the build line
  std::string computer;
  std::string log_file;
  int exit_status = 0;
  int cycles = 0;                     // cycles run so far
  const CycleReport* last = nullptr;  // the last cycle; null before the first
  std::vector<std::string> unchecked_libraries;
};

std::string RunReportJson(const RunReport& report);

}  // namespace sproutsmith::app
