// Creating one folder of a path through the DM API, and everything a new folder gets before
// it is linked under its parent.

#include "folders/folder_creation.h"

#include <memory>
#include <utility>
#include <vector>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "folders/folder_lookup.h"
#include "folders/folder_membership.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "security/add_security.h"
#include "text/text.h"

namespace sproutsmith::folders {

using rules::RuleKey;
using text::Format;
using text::Number;
using text::Quoted;
using text::Trim;
using text::UCase;

namespace {

// The line for a save the DM client refused, with its error number when it gave one.
std::string SaveFailure(const Status& status, const std::string& object) {
  const std::string failure =
      "Unable to save the " + object + " object for this folder - cannot continue";
  if (status.code == 0) return "Error: " + failure;
  return "Error: #" + Number(status.code) + " " + status.text + " - " + failure;
}

bool NamesAForm(const std::string& form) {
  return !form.empty() && UCase(form).find("*DEFAULT FORM*") == std::string::npos;
}

using ColumnList = std::vector<std::pair<std::string, std::string>>;

const std::string* Find(const ColumnList& list, const std::string& column) {
  for (const auto& [name, value] : list) {
    if (UCase(name) == UCase(column)) return &value;
  }
  return nullptr;
}

// The state of one creation: the folder and profile objects live until it ends.
class Creation {
 public:
  Creation(Context& context, dm::Connection& connection, const FolderRequest& request,
           const rules::RuleRecord& rule, ErrorMode error_mode)
      : c_(context),
        conn_(connection),
        log_(context.log),
        r_(request),
        rule_(rule),
        error_mode_(error_mode),
        form_(rule[RuleKey::kForm]),
        public_(rule.Number(RuleKey::kCreatePublicFolders) == 1) {}

  // After the lookup found nothing and the operator did not stop it.
  long long Make() {
    const std::string library = conn_.LibraryName();
    if (!HasRights(library)) return 0;
    if (!MakeFolderObject(library)) return 0;
    if (!FillProfile(library)) return 0;
    if (!SaveFolder(library)) return 0;
    return Complete();
  }

  // A folder an earlier run of this row made but did not finish: every step after its
  // creation runs again on it, so that it ends as a folder made in one go.
  long long Resume(long long number) {
    const std::string library = conn_.LibraryName();
    if (!HasRights(library)) return 0;
    const std::string n = Number(number);
    log_.AddLog("Opening folder object #" + n + " in library " + library);
    folder_ = conn_.session()->OpenFolder(number, library);
    if (!folder_) {
      log_.AddLog("Error: Unable to re-open folder object #" + n);
      return 0;
    }
    folder_->SetName(r_.name);
    folder_->SetDescription(r_.name);
    author_source_ = rule_[RuleKey::kAuthorSource].empty() ? std::string("PROFILE")
                                                           : rule_[RuleKey::kAuthorSource];
    saved_number_ = number;
    if (!FillProfile(library)) return 0;
    if (!SaveFolder(library)) return 0;
    number_ = number;
    return Finish();
  }

  // The folder this creation saved (0: none), finished or not.
  long long Saved() const { return saved_number_; }

 private:
  bool HasRights(const std::string& library) {
    // Only a public top folder is a root folder.
    if (conn_.MayManageFolders(public_ && r_.place.parent == 0)) return true;
    std::string user = conn_.UserId();
    if (auto found = conn_.session()->FindUser(user)) user = found->Name();
    log_.AddLogAndSeparator("Error: " + user +
                            " does not have rights to manage folders in library " + library);
    return false;
  }

  bool MakeFolderObject(const std::string& library) {
    const std::string& name = r_.name;
    log_.SetStatus("Creating folder " + Quoted(name) + " in library " + library);
    log_.Separator();
    log_.AddLog("Parent: " + Number(r_.place.parent));
    log_.AddLog("Form:   " + form_);
    log_.AddLogAndSeparator("Rule:   " + Quoted(rule_.Name()));
    author_source_ = rule_[RuleKey::kAuthorSource].empty() ? std::string("PROFILE")
                                                           : rule_[RuleKey::kAuthorSource];
    log_.AddLogAndSeparator("Author source is " + author_source_);

    folder_ = conn_.session()->NewFolder();
    log_.AddLog("Creating folder object " + Quoted(name) + " in library " + library);
    if (!folder_) {
      log_.AddLog("Error: Unable to create new folder " + Quoted(name) + " in " + r_.place.library);
      return false;
    }
    log_.AddLogAndSeparator("Setting Folder Name to " + Quoted(name));
    folder_->SetName(name);
    folder_->SetDescription(name);
    // A public first level is marked before the first save, which then writes the public
    // entry with the folder: a run that breaks off later leaves a folder the next cycle's
    // public search finds, never a second one.
    if (public_ && r_.level == 1) folder_->MarkPublic();
    if (!NamesAForm(form_)) return true;

    log_.AddLogAndSeparator("Saving Folder to change form to " + form_);
    const dmapi::SaveResult saved = folder_->Save(form_, static_cast<int>(error_mode_));
    if (!saved.status.ok()) {
      log_.AddLogAndSeparator("Error: Code #" + Number(saved.status.code) + " (" +
                              saved.status.text + ")");
    } else {
      saved_number_ = saved.document_number;
      const std::string number = Number(saved.document_number);
      log_.AddLogAndSeparator("Folder saved as #" + number);
      conn_.RunStatement(
          "UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE "
          "FORM_NAME = '" +
          dm::SqlQuote(form_) + "') WHERE DOCNUMBER = " + number);
      log_.AddLog("Opening folder object #" + number + " after changing form to " + form_);
      folder_ = conn_.session()->OpenFolder(saved.document_number, conn_.LibraryName());
      if (folder_) {
        folder_->SetName(name);
        folder_->SetDescription(name);
      } else {
        log_.AddLog("Error: Unable to re-open folder object #" + number);
      }
    }
    if (!folder_) {
      log_.AddLog("Error: Unable to continue processing this folder");
      return false;
    }
    return true;
  }

  // Sets one profile column, falling back to Null for a value the profile refuses.
  void SetColumn(const std::string& column, const std::string& value, bool as_default) {
    log_.AddLog(as_default ? "Setting column " + column + " to default value " + value
                           : "Setting column " + column + " to " + value);
    const Status status = profile_->SetValue(column, value);
    if (status.ok()) return;
    log_.AddLog("Error #" + Number(status.code) + " (" + status.text + ") setting column " +
                column);
    profile_->SetNull(column);
    log_.AddLog("Notice: Setting " + column + " to Null because original value is invalid");
  }

  bool FillProfile(const std::string& library) {
    const std::string& name = r_.name;
    const std::string user = conn_.UserId();
    log_.AddLog("Opening Profile Object for folder " + Quoted(name) + " in folder library " +
                library);
    profile_ = folder_->Profile();
    if (!profile_) {
      log_.AddLog("Error: Unable to open folder profile object in library " + library);
      return false;
    }

    log_.AddLog("Setting Profile Defaults (if any) for this folder form " + form_ +
                " from the defaults of user " + user + " in library " + library);
    ColumnList defaults;
    if (auto found = conn_.session()->ProfileDefaults(user, form_)) {
      for (const dmapi::ColumnDefault& d : *found) {
        const std::string column = UCase(d.column);
        if (column != "DOCNUM" && column != "SECURITY") defaults.emplace_back(d.column, d.value);
      }
    } else {
      log_.AddLog("Error: Setting profile defaults from user " + user + " using form " + form_ +
                  " in library " + library);
    }

    ColumnList parent_values;
    if (!r_.place.parent_library.empty() && r_.place.parent != 0) {
      if (text::EqualsNoCase(r_.place.parent_library, r_.place.library)) {
        ReadParentColumns(parent_values);
      } else {
        // Lookup values are record numbers of the parent's library: in this one they would
        // name other clients and matters.
        log_.AddLog("Not copying the profile values of parent #" + Number(r_.place.parent) +
                    " in library " + r_.place.parent_library + " into library " + r_.place.library);
      }
    }

    if (profile_->ColumnCount() == 0) {
      log_.AddLog("Warning: The profile object contains no columns - cannot continue");
      return false;
    }
    log_.AddLog("Processing columns for new folder in library " + library);
    log_.AddLog("Setting Standard profile columns for folder " + Quoted(name));
    const bool author_default = UCase(author_source_) == "DEFAULT";
    for (int i = 1; i <= profile_->ColumnCount(); ++i) {
      const dmapi::ProfileColumn column = profile_->Column(i);
      const std::string key = UCase(column.name);
      const bool empty = Trim(column.value).empty();
      if (key == "DOCNAME") {
        SetColumn(column.name, name, false);
      } else if (key == "AUTHOR_ID") {
        if (empty && !author_default) SetColumn(column.name, user, false);
      } else if (key == "TYPIST_ID") {
        if (empty) SetColumn(column.name, user, false);
      } else if (key == "APP_ID") {
        SetColumn(column.name, "FOLDER", false);
      } else if (key == "TYPE_ID") {
        if (empty) SetColumn(column.name, "FOLDER", false);
      } else if (empty && (column.attr1 == 0 || column.attr2 == 128)) {
        // Only columns the form lets us set: a refused copy would only log an error.
        const std::string* inherited = Find(parent_values, column.name);
        if (inherited != nullptr && !Trim(*inherited).empty()) {
          SetColumn(column.name, *inherited, false);
        }
      }
    }
    log_.AddLog("Form for this folder is: " + form_);
    log_.AddLogAndSeparator("Library for this folder is: " + r_.place.library);

    for (const auto& [column, value] : defaults) {
      if (UCase(column) == "DOCNAME") continue;
      for (int i = 1; i <= profile_->ColumnCount(); ++i) {
        const dmapi::ProfileColumn existing = profile_->Column(i);
        if (UCase(existing.name) != UCase(column)) continue;
        if (existing.attr1 == 0 || existing.attr2 == 128) SetColumn(existing.name, value, true);
        break;
      }
    }
    if (Trim(profile_->Value("AUTHOR_ID")).empty()) {
      for (int i = 1; i <= profile_->ColumnCount(); ++i) {
        if (UCase(profile_->Column(i).name) == "AUTHOR_ID") {
          SetColumn("AUTHOR_ID", user, false);
          break;
        }
      }
    }

    log_.AddLogAndSeparator("Saving profile object for folder " + Quoted(name) + " in library " +
                            library);
    const dmapi::SaveResult saved = profile_->Save();
    if (!saved.status.ok()) {
      log_.AddLog(SaveFailure(saved.status, "profile"));
      return false;
    }
    saved_number_ = saved.document_number;
    const std::string number = Number(saved.document_number);
    log_.AddLog("Document #" + number + " assigned to this folder in library " + library);
    log_.AddLog("Profile object saved to #" + number + " in library " + library);
    if (folder_->Name().empty() || folder_->Description().empty()) {
      folder_->SetName(name);
      folder_->SetDescription(name);
    }
    return true;
  }

  void ReadParentColumns(ColumnList& out) {
    const std::string number = Number(r_.place.parent);
    const std::string& library = r_.place.parent_library;
    log_.AddLog("Opening profile object #" + number + " in library " + library);
    std::unique_ptr<dmapi::ProfileObject> parent =
        conn_.session()->OpenProfile(r_.place.parent, library);
    if (!parent) {
      log_.AddLog("Unable to open profile object #" + number + " in library " + library);
      return;
    }
    log_.AddLog("SyncProfile object #" + number + " opened in library " + library);
    log_.AddLog("Retrieving profile columns from document #" + number + " in library " + library);
    for (int i = 1; i <= parent->ColumnCount(); ++i) {
      const dmapi::ProfileColumn column = parent->Column(i);
      out.emplace_back(column.name, column.value);
    }
  }

  bool SaveFolder(const std::string& library) {
    const std::string& name = r_.name;
    const std::string number = Number(profile_->DocumentNumber());
    if (public_ && r_.level == 1) {
      log_.AddLog("Setting profile object #" + number + " for folder " + Quoted(name) +
                  " as Public in library " + library);
      folder_->MarkPublic();
    } else {
      log_.AddLog("Not setting profile object #" + number + " for folder " + Quoted(name) +
                  " as Public in library " + library);
    }
    log_.Separator();
    log_.AddLog("Saving folder object for folder " + Quoted(name) + " in library " + library);
    const dmapi::SaveResult saved = folder_->Save("", static_cast<int>(error_mode_));
    if (!saved.status.ok()) {
      log_.AddLog(SaveFailure(saved.status, "folder"));
      return false;
    }
    log_.AddLog("Folder object saved to #" + Number(saved.document_number) + " in library " +
                library);
    return true;
  }

  long long Complete() {
    const std::string& name = r_.name;
    log_.AddLog("Identifying Folder information");
    number_ = folder_->DocumentNumber();
    if (number_ <= 0) {
      log_.AddLog("Error: Document # is not set for folder " + Quoted(name) + " - cannot continue");
      return 0;
    }
    log_.AddLogAndSeparator("Document #" + Number(number_) + " assigned to folder " + Quoted(name) +
                            " in library " + conn_.LibraryName());
    return Finish();
  }

  // Everything after the save. Each step may run again for a folder whose earlier run broke
  // off, so that it ends up exactly as a folder made in one go.
  long long Finish() {
    const std::string& name = r_.name;
    const std::string n = Number(number_);
    if (!conn_.ConnectLibrary(r_.place.library)) {
      log_.AddLog("Error: unable to connect to Item_Library " + r_.place.library +
                  " - cannot continue");
      return 0;
    }
    // The stamp comes first: it is what lets a later cycle recognise a folder saved here
    // whose remaining steps never ran.
    conn_.RunStatement("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE(), PATH = " +
                       StampLiteral(rule_) + " WHERE DOCNUMBER = " + n);

    if (public_ && r_.level == 1 && r_.place.parent == 0) {
      log_.AddLogAndSeparator(
          "Verifying Root_Object Display Name and Profile Document Name for Public Folder #" + n);
      conn_.RunStatement("UPDATE [OWNER].PROFILE SET DOCNAME = '" + dm::SqlQuote(name) +
                         "' WHERE DOCNUMBER = " + n);
      conn_.RunStatement("UPDATE [OWNER].ROOT_OBJECT SET DISPLAYNAME = '" + dm::SqlQuote(name) +
                         "' WHERE DOCNUMBER = " + n);
    } else {
      log_.AddLogAndSeparator("Removing Root_Object Information (if it exists) for Folder #" + n);
      conn_.RunStatement("DELETE FROM [OWNER].ROOT_OBJECT WHERE DOCNUMBER = " + n);
    }

    // A folder left without its parent's values and without its link would be taken as
    // done; failing the row instead lets the next cycle finish it.
    if (r_.place.parent != 0 && conn_.ConnectLibrary(r_.place.parent_library) &&
        !PostParentValues())
      return 0;
    // A folder whose trustees are not all written is not done: the next cycle secures it.
    if (!rule_[RuleKey::kSecurity].empty() &&
        security::AddSecurity(c_, conn_, Placed(), rule_, "F") ==
            security::SecurityResult::kFailed) {
      return 0;
    }
    return Link();
  }

  // The parent's storage, path, retention and form on the new folder. False when the
  // folder's profile row could not be written.
  bool PostParentValues() {
    const std::string& name = r_.name;
    const std::string parent = Number(r_.place.parent);
    log_.AddLogAndSeparator("Retrieving profile information from parent #" + parent);
    const dm::FirstRow values = conn_.ReadFirstRow(
        "SELECT STORAGETYPE, PATH, RETENTION, FORM FROM [OWNER].PROFILE WHERE DOCNUMBER = " +
        parent);
    if (!values.found()) {
      log_.AddLog("Warning: Unable to retrieve profile information from parent #" + parent);
    }
    const std::string storage = Trim(values.Text(1)), path = Trim(values.Text(2));
    const long long retention = values.Integer(3);
    long long form_id = values.Integer(4);

    if (!conn_.ConnectLibrary(r_.place.library)) return true;
    if (NamesAForm(form_)) {
      log_.SetStatus("Identifying the system_id for the form '" + form_ + "' in library " +
                     conn_.LibraryName());
      log_.Separator();
      const long long id =
          conn_
              .ReadFirstRow("SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = '" +
                            dm::SqlQuote(form_) + "'")
              .Integer(1);
      if (id != 0) {
        log_.SetStatus("Setting Folder form to " + form_);
        form_id = id;
      }
    }
    log_.AddLogAndSeparator("Setting Additional profile columns for folder " + Quoted(name) +
                            " from parent #" + parent);
    long long posted = 0;
    conn_.RunStatement(
        "UPDATE [OWNER].PROFILE SET DOCNAME = '" + dm::SqlQuote(name) + "', FORM = " +
            Number(form_id) + ", FULLTEXT = 'Y', STORAGETYPE = '" + dm::SqlQuote(storage) +
            "', PATH = '" + dm::SqlQuote(path) + "', RETENTION = " + Number(retention) +
            ", EMAIL_SENT = NULL, EMAIL_RECEIVED = NULL WHERE DOCNUMBER = " + Number(number_),
        &posted);
    if (posted <= 0) {
      log_.AddLog("Error: Unable to post profile information for folder " + Quoted(name));
      return false;
    }
    return true;
  }

  // The folder as saved, at its place.
  dm::ItemPlace Placed() const {
    dm::ItemPlace placed = r_.place;
    placed.number = number_;
    return placed;
  }

  long long Link() {
    const std::string n = Number(number_);
    if (r_.place.parent != 0) {
      log_.SetStatus("Adding folder #" + n + " as subfolder under folder #" +
                     Number(r_.place.parent));
      log_.Separator();
      // Linked by an earlier run that stopped: what follows a link still has to happen.
      if (!AddFolderItem(c_, conn_, Placed(), "F", rule_, /*complete_when_linked=*/true)) {
        log_.AddLog("Error: Unable to add folder item #" + n + " in library " + r_.place.library +
                    " to folder #" + Number(r_.place.parent) + " in library " +
                    r_.place.parent_library);
        return 0;
      }
    }
    conn_.ConnectLibrary(r_.place.library);
    log_.AddLogAndSeparator("Clearing Activitylog entries for folder #" + n +
                            " generated by Arborline");
    const text::DateTime today = c_.clock.Now();
    const std::string date_condition =
        conn_.facts().IsOracle()
            ? " AND START_DATE = TO_DATE('" + Format(today, "DD-MMM-YY") + "', 'DD-MON-RR')"
            : " AND START_DATE = '" + Format(today, "YYYY-MM-DD") + "'";
    conn_.RunStatement("DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = " + n +
                       " AND (ACTIVITY_TYPE IN (45, 46, 47) OR (TYPIST = (SELECT SYSTEM_ID FROM "
                       "[OWNER].PEOPLE WHERE USER_ID = '" +
                       dm::SqlQuote(conn_.UserId()) + "')" + date_condition + "))");
    if (!rule_[RuleKey::kSecurity].empty() && conn_.library_state().HasNeedsSecuring) {
      log_.AddLogAndSeparator("Clearing Palisade entry for folder #" + n);
      conn_.RunStatement("DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = " + n);
    }
    if (!c_.state.HasSwitch("/XR")) conn_.RefreshAllViews();
    return number_;
  }

  Context& c_;
  dm::Connection& conn_;
  log::Log& log_;
  const FolderRequest& r_;
  const rules::RuleRecord& rule_;
  ErrorMode error_mode_;
  std::string form_;
  bool public_;
  std::string author_source_;
  std::unique_ptr<dmapi::FolderObject> folder_;
  std::unique_ptr<dmapi::ProfileObject> profile_;
  long long number_ = 0;
  long long saved_number_ = 0;
};

// A folder of this name that this row's earlier run saved (numbered above `above`) but never
// linked: no parent, no public entry, no items of its own. It takes the place of a second.
long long FindUnlinkedFolder(dm::Connection& conn, const std::string& name,
                             const rules::RuleRecord& rule, long long parent, long long above) {
  // Driven by the exact name this system wrote, so it reads a handful of rows whatever the
  // library's size.
  return conn
      .ReadFirstRow(
          "SELECT F.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].FOLDER F WHERE P.DOCNAME = '" +
          dm::SqlQuote(name) + "' AND F.DOCNUMBER = P.DOCNUMBER AND F.DOCNUMBER > " +
          Number(above) + " AND (F.PATH = " + StampLiteral(rule) +
          " OR F.PATH IS NULL) AND F.DOCNUMBER <> " + Number(parent) +
          " AND F.DOCNUMBER NOT IN (SELECT DOCNUMBER FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT "
          "IN (SELECT PARENT FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT IN (SELECT DOCNUMBER "
          "FROM "
          "[OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER")
      .Integer(1);
}

// The connected library's highest document number; -1 when it cannot be read.
long long HighestDocumentNumber(dm::Connection& conn) {
  const dm::FirstRow highest = conn.ReadFirstRow("SELECT MAX(DOCNUMBER) FROM [OWNER].PROFILE");
  return highest.succeeded ? highest.Integer(1) : -1;
}

}  // namespace

long long FolderCreator::CreateFolder(const FolderRequest& request, const rules::RuleRecord& rule,
                                      ErrorMode error_mode) {
  folder_existed_ = false;
  last_place_.clear();
  if (!connection_.LibraryObjectSet("CreateFolder")) return 0;
  last_ = {log::Trap(context_.log, "CreateFolder", 0LL,
                     [&] { return Create(request, rule, error_mode); }),
           request.row};
  return last_.number;
}

void FolderCreator::LastFolderUnfinished() {
  if (!last_place_.empty() && last_.number > 0 && !folder_existed_)
    unfinished_[last_place_] = last_;
}

long long FolderCreator::Create(const FolderRequest& original, const rules::RuleRecord& rule,
                                ErrorMode error_mode) {
  log::Log& log = context_.log;
  log::StatusKeeper status(context_);
  dm::Reconnect back(connection_);
  FolderRequest r = original;
  if (r.place.parent_library.empty()) r.place.parent_library = connection_.LibraryName();
  if (r.place.library.empty()) r.place.library = r.place.parent_library;
  if (r.name.empty()) return 0;
  struct Separated {
    log::Log& log;
    ~Separated() { log.Separator(); }
  } closing{log};

  if (!connection_.ConnectLibrary(r.place.library)) {
    // Made in whichever library is connected instead, the folder would be an orphan there.
    log.AddLog("Error: unable to connect to Item_Library " + r.place.library +
               " - cannot continue");
    return 0;
  }
  const long long found = CheckForFolder(context_, connection_, r.name, r.place, rule);
  if (found < 0) return 0;
  Creation creation(context_, connection_, r, rule, error_mode);
  const std::string key = UCase(r.place.library) + "\n" + UCase(r.place.parent_library) + "\n" +
                          Number(r.place.parent) + "\n" + UCase(CollapseSpaces(r.name));
  last_place_ = key;
  // What became of the folder this call made or finished: one that is there but not done
  // is remembered until the row that began it finishes it.
  auto settle = [&](long long result) {
    if (result <= 0) {
      unfinished_[key] = {creation.Saved(), r.row};
    } else {
      unfinished_.erase(key);
    }
    return result;
  };
  if (found > 0 && r.resume_above >= 0 && found > r.resume_above) {
    log.AddLogAndSeparator("Folder " + Quoted(r.name) + " (#" + Number(found) +
                           ") was being made by an earlier run that stopped before finishing it - "
                           "finishing it now");
    return settle(creation.Resume(found));
  }
  if (LeftToEarlierRow(r, key, found)) return 0;
  if (found > 0) return Existing(r, key, found);
  if (r.place.parent == 0 && !TopLevelConfirmed(r)) return 0;

  if (r.resume_above >= 0 && r.place.parent != 0) {
    if (const long long unlinked = FindUnlinkedFolder(connection_, CollapseSpaces(r.name), rule,
                                                      r.place.parent, r.resume_above);
        unlinked > 0) {
      log.AddLogAndSeparator("Folder " + Quoted(r.name) + " was saved as folder #" +
                             Number(unlinked) +
                             " by an earlier run but never linked - linking it now");
      return settle(creation.Resume(unlinked));
    }
  }
  if (r.before_create) {
    const long long highest = HighestDocumentNumber(connection_);
    if (highest < 0 || !r.before_create(highest)) return settle(0);
  }
  return settle(creation.Make());
}

// A folder an earlier row saved but could not finish is that row's to finish: building
// beneath it now would give the tree this row's values where a whole run gives that row's.
bool FolderCreator::LeftToEarlierRow(const FolderRequest& r, const std::string& key,
                                     long long found) {
  const auto earlier = unfinished_.find(key);
  if (earlier == unfinished_.end()) return false;
  const bool own = !r.row.empty() && earlier->second.row == r.row;
  if (own || (found != 0 && found != earlier->second.number)) return false;
  context_.log.AddLogAndSeparator(
      "Warning: Folder " + Quoted(r.name) +
      " that an earlier row began is not finished - this row waits for the next "
      "cycle");
  return true;
}

long long FolderCreator::Existing(const FolderRequest& r, const std::string& key, long long found) {
  unfinished_.erase(key);
  context_.log.AddLog(
      "Folder " + Quoted(r.name) + " already exists as folder #" + Number(found) +
      (r.place.parent != 0 ? " in parent folder #" + Number(r.place.parent) : std::string()));
  folder_existed_ = true;
  return found;
}

bool FolderCreator::TopLevelConfirmed(const FolderRequest& r) {
  if (connection_.library_state().settings.TopLevelWarning != 1) return true;
  log::Log& log = context_.log;
  const std::string library = connection_.LibraryName();
  const std::string name = Quoted(r.name);
  const runtime::Answer answer = context_.ShowMessage(
      "You are about to create a top-level folder named " + name + " in library " + library +
          " at " + Format(context_.clock.Now(), "YYYY-MM-DD HH:MM:SS") +
          " - Are you sure you want to continue?",
      runtime::MessageStyle::kYesNoCancel);
  if (answer == runtime::Answer::kNo) {
    const std::string text =
        "Sproutsmith stopped by user at point where it was going to "
        "create a top-level folder named " +
        name + " in library " + library;
    log.SetStatus(text);
    log.Separator();
    context_.ShowMessage(text, runtime::MessageStyle::kInformation);
    context_.state.CancelRequested = true;
    return false;
  }
  if (answer != runtime::Answer::kYes) {
    log.SetStatus("You have decided not to create a top-level folder named " + name +
                  " in library " + library);
    log.Separator();
    return false;
  }
  log.AddLogAndSeparator("I will create a top-level folder named " + name + " in library " +
                         library);
  return true;
}

}  // namespace sproutsmith::folders
