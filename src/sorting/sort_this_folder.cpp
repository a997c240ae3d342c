// Rewriting one folder's item chain in display-name order, and keeping the copies of its
// items' rows in their own libraries consistent.

#include <map>
#include <vector>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "sorting/folder_sorting.h"
#include "sorting/sort_support.h"
#include "text/text.h"

namespace sproutsmith::sorting {

using text::EqualsNoCase;
using text::Format;
using text::Trim;
using text::UCase;

namespace {

constexpr long long kProgressEvery = 10;

long long Number(const std::string& s) { return static_cast<long long>(text::Val(s)); }

struct Item {
  long long system_id = 0;
  std::string display_name;
  long long next = 0;
  std::string is_first;  // in capitals
  std::string node_type;
  std::string document_library;
  long long docnumber = 0;
};

// The columns of an item's copy that sorting owns.
struct Copy {
  std::string is_first;  // in capitals
  std::string parent_version;
  long long remote_system_id = 0;
  long long next = 0;
};

class FolderSort {
 public:
  FolderSort(Context& context, dm::Connection& connection, long long parent,
             const std::string& folder_library, long limit)
      : c_(context),
        conn_(connection),
        parent_text_(text::Number(parent)),
        library_(Trim(folder_library)),
        quoted_library_(dm::SqlQuote(folder_library)),
        limit_(limit) {}

  bool Run() {
    log::Log& log = c_.log;
    log::StatusKeeper status(c_);
    dm::Reconnect back(conn_);
    const text::DateTime start = c_.clock.Now();
    // Sorting whichever library happens to be connected would rewrite another folder that
    // has the same number.
    if (!conn_.ConnectLibrary(library_)) {
      log.AddLogAndSeparator("Error: Unable to connect to library " + library_);
      return false;
    }
    const std::string here = " in library " + library_;
    log.AddLogAndSeparator("Preparing to sort folder #" + parent_text_ + here);

    // A folder over the limit is only counted: reading all the children of one that holds
    // every client, for each new client, grows with the library.
    const long long counted = limit_ >= 2 ? CountItems() : -1;
    const long long rows = counted > limit_ ? counted : ReadItems();
    if (rows >= 2 && limit_ >= 2 && rows > limit_) {
      log.AddLogAndSeparator("Note: Folder will NOT be sorted - " + text::Number(rows) +
                             " items in folder and maximum set to " + text::Number(limit_));
    } else if (rows >= 1) {
      if (rows >= 2) {
        log.AddLogAndSeparator(text::Number(rows) + " item(s) in folder #" + parent_text_ +
                               " may need sorting");
      }
      LoadItems(rows);
      if (rows >= 2) PassOne();
      // A lone item has no order to keep, but a remote one needs its copy all the same: a
      // link broken off before the copy was written leaves the item unfindable in its library.
      if (NeedsCopies()) PassTwo();
    }
    conn_.Release();

    if (written_) {
      log.AddLog("Finished sorting " + text::Number(rows) + " item(s) for folder #" + parent_text_ +
                 here);
    } else {
      log.AddLog("Folder #" + parent_text_ + here + " did not need sorting");
    }
    log.Separator();
    const long long elapsed = c_.clock.Now().ToEpochSeconds() - start.ToEpochSeconds();
    if (elapsed > 0) {
      log.AddLogAndSeparator("Note: SortThisFolder Process took " + text::Number(elapsed) +
                             " second(s).");
    }
    if (!c_.state.HasSwitch("/RV")) conn_.RefreshAllViews();
    return true;
  }

 private:
  std::string Next() const { return conn_.facts().NextColumn; }

  std::string LibraryId(const std::string& quoted_name) const {
    return "(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + quoted_name +
           "')";
  }

  std::string ItemsOfThisFolder() const {
    return "FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, "
           "[OWNER].REMOTE_LIBRARIES RL WHERE FI.PARENT_LIBRARY = PL.SYSTEM_ID AND "
           "FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = " +
           parent_text_ + " AND PL.LIBRARY_NAME = '" + quoted_library_ + "'";
  }

  // -1 when the count cannot be read: the read that follows reports why.
  long long CountItems() {
    const dm::FirstRow count = conn_.ReadFirstRow("SELECT COUNT(*) " + ItemsOfThisFolder());
    return count.found() ? count.Integer(1) : -1;
  }

  // The folder's rows in the order they are to be chained; the result stays open. Rows of
  // another library's folder with the same number (copies of its items) are not ours, and
  // the SYSTEM_ID makes the order of equal names the same on every run.
  long long ReadItems() {
    conn_.RunSQL("SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI." + Next() +
                 ", FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, FI.DOCNUMBER " +
                 ItemsOfThisFolder() + " ORDER BY FI.DISPLAYNAME, FI.SYSTEM_ID");
    if (!conn_.LastSucceeded()) return 0;
    return conn_.sql()->GetRowCount();
  }

  void LoadItems(long long rows) {
    items_.reserve(static_cast<size_t>(rows));
    conn_.ForEachRow([&] {
      Item item;
      item.system_id = Number(conn_.Column(1));
      item.display_name = Trim(conn_.Column(2));
      item.next = Number(conn_.Column(3));
      item.is_first = UCase(Trim(conn_.Column(4)));
      item.node_type = Trim(conn_.Column(5));
      item.document_library = Trim(conn_.Column(7));
      item.docnumber = Number(conn_.Column(8));
      items_.push_back(std::move(item));
      return true;
    });
    conn_.Release();
  }

  void Write(const std::string& statement) {
    conn_.RunStatement(statement);
    written_ = true;
  }

  void Progress(size_t index, const std::string& pass, const std::string& tail = "") {
    const long long i = static_cast<long long>(index) + 1;
    if (i % kProgressEvery != 0) return;
    ShowStatus(c_, "Sorting folder #" + parent_text_ + " - pass #" + pass + " (item #" +
                       text::Number(i) + " of " + text::Number(Count()) + ")" + tail);
    c_.ui.Yield();
  }

  long long Count() const { return static_cast<long long>(items_.size()); }

  void PassStatus(const std::string& pass) {
    c_.log.SetStatus("Sorting " + text::Number(Count()) + " item(s) in folder #" + parent_text_ +
                     " in library " + library_ + " - pass #" + pass);
    c_.log.Separator();
  }

  // Rows in the folder's library. A cancel request is left to the caller: stopping halfway
  // would leave a broken chain.
  void PassOne() {
    PassStatus("1");
    for (size_t i = 0; i < items_.size(); ++i) {
      const Item& item = items_[i];
      const long long next = i + 1 < items_.size() ? items_[i + 1].system_id : 0;
      const std::string flag = i == 0 ? "Y" : "N";
      if (item.next != next || item.is_first != flag) {
        Write("UPDATE [OWNER].FOLDER_ITEM SET " + Next() + " = " + text::Number(next) +
              ", ISFIRST = '" + flag + "' WHERE SYSTEM_ID = " + text::Number(item.system_id));
      }
      Progress(i, "1");
    }
  }

  bool IsRemote(const Item& item) const {
    return !item.document_library.empty() && !EqualsNoCase(item.document_library, library_);
  }

  bool NeedsCopies() const {
    for (const Item& item : items_) {
      if (IsRemote(item)) return true;
    }
    return false;
  }

  // The folder's lowest version id, "NULL" when it has none.
  std::string ParentVersion() {
    const std::string version =
        Trim(conn_
                 .ReadFirstRow("SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE DOCNUMBER = " +
                               parent_text_ + " ORDER BY VERSION_ID")
                 .Text(1));
    return version.empty() ? "NULL" : text::Number(Number(version));
  }

  // The copies of this folder's items held by the connected library `quoted_library`.
  std::map<long long, Copy> ReadCopies(const std::string& quoted_library) {
    std::map<long long, Copy> copies;
    const std::string statement =
        "SELECT DOCNUMBER, ISFIRST, PARENT_VERSION, REMOTE_SYSTEM_ID, " + Next() +
        " FROM [OWNER].FOLDER_ITEM WHERE LIBRARY = " + LibraryId(quoted_library) +
        " AND PARENT = " + parent_text_ + " AND PARENT_LIBRARY = " + LibraryId(quoted_library_);
    conn_.RunQuery(statement, [&] {
      Copy copy;
      copy.is_first = UCase(Trim(conn_.Column(2)));
      const std::string version = Trim(conn_.Column(3));
      copy.parent_version = version.empty() ? "NULL" : text::Number(Number(version));
      copy.remote_system_id = Number(conn_.Column(4));
      copy.next = Number(conn_.Column(5));
      copies.emplace(Number(conn_.Column(1)), copy);
      return true;
    });
    return copies;
  }

  // Copies in the items' own libraries. Copies already right are not written, so a second
  // sort writes nothing.
  void PassTwo() {
    log::Log& log = c_.log;
    PassStatus("2");
    const std::string version = ParentVersion();
    std::string run_library;
    std::map<long long, Copy> copies;
    for (size_t i = 0; i < items_.size(); ++i) {
      const Item& item = items_[i];
      if (!IsRemote(item)) continue;
      const std::string& library = item.document_library;
      const std::string quoted = dm::SqlQuote(library);
      if (!EqualsNoCase(library, run_library)) {
        run_library.clear();
        // The copy belongs in the item's library and nowhere else.
        if (!conn_.ConnectLibrary(library)) {
          log.AddLogAndSeparator("Error: Unable to connect to library " + library);
          continue;
        }
        copies = ReadCopies(quoted);
        run_library = library;
      }
      Progress(i, "2", " in library " + library);

      const std::string flag = i == 0 ? "Y" : "N";
      const std::string sid = text::Number(item.system_id);
      const std::string docnumber = text::Number(item.docnumber);
      if (const auto found = copies.find(item.docnumber); found != copies.end()) {
        const Copy& copy = found->second;
        if (copy.is_first == flag && copy.parent_version == version &&
            copy.remote_system_id == item.system_id && copy.next == 0) {
          continue;
        }
        Write("UPDATE [OWNER].FOLDER_ITEM SET ISFIRST = '" + flag +
              "', PARENT_VERSION = " + version + ", REMOTE_SYSTEM_ID = " + sid + ", " + Next() +
              " = 0 WHERE DOCNUMBER = " + docnumber + " AND PARENT = " + parent_text_ +
              " AND PARENT_LIBRARY = " + LibraryId(quoted_library_));
        continue;
      }
      const long long key = conn_.sql() ? conn_.sql()->AllocateKey("SYSTEMKEY") : 0;
      if (key == 0) {
        log.AddLogAndSeparator(
            "Error: Unable to retrieve System_ID for inserting new row - cannot continue.");
        continue;
      }
      Write(
          "INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, "
          "LIBRARY, ISFIRST, " +
          Next() +
          ", REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, STATUS, "
          "FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT " +
          text::Number(key) + ", " + parent_text_ + ", " + docnumber +
          ", PL.SYSTEM_ID, RL.SYSTEM_ID, '" + flag + "', 0, " + sid + ", '" +
          dm::SqlQuote(item.node_type) + "', '" + dm::SqlQuote(item.display_name) + "', " +
          version +
          ", 'R', 0, 0, 0 FROM [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL "
          "WHERE PL.LIBRARY_NAME = '" +
          quoted_library_ + "' AND RL.LIBRARY_NAME = '" + quoted + "'");
    }
  }

  Context& c_;
  dm::Connection& conn_;
  const std::string parent_text_;
  const std::string library_;
  const std::string quoted_library_;
  const long limit_;
  std::vector<Item> items_;
  bool written_ = false;
};

}  // namespace

bool SortThisFolder(Context& context, dm::Connection& connection, long long parent,
                    const std::string& folder_library, long sort_item_count) {
  if (sort_item_count == 1 || Trim(folder_library).empty() || parent == 0) return false;
  if (!connection.LibraryObjectSet("SortThisFolder")) return false;
  return log::Trap(context.log, "SortThisFolder", false, [&] {
    return FolderSort(context, connection, parent, folder_library, sort_item_count).Run();
  });
}

}  // namespace sproutsmith::sorting
