#pragma once
// What an unattended run tells its caller on stderr when it ends: one line per rule of the
// last cycle (rows selected, folders created, rows failed, and why it did not finish), the
// libraries that are unchecked and how to check them again, and one outcome line with the
// exit status, the log's path and the run report's path.

#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/run_report.h"

namespace sproutsmith::app {

class Engine;

struct SummaryFacts {
  const CycleReport* last_cycle = nullptr;  // null: no cycle ran
  std::vector<LibraryProblem> unchecked_libraries;
  int exit_status = kExitFinished;
  std::string log_path;
  std::string log_failure;  // why the log could not be written ("" when it was)
  std::string report_path;
  std::string report_failure;
};

SummaryFacts SummaryFactsOf(Engine& engine);

// "Outcome: WORD (exit N). Log: PATH. Report: PATH" (one line, no line break).
std::string OutcomeLine(const SummaryFacts& facts);
// The per-rule lines, the unchecked libraries, then the outcome line.
std::string RunSummary(const SummaryFacts& facts);
// Why the start failed, for stderr: the failure message (unless a box showed it already)
// and the errors logged before it that explain it.
std::string FailedStartText(Engine& engine);

}  // namespace sproutsmith::app
