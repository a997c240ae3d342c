// An item linked into a folder takes over the folder's trustees.

#include "security/inherit_security.h"

#include <algorithm>
#include <vector>

#include "dm/reconnect.h"
#include "log/error_trap.h"
#include "security/security_template.h"
#include "security/trustee_sql.h"
#include "text/text.h"

namespace sproutsmith::security {

using text::Format;
using text::Number;
using text::Trim;

namespace {

// A row of the folder's access list by ids, not SYSTEM_IDs: those differ between libraries.
struct ParentTrustee {
  std::string user_id;
  std::string group_id;
  std::string rights;
};

class Inheritance {
 public:
  Inheritance(Context& context, dm::Connection& connection, long long doc_number, long long parent)
      : context_(context),
        connection_(connection),
        log_(context.log),
        doc_number_(doc_number),
        parent_(parent),
        n_(Number(doc_number)),
        p_(Number(parent)) {}

  SecurityResult Run(const std::string& folder_library, const std::string& item_library) {
    if (!connection_.LibraryObjectSet("InheritSecurity")) return SecurityResult::kFailed;
    if (doc_number_ == 0 || parent_ == 0) {
      log_.AddLog(
          "Error: No document number or parent folder id specified - cannot set security "
          "inheritance");
      return SecurityResult::kFailed;
    }
    log_.SetStatus("InheritSecurity: Setting security for document #" + n_ +
                   " to match security from folder #" + p_);
    log_.Separator();

    dm::Reconnect back(connection_);
    item_library_ = Trim(item_library).empty() ? back.library() : text::UCase(Trim(item_library));
    const std::string parent_library =
        Trim(folder_library).empty() ? back.library() : text::UCase(Trim(folder_library));
    const SecurityResult result = Inherit(parent_library);
    return ConnectBack(log_, connection_, back.library(), doc_number_, item_library_, result);
  }

 private:
  SecurityResult Inherit(const std::string& parent_library) {
    if (!Connect(parent_library)) return Failed();
    bool parent_has_rows = false;
    std::vector<ParentTrustee> trustees;
    if (!ReadParentTrustees(trustees, parent_has_rows)) return Failed();
    if (!parent_has_rows) {
      log_.AddLog("No trustees found for parent folder - not setting security for document " + n_);
      return SecurityResult::kNothingToApply;
    }
    if (trustees.empty()) {
      log_.AddLog("No trustees found for parent folder #" + p_ +
                  " - not changing security for document " + n_);
      return SecurityResult::kNothingToApply;
    }

    // The folder's document number means another document in any other library.
    if (!Connect(item_library_)) return Failed();
    item_library_ = connection_.LibraryName();
    log_.AddLogAndSeparator("Inheriting security for item #" + n_ + " from folder #" + p_);
    bool found = false;
    if (!ReadProfile(found)) return Failed();
    if (!found) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return SecurityResult::kFailed;
    }
    return Write(trustees);
  }

  bool Connect(const std::string& library) {
    if (connection_.ConnectLibrary(library)) return true;
    log_.AddLogAndSeparator("Error: Unable to connect to library " + library);
    return false;
  }

  bool ReadParentTrustees(std::vector<ParentTrustee>& trustees, bool& has_rows) {
    return connection_.RunQuery(TrusteesOfDocumentSql(p_), [&] {
      has_rows = true;
      const std::string rights = Trim(connection_.Column(3));
      if (!rights.empty()) {
        trustees.push_back({Trim(connection_.Column(1)), Trim(connection_.Column(2)), rights});
      }
      return true;
    });
  }

  bool QueryProfile(const std::string& sql, bool& found) {
    const dm::FirstRow row = connection_.ReadFirstRow(sql);
    if (row.found()) {
      found = true;
      thing_ = row.Integer(1);
      author_ = Trim(row.Text(2));
      typist_ = Trim(row.Text(3));
    }
    return row.succeeded;
  }

  // Without the author's PEOPLE row the typist stands for the author too. False when a
  // query failed.
  bool ReadProfile(bool& found) {
    if (!QueryProfile(
            "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P, "
            "[OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND "
            "P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = " +
                n_,
            found)) {
      return false;
    }
    return found ||
           QueryProfile(
               "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE "
               "P, [OWNER].PEOPLE T WHERE P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = " +
                   n_,
               found);
  }

  bool AddFullRights(const std::string& user_id) {
    const std::string lookup = TrusteeLookup(user_id, "");
    return Statement(DeleteTrusteeSql(thing_, lookup)) &&
           Statement(InsertTrusteeSql(thing_, Number(kFullRights), lookup));
  }

  // Secured first, then the rows rewritten with every deny before any grant (the author's
  // and typist's full rights last): stopped anywhere, the item grants no more than the
  // finished set.
  SecurityResult Write(std::vector<ParentTrustee> trustees) {
    const std::string thing = Number(thing_);
    log_.AddLogAndSeparator("Enabling document security");
    if (!Statement(ProfileRightsSql(connection_, 1, "SYSTEM_ID = " + thing))) return Failed();
    secured_ = true;
    log_.AddLogAndSeparator("Removing existing trustees");
    if (!Statement("DELETE FROM [OWNER].SECURITY WHERE THING = " + thing)) return Failed();

    const std::string count = Number(trustees.size());
    log_.AddLogAndSeparator("Adding " + count + " folder trustee(s) to profiled document");
    std::stable_partition(trustees.begin(), trustees.end(),
                          [](const ParentTrustee& t) { return DeniesOnly(text::Val(t.rights)); });
    for (const ParentTrustee& t : trustees) {
      if (!AddTrustee(t)) return Failed();
    }
    if (!author_.empty()) {
      log_.AddLogAndSeparator("Adding security for author " + author_);
      if (!AddFullRights(author_)) return Failed();
    }
    if (!typist_.empty() && typist_ != author_) {
      log_.AddLogAndSeparator("Adding security for typist " + typist_);
      if (!AddFullRights(typist_)) return Failed();
    }

    log_.AddLogAndSeparator("Finished adding " + count + " folder trustees to profiled document");
    if (!context_.state.HasSwitch("/XR")) connection_.RefreshAllViews();
    return SecurityResult::kApplied;
  }

  // The user or group is found by its id in the item's library; one that library does not
  // know gets no row.
  bool AddTrustee(const ParentTrustee& t) {
    std::string lookup;
    std::string kind;
    std::string id;
    if (!t.user_id.empty() && t.user_id != author_ && t.user_id != typist_) {
      lookup = TrusteeLookup(t.user_id, "");
      kind = "User ";
      id = t.user_id;
    } else if (!t.group_id.empty()) {
      lookup = TrusteeLookup("", t.group_id);
      kind = "Group ";
      id = t.group_id;
    } else {
      return true;  // the author and typist get full rights below
    }
    long long inserted = 0;
    if (!Statement(DeleteTrusteeSql(thing_, lookup)) ||
        !Statement(InsertTrusteeSql(thing_, Format(text::Val(t.rights), "#0"), lookup),
                   &inserted)) {
      return false;
    }
    if (inserted == 0) {
      log_.AddLogAndSeparator("Warning: " + kind + id + " of folder #" + p_ +
                              " is not in library " + item_library_ + " - not added to document #" +
                              n_);
    }
    return true;
  }

  SecurityResult Failed() {
    log_.AddLogAndSeparator(SecurityFailureLine(doc_number_, item_library_, secured_));
    return SecurityResult::kFailed;
  }

  bool Statement(const std::string& sql, long long* affected = nullptr) {
    return connection_.RunStatement(sql, affected);
  }

  Context& context_;
  dm::Connection& connection_;
  log::Log& log_;
  const long long doc_number_;
  const long long parent_;
  const std::string n_;
  const std::string p_;

  std::string item_library_;
  long long thing_ = 0;
  std::string author_;
  std::string typist_;
  bool secured_ = false;
};

}  // namespace

SecurityResult InheritSecurity(Context& context, dm::Connection& connection,
                               const dm::ItemPlace& item) {
  return log::Trap(context.log, "InheritSecurity", SecurityResult::kFailed, [&] {
    Inheritance inheritance(context, connection, item.number, item.parent);
    return inheritance.Run(item.parent_library, item.library);
  });
}

}  // namespace sproutsmith::security
