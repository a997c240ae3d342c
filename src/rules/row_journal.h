#pragma once
// The rows a rule's cycle selected and has not finished yet, kept in the rule's library so
// that whatever ends a cycle (a crash, a stop, a failed write, a full disk) the next cycle
// finishes them first, in the order they were selected.
//
// A tracking row only says that a source record was used by some finished row; a row whose
// records were all used by its siblings is never selected again. So every selected row is
// remembered here before the first of them is built, and forgotten only once it is recorded.
// Before a folder is made for a row, the row notes the level and the item library's highest
// document number at that moment: a folder above that number with the level's name is the
// one that row was making, and the next cycle finishes it instead of making a second one.
//
// Storage: QUIL_SETTINGS rows with MASTER_KEY 'ARBORLINE', SECTION_KEY 'PENDING_ROW <id>',
// SUB_KEY the rule's name, INT_VAL the row's place in selection order, KEY_TYPE 1, 2, ... the
// parts of the row's text (at most 1000 characters each) and KEY_TYPE 0 the level being made.
// Rule, setting and running-node readers never read these sections.

#include <optional>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/result_table.h"

namespace sproutsmith::rules {

// One source row as the selection returned it.
struct SourceRow {
  std::vector<std::string> headings;  // column 1 at [0]
  std::vector<std::string> values;    // as many as headings
  std::string email;                  // the row's e-mail text ("" when none)

  friend bool operator==(const SourceRow&, const SourceRow&) = default;
};

// A row's identity across cycles: the values of its "<table>.SYSTEM_ID" columns, the records
// tracking would note for it; all its values when it has none.
std::string RowKey(const SourceRow& row);

// One row of a rule's work, remembered in the journal.
struct PendingRow {
  std::string id;          // 16 hex digits, from the row's key
  long long sequence = 0;  // selection order, across cycles
  SourceRow row;
  // The level whose folder was being made when the row stopped (0: none), and the item
  // library's highest document number just before.
  int creating_level = 0;
  long long watermark = 0;
  bool resumed = false;  // remembered by an earlier cycle
};

// The journal's text form of a row, and back (false for a text that was cut short).
std::string EncodeRow(const SourceRow& row);
bool DecodeRow(const std::string& text, SourceRow* row);

class RowJournal {
 public:
  RowJournal(Context& context, dm::Connection& connection);

  // This cycle's work for `rule` in `library`: the rows earlier cycles left unfinished, oldest
  // first, then the selected rows of `result` (with `emails`, indexed by row) that are not
  // among them, each remembered before this returns. A pending row that nothing was made for
  // yet takes the values the selection returns for it now. Nullopt when the journal could not
  // be read or written: the error is logged and nothing should be built.
  std::optional<std::vector<PendingRow>> Prepare(const std::string& library,
                                                 const std::string& rule, const ResultTable& result,
                                                 const std::vector<std::string>& emails);

  // Notes that a folder is about to be made for `level` of `row`. False when it could not be
  // noted: the folder must not be made.
  bool NoteCreating(const std::string& library, const std::string& rule, PendingRow& row, int level,
                    long long watermark);

  // The row is recorded, or nothing was made for it: it leaves the journal.
  bool Forget(const std::string& library, const std::string& rule, const PendingRow& row);

  // Every pending row of `rule` in the connected library (oldest first); nullopt when they
  // cannot be read. A row whose text was cut short (a break while it was being written) is
  // removed, with a warning.
  std::optional<std::vector<PendingRow>> Load(const std::string& rule);

 private:
  bool Remember(const std::string& rule, const std::vector<const PendingRow*>& rows);
  bool Enter(const std::string& library);
  // The server's time in the connected library's flavour.
  std::string Now() const;

  Context& context_;
  dm::Connection& connection_;
};

}  // namespace sproutsmith::rules
