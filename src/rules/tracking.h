#pragma once
// The system's memory between cycles: QUIL_SPROUTSMITH records every source row already
// turned into folders, and NEEDS_FOLDERING queues the documents of new folders for the
// filing service. Both work in the rule's library and leave the connected library as they
// found it.

#include <string_view>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/result_table.h"
#include "rules/row_journal.h"

namespace sproutsmith::rules {

class Tracking {
 public:
  Tracking(Context& context, dm::Connection& connection);

  // Records row `row` of `result` for `rule` in `library`: one QUIL_SPROUTSMITH row per
  // "<table>.SYSTEM_ID" column, from the last column to the first, replacing any earlier
  // row of the same source row. Nothing is recorded when the row's level loop was left at
  // level 1 without a folder (`level_left` 1 and `parent_folder` <= 0), so the next cycle
  // tries the row again. Returns the number of tables recorded, or -1 when a table's row
  // could not be written (the row is then not recorded whole).
  int RecordProcessedRow(const ResultTable& result, int row, std::string_view rule,
                         std::string_view library, int level_left, long long parent_folder);
  int RecordProcessedRow(const SourceRow& row, std::string_view rule, std::string_view library,
                         int level_left, long long parent_folder);

  // Queues into NEEDS_FOLDERING every document of `library` that meets `queue_conditions`,
  // is not a folder and is not queued yet. Does nothing while CheckAddNewDocs is unticked;
  // an empty condition only logs a warning. True when the insert ran.
  bool QueueDocuments(std::string_view queue_conditions, std::string_view library);

 private:
  int RecordBody(const SourceRow& row, const std::string& rule, const std::string& library);
  bool QueueBody(const std::string& conditions, const std::string& library);
  // Connects `library`; on failure logs it and puts `remembered` back.
  bool Enter(const std::string& library, const std::string& remembered);
  void Leave(const std::string& remembered);

  Context& context_;
  dm::Connection& connection_;
};

}  // namespace sproutsmith::rules
