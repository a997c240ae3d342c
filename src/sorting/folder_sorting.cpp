// Sorting folders of a library: which folders, progress, timing and the view refresh. The
// rewriting of one folder's chain lives in sort_this_folder.cpp.

#include "sorting/folder_sorting.h"

#include <vector>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "sorting/sort_support.h"
#include "text/text.h"

namespace sproutsmith::sorting {

using text::Number;

namespace {

constexpr long kFetchProgressEvery = 500;

// The folders of the library that have items, highest number first.
std::vector<long long> FoldersWithItems(Context& context, dm::Connection& connection,
                                        const std::string& folder_library) {
  connection.RunSQL(
      "SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE APPLICATION = (SELECT SYSTEM_ID FROM "
      "[OWNER].APPS WHERE APPLICATION = 'FOLDER') AND DOCNUMBER IN (SELECT DISTINCT PARENT FROM "
      "[OWNER].FOLDER_ITEM WHERE PARENT_LIBRARY IN (SELECT SYSTEM_ID FROM "
      "[OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
      dm::SqlQuote(folder_library) + "')) ORDER BY DOCNUMBER DESC");
  std::vector<long long> folders;
  const long long count = connection.sql() ? connection.sql()->GetRowCount() : 0;
  connection.ForEachRow([&] {
    folders.push_back(static_cast<long long>(connection.ColumnNumber(1)));
    const long long row = static_cast<long long>(folders.size());
    if (row % kFetchProgressEvery == 0) {
      ShowStatus(context, "Fetching folder " + Number(row) + " of " + Number(count));
    }
    return true;
  });
  connection.Release();
  return folders;
}

bool SortFoldersBody(Context& context, dm::Connection& connection, long long parent,
                     const std::string& folder_library, long sort_item_count) {
  log::Log& log = context.log;
  runtime::Options& options = context.options;
  log::StatusKeeper status(context);
  struct Counters {
    runtime::Options& options;
    std::string total = options.LabelTotal, read = options.LabelRead;
    ~Counters() {
      options.LabelTotal = total;
      options.LabelRead = read;
    }
  } counters{options};
  dm::Reconnect back(connection);
  const text::DateTime start = context.clock.Now();

  log.SetStatus(parent != 0 ? "Preparing to sort folder #" + Number(parent) + " in library " +
                                  folder_library
                            : "Preparing to sort folder(s) in library " + folder_library);
  log.Separator();
  if (!connection.ConnectLibrary(folder_library)) {
    log.AddLog("Error: Unable to connect to library " + folder_library + " for user " +
               connection.UserId());
    return false;
  }

  std::vector<long long> folders{parent};
  if (parent == 0) {
    folders = FoldersWithItems(context, connection, folder_library);
    if (folders.empty()) {
      log.AddLog("Nothing to sort");
      return true;
    }
  }
  const long long n = static_cast<long long>(folders.size());
  const std::string in_library = " in library " + folder_library;
  log.SetStatus("Sorting " + Number(n) + " folder item(s)" + in_library);
  if (parent == 0) options.LabelTotal = Number(n);
  for (long long i = 1; i <= n; ++i) {
    if (parent == 0) options.LabelRead = Number(i);
    log.SetStatus("Sorting folder item #" + Number(i) + " of " + Number(n) + " total item(s)" +
                  in_library);
    SortThisFolder(context, connection, folders[static_cast<size_t>(i - 1)], folder_library,
                   sort_item_count);
    if (context.state.CancelRequested) break;
  }

  const long long elapsed = context.clock.Now().ToEpochSeconds() - start.ToEpochSeconds();
  if (elapsed > 0) {
    log.AddLogAndSeparator("Note: SortFolder Process took " + Number(elapsed) + " second(s).");
  }
  log.SetStatus("Finished sorting " + Number(n) + " folder(s)" + in_library);
  if (!context.state.HasSwitch("/RV")) connection.RefreshAllViews();
  return true;
}

}  // namespace

void ShowStatus(Context& context, const std::string& text) {
  context.options.LabelStatus = text;
  context.ui.StatusChanged(text);
}

bool SortFolders(Context& context, dm::Connection& connection, long long parent,
                 const std::string& folder_library, long sort_item_count) {
  // Switched off: doing nothing is what was asked, not a failure to report.
  if (sort_item_count == 1) return true;
  if (!connection.LibraryObjectSet("SortFolders")) return false;
  return log::Trap(context.log, "SortFolders", false, [&] {
    return SortFoldersBody(context, connection, parent, folder_library, sort_item_count);
  });
}

}  // namespace sproutsmith::sorting
