#pragma once
// What a cycle did, rule by rule, and the JSON report beside the log that lets monitoring
// read it without parsing the log. Each run has its own report, named with the day and time
// the run started; it is rewritten after every cycle and once more when the program ends,
// always as a whole (temporary file, then rename), and carries "ended" only then.

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
  std::string first_error;  // the first "Error:" line logged while the rule ran
  int rows_selected = 0;
  int folders_created = 0;
  int rows_failed = 0;
  long errors = 0;  // "Error:" lines logged while the rule ran
  long warnings = 0;
  double seconds = 0;
};

// A library a cycle could not work on, or one every run skips, and why.
struct LibraryProblem {
  std::string library;
  std::string reason;
};

struct CycleReport {
  int pass = 0;             // 1 for the run's first pass
  bool no_work = false;     // no checked library had rules
  bool broken_off = false;  // an unexpected error or a lost DM session ended it
  bool cancelled = false;
  double seconds = 0;
  std::vector<RuleReport> rules;
  // Checked libraries that could not be opened or used (they are unchecked now).
  std::vector<LibraryProblem> failed_libraries;
};

// The exit status one cycle stands for (finished, rule failures, nothing to do, broken off).
// A rule held by another computer is not a failure: that computer does the work.
int CycleExitStatus(const CycleReport& cycle);

struct RunReport {
  std::string program;  // the build line
  std::string computer;
  long process = 0;
  std::string log_file;
  std::string started;  // "YYYY-MM-DDTHH:MM:SS", local time
  std::string ended;    // "" while the run goes on
  int exit_status = 0;
  int cycles = 0;                     // cycles run so far
  long errors = 0;                    // "Error:" lines logged by the run
  long warnings = 0;                  // "Warning:" lines
  const CycleReport* last = nullptr;  // the last cycle; null before the first
  // Unchecked libraries, which every run skips, each with why it was unchecked.
  std::vector<LibraryProblem> unchecked_libraries;
};

std::string RunReportJson(const RunReport& report);

}  // namespace sproutsmith::app
