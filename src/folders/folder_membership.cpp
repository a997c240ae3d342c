// Linking an item into a parent folder: cheap SQL checks first, the DM objects last, then the
// steps every new member gets (sorting, metadata, security, the remote-link repair).

#include "folders/folder_membership.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "folders/metadata_sync.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "security/add_security.h"
#include "security/inherit_security.h"
#include "sorting/folder_sorting.h"
#include "text/text.h"

namespace sproutsmith::folders {

using rules::RuleKey;
using text::Number;
using text::UCase;

namespace {

// Access a group needs to work in a folder it holds no trustee entry for.
constexpr long long kGroupAccessNeeded = 127;

// The state of one link: the item's profile and the parent folder object live until it ends.
class Membership {
 public:
  // Both libraries of `item` are named.
  Membership(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
             const std::string& doc_type, const rules::RuleRecord& rule, bool complete_when_linked)
      : c_(context),
        conn_(connection),
        log_(context.log),
        place_(item),
        doc_type_(doc_type),
        rule_(rule),
        remote_(!text::EqualsNoCase(item.parent_library, item.library)),
        complete_when_linked_(complete_when_linked) {}

  // Sets result() as it goes, so that an unexpected error keeps what was reached.
  void Run() {
    if (!CheckParent() || !CheckItem()) {
      if (linked_ && complete_when_linked_) {
        result_ = false;
        AfterLink();
      }
      return;
    }
    if (!OpenItem()) return;
    if (!OpenParent()) return;
    if (!Link()) return;
    AfterLink();
  }

  bool result() const { return result_; }

  // Objects opened here are released before the library is switched back.
  void Release() {
    item_.reset();
    parent_folder_.reset();
    parent_profile_.reset();
  }

 private:
  bool Enter(const std::string& library) {
    if (!conn_.ConnectLibrary(library)) {
      log_.AddLog("Error: Unable to connect to library " + library);
      return false;
    }
    CDoc(c_, conn_, library);
    return true;
  }

  // The link row as the connected library records it.
  long long LinkRows() {
    return conn_
        .ReadFirstRow(
            "SELECT COUNT(*) FROM [OWNER].FOLDER_ITEM WHERE DOCNUMBER = " + Number(place_.number) +
            " AND PARENT = " + Number(place_.parent) +
            " AND LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
            "LIBRARY_NAME = '" +
            dm::SqlQuote(place_.library) +
            "') AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
            "LIBRARY_NAME = '" +
            dm::SqlQuote(place_.parent_library) + "')")
        .Integer(1);
  }

  bool LinkExists() {
    const std::string library = conn_.LibraryName();
    log_.SetStatus("Checking Folder_Item table in library " + library +
                   " to determine whether item #" + Number(place_.number) + " in library " +
                   place_.library + " exists in folder #" + Number(place_.parent) + " in library " +
                   library);
    log_.Separator();
    if (LinkRows() < 1) return false;
    log_.AddLogAndSeparator("Folder_Item #" + Number(place_.number) + " in library " +
                            place_.library + " exists in folder #" + Number(place_.parent) +
                            " in library " + library);
    return true;
  }

  // Rights, the parent's kind and the existing link, in the folder's library.
  bool CheckParent() {
    if (!Enter(place_.parent_library)) return false;
    const std::string library = conn_.LibraryName();
    user_ = conn_.UserId();
    std::string group;
    if (!conn_.MayManageFolders(true, &group)) {
      log_.AddLogAndSeparator("Error: " + user_ +
                              " does not have rights to manage folders in library " + library);
      return false;
    }
    max_items_to_sort_ = conn_.library_state().settings.MaxItemsToSort;

    const std::string parent = Number(place_.parent);
    log_.SetStatus("Making sure parent folder #" + parent + " exists as a folder in library " +
                   library);
    log_.Separator();
    if (conn_
            .ReadFirstRow(
                "SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = " + parent +
                " AND APPLICATION = (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = "
                "'FOLDER')")
            .Integer(1) == 0) {
      log_.AddLogAndSeparator("Error: Parent folder #" + parent +
                              " does not exist, or is not a folder, in " + "library " + library);
      return false;
    }
    if (conn_.ReadFirstRow("SELECT COUNT(*) FROM [OWNER].FOLDER WHERE DOCNUMBER = " + parent)
            .Integer(1) == 0) {
      log_.AddLogAndSeparator("Error: Parent folder #" + parent + " is not a folder in library " +
                              library);
      return false;
    }

    const std::string user = dm::SqlQuote(user_);
    const long long trustees =
        conn_
            .ReadFirstRow(
                "SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND "
                "THING = "
                "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = " +
                parent +
                ") AND (PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = '" +
                user +
                "') OR PERSONORGROUP IN (SELECT GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE "
                "PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = '" +
                user + "')))")
            .Integer(1);
    if (trustees == 0 &&
        conn_.ReadFirstRow("SELECT UNIV_ACCESS FROM [OWNER].GROUPS WHERE GROUP_ID = '" +
                           dm::SqlQuote(group) + "'")
                .Integer(1) <= kGroupAccessNeeded) {
      log_.AddLogAndSeparator("Error: " + user_ +
                              " does not have adequate rights to Parent folder #" + parent +
                              " in library " + library);
      return false;
    }

    if (LinkExists()) {
      result_ = linked_ = true;
      return false;
    }
    return true;
  }

  // The item's state, and for a remote item its own record of the link, in its library.
  bool CheckItem() {
    if (!Enter(place_.library)) return false;
    const std::string library = conn_.LibraryName();
    const std::string doc = Number(place_.number);
    const dm::FirstRow row =
        conn_.ReadFirstRow("SELECT STATUS FROM [OWNER].PROFILE WHERE DOCNUMBER = " + doc);
    const long long status = row.Integer(1);
    if (!row.found()) {
      log_.AddLog("Error: Document #" + doc +
                  " does not appear to exist in the Profile table in library " + library +
                  " - cannot continue AddFolderItem");
      return false;
    }
    if (status != 0 && status != 3) {
      log_.AddLog("Document #" + doc + " Status is " + Number(status) + " in library " + library +
                  " - cannot continue AddFolderItem");
      return false;
    }
    if (remote_) {
      // The folder's library has no link (CheckParent looked): a copy here is one whose link
      // was lost (its commit refused there). The item is linked again; the copy stays.
      LinkExists();
      if (!conn_.library()->HasRight(dmapi::kRightSaveToRemoteLibrary)) {
        log_.AddLog("Error: " + conn_.UserId() +
                    " does not have rights to save folders to the (remote) Library " +
                    place_.parent_library + " from library " + library);
        return false;
      }
    }
    if (status == 3) {
      conn_.RunStatement("UPDATE [OWNER].PROFILE SET STATUS = 0 WHERE DOCNUMBER = " + doc);
    }
    return true;
  }

  // One of the four answers a profile gives about the logged-on user; false when refused.
  // `kind` is "document" or "folder".
  bool MayChange(dmapi::ProfileObject& profile, const std::string& user, const std::string& kind,
                 long long number) {
    const std::string what = kind + " #" + Number(number);
    log_.SetStatus("Checking rights for " + user + " to " + what);
    if (profile.RightsValue(dmapi::kDefaultRightsValue).value_or(-1) == 0) {
      log_.AddLog(text::UCase(kind.substr(0, 1)) + what.substr(1) + " is not secured");
      return true;
    }
    const std::optional<dmapi::EffectiveRights> rights = profile.RightsFor(user);
    if (!rights) {
      log_.AddLog("Error: Unable to determine rights for " + user + " to " + what);
      return true;
    }
    if (rights->can_change) {
      log_.AddLog("User " + user + " appears to have sufficient rights to " + what);
      return true;
    }
    log_.AddLog("Error: User " + user + " has insufficient rights to " + what);
    return false;
  }

  bool OpenItem() {
    const std::string library = conn_.LibraryName();
    const std::string doc = Number(place_.number);
    log_.AddLog("Opening profile object #" + doc + " for AddFolderItem in library " + library);
    item_ = conn_.session()->OpenProfile(place_.number, place_.library);
    if (!item_) {
      log_.AddLog("Error: Unable to open child Profile object #" + doc +
                  " for AddFolderItem in library " + library);
      return false;
    }
    log_.AddLog("Profile object #" + doc + " opened in library " + library);

    const std::int64_t started = c_.clock.Now().ToEpochSeconds();
    const std::vector<long long> parents = item_->ParentFolders();
    log_.SetStatus("Checking " + Number(static_cast<long long>(parents.size())) +
                   " parent folder(s) to determine whether item #" + doc +
                   " already exists in folder #" + Number(place_.parent));
    for (long long p : parents) {
      // A remote item's parents are read from the copies in its own library: see CheckItem.
      if (p != place_.parent || remote_) continue;
      log_.AddLog("Folder item #" + doc + " already exists in folder #" + Number(place_.parent) +
                  " in folder library " + place_.parent_library);
      result_ = true;
      return false;
    }
    const std::int64_t seconds = c_.clock.Now().ToEpochSeconds() - started;
    if (seconds > 1) {
      log_.AddLogAndSeparator("Note: The initial parent folder processing time for document #" +
                              doc + " was " + Number(seconds) + " second(s).");
    }
    return MayChange(*item_, conn_.UserId(), "document", place_.number);
  }

  bool OpenParent() {
    const std::string parent = Number(place_.parent);
    log_.SetStatus("Opening Parent folder object #" + parent + " in library " +
                   place_.parent_library);
    parent_folder_ = conn_.session()->OpenFolder(place_.parent, place_.parent_library);
    if (parent_folder_) parent_profile_ = parent_folder_->Profile();
    if (!parent_folder_ || !parent_profile_) {
      log_.AddLog("Error: Unable to open parent folder object #" + parent +
                  " for AddFolderItem in library " + place_.parent_library);
      return false;
    }
    log_.AddLog("Parent folder object #" + parent + " opened for AddFolderItem in library " +
                place_.parent_library);
    return MayChange(*parent_profile_, user_, "folder", place_.parent);
  }

  bool Link() {
    const std::string doc = Number(place_.number);
    const std::string parent = Number(place_.parent);
    const std::string target = " to folder #" + parent + " in library " + place_.parent_library;
    const std::string listed = conn_.ListedName(place_.library);
    const bool folder = UCase(text::Trim(doc_type_)) == "F";
    dmapi::AddItemResult added;
    if (!listed.empty()) {
      log_.SetStatus((folder ? "Setting folder object #" : "Setting document object #") + doc +
                     " in library " + listed);
      log_.AddLog((folder ? "Adding subfolder #" : "Adding folder item #") + doc + " in library " +
                  place_.library + target);
      added = parent_folder_->AddItem(listed, place_.number);
      if (added.status.ok()) {
        log_.AddLog((folder ? "Profile added to folder with " : "Profile object set with ") +
                    Number(static_cast<long long>(added.trustees)) + " trustee(s)");
      }
    }
    if (listed.empty() || !added.status.ok()) {
      const std::string item = "Unable to add item #" + doc + target;
      if (!added.status.ok()) {
        const std::string code = Number(static_cast<long long>(added.status.code));
        log_.AddLog("Error: #" + code + " - " + added.status.text);
        log_.AddLog("Error: Unable to add item to folder");
        log_.AddLog("Error: #" + code + "  (" + added.status.text + ") " + item);
      } else {
        log_.AddLog("Error: " + item);
      }
      return false;
    }

    log_.AddLog("Saving folder object for folder " + parent_folder_->Name() + " in library " +
                place_.parent_library);
    const dmapi::SaveResult saved = parent_folder_->Save("", 3);
    if (!saved.status.ok() || saved.document_number <= 0) {
      log_.AddLog(
          saved.status.ok()
              ? std::string("Error: Unable to save the folder object for this folder - cannot "
                            "continue")
              : "Error: #" + Number(static_cast<long long>(saved.status.code)) + " " +
                    saved.status.text +
                    " - Unable to save the folder object for this folder - cannot "
                    "continue");
      return false;
    }
    log_.AddLog("Folder object saved to #" + Number(saved.document_number) + " in library " +
                place_.parent_library);
    return true;
  }

  void AfterLink() {
    Release();
    if (!c_.state.HasSwitch("/RV")) conn_.RefreshAllViews();
    if (!sorting::SortFolders(c_, conn_, place_.parent, place_.parent_library,
                              max_items_to_sort_)) {
      log_.AddLogAndSeparator("Error: Unable to sort the parent folder in library " +
                              place_.parent_library);
    }
    if (!SyncData(c_, conn_, place_, doc_type_)) {
      log_.AddLog("Error: Unable to process Inherit Metadata Option");
      return;
    }
    // Trustees that could not all be written fail the link, so the row is tried again.
    if (rule_.Number(RuleKey::kProfileInheritSecurity) == 1 && place_.parent != 0 &&
        security::InheritSecurity(c_, conn_, place_) == security::SecurityResult::kFailed) {
      return;
    }
    if (!rule_[RuleKey::kSecurity].empty() &&
        security::AddSecurity(c_, conn_, place_, rule_, doc_type_) ==
            security::SecurityResult::kFailed) {
      return;
    }
    if (remote_ && !RepairRemoteLink()) return;
    result_ = true;
    log_.AddLog("Folder Item #" + Number(place_.number) + " successfully added to folder #" +
                Number(place_.parent) + ".");
    if (!c_.state.HasSwitch("/XR")) conn_.RefreshAllViews();
  }

  // A DM server may leave the document number of a remote item's new link row empty.
  bool RepairRemoteLink() {
    if (!conn_.ConnectLibrary(place_.parent_library)) {
      log_.AddLog("Error: Unable to connect to library " + place_.parent_library);
      return false;
    }
    CDoc(c_, conn_, place_.parent_library);
    log_.SetStatus("Verifying that document # " + Number(place_.number) + " in " + place_.library +
                   " has been inserted for the new Folder Item in folder library " +
                   conn_.LibraryName());
    const dm::FirstRow row = conn_.ReadFirstRow(
        "SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE NEXT = 0 AND PARENT = " +
        Number(place_.parent));
    if (!row.found()) return true;
    const long long system_id = row.Integer(1);
    const long long number = row.Integer(2);
    log_.AddLogAndSeparator("Document #" + Number(number) +
                            " is currently set to Folder Item system_id #" + Number(system_id));
    if (system_id != 0 && number == 0) {
      log_.AddLog("Inserting Document # for the new Folder Item");
      conn_.RunStatement("UPDATE [OWNER].FOLDER_ITEM SET DOCNUMBER = " + Number(place_.number) +
                         " WHERE SYSTEM_ID = " + Number(system_id));
    }
    return true;
  }

  Context& c_;
  dm::Connection& conn_;
  log::Log& log_;
  const dm::ItemPlace place_;
  std::string doc_type_;
  const rules::RuleRecord& rule_;
  bool remote_;
  bool complete_when_linked_;
  bool linked_ = false;  // the link row was there already
  std::string user_;     // as the folder's library spells it
  long max_items_to_sort_ = 0;
  std::unique_ptr<dmapi::ProfileObject> item_;
  std::unique_ptr<dmapi::FolderObject> parent_folder_;
  std::unique_ptr<dmapi::ProfileObject> parent_profile_;
  bool result_ = false;
};

}  // namespace

bool AddFolderItem(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
                   const std::string& doc_type, const rules::RuleRecord& rule,
                   bool complete_when_linked) {
  if (!connection.LibraryObjectSet("AddFolderItem")) return false;
  if (item.number == 0 || item.parent == 0) return false;
  // An empty name would put the link into whichever library happens to be connected.
  dm::ItemPlace named = item;
  named.parent_library = text::Trim(item.parent_library).empty() ? connection.LibraryName()
                                                                 : text::Trim(item.parent_library);
  named.library =
      text::Trim(item.library).empty() ? named.parent_library : text::Trim(item.library);
  if (text::EqualsNoCase(named.parent_library, named.library) && item.number == item.parent) {
    return true;
  }

  log::StatusKeeper status(context);
  dm::Reconnect back(connection);
  Membership membership(context, connection, named, doc_type, rule, complete_when_linked);
  log::TrapVoid(context.log, "AddFolderItem", [&] { membership.Run(); });
  context.log.Separator();
  membership.Release();
  context.log.Separator();
  return membership.result();
}

}  // namespace sproutsmith::folders
