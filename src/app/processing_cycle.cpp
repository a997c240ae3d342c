#include "app/processing_cycle.h"

#include <chrono>
#include <cmath>

#include "app/pause.h"
#include "app/rule_setup.h"
#include "app/saved_options.h"
#include "log/error_trap.h"
#include "template/template_levels.h"
#include "text/text.h"

namespace sproutsmith::app {

using Key = rules::RuleKey;
using runtime::MessageStyle;
using text::Format;
using text::Trim;
using text::UCase;

namespace {

constexpr char kWorking[] = "Working...";
constexpr char kButtonGo[] = "Button_Go";
constexpr char kProcedure[] = "Button_Go_Click";

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

long RowLimit(const runtime::Options& options) {
  const double m = text::Val(options.TextMaxFolders);
  if (m <= 0 || m > 10000) return 10000;
  if (options.CheckInitialize != 0) return 0;
  return static_cast<long>(std::fabs(m));
}

long long ElapsedSeconds(long long start, long long end) {
  constexpr long long kDay = 24 * 60 * 60;
  const long long elapsed = end - start;
  return elapsed < 0 ? elapsed + kDay : elapsed;
}

ProcessingCycle::ProcessingCycle(CycleParts parts)
    : p_(std::move(parts)),
      tracking_(p_.context, p_.connection),
      journal_(p_.context, p_.connection) {}

bool ProcessingCycle::Go() {
  enum class Ending { kNone, kFinished, kNoWork };
  Ending ending = Ending::kNone;
  const bool ok = log::Trap(p_.context.log, kProcedure, false, [&] {
    if (!StartOfGo()) {
      // Go could not start: a cycle that did nothing because the session was lost.
      BeginReport();
      report_.broken_off = true;
      DeliverReport();
      return true;
    }
    while (true) {
      const PassEnd end = RunPass();
      if (end == PassEnd::kNoWork) {
        ending = Ending::kNoWork;
        return true;
      }
      if (end == PassEnd::kEndOfGo || !LoopDelay()) break;
    }
    ending = Ending::kFinished;
    return true;
  });
  if (!ok) {
    p_.context.log.SetStatus("Error: Unable to complete this process");
    SetResultState("Error", true);
    if (!report_open_) BeginReport();
    RuleOutcome(rule_outcome::kError, "Error: Unable to complete this process");
    report_.broken_off = true;
    DeliverReport();
    CommonEnding();
    return false;
  }
  if (ending == Ending::kNoWork) EndingWithoutWork();
  if (ending == Ending::kFinished) EndOfGo();
  return true;
}

bool ProcessingCycle::StartOfGo() {
  Context& c = p_.context;
  dm::Connection& connection = p_.connection;
  if (!connection.LibraryObjectSet(kButtonGo, dm::NoLibrary::kLogAndShow)) return false;
  if (connection.libraries() == nullptr) {
    const std::string message =
        "Error: One or more of the API objects is no longer defined - this could be a bug in "
        "the API itself";
    c.log.AddLog(message);
    if (c.ShowsErrors()) c.ShowMessage(message, MessageStyle::kCritical);
    return false;
  }
  c.ui.SetBusy(true);
  c.ui.Yield();
  start_status_ = c.options.LabelStatus;
  start_library_ = connection.LibraryName();
  p_.window.ButtonGoEnabled = false;
  c.settings.Save(c.identity.product_name, kGeneral, "IsRunning", "-1");
  total_seconds_ = 0;
  last_running_node_library_.clear();

  TakeLibrarySnapshot();
  if (c.options.CheckLockWorkstation != 0 &&
      (c.options.CheckLoop != 0 || c.state.HasSwitch("/G")) && p_.lock_workstation) {
    p_.lock_workstation();
  }
  site_lookups_ = folders::ReadSiteLookups(c, connection);
  return true;
}

void ProcessingCycle::TakeLibrarySnapshot() {
  snapshot_.clear();
  dmapi::LibraryList* libraries = p_.connection.libraries();
  if (libraries == nullptr) return;
  for (int i = 1; i <= libraries->Count(); ++i) {
    snapshot_.push_back({UCase(Trim(libraries->Name(i))), libraries->SearchFlag(i) ? "-1" : "0"});
  }
}

void ProcessingCycle::RestoreSearchFlags() {
  dmapi::LibraryList* libraries = p_.connection.libraries();
  if (libraries == nullptr) return;
  for (int i = 1; i <= libraries->Count(); ++i) {
    const std::string name = UCase(Trim(libraries->Name(i)));
    for (const LibraryFlag& saved : snapshot_) {
      if (saved.name == name) libraries->SetSearchFlag(i, text::Val(saved.flag) != 0);
    }
  }
}

ProcessingCycle::PassEnd ProcessingCycle::RunPass() {
  Context& c = p_.context;
  MainWindowModel& window = p_.window;
  std::vector<LibraryProblem> failed;
  const int libraries_with_rules = LoadCheckedLibraries(failed);
  BeginReport();
  report_.failed_libraries = std::move(failed);
  if (libraries_with_rules == 0) {
    report_.no_work = true;
    DeliverReport();
    return PassEnd::kNoWork;
  }

  progress_ = {};
  counted_.assign(window.TVRules.size(), {});
  for (size_t l = 0; l < window.TVRules.size(); ++l) {
    const LibraryNode& library = window.TVRules[l];
    for (const CheckNode& rule : library.rules) {
      counted_[l].push_back(library.checked && rule.checked && rule.text != kRulePlaceholder);
      if (counted_[l].back()) ++progress_.rules_checked;
    }
  }

  window.LabelStatusColour = kStatusRed;
  c.state.CycleRunning = true;
  c.state.CancelRequested = false;
  c.options.ListResults.clear();
  result_row_.reset();

  CheckForPause(c, window);
  ShowStatusLabel(c, "");
  window.ButtonExitToolTip.clear();
  const long long pass_start = SecondsOfDay();

  bool leave = false;
  for (size_t l = 0; l < window.TVRules.size() && !leave; ++l) {
    if (!NodeSteps()) break;  // the library node itself takes no part
    for (size_t r = 0; r < window.TVRules[l].rules.size(); ++r) {
      if (!NodeSteps() || !RuleNode(l, r)) {
        leave = true;
        break;
      }
    }
  }

  const long long elapsed = ElapsedSeconds(pass_start, SecondsOfDay());
  if (!SessionIntact()) {
    DeliverReport();
    return PassEnd::kEndOfGo;
  }
  p_.connection.ConnectLibrary(start_library_);
  total_seconds_ += elapsed;
  c.ui.Yield();
  DeliverReport();
  if (c.state.CancelRequested || c.options.CheckLoop == 0) return PassEnd::kEndOfGo;
  return PassEnd::kNextPass;
}

int ProcessingCycle::LoadCheckedLibraries(std::vector<LibraryProblem>& failed) {
  log::Log& log = p_.context.log;
  int libraries_with_rules = 0;
  for (LibraryNode& node : p_.window.TVRules) {
    if (!node.checked) continue;
    if (node.rules.empty()) {
      node.checked = false;
      continue;
    }
    if (RulesNotLoaded(node) && node.rules.size() == 1) {
      const long problems = log.ErrorCount() + log.WarningCount();
      p_.tree.ExpandLibraryNode(node);
      // Loading the rules unchecks a library that cannot be opened or used: a failure the
      // run must report, where one without rules has nothing to do.
      if (!node.checked) {
        const bool said = log.ErrorCount() + log.WarningCount() > problems;
        failed.push_back({node.text, said ? log.LastProblem()
                                          : "Error: Unable to connect to library " + node.text});
      }
      if (node.rules.empty()) node.checked = false;
    }
    if (node.checked && !node.rules.empty()) ++libraries_with_rules;
  }
  return libraries_with_rules;
}

bool ProcessingCycle::RuleNode(size_t l, size_t r) {
  Context& c = p_.context;
  const LibraryNode& library = p_.window.TVRules[l];
  const CheckNode& rule = library.rules[r];
  // A rule left out after the pass began (its library failed) is done with as well.
  const bool counted = l < counted_.size() && r < counted_[l].size() && counted_[l][r];
  if (!rule.checked || !library.checked || rule.text == kRulePlaceholder) {
    if (counted) ++progress_.rules_done;
    return true;
  }
  progress_.library = library.text;
  progress_.rule = rule.text;
  progress_.rows_selected = progress_.rows_read = progress_.folders_added = 0;
  ShowProgress(runtime::CycleProgress::Step::kRuleStarts);
  report_.rules.push_back({library.text, rule.text});
  const long errors_before = c.log.ErrorCount();
  const long warnings_before = c.log.WarningCount();
  c.log.MarkFirstError();
  const double rule_started = SteadySeconds();
  rule_open_ = true;
  RunRule(l, r);
  rule_open_ = false;
  if (counted) ++progress_.rules_done;
  ShowProgress(runtime::CycleProgress::Step::kRuleEnds);
  RuleReport& done = report_.rules.back();
  done.errors = c.log.ErrorCount() - errors_before;
  done.warnings = c.log.WarningCount() - warnings_before;
  done.first_error = c.log.FirstErrorSinceMark();
  done.seconds = SteadySeconds() - rule_started;
  FinishRuleReport(done);
  p_.nodes.ActiveStatus(rules::kCleanUpOnly, "");
  SetResultState("Finished", true);
  c.ui.Yield();
  return !c.state.CancelRequested;
}

void ProcessingCycle::FinishRuleReport(RuleReport& done) {
  Context& c = p_.context;
  if (result_row_ && *result_row_ < c.options.ListResults.size()) {
    const runtime::ResultsRow& row = c.options.ListResults[*result_row_];
    done.rows_selected = row.rows_selected;
    done.folders_created = row.folders_added;
    done.rows_failed = row.rows_failed;
  }
  if (done.outcome == rule_outcome::kFinished) {
    if (c.state.CancelRequested) {
      done.outcome = rule_outcome::kCancelled;
    } else if (done.rows_failed > 0) {
      done.outcome = rule_outcome::kFailedRows;
    }
  }
  if (done.outcome != rule_outcome::kFinished && done.reason.empty()) {
    done.reason = done.first_error;
  }
  if (done.outcome == rule_outcome::kLibraryBusy) SetResultState("Library busy", false);
}

void ProcessingCycle::BeginReport() {
  report_ = CycleReport{};
  report_.pass = ++passes_;
  report_open_ = true;
  rule_open_ = false;
  broken_ = false;
  pass_started_ = SteadySeconds();
}

void ProcessingCycle::DeliverReport() {
  if (!report_open_) return;
  report_open_ = false;
  report_.seconds = SteadySeconds() - pass_started_;
  report_.cancelled = report_.cancelled || p_.context.state.CancelRequested;
  report_.broken_off = report_.broken_off || (broken_ && !report_.cancelled);
  if (p_.cycle_ended) p_.cycle_ended(report_);
}

void ProcessingCycle::RuleOutcome(const char* outcome, const std::string& reason) {
  if (!rule_open_ || report_.rules.empty()) return;
  report_.rules.back().outcome = outcome;
  report_.rules.back().reason = reason;
}

bool ProcessingCycle::NodeSteps() {
  Context& c = p_.context;
  CheckForPause(c, p_.window);
  if (c.state.CancelRequested) return false;
  if (!SessionIntact()) return false;
  c.ui.SetBusy(true);
  c.ui.Yield();
  return true;
}

bool ProcessingCycle::SessionIntact() {
  if (p_.connection.LibraryObjectSet(kButtonGo)) return true;
  broken_ = true;
  return false;
}

bool ProcessingCycle::LoopDelay() {
  Context& c = p_.context;
  c.state.InLoopDelay = true;
  double delay = text::Val(c.options.TextLoopDelay);
  if (delay <= 0) {
    c.options.TextLoopDelay = "3";
    delay = 3;
  }
  while (delay > 0) {
    ShowStatusLabel(c, "Waiting " + text::Format(delay, "#0") + " seconds before starting");
    c.ui.Yield();
    c.ui.SleepOneSecond();
    delay -= 1;
    if (c.state.CancelRequested || !c.state.InLoopDelay) {
      c.state.InLoopDelay = false;
      return false;
    }
  }
  // Left set, the flag would turn the next pass's Exit click into "end the loop delay".
  c.state.InLoopDelay = false;
  return true;
}

void ProcessingCycle::RunRule(size_t library, size_t rule) {
  result_row_.reset();
  saved_index_ = 0;
  p_.connection.TakeBusyLibrary();  // a statement before this rule gave up: not its concern
  RunRuleBody(library, rule);
}

void ProcessingCycle::RunRuleBody(size_t library_index, size_t rule_index) {
  Context& c = p_.context;
  log::Log& log = c.log;
  dm::Connection& connection = p_.connection;
  LibraryNode& library_node = p_.window.TVRules.at(library_index);
  CheckNode& node = library_node.rules.at(rule_index);
  const std::string rule_name = node.text;
  const std::string library = library_node.text;

  if (!connection.ConnectLibrary(library)) {
    log.AddLogAndSeparator("Error: Unable to connect to library " + library);
    library_node.checked = false;
    RuleOutcome(rule_outcome::kLibraryFailed, "Error: Unable to connect to library " + library);
    return;
  }
  if (!LibraryUsable(library_node, library)) return;
  c.ui.SetBusy(true);
  c.ui.Yield();

  const int index = p_.rules.Find(connection.LibraryName(), rule_name);
  rules::RuleRecord rule;
  std::string saved;
  if (index > 0) {
    saved = SavedStatementOf(p_.rules.Rule(index));
    rule = TrimmedCopy(p_.rules.Rule(index));
  }

  const std::string& email_name = rule[Key::kEmailName];
  const std::string& email_library = rule[Key::kEmailLibrary];
  const std::string site = UCase(c.state.SiteName);
  if (!email_name.empty() && !email_library.empty()) {
    log.AddLogAndSeparator("Override library for rule " + rule_name + " folder " + email_name +
                           " is " + email_library);
  } else if (index == 1 && (text::Left(site, 5) == "TAVI " || text::Left(site, 9) == "BELLWICK ")) {
    const std::string warning =
        "Warning: There were no entries found in the QUIL_SETTINGS table for RULE_EMAIL_NAME "
        "and/or RULE_EMAIL_LIBRARY for rule " +
        rule_name + " in library " + library;
    log.AddLogAndSeparator(warning);
    if (c.ShowMessage(warning + " - do you want to continue anyway?", MessageStyle::kYesNo) !=
        runtime::Answer::kYes) {
      log.AddLogAndSeparator("Processing canceled for library " + library);
      RuleOutcome(rule_outcome::kSkipped, "Processing canceled for library " + library);
      return;
    }
  }

  if (!RuleUsable(node, rule, rule_name, library, saved)) return;
  if (HeldByAnotherComputer(rule_name, library)) {
    RuleOutcome(rule_outcome::kHeld, "Another computer is working on rule " + rule_name);
    return;
  }
  const ErrorMode error_mode =
      c.options.CheckDisplayErrors != 0 ? ErrorMode::kShow : ErrorMode::kSilent;

  log.SetStatus("Processing library " + library + " rule " + rule_name);
  log.Separator();
  const text::DateTime now = c.clock.Now();
  c.options.ListResults.push_back({library + " - " + rule_name,
                                   Format(now, "YYYY/MM/DD") + "-" + Format(now, "HH:MM:SS"),
                                   kWorking});
  result_row_ = c.options.ListResults.size() - 1;
  c.ui.Yield();
  SetCounters(0, 0, 0, 0);

  const std::string reuse = c.options.CheckReUseSQL != 0 ? ChooseReuse(rule_name, &saved) : "";
  const long level = static_cast<long>(rule.Number(Key::kAutofolderLevel));
  if (level != 0) rule.Set(Key::kTemplate, templ::CutTemplateLevels(rule[Key::kTemplate], level));
  const long row_limit = RowLimit(c.options);
  LogRuleSettings(rule);
  Compile(rule, node, library, saved, reuse, row_limit, error_mode);
}

bool ProcessingCycle::LibraryUsable(LibraryNode& node, const std::string& library) {
  log::Log& log = p_.context.log;
  dm::Connection& connection = p_.connection;
  if (!connection.MayManageFolders()) {
    const std::string refusal = "Error: " + connection.UserId() +
                                " does not have rights to manage folders in library " + library;
    log.AddLogAndSeparator(refusal);
    node.checked = false;
    RuleOutcome(rule_outcome::kLibraryFailed, refusal);
    return false;
  }
  const dm::LibraryState& tables = connection.library_state();
  auto missing = [&](bool present, const char* table) {
    if (present) return false;
    const std::string message =
        std::string("Error: Unable to locate ") + table + " table in library " + library;
    log.AddLogAndSeparator(message);
    node.checked = false;
    RuleOutcome(rule_outcome::kLibraryFailed, message);
    return true;
  };
  return !missing(tables.HasQuilSproutsmith, "QUIL_SPROUTSMITH") &&
         !missing(tables.HasQuilSettings, "QUIL_SETTINGS") &&
         !missing(tables.HasNeedsFoldering, "NEEDS_FOLDERING");
}

bool ProcessingCycle::RuleUsable(CheckNode& node, const rules::RuleRecord& rule,
                                 const std::string& rule_name, const std::string& library,
                                 const std::string& saved) {
  log::Log& log = p_.context.log;
  const bool improper = (saved.empty() && rule[Key::kTemplate].empty()) ||
                        (rule[Key::kValues].empty() && rule[Key::kSproutsmithText].empty() &&
                         rule.Number(Key::kOverrideRuleParameters) != 0);
  if (improper) {
    const std::string message =
        "Error: Rule " + rule_name + " configured improperly in library " + library;
    log.SetStatus(message);
    log.Separator();
    node.checked = false;
    RuleOutcome(rule_outcome::kSkipped, message);
    return false;
  }
  const std::string& master = rule[Key::kMasterfolderLibrary];
  if (!master.empty() && master != "*NONE*" &&
      !text::EqualsNoCase(master, p_.connection.LibraryName())) {
    const std::string message = "Warning: Rule " + rule_name +
                                " has a different master folder library (" + master +
                                ") than the selected library (" + library + ")";
    log.SetStatus(message);
    log.Separator();
    node.checked = false;
    RuleOutcome(rule_outcome::kSkipped, message);
    return false;
  }
  return true;
}

bool ProcessingCycle::HeldByAnotherComputer(const std::string& rule, const std::string& library) {
  p_.nodes.ActiveStatus(rules::kCleanUpOnly, "");
  const bool held = p_.nodes.ActiveStatus(rules::kTestRule, rule);
  const bool new_library = !text::EqualsNoCase(library, last_running_node_library_);
  last_running_node_library_ = library;
  if (held) {
    if (new_library) {
      p_.context.log.AddLogAndSeparator(
          "It appears that another machine is already running "
          "QUIL_SPROUTSMITH against rule " +
          rule + " in library " + library + " - will skip this rule");
    }
    return true;
  }
  p_.nodes.ActiveStatus(rules::kRegisterRule, rule);
  return !p_.nodes.ConfirmRegistration(rule);
}

std::string ProcessingCycle::ChooseReuse(const std::string& rule, std::string* saved) {
  const ReuseChoice choice =
      ChooseReusedStatement(p_.rules, p_.connection.LibraryName(), rule, saved);
  saved_index_ = choice.index;
  if (!choice.statement.empty()) {
    p_.context.log.AddLogAndSeparator(
        "Using the existing saved SQL statement for this run of rule " + rule);
  }
  return choice.statement;
}

void ProcessingCycle::LogRuleSettings(const rules::RuleRecord& rule) {
  log::Log& log = p_.context.log;
  if (rule.Number(Key::kOverrideRuleParameters) == 0) {
    log.AddLog("Rule Parameters: " + rule[Key::kValues]);
  } else {
    log.AddLog("Not using Rule Parameters");
  }
  log.Separator();
  log.AddLog("Rule Template: " + rule[Key::kTemplate]);
  log.AddLog("Rule Security: " + rule[Key::kSecurity]);
  log.AddLog("Rule Form: " + rule[Key::kForm]);
  const std::string& sproutsmith_text = rule[Key::kSproutsmithText];
  if (!sproutsmith_text.empty()) log.AddLog("Rule Sproutsmith Text: " + sproutsmith_text);
}

void ProcessingCycle::Compile(rules::RuleRecord& rule, CheckNode& node, const std::string& library,
                              const std::string& saved, const std::string& reuse, long row_limit,
                              ErrorMode error_mode) {
  const templ::CompiledRule compiled =
      p_.compiler.Compile(rule, {p_.connection.LibraryName(), row_limit, reuse, saved});
  switch (compiled.outcome) {
    case templ::CompiledRule::Outcome::kTemplateFailed:
      node.checked = false;
      RuleOutcome(rule_outcome::kTemplateError, "The rule's template could not be read");
      return;
    case templ::CompiledRule::Outcome::kIncomplete:
      RuleOutcome(rule_outcome::kSyntaxError, "Syntax Error");
      return;
    case templ::CompiledRule::Outcome::kSelected:
      break;
  }
  const templ::Intake& intake = compiled.intake;
  if (intake.cancelled) {
    RuleOutcome(rule_outcome::kCancelled, "");
    return;
  }
  const bool initialize = p_.context.options.CheckInitialize != 0;
  if (initialize && intake.rows_read > 0) {
    InitializeRows(rule, library, compiled);
    return;
  }
  if (!initialize && !SelectionFailed(intake)) {
    // Rows an earlier run left unfinished come first, even when nothing new is selected.
    std::optional<std::vector<rules::PendingRow>> work =
        journal_.Prepare(library, rule.Name(), intake.result, intake.emails);
    if (!work) {
      SetCounters(intake.rows_read, 0, 0, 0);
      if (!LibraryBusyStopsRule(rule.Name())) {
        RuleOutcome(rule_outcome::kError, "The selected rows could not be remembered");
      }
      return;
    }
    if (!work->empty()) {
      ProcessRows(rule, library, compiled, error_mode, *work);
      return;
    }
  }
  if (intake.matched > 0) {
    p_.context.log.AddLogAndSeparator("No new folders to process for this rule in library " +
                                      library);
  } else {
    NothingSelected(node, rule.Name(), library, compiled.selection.saved_index);
  }
}

bool ProcessingCycle::SelectionFailed(const templ::Intake& intake) {
  if (intake.rows_read > 0 || intake.matched > 0) return false;
  return !dm::SqlSucceeded(SelectionCode());
}

int ProcessingCycle::SelectionCode() {
  dmapi::SqlObject* sql = p_.connection.sql();
  return sql != nullptr ? sql->GetSQLErrorCode() : 0;
}

void ProcessingCycle::InitializeRows(const rules::RuleRecord& rule, const std::string& library,
                                     const templ::CompiledRule& compiled) {
  Context& c = p_.context;
  const int n = compiled.intake.rows_read;
  c.options.LabelTotal = text::Number(n);
  // What the operator asked for: every selected row is marked as done, nothing is built.
  for (int r = 1; r <= n; ++r) {
    CheckForPause(c, p_.window);
    tracking_.RecordProcessedRow(compiled.intake.result, r, rule.Name(), library, 0, 0);
    c.log.Separator();
    SetCounters(n, r, 0, 0);
    c.ui.Yield();
    if (c.state.CancelRequested) break;
    if (LibraryBusyStopsRule(rule.Name())) break;
  }
  FinishRows(library, 0);
}

void ProcessingCycle::ProcessRows(const rules::RuleRecord& rule, const std::string& library,
                                  const templ::CompiledRule& compiled, ErrorMode error_mode,
                                  std::vector<rules::PendingRow>& work) {
  Context& c = p_.context;
  log::Log& log = c.log;
  const int n = static_cast<int>(work.size());
  const RuleRun run{rule,       library,       compiled,
                    error_mode, site_lookups_, [this] { CheckForPause(p_.context, p_.window); },
                    n};
  c.options.LabelTotal = text::Number(n);
  int added = 0;
  int failed = 0;
  // A row's writes are made durable together (the folder builder also commits before each
  // folder it makes, ahead of the note that guards it): a commit a row, not one a statement.
  struct Held {
    dm::Connection& connection;
    explicit Held(dm::Connection& c) : connection(c) { connection.HoldCommits(true); }
    ~Held() { connection.HoldCommits(false); }
  } held(p_.connection);
  for (int r = 1; r <= n; ++r) {
    CheckForPause(c, p_.window);
    rules::PendingRow& row = work[static_cast<size_t>(r - 1)];
    RowOutcome outcome = p_.rows.ProcessFolderItem(run, row, r);
    if (outcome.first_level_folder != 0 && !outcome.lost) {
      const long long failures = p_.connection.FailedStatements() + log.ErrorCount();
      p_.rows.SortFolders(outcome.first_level_folder);
      // A sort cut short is done again with the row.
      if (p_.connection.FailedStatements() + log.ErrorCount() > failures) outcome.failed = true;
    }
    log.Separator();
    p_.rows.RecordRow(run, row, outcome);
    log.Separator();
    bool row_failed = outcome.failed;
    if (!p_.connection.CommitHeld(library) && !outcome.lost) {
      log.AddLogAndSeparator(
          "Error: The changes of row #" + text::Number(r) + " of rule " + rule.Name() +
          " could not be written to the library - the rule stops here and the next "
          "cycle does the row again");
      outcome.lost = true;
    }
    if (outcome.lost) {
      row_failed = true;
      outcome.folders_added = 0;
    }
    c.log.Flush();
    added += outcome.folders_added;
    failed += row_failed ? 1 : 0;
    SetCounters(n, r, added, failed);
    c.ui.Yield();
    if (outcome.lost) break;
    if (c.state.CancelRequested) break;
    if (LibraryBusyStopsRule(rule.Name())) break;
  }
  FinishRows(library, added);
}

void ProcessingCycle::FinishRows(const std::string& library, int added) {
  Context& c = p_.context;
  c.ui.Yield();
  c.log.Separator();
  SetResultState(text::Number(added) + " folder(s) added", false);
  c.log.SetStatus("Finished with library " + library);
  c.log.Separator();
  RestoreSearchFlags();
}

bool ProcessingCycle::LibraryBusyStopsRule(const std::string& rule) {
  const std::string library = p_.connection.TakeBusyLibrary();
  if (library.empty()) return false;
  // Each further row would wait out the busy wait again: the cycle goes on with the next
  // rule, and the rows not built stay unrecorded for the next cycle.
  const std::string message = "Error: Library " + library +
                              " is busy (another program holds a write lock) - rule " + rule +
                              " stops here and the next cycle tries again";
  p_.context.log.AddLogAndSeparator(message);
  RuleOutcome(rule_outcome::kLibraryBusy, message);
  return true;
}

void ProcessingCycle::NothingSelected(CheckNode& node, const std::string& rule,
                                      const std::string& library, int built_entry) {
  log::Log& log = p_.context.log;
  const int code = SelectionCode();
  if (dm::SqlSucceeded(code)) {
    log.SetStatus("There are no new folders in library " + library + " to add for rule " + rule);
  } else {
    const std::string message =
        "SQL Error: " + text::Number(code) + " occurred trying to identify new folders";
    log.SetStatus(message);
    SetResultState("SQL Error", true);
    RuleOutcome(rule_outcome::kSqlError, message);
    node.checked = false;
    // The entry holds the failing statement, re-used or built now: never re-use it.
    const int entry = saved_index_ > 0 ? saved_index_ : built_entry;
    if (entry > 0 && entry <= p_.rules.SavedCount()) {
      log.AddLogAndSeparator("NOT saving the SQL statement from this run of rule " + rule);
      p_.rules.Saved(entry).statement.clear();
    }
  }
  log.Separator();
  p_.connection.Release();
}

void ProcessingCycle::EndOfGo() {
  Context& c = p_.context;
  std::string message = "Finished processing.";
  if (total_seconds_ > 0) {
    message += " (total time: " + text::Number(total_seconds_) + " seconds)";
  }
  c.log.AddLogAndSeparator(message);
  if (c.state.HasSwitch("/G")) {
    ShowStatusLabel(c, message);
  } else {
    c.ShowMessage(message, MessageStyle::kInformation);
  }
  CommonEnding();
  if (c.state.HasSwitch("/X") && p_.end_program) p_.end_program();
}

void ProcessingCycle::EndingWithoutWork() {
  Context& c = p_.context;
  const std::string message = "No libraries or rules selected - cannot continue.";
  c.log.AddLog(message);
  if (!c.state.HasSwitch("/G")) c.ShowMessage(message, MessageStyle::kInformation);
  CommonEnding();
}

void ProcessingCycle::CommonEnding() {
  Context& c = p_.context;
  // Each step goes on when the one before it failed.
  auto step = [&](auto&& body) { log::TrapVoid(c.log, kProcedure, body); };
  step([&] { RestoreSearchFlags(); });
  step([&] { c.settings.Save(c.identity.product_name, kGeneral, "IsRunning", "0"); });
  step([&] { c.log.Separator(); });
  step([&] {
    if (!start_library_.empty()) p_.connection.ConnectLibrary(start_library_);
  });
  step([&] { p_.nodes.ActiveStatus(rules::kCleanUpOnly, ""); });
  c.state.CycleRunning = false;
  c.state.CancelRequested = false;
  c.state.InLoopDelay = false;
  MainWindowModel& window = p_.window;
  window.LabelStatusColour = kStatusDarkBlue;
  window.TextPauseEnabled = true;
  window.ButtonGoEnabled = true;
  window.ButtonExitEnabled = true;
  c.ui.SetBusy(false);
  ShowProgress(runtime::CycleProgress::Step::kCycleEnds);
  ShowStatusLabel(c, start_status_);
  c.ui.Yield();
}

void ProcessingCycle::SetResultState(const std::string& state, bool only_when_working) {
  auto& results = p_.context.options.ListResults;
  if (!result_row_ || *result_row_ >= results.size()) return;
  runtime::ResultsRow& row = results[*result_row_];
  if (!only_when_working || row.state == kWorking) row.state = state;
}

void ProcessingCycle::SetCounters(int total, int read, int added, int errors) {
  runtime::Options& o = p_.context.options;
  o.LabelTotal = text::Number(total);
  o.LabelRead = text::Number(read);
  o.LabelAdded = text::Number(added);
  o.LabelErrors = text::Number(errors);
  if (result_row_ && *result_row_ < o.ListResults.size()) {
    runtime::ResultsRow& row = o.ListResults[*result_row_];
    row.rows_selected = total;
    row.folders_added = added;
    row.rows_failed = errors;
  }
  progress_.rows_selected = total;
  progress_.rows_read = read;
  progress_.folders_added = added;
  ShowProgress(runtime::CycleProgress::Step::kRows);
}

void ProcessingCycle::ShowProgress(runtime::CycleProgress::Step step) {
  progress_.step = step;
  p_.context.ui.Progress(progress_);
}

long long ProcessingCycle::SecondsOfDay() const {
  const text::DateTime now = p_.context.clock.Now();
  return now.hour * 3600LL + now.minute * 60LL + now.second;
}

}  // namespace sproutsmith::app
