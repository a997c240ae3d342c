#pragma once
// The rule store: the rules of the connected library, read from its QUIL_SETTINGS rows each
// time a library is connected, and the saved-statement list, which collects the saved
// selection statements of every library connected since the program started. Nothing here
// writes to the database.

#include <string>
#include <string_view>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::rules {

inline constexpr char kDefaultRuleName[] = "***DEFAULT RULE***";

// One entry of the saved-statement list.
struct SavedStatement {
  std::string library;
  std::string rule;       // upper case
  std::string statement;  // trimmed
  // Kept for the selection run: cleared when the entry is run, then its row count.
  std::string pending;
  std::string row_count;
};

class RuleStore {
 public:
  RuleStore(Context& context, dm::Connection& connection);

  // Makes every successful ConnectLibrary reload the rules. Replaces any earlier hook.
  void Attach();

  // Replaces the rule list with the connected library's rules (or the default rule), updates
  // the saved-statement list and the library settings of the connection, refills the two rule
  // menus. Never fails: a failed query leaves the default rule, a library without
  // QUIL_SETTINGS an empty list.
  void LoadRules();

  int Count() const { return static_cast<int>(rules_.size()); }
  // 1-based. REQUIRES: 1 <= index <= Count().
  const RuleRecord& Rule(int index) const { return rules_.at(index - 1); }
  RuleRecord& Rule(int index) { return rules_.at(index - 1); }
  // A value by index and order number; "" when the index is out of range.
  std::string Value(int index, RuleKey key) const;
  // First rule whose library equals `library` exactly and whose name equals `rule` in upper
  // case; 0 when there is none.
  int Find(std::string_view library, std::string_view rule) const;

  // The saved-statement list, 1-based.
  int SavedCount() const { return static_cast<int>(saved_.size()); }
  const SavedStatement& Saved(int index) const { return saved_.at(index - 1); }
  SavedStatement& Saved(int index) { return saved_.at(index - 1); }
  // First entry of (library, rule): library compared exactly, rule in upper case; 0 if none.
  int FindSaved(std::string_view library, std::string_view rule) const;
  // The entry's statement; "" when there is none.
  std::string SavedStatementFor(std::string_view library, std::string_view rule) const;
  // Sets the statement (trimmed) of the entry of (library, rule), appending one when missing.
  // Returns the entry's index.
  int SaveStatement(std::string_view library, std::string_view rule, std::string_view statement);

  // The library setting MASTER_LIBRARY of the last load ("" when it had none).
  const std::string& MasterLibrary() const { return master_library_; }

 private:
  void LoadRulesBody();
  void ReadRows(const std::string& library);
  void ReadSetting(const std::string& name);
  void StoreKey(RuleRecord& rule, const std::string& section);
  void FinishRules();
  void MakeDefaultRule(const std::string& library);
  void RefillRuleMenus();
  // Pieces 1..n of the current row's CHAR_VAL, concatenated.
  std::string Pieces(int count) const;

  Context& context_;
  dm::Connection& connection_;
  std::vector<RuleRecord> rules_;
  std::vector<SavedStatement> saved_;
  std::string master_library_;
};

}  // namespace sproutsmith::rules
