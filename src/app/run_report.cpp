#include "app/run_report.h"

#include "app/exit_status.h"
#include "text/json.h"

namespace sproutsmith::app {

int CycleExitStatus(const CycleReport& cycle) {
  if (cycle.broken_off) return kExitBrokenOff;
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
  if (!ran) return kExitNothingToDo;
  return failed ? kExitRuleFailed : kExitFinished;
}

std::string RunReportJson(const RunReport& report) {
  text::JsonWriter json;
  json.BeginObject();
  json.Key("program").String(report.program);
  json.Key("computer").String(report.computer);
  json.Key("log").String(report.log_file);
  json.Key("exit_status").Number(static_cast<long long>(report.exit_status));
  json.Key("outcome").String(OutcomeWord(report.exit_status));
  json.Key("cycles").Number(static_cast<long long>(report.cycles));
  json.Key("unchecked_libraries").BeginArray();
  for (const std::string& library : report.unchecked_libraries) json.String(library);
  json.EndArray();
  if (report.last != nullptr) {
    const CycleReport& cycle = *report.last;
    json.Key("last_cycle").BeginObject();
    json.Key("pass").Number(static_cast<long long>(cycle.pass));
    json.Key("exit_status").Number(static_cast<long long>(CycleExitStatus(cycle)));
    json.Key("no_work").Bool(cycle.no_work);
    json.Key("broken_off").Bool(cycle.broken_off);
    json.Key("cancelled").Bool(cycle.cancelled);
    json.Key("seconds").Number(cycle.seconds);
    json.Key("rules").BeginArray();
    for (const RuleReport& rule : cycle.rules) {
      json.BeginObject();
      json.Key("library").String(rule.library);
      json.Key("rule").String(rule.rule);
      json.Key("outcome").String(rule.outcome);
      json.Key("reason").String(rule.reason);
      json.Key("rows_selected").Number(static_cast<long long>(rule.rows_selected));
      json.Key("folders_created").Number(static_cast<long long>(rule.folders_created));
      json.Key("rows_failed").Number(static_cast<long long>(rule.rows_failed));
      json.Key("errors").Number(static_cast<long long>(rule.errors));
      json.Key("seconds").Number(rule.seconds);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndObject();
  return json.Text();
}

}  // namespace sproutsmith::app
