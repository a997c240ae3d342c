#pragma once
// What the processing cycle hands each selected row to: folder item processing, sorting the
// row's top folder and the row's tracking bookkeeping. The cycle owns the row loop; the
// folder builder implements this contract below the cycle's layer.

#include <functional>
#include <string>
#include <vector>

#include "folders/folder_creation.h"
#include "folders/site_profile.h"
#include "rules/row_journal.h"
#include "rules/rule_record.h"
#include "template/compiler.h"

namespace sproutsmith::folders {

// One rule's run as the row processor sees it. Valid for the rule's row loop only.
struct RuleRun {
  const rules::RuleRecord& rule;  // the values of this run (template already cut)
  const std::string& library;     // the rule's library, connected when the loop starts
  const templ::CompiledRule& compiled;
  ErrorMode error_mode;                         // for the DM client's saves
  const std::vector<SiteLookup>& site_lookups;  // empty at every site but one
  // The pause check before each level (serves the window, waits out a pause).
  std::function<void()> check_for_pause;
  int rows = 0;  // the rows of this run's work
};

// What ProcessFolderItem reports for one row.
struct RowOutcome {
  long long first_level_folder = 0;  // the row's top folder (0: none to sort)
  int level_left = 0;                // the level at which the row's level loop ended
  long long parent_folder = 0;       // the folder of the last level handled
  int folders_added = 0;
  bool failed = false;       // a level's folder could not be found or made
  bool interrupted = false;  // a cancel stopped the row before its steps were all done
  bool refused = false;      // its values cannot be stored: nothing was written for it
  // The library refused to commit the row's writes and undid them: rows after it would
  // build on folders that are gone, so the rule stops.
  bool lost = false;
};

class RowProcessor {
 public:
  virtual ~RowProcessor() = default;
  // `row` is the `number`th row of the run's work; its journal entry notes the folder it is
  // about to make.
  virtual RowOutcome ProcessFolderItem(const RuleRun& run, rules::PendingRow& row, int number) = 0;
  // Sorts `folder` of the connected library, within the library's limit of items to sort.
  virtual void SortFolders(long long folder) = 0;
  // The row's tracking bookkeeping: a finished row is recorded (unless its first level got
  // no folder) and leaves the journal; an unfinished one stays for the next cycle.
  virtual void RecordRow(const RuleRun& run, const rules::PendingRow& row,
                         const RowOutcome& outcome) = 0;
};

}  // namespace sproutsmith::folders
