#include "app/run_summary.h"

#include "app/engine.h"

namespace sproutsmith::app {

SummaryFacts SummaryFactsOf(Engine& engine) {
  SummaryFacts facts;
  facts.last_cycle = engine.LastCycle();
  facts.unchecked_libraries = engine.UncheckedLibraries();
  facts.exit_status = engine.ExitStatus();
  facts.log_path = engine.LogPath();
  facts.log_failure = engine.log().WriteFailure();
  facts.report_path = engine.ReportPath();
  facts.report_failure = engine.ReportFailure();
  return facts;
}

std::string OutcomeLine(const SummaryFacts& facts) {
  std::string line = std::string("Outcome: ") + OutcomeWord(facts.exit_status) + " (exit " +
                     std::to_string(facts.exit_status) + "). Log: " + facts.log_path;
  if (!facts.log_failure.empty()) line += " (not written: " + facts.log_failure + ")";
  line += ". Report: " + facts.report_path;
  if (!facts.report_failure.empty()) line += " (not written: " + facts.report_failure + ")";
  return line;
}

std::string RunSummary(const SummaryFacts& facts) {
  std::string out;
  if (facts.last_cycle != nullptr) {
    for (const RuleReport& rule : facts.last_cycle->rules) {
      out += rule.library + " - " + rule.rule + ": " + std::to_string(rule.rows_selected) +
             " row(s) selected, " + std::to_string(rule.folders_created) + " folder(s) created, " +
             std::to_string(rule.rows_failed) + " row(s) failed";
      if (rule.errors > 0) out += ", " + std::to_string(rule.errors) + " error(s)";
      if (rule.outcome != rule_outcome::kFinished) {
        out += " (" + rule.outcome + (rule.reason.empty() ? "" : ": " + rule.reason) + ")";
      }
      out += "\n";
    }
    if (facts.last_cycle->rules.empty()) out += "No rule ran.\n";
  } else {
    out += "No cycle ran.\n";
  }
  if (facts.last_cycle != nullptr) {
    for (const LibraryProblem& failed : facts.last_cycle->failed_libraries) {
      out += "Library " + failed.library + " could not be worked on: " + failed.reason + "\n";
    }
  }
  for (const LibraryProblem& unchecked : facts.unchecked_libraries) {
    out += "Library " + unchecked.library + " is unchecked (" + unchecked.reason +
           ") and skipped by every run; check it again with: sproutsmith-admin check " +
           unchecked.library + "\n";
  }
  return out + OutcomeLine(facts) + "\n";
}

std::string FailedStartText(Engine& engine) {
  std::string out;
  const std::string& message = engine.FailureMessage();
  if (!message.empty() && !engine.FailureMessageShown()) out += message + "\n";
  for (const std::string& error : engine.log().RecentErrors()) {
    if (error != message) out += "Cause: " + error + "\n";
  }
  return out;
}

}  // namespace sproutsmith::app
