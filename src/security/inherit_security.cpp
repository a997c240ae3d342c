// An item linked into a folder takes over the folder's trustees.

#include "security/inherit_security.h"

#include <vector>

#include "log/error_trap.h"
#include "security/security_template.h"
#include "security/trustee_sql.h"
#include "text/text.h"

namespace sproutsmith::security {

using text::Format;
using text::Trim;

namespace {

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
        n_(Format(doc_number, "#0")),
        p_(Format(parent, "#0")) {}

  bool Run() {
    if (!connection_.CheckFusion("InheritSecurity")) return false;
    if (connection_.library() == nullptr) {
      log_.AddLog("Error: Library object not set - cannot continue");
      log_.Separator();
      return false;
    }
    if (doc_number_ == 0 || parent_ == 0) {
      log_.AddLog(
          "Error: No document number or parent folder id specified - cannot set security "
          "inheritance");
      return false;
    }
    log_.SetStatus("InheritSecurity: Setting security for document #" + n_ +
                   " to match security from folder #" + p_);
    log_.Separator();

    bool parent_has_rows = false;
    const std::vector<ParentTrustee> trustees = ReadParentTrustees(parent_has_rows);
    if (!parent_has_rows) {
      log_.AddLog("No trustees found for parent folder - not setting security for document " + n_);
      return false;
    }
    if (trustees.empty()) {
      log_.AddLog("No trustees found for parent folder #" + p_ +
                  " - not changing security for document " + n_);
      return true;
    }
    log_.AddLog("Inheriting security for item #" + n_ + " from folder #" + p_);
    log_.Separator();
    if (!ReadProfile()) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return false;
    }
    return Write(trustees);
  }

 private:
  std::vector<ParentTrustee> ReadParentTrustees(bool& has_rows) {
    std::vector<ParentTrustee> trustees;
    connection_.RunSQL(
        "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM [OWNER].SECURITY S "
        "LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
        "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
        "LEFT OUTER JOIN [OWNER].PROFILE R ON R.SYSTEM_ID = S.THING "
        "WHERE R.DOCNUMBER = " +
        p_);
    has_rows = connection_.ForEachRow([&] {
      const std::string rights = Trim(connection_.Column(3));
      if (!rights.empty()) {
        trustees.push_back({Trim(connection_.Column(1)), Trim(connection_.Column(2)), rights});
      }
      return true;
    }) > 0;
    connection_.Release();
    return trustees;
  }

  bool QueryProfile(const std::string& sql) {
    bool found = false;
    connection_.RunSQL(sql);
    connection_.ForEachRow([&] {
      found = true;
      thing_ = static_cast<long long>(connection_.ColumnNumber(1));
      author_ = Trim(connection_.Column(2));
      typist_ = Trim(connection_.Column(3));
      return false;
    });
    connection_.Release();
    return found;
  }

  // Without the author's PEOPLE row the typist stands for the author too.
  bool ReadProfile() {
    return QueryProfile(
               "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE "
               "P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND "
               "P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = " +
               n_) ||
           QueryProfile(
               "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE "
               "P, [OWNER].PEOPLE T WHERE P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = " +
               n_);
  }

  void AddFullRights(const std::string& user_id) {
    const std::string lookup = TrusteeLookup(user_id, "");
    Statement(DeleteTrusteeSql(thing_, lookup));
    Statement(InsertTrusteeSql(thing_, Format(kFullRights, "#0"), lookup));
  }

  // The profile is marked secured only after the whole set is written, so a set that a
  // failed statement left short is never presented as the item's finished security; the
  // next call deletes it and writes it again.
  bool Write(const std::vector<ParentTrustee>& trustees) {
    const std::string thing = Format(thing_, "#0");
    log_.AddLog("Removing existing trustees");
    log_.Separator();
    Statement("DELETE FROM [OWNER].SECURITY WHERE THING = " + thing);
    if (!author_.empty()) {
      log_.AddLog("Adding security for author " + author_);
      log_.Separator();
      AddFullRights(author_);
    }
    if (!typist_.empty() && typist_ != author_) {
      log_.AddLog("Adding security for typist " + typist_);
      log_.Separator();
      AddFullRights(typist_);
    }

    const std::string count = Format(static_cast<long long>(trustees.size()), "#0");
    log_.AddLog("Adding " + count + " folder trustee(s) to profiled document");
    log_.Separator();
    for (const ParentTrustee& t : trustees) {
      const std::string rights = Format(text::Val(t.rights), "#0");
      std::string lookup;
      if (!t.user_id.empty() && t.user_id != author_ && t.user_id != typist_) {
        lookup = TrusteeLookup(t.user_id, "");
      } else if (!t.group_id.empty()) {
        lookup = TrusteeLookup("", t.group_id);
      } else {
        continue;  // the author and typist keep their full rights
      }
      Statement(DeleteTrusteeSql(thing_, lookup));
      Statement(InsertTrusteeSql(thing_, rights, lookup));
    }

    if (incomplete_) {
      log_.AddLog("Error: Not every trustee of folder #" + p_ + " could be written to document #" +
                  n_ + " - document security was not enabled");
      log_.Separator();
      return false;
    }
    log_.AddLog("Enabling document security");
    log_.Separator();
    Statement(ProfileRightsSql(connection_, 1, "SYSTEM_ID = " + thing));
    if (incomplete_) return false;
    log_.AddLog("Finished adding " + count + " folder trustees to profiled document");
    log_.Separator();
    if (!context_.state.HasSwitch("/XR")) connection_.RefreshAllViews();
    return true;
  }

  void Statement(const std::string& sql) {
    if (!RunStatement(connection_, sql)) incomplete_ = true;
  }

  Context& context_;
  dm::Connection& connection_;
  log::Log& log_;
  const long long doc_number_;
  const long long parent_;
  const std::string n_;
  const std::string p_;

  long long thing_ = 0;
  std::string author_;
  std::string typist_;
  bool incomplete_ = false;
};

}  // namespace

bool InheritSecurity(Context& context, dm::Connection& connection, long long doc_number,
                     long long parent, const std::string& /*folder_library*/) {
  return log::Trap(context.log, "InheritSecurity", false, [&] {
    Inheritance inheritance(context, connection, doc_number, parent);
    return inheritance.Run();
  });
}

}  // namespace sproutsmith::security
