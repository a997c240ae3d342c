// Aligning the profile metadata of a parent folder and an item linked into it.

#include "folders/metadata_sync.h"

#include <memory>
#include <set>

#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::folders {

using text::Number;
using text::Trim;
using text::UCase;

namespace {

// Columns that make a document what it is (its name, description and kind) or decide who may
// see it: copying them would rename the item after its parent or change its access behind
// the security steps' back.
bool IsIdentityColumn(const std::string& upper_name) {
  return upper_name == "DOCNAME" || upper_name == "ABSTRACT" || upper_name == "APP_ID" ||
         upper_name == "SECURITY";
}

bool MaySet(const dmapi::ProfileColumn& column) { return column.attr1 == 0 || column.attr2 == 128; }

bool CarriesValue(const dmapi::ProfileColumn& column) {
  if (column.data_type == dmapi::kNumericDataType) return text::Val(Trim(column.value)) != 0;
  return !Trim(column.value).empty();
}

std::set<std::string> ColumnNames(const dmapi::ProfileObject& profile) {
  std::set<std::string> names;
  for (int i = 1; i <= profile.ColumnCount(); ++i) names.insert(UCase(profile.Column(i).name));
  return names;
}

class Sync {
 public:
  Sync(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
       const std::string& doc_type)
      : c_(context),
        conn_(connection),
        log_(context.log),
        parent_(item.parent),
        doc_(item.number),
        folder_library_(item.parent_library),
        item_library_(item.library),
        item_is_folder_(UCase(Trim(doc_type)) == "F") {}

  bool Run() {
    log_.SetStatus("Processing Metadata between Parent #" + Number(parent_) + " in library " +
                   folder_library_ + " and Item #" + Number(doc_) + " in library " + item_library_);
    log_.Separator();
    if (!Open()) return false;
    same_library_ = text::EqualsNoCase(parent_library_, item_library_name_);
    const bool same = parent_ == doc_ && text::EqualsNoCase(parent_library_, item_library_name_);
    if (!same) {
      log_.SetStatus("Processing Metadata columns from parent folder #" + Number(parent_) +
                     " to child folder #" + Number(doc_));
      Copy(*parent_profile_, *item_profile_);
      if (!Save(*item_profile_, "child", doc_, item_library_name_)) return false;
      log_.Separator();
      log_.SetStatus("Processing Metadata columns from child folder #" + Number(doc_) +
                     " to parent folder #" + Number(parent_));
      Copy(*item_profile_, *parent_profile_);
      if (!Save(*parent_profile_, "parent", parent_, parent_library_)) return false;
    }
    if (!c_.state.HasSwitch("/XR")) conn_.RefreshAllViews();
    return true;
  }

 private:
  bool Open() {
    parent_library_ = conn_.ListedName(folder_library_);
    const std::string parent_shown = parent_library_.empty() ? folder_library_ : parent_library_;
    log_.AddLog("Opening folder object #" + Number(parent_) + " in library " + parent_shown);
    if (!parent_library_.empty())
      parent_folder_ = conn_.session()->OpenFolder(parent_, parent_library_);
    if (parent_folder_) parent_profile_ = parent_folder_->Profile();
    if (!parent_profile_) {
      log_.AddLog("Error: Unable to open folder object #" + Number(parent_) +
                  " for SyncData in library " + parent_shown);
      return false;
    }

    item_library_name_ = conn_.ListedName(item_library_);
    const std::string item_shown = item_library_name_.empty() ? item_library_ : item_library_name_;
    const std::string kind = item_is_folder_ ? "folder" : "profile";
    log_.AddLog("Opening " + kind + " object #" + Number(doc_) + " in library " + item_shown);
    if (!item_library_name_.empty()) {
      if (item_is_folder_) {
        item_folder_ = conn_.session()->OpenFolder(doc_, item_library_name_);
        if (item_folder_) item_profile_ = item_folder_->Profile();
      } else {
        item_profile_ = conn_.session()->OpenProfile(doc_, item_library_name_);
      }
    }
    if (!item_profile_) {
      log_.AddLog("Error: Unable to open " + kind + " object #" + Number(doc_) +
                  " for SyncData in library " + item_shown);
      return false;
    }
    return true;
  }

  // Every value `from` has and `to` lacks or holds differently is set on `to`.
  void Copy(const dmapi::ProfileObject& from, dmapi::ProfileObject& to) {
    const std::set<std::string> target_columns = ColumnNames(to);
    for (int i = 1; i <= from.ColumnCount(); ++i) {
      const dmapi::ProfileColumn column = from.Column(i);
      const std::string name = UCase(Trim(column.name));
      if (!MaySet(column) || name.find("MAIL") != std::string::npos || IsIdentityColumn(name) ||
          !CarriesValue(column) || target_columns.count(name) == 0 || refused_.count(name) > 0) {
        continue;
      }
      // Between two libraries a number names a record (a matter, a person) of its own
      // library: in the other it would name another one.
      if (!same_library_ && column.data_type == dmapi::kNumericDataType) continue;
      if (to.Value(name) == column.value) continue;
      log_.AddLog("Setting Folder " + column.name + " to " + column.value);
      // One refused value must not stop the others; the column also stays out of the way
      // back, so the side that refused it cannot overwrite the value it refused.
      const Status status = log::Trap(log_, "SyncData", Status::Error(-1, "unexpected error"),
                                      [&] { return to.SetValue(column.name, column.value); });
      if (status.ok()) continue;
      refused_.insert(name);
      log_.AddLog("Error #" + Number(static_cast<long long>(status.code)) + " (" + status.text +
                  ") setting column " + column.name);
    }
  }

  bool Save(dmapi::ProfileObject& profile, const std::string& side, long long number,
            const std::string& library) {
    log_.AddLog("Saving profile object for " + side + " folder #" + Number(number) +
                " in library " + library);
    const dmapi::SaveResult saved = profile.Save();
    if (!saved.status.ok()) {
      log_.AddLog("Error: (" + Number(static_cast<long long>(saved.status.code)) + ") - " +
                  saved.status.text);
      return false;
    }
    if (saved.document_number <= 0) {
      log_.AddLog("Warning: Attempt to save " + side +
                  " profile object did not return valid response");
      return false;
    }
    log_.AddLog("Folder object saved to #" + Number(saved.document_number) + " in library " +
                library);
    return true;
  }

  Context& c_;
  dm::Connection& conn_;
  log::Log& log_;
  long long parent_;
  long long doc_;
  std::string folder_library_;
  std::string item_library_;
  bool item_is_folder_;
  std::string parent_library_;  // as the session lists them
  std::string item_library_name_;
  std::unique_ptr<dmapi::FolderObject> parent_folder_;
  std::unique_ptr<dmapi::ProfileObject> parent_profile_;
  std::unique_ptr<dmapi::FolderObject> item_folder_;
  std::unique_ptr<dmapi::ProfileObject> item_profile_;
  bool same_library_ = true;
  std::set<std::string> refused_;
};

}  // namespace

bool SyncData(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
              const std::string& doc_type) {
  if (!connection.LibraryObjectSet("SyncData")) return false;
  return log::Trap(context.log, "SyncData", false, [&] {
    Sync sync(context, connection, item, doc_type);
    return sync.Run();
  });
}

void CDoc(Context& context, dm::Connection& connection, const std::string& library) {
  log::TrapVoid(context.log, "CDoc", [&] {
    if (context.options.CheckDisplayErrors == 0 || !connection.CheckFusion("CDoc")) return;
    dmapi::Library* lib = connection.library();
    if (lib == nullptr) {
      context.log.AddLogAndSeparator("Error: Lib object not set - cannot continue");
      return;
    }
    if (UCase(Trim(lib->Name())) != UCase(Trim(library))) {
      context.log.AddLog("NOTE: Object library is: " + lib->Name() + " (expected " + library + ")");
    }
  });
}

}  // namespace sproutsmith::folders
