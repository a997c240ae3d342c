#include "app/run_report.h"

#include "app/exit_status.h"
#include "text/json.h"

namespace sproutsmith::app {

int CycleExitStatus(const CycleReport& cycle) {
  if (cycle.broken_off) return kExitBrokenOff;
  // A library that was to be worked on and could not be is a failure, not "nothing to do".
  if (!cycle.failed_libraries.empty()) return kExitRuleFailed;
  if (cycle.no_work) return kExitNothingToDo;
  bool ran = false;
  bool failed = false;
  for (const RuleReport& rule : cycle.rules) {
    if (rule.outcome == rule_outcome::kLibraryFailed) {
      failed = true;
      continue;
    }
    ran = true;
    if (rule.outcome == rule_outcome::kHeld) continue;
    if (rule.outcome != rule_outcome::kFinished || rule.rows_failed > 0 || rule.errors > 0) {
      failed = true;
    }
  }
  if (failed) return kExitRuleFailed;
  return ran ? kExitFinished : kExitNothingToDo;
}

namespace {

void Problems(text::JsonWriter& json, const char* key, const std::vector<LibraryProblem>& list) {
  json.Key(key).BeginArray();
  for (const LibraryProblem& problem : list) {
    json.BeginObject();
    json.Key("library").String(problem.library);
    json.Key("reason").String(problem.reason);
    json.EndObject();
  }
  json.EndArray();
}

void Rule(text::JsonWriter& json, const RuleReport& rule) {
  json.BeginObject();
  json.Key("library").String(rule.library);
  json.Key("rule").String(rule.rule);
  json.Key("outcome").String(rule.outcome);
  json.Key("reason").String(rule.reason);
  json.Key("first_error").String(rule.first_error);
  json.Key("rows_selected").Number(static_cast<long long>(rule.rows_selected));
  json.Key("folders_created").Number(static_cast<long long>(rule.folders_created));
  json.Key("rows_failed").Number(static_cast<long long>(rule.rows_failed));
  json.Key("errors").Number(static_cast<long long>(rule.errors));
  json.Key("warnings").Number(static_cast<long long>(rule.warnings));
  json.Key("seconds").Number(rule.seconds);
  json.EndObject();
}

}  // namespace

std::string RunReportJson(const RunReport& report) {
  text::JsonWriter json;
  json.BeginObject();
  json.Key("program").String(report.program);
  json.Key("computer").String(report.computer);
  json.Key("process").Number(static_cast<long long>(report.process));
  json.Key("log").String(report.log_file);
  json.Key("started").String(report.started);
  json.Key("ended").String(report.ended);
  json.Key("exit_status").Number(static_cast<long long>(report.exit_status));
  json.Key("outcome").String(OutcomeWord(report.exit_status));
  json.Key("cycles").Number(static_cast<long long>(report.cycles));
  json.Key("errors").Number(static_cast<long long>(report.errors));
  json.Key("warnings").Number(static_cast<long long>(report.warnings));
  Problems(json, "unchecked_libraries", report.unchecked_libraries);
  if (report.last != nullptr) {
    const CycleReport& cycle = *report.last;
    json.Key("last_cycle").BeginObject();
    json.Key("pass").Number(static_cast<long long>(cycle.pass));
    json.Key("exit_status").Number(static_cast<long long>(CycleExitStatus(cycle)));
    json.Key("no_work").Bool(cycle.no_work);
    json.Key("broken_off").Bool(cycle.broken_off);
    json.Key("cancelled").Bool(cycle.cancelled);
    json.Key("seconds").Number(cycle.seconds);
    Problems(json, "failed_libraries", cycle.failed_libraries);
    json.Key("rules").BeginArray();
    for (const RuleReport& rule : cycle.rules) Rule(json, rule);
    json.EndArray();
    json.EndObject();
  }
  json.EndObject();
  return json.Text();
}

}  // namespace sproutsmith::app
