#pragma once
// What the processing cycle hands each selected row to: folder item processing, sorting the
// row's top folder and the row's tracking bookkeeping. Folder building is a later part of
// the product; until it exists the cycle runs with FolderBuildingUnavailable, which leaves
// every row untouched (and unrecorded) for a later cycle.

#include <string>
#include <vector>

#include "rules/rule_record.h"
#include "template/compiler.h"

namespace sproutsmith::app {

// A row of the HOLLOWBRINK site's lookup table (empty at every other site).
struct SiteLookup {
  std::string column;       // PROFILE column: DIVISION or ATTY
  std::string table;        // its lookup table
  std::string key_column;   // the lookup table's key column
  std::string default_key;  // "SP" / "DMADMIN"
  std::string assignment;   // "<column> = (SELECT SYSTEM_ID FROM ...), "
};

// One rule's run as the row processor sees it. Valid for the rule's row loop only.
struct RuleRun {
  const rules::RuleRecord& rule;  // the values of this run (template already cut)
  const std::string& library;     // the rule's library, connected when the loop starts
  const templ::CompiledRule& compiled;
  int error_mode;  // for the DM operations: 2 shows errors, 3 does not
  const std::vector<SiteLookup>& site_lookups;
};

// What ProcessFolderItem reports for one row.
struct RowOutcome {
  long long first_level_folder = 0;  // the row's top folder (0: none to sort)
  int level_left = 0;                // the level at which the row's level loop ended
  long long parent_folder = 0;       // the folder of the last level handled
  int folders_added = 0;
  bool failed = false;
};

class RowProcessor {
 public:
  virtual ~RowProcessor() = default;
  // False when this build cannot turn rows into folders: the cycle then leaves the rows
  // for a later cycle and calls nothing below.
  virtual bool BuildsFolders() const = 0;
  virtual RowOutcome ProcessFolderItem(const RuleRun& run, int row) = 0;
  virtual void SortFolders(long long folder, const std::string& library, long max_items) = 0;
  // The row's tracking bookkeeping (records it unless its first level got no folder).
  virtual void RecordRow(const RuleRun& run, int row, const RowOutcome& outcome) = 0;
};

// The processor of this build. It must never record a row: a recorded row is never
// selected again, so its folders would never be built.
class FolderBuildingUnavailable final : public RowProcessor {
 public:
  bool BuildsFolders() const override { return false; }
  RowOutcome ProcessFolderItem(const RuleRun&, int) override { return {}; }
  void SortFolders(long long, const std::string&, long) override {}
  void RecordRow(const RuleRun&, int, const RowOutcome&) override {}
};

}  // namespace sproutsmith::app
