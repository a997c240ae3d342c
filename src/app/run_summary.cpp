#include "app/run_summary.h"

#include "app/engine.h"

namespace sproutsmith::app {

std::string RunSummary(const runtime::Options& options, const std::string& log_path) {
  std::string out;
  for (const runtime::ResultsRow& row : options.ListResults) {
    out += row.text + ": " + std::to_string(row.rows_selected) + " row(s) selected, " +
           std::to_string(row.folders_added) + " folder(s) created, " +
           std::to_string(row.rows_failed) + " row(s) failed";
    if (row.Broken()) out += " (" + row.state + ")";
    out += "\n";
  }
  if (options.ListResults.empty()) out += "No rule ran.\n";
  out += "Log: " + log_path + "\n";
  return out;
}

int RunExitCode(int engine_code, const runtime::Options& options) {
  if (engine_code != kExitFinished) return engine_code;
  for (const runtime::ResultsRow& row : options.ListResults) {
    if (row.Broken() || row.rows_failed > 0) return kExitRuleFailed;
  }
  return kExitFinished;
}

}  // namespace sproutsmith::app
