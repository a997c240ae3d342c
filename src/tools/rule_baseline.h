#pragma once
// Moving a rule's starting point in the tracking table QUIL_SPROUTSMITH: "Reset rule to
// initial SIDs" forgets every row the rule has processed, "Set rule to current SIDs" records
// every row that exists now in the rule's template tables as processed. Both work in the
// library the operator chooses and connect the library that was connected on entry again
// before they return, however they end. Questions and boxes go through ShowMessage.

#include <optional>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_store.h"
#include "tools/library_choice.h"

namespace sproutsmith::tools {

enum class BaselineStatus {
  kCompleted,        // the final "Procedure complete" message was given
  kNothingToReset,   // the rule has no tracking rows
  kDeclined,         // the operator answered No
  kNoLibrary,        // no library chosen, or it could not be connected
  kNoSettingsTable,  // the chosen library has no QUIL_SETTINGS
  kRuleNotFound,     // set-to-current: the library has no such rule
  kUnparsable,       // set-to-current: the template yields no item
  kFailed,           // an unexpected error (reported in the log)
};

struct BaselineOutcome {
  BaselineStatus status = BaselineStatus::kFailed;
  std::string library;  // the chosen library ("" when none)
  long long added = 0;
  long long removed = 0;
};

class RuleBaseline {
 public:
  // `rules` holds the connected library's rules (reloaded on every connection).
  RuleBaseline(Context& context, dm::Connection& connection, rules::RuleStore& rules);

  // MNInitialRules: after the operator confirms, deletes every tracking row of `rule`.
  BaselineOutcome ResetRule(const std::string& rule, const LibraryChooser& choose);
  // MNCurrentRules: after the operator confirms, replaces the rule's tracking rows by one
  // row per row of every table the rule's template reads.
  BaselineOutcome SetRuleToCurrent(const std::string& rule, const LibraryChooser& choose);

  // The tables whose SYSTEM_IDs a cycle of `rule` records, in template order, each once:
  // the table of every column token and the table its foreign key is reached through.
  // Works in the connected library. Nothing when the template yields no item (logged).
  std::optional<std::vector<std::string>> TemplateTables(const rules::RuleRecord& rule);

 private:
  template <typename Body>
  BaselineOutcome Frame(const char* procedure, const LibraryChooser& choose, Body&& body);
  BaselineOutcome ResetBody(const std::string& rule, const std::string& library);
  BaselineOutcome CurrentBody(const std::string& rule, const std::string& library);
  void Inform(const std::string& text);

  Context& context_;
  dm::Connection& connection_;
  rules::RuleStore& rules_;
};

}  // namespace sproutsmith::tools
