#pragma once
// The tracking-table viewer: every row of QUIL_SPROUTSMITH in a chosen library, and the
// removal of chosen rows so that the next cycle treats those source rows as new again.
// While open, the chosen library stays connected; closing (or destroying) the viewer
// connects the library that was connected when it opened.

#include <optional>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "dm/reconnect.h"
#include "log/context.h"
#include "tools/library_choice.h"

namespace sproutsmith::tools {

// One tracking row as listed: the rule, the table and the source row's SYSTEM_ID.
struct TrackingRow {
  std::string rule;
  std::string table;
  std::string sid;
  friend bool operator==(const TrackingRow&, const TrackingRow&) = default;
};

struct TrackingCount {
  std::string rule;
  std::string table;
  long long rows = 0;
};

// Rows per (rule, table), in the order the pairs first occur.
std::vector<TrackingCount> CountByRuleAndTable(const std::vector<TrackingRow>& rows);

class TrackingViewer {
 public:
  TrackingViewer(Context& context, dm::Connection& connection);
  ~TrackingViewer();
  TrackingViewer(const TrackingViewer&) = delete;
  TrackingViewer& operator=(const TrackingViewer&) = delete;

  // MNDisplayQuilAuto: lets the operator choose a library and lists its rows. False when no
  // library is connected, none was chosen or it has no QUIL_SPROUTSMITH (the operator was
  // told); the viewer is then closed.
  bool Open(const LibraryChooser& choose);
  // RefreshMe: lists the rows again, ordered by rule, table and SID.
  void Refresh();
  // MNRemove: after the operator confirms, deletes each selected (rule, table, SID) row,
  // names compared exactly. The number of rows deleted; nothing when none was selected or
  // the operator said No.
  std::optional<long long> Remove(const std::vector<TrackingRow>& selected);
  // Connects the library that was connected on opening and restores the status text.
  void Close();

  bool is_open() const { return back_.has_value(); }
  const std::string& library() const { return library_; }
  const std::vector<TrackingRow>& rows() const { return rows_; }
  // "Quil_Sproutsmith contents in library <library> (Total: <n>)".
  const std::string& caption() const { return caption_; }

 private:
  bool OpenBody(const LibraryChooser& choose);
  long long RemoveBody(const std::vector<TrackingRow>& selected);

  Context& context_;
  dm::Connection& connection_;
  std::optional<dm::Reconnect> back_;
  std::string status_;
  std::string library_;
  std::vector<TrackingRow> rows_;
  std::string caption_;
};

}  // namespace sproutsmith::tools
