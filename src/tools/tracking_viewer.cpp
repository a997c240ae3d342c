// Listing QUIL_SPROUTSMITH and removing chosen rows.

#include "tools/tracking_viewer.h"

#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::tools {

using runtime::Answer;
using runtime::MessageStyle;
using text::Format;

std::vector<TrackingCount> CountByRuleAndTable(const std::vector<TrackingRow>& rows) {
  std::vector<TrackingCount> counts;
  for (const TrackingRow& row : rows) {
    TrackingCount* found = nullptr;
    for (TrackingCount& c : counts) {
      if (c.rule == row.rule && c.table == row.table) found = &c;
    }
    if (found == nullptr) {
      counts.push_back({row.rule, row.table, 0});
      found = &counts.back();
    }
    ++found->rows;
  }
  return counts;
}

TrackingViewer::TrackingViewer(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

TrackingViewer::~TrackingViewer() { Close(); }

bool TrackingViewer::Open(const LibraryChooser& choose) {
  Close();
  if (!connection_.LibraryObjectSet("MNDisplayQuilAuto", dm::NoLibrary::kShow)) return false;
  status_ = context_.options.LabelStatus;
  back_.emplace(connection_);
  const bool open =
      log::Trap(context_.log, "MNDisplayQuilAuto", false, [&] { return OpenBody(choose); });
  if (!open) Close();
  return open;
}

bool TrackingViewer::OpenBody(const LibraryChooser& choose) {
  if (!choose || !choose()) return false;
  library_ = connection_.LibraryName();
  if (!connection_.TableExists("QUIL_SPROUTSMITH")) {
    context_.ShowMessage("QUIL_SPROUTSMITH does not exist in library " + library_,
                         MessageStyle::kExclamation);
    return false;
  }
  context_.log.SetStatus("Displaying QUIL_SPROUTSMITH rows in library " + library_);
  Refresh();
  return true;
}

void TrackingViewer::Refresh() {
  rows_.clear();
  log::TrapVoid(context_.log, "RefreshMe", [&] {
    connection_.RunQuery(
        "SELECT RULE_NAME, TABLE_NAME, SID FROM [OWNER].QUIL_SPROUTSMITH ORDER BY RULE_NAME, "
        "TABLE_NAME, SID",
        [&] {
          const std::string sid = connection_.Column(3);
          rows_.push_back(
              {connection_.Column(1), connection_.Column(2),
               text::IsNumeric(sid) ? text::Format(connection_.ColumnNumber(3), "#0") : sid});
          return true;
        });
  });
  caption_ = "Quil_Sproutsmith contents in library " + library_ +
             " (Total: " + text::Number(rows_.size()) + ")";
}

std::optional<long long> TrackingViewer::Remove(const std::vector<TrackingRow>& selected) {
  if (!connection_.LibraryObjectSet("MNRemove", dm::NoLibrary::kShow) || selected.empty()) {
    return std::nullopt;
  }
  const std::string question = "Are you sure you want to remove " + text::Number(selected.size()) +
                               " selected row(s) from QUIL_SPROUTSMITH in library " + library_ +
                               "?";
  if (context_.ShowMessage(question, MessageStyle::kYesNo) != Answer::kYes) return std::nullopt;
  const long long removed =
      log::Trap(context_.log, "MNRemove", 0LL, [&] { return RemoveBody(selected); });
  context_.ShowMessage(
      text::Number(removed) + " row(s) removed from QUIL_SPROUTSMITH in library " + library_,
      MessageStyle::kInformation);
  Refresh();
  return removed;
}

long long TrackingViewer::RemoveBody(const std::vector<TrackingRow>& selected) {
  long long removed = 0;
  for (const TrackingRow& row : selected) {
    // A SID is a number; anything else would end up inside the statement as it stands.
    if (!text::IsNumeric(row.sid)) continue;
    long long affected = 0;
    connection_.RunStatement(
        "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE SID = " + Format(text::Val(row.sid), "#0") +
            " AND TABLE_NAME = '" + dm::SqlQuote(row.table) + "' AND RULE_NAME = '" +
            dm::SqlQuote(row.rule) + "'",
        &affected);
    removed += affected;
  }
  return removed;
}

void TrackingViewer::Close() {
  if (!back_) return;
  back_.reset();
  context_.options.LabelStatus = status_;
  context_.ui.StatusChanged(status_);
  context_.ui.SetBusy(false);
}

}  // namespace sproutsmith::tools
