#pragma once
// The processing cycle: one press of Go walks the checked rules of the checked libraries of
// TVRules, pass after pass while CheckLoop is ticked, and ends with the total time. It is an
// explicit loop whose steps a test can drive one at a time (StartOfGo, RunPass, RunRule,
// LoopDelay, EndOfGo); the clock, the Ui and the flags come from the Context. Clicks reach
// it only through the flags, at the yield points.
//
// On entry and on return the library connected when Go was pressed is connected.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/library_tree.h"
#include "app/main_window_model.h"
#include "app/run_report.h"
#include "dm/connection.h"
#include "folders/row_processor.h"
#include "log/context.h"
#include "rules/row_journal.h"
#include "rules/rule_store.h"
#include "rules/running_nodes.h"
#include "rules/tracking.h"
#include "template/compiler.h"

namespace sproutsmith::app {

using folders::ErrorMode;
using folders::RowOutcome;
using folders::RowProcessor;
using folders::RuleRun;
using folders::SiteLookup;

// What the cycle works with. Every reference must outlive the cycle.
struct CycleParts {
  Context& context;
  MainWindowModel& window;
  dm::Connection& connection;
  rules::RuleStore& rules;
  rules::RunningNodes& nodes;
  templ::TemplateCompiler& compiler;
  LibraryTree& tree;
  RowProcessor& rows;
  std::function<void()> lock_workstation;  // may be empty
  // Asked at the end of a finished Go when the command line holds "/X".
  std::function<void()> end_program;  // may be empty
  // Told what each pass did, when it ends (also a pass that found no work or broke off).
  std::function<void(const CycleReport&)> cycle_ended;  // may be empty
};

// The row limit of a rule from TextMaxFolders: 10000 for 0, a negative number or more than
// 10000; 0 in initialize mode; otherwise the number.
long RowLimit(const runtime::Options& options);
// Whole seconds from `start` to `end` (seconds since midnight); a pass that runs past
// midnight counts the seconds on both sides of it.
long long ElapsedSeconds(long long start, long long end);

class ProcessingCycle {
 public:
  explicit ProcessingCycle(CycleParts parts);

  // One press of Go, start to end. False when an unexpected error broke it off: it was
  // reported, the status reads "Error: Unable to complete this process" and the common
  // ending has run.
  bool Go();

  // The steps of Go.
  // The checks and preparations before the first pass. False: Go stops here and nothing else
  // happens.
  bool StartOfGo();
  enum class PassEnd { kNoWork, kEndOfGo, kNextPass };
  // One pass: tree preparation, the node loop, the pass end. kNoWork: no checked library
  // has rules (the pass did not start).
  PassEnd RunPass();
  // The loop delay. False when a cancel or the end of the delay by the operator ends Go.
  bool LoopDelay();
  // The rule node `rule` of the library node `library` (indexes into TVRules).
  void RunRule(size_t library, size_t rule);
  // "Finished processing." and the common ending; with "/X" asks for the program's end.
  void EndOfGo();
  // "No libraries or rules selected - cannot continue." and the common ending.
  void EndingWithoutWork();
  void CommonEnding();

  long long TotalSeconds() const { return total_seconds_; }
  // What the current or last pass did so far.
  const CycleReport& Report() const { return report_; }
  const std::vector<SiteLookup>& SiteLookups() const { return site_lookups_; }

 private:
  struct LibraryFlag {
    std::string name;  // trimmed, upper case
    std::string flag;  // "-1" or "0"
  };

  // Loads the rules of checked libraries not loaded yet; the count of libraries with rules.
  int LoadCheckedLibraries(std::vector<LibraryProblem>& failed);
  // One rule node of the pass with its report; false when a cancel ends the pass.
  bool RuleNode(size_t library, size_t rule);
  void FinishRuleReport(RuleReport& done);
  bool NodeSteps();
  // The session and its library object are still there; false marks the pass broken.
  bool SessionIntact();
  void RunRuleBody(size_t library, size_t rule);
  bool LibraryUsable(LibraryNode& node, const std::string& library);
  bool RuleUsable(CheckNode& node, const rules::RuleRecord& rule, const std::string& rule_name,
                  const std::string& library, const std::string& saved);
  bool HeldByAnotherComputer(const std::string& rule, const std::string& library);
  // The saved statement re-used for this run ("" for none); may replace `saved`.
  std::string ChooseReuse(const std::string& rule, std::string* saved);
  void LogRuleSettings(const rules::RuleRecord& rule);
  void Compile(rules::RuleRecord& rule, CheckNode& node, const std::string& library,
               const std::string& saved, const std::string& reuse, long row_limit,
               ErrorMode error_mode);
  // The rule's work: rows an earlier run left unfinished, then the new ones.
  void ProcessRows(const rules::RuleRecord& rule, const std::string& library,
                   const templ::CompiledRule& compiled, ErrorMode error_mode,
                   std::vector<rules::PendingRow>& work);
  // Initialize mode: every selected row recorded, nothing built.
  void InitializeRows(const rules::RuleRecord& rule, const std::string& library,
                      const templ::CompiledRule& compiled);
  void FinishRows(const std::string& library, int added);
  // The selection statement itself failed (an SQL error, not an empty result).
  bool SelectionFailed(const templ::Intake& intake);
  // The SQL object's code after the selection statement (0 without an SQL object).
  int SelectionCode();
  // After a row: true (and the rule's outcome set) when a statement gave up on a library
  // another program holds a write lock on; the rule's remaining rows wait for the next cycle.
  bool LibraryBusyStopsRule(const std::string& rule);
  void NothingSelected(CheckNode& node, const std::string& rule, const std::string& library,
                       int built_entry);
  void TakeLibrarySnapshot();
  void RestoreSearchFlags();
  void SetResultState(const std::string& state, bool only_when_working);
  void SetCounters(int total, int read, int added, int errors);
  void ShowProgress(runtime::CycleProgress::Step step);
  long long SecondsOfDay() const;
  // How the rule being run ended, when not as finished (no rule open: nothing).
  void RuleOutcome(const char* outcome, const std::string& reason);
  void BeginReport();
  void DeliverReport();

  CycleParts p_;
  rules::Tracking tracking_;
  rules::RowJournal journal_;
  std::string start_library_;
  std::string start_status_;
  std::vector<LibraryFlag> snapshot_;
  std::vector<SiteLookup> site_lookups_;
  long long total_seconds_ = 0;
  std::string last_running_node_library_;
  // The rule run's results-list row and re-used saved-statement entry (0: none).
  std::optional<size_t> result_row_;
  int saved_index_ = 0;
  // The pass's report: open from the pass's start until it is delivered.
  CycleReport report_;
  int passes_ = 0;
  bool report_open_ = false;
  bool rule_open_ = false;
  bool broken_ = false;  // the DM objects were lost: the pass could not go on
  double pass_started_ = 0;
  runtime::CycleProgress progress_;
  // Per library and rule node: checked when the pass began, so counted in rules_checked.
  std::vector<std::vector<bool>> counted_;
};

}  // namespace sproutsmith::app
