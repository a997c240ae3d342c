// Recording processed rows in QUIL_SPROUTSMITH and queueing documents in NEEDS_FOLDERING.

#include "rules/tracking.h"

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::rules {

using text::Format;
using text::Trim;
using text::UCase;

using dm::Reconnect;

Tracking::Tracking(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

bool Tracking::Enter(const std::string& library, const std::string& remembered) {
  if (connection_.ConnectLibrary(library)) return true;
  // Writing into whichever library is connected instead would corrupt its tables; the row
  // stays new and the next cycle tries it again.
  context_.log.AddLogAndSeparator("Error: Unable to connect to library " + library);
  Leave(remembered);
  return false;
}

void Tracking::Leave(const std::string& remembered) {
  if (!remembered.empty()) connection_.ConnectLibrary(remembered);
}

int Tracking::RecordProcessedRow(const ResultTable& result, int row, std::string_view rule,
                                 std::string_view library, int level_left,
                                 long long parent_folder) {
  SourceRow source;
  for (int column = 1; column <= result.ColumnCount(); ++column) {
    source.headings.push_back(result.Heading(column));
    source.values.push_back(result.Cell(row, column));
  }
  return RecordProcessedRow(source, rule, library, level_left, parent_folder);
}

int Tracking::RecordProcessedRow(const SourceRow& row, std::string_view rule,
                                 std::string_view library, int level_left,
                                 long long parent_folder) {
  if (level_left == 1 && parent_folder <= 0) return 0;
  const std::string r(rule), l(library);
  return log::Trap(context_.log, "RecordProcessedRow", -1, [&] { return RecordBody(row, r, l); });
}

int Tracking::RecordBody(const SourceRow& row, const std::string& rule,
                         const std::string& library) {
  auto& log = context_.log;
  log.SetStatus("Updating QUIL_SPROUTSMITH information in " + library +
                " for newly created folder(s)");
  log.Separator();
  const std::string remembered = connection_.LibraryName();
  if (!Enter(library, remembered)) return -1;
  Reconnect back(connection_, remembered);

  const std::string quoted_rule = dm::SqlQuote(rule);
  int recorded = 0;
  bool complete = true;
  for (size_t column = row.headings.size(); column-- > 0;) {
    const std::string& heading = row.headings[column];
    const long position = text::InStr(UCase(heading), ".SYSTEM_ID");
    if (position <= 1) continue;
    const std::string table = Trim(text::Left(heading, position - 1));
    if (table.empty()) continue;
    const std::string sid =
        Format(text::Val(column < row.values.size() ? row.values[column] : ""), "#0");
    const std::string quoted_table = dm::SqlQuote(table);

    log.AddLogAndSeparator("Adding Folder column item " + heading + " to QUIL_SPROUTSMITH");
    // An exact name match: with LIKE, "A_B" would also remove the rows of rule "AXB".
    if (!connection_.RunStatement("DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE SID = " + sid +
                                  " AND TABLE_NAME = '" + quoted_table +
                                  "' AND UPPER(RULE_NAME) = '" + UCase(quoted_rule) + "'")) {
      // An insert now would make a second row; the row is recorded again next cycle.
      complete = false;
      continue;
    }
    if (connection_.RunStatement(
            "INSERT INTO [OWNER].QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
            "VALUES(" +
            sid + ", '" + quoted_table + "', '" + quoted_rule + "', 0, '')")) {
      ++recorded;
    } else {
      complete = false;
    }
  }
  return complete ? recorded : -1;
}

bool Tracking::QueueDocuments(std::string_view queue_conditions, std::string_view library) {
  if (context_.options.CheckAddNewDocs == 0) return false;
  const std::string c(queue_conditions), l(library);
  return log::Trap(context_.log, "QueueDocuments", false, [&] { return QueueBody(c, l); });
}

bool Tracking::QueueBody(const std::string& conditions, const std::string& library) {
  auto& log = context_.log;
  if (Trim(conditions).empty()) {
    log.AddLogAndSeparator(
        "Warning: Not adding new documents to Queue - unable to form SQL statement");
    return false;
  }
  const std::string remembered = connection_.LibraryName();
  if (!Enter(library, remembered)) return false;
  Reconnect back(connection_, remembered);

  log.SetStatus("Adding New Documents to Queue in library " + library);
  log.Separator();
  return connection_.RunStatement(
      "INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, "
      "TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', "
      "NULL FROM [OWNER].PROFILE WHERE " +
      conditions +
      // Not a folder, said so that a document without an application, or a library without
      // a FOLDER application, is queued too (a comparison with NULL would leave them out).
      " AND NOT EXISTS (SELECT * FROM [OWNER].APPS WHERE APPS.SYSTEM_ID = PROFILE.APPLICATION "
      "AND APPS.APPLICATION = 'FOLDER') "
      " AND DOCNUMBER NOT IN (SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = "
      "'PROFILE')");
}

}  // namespace sproutsmith::rules
