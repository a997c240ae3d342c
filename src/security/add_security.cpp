// A rule's security template applied to one item.

#include "security/add_security.h"

#include "dm/reconnect.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "security/security_template.h"
#include "security/trustee_sql.h"
#include "text/text.h"

namespace sproutsmith::security {

using text::Format;
using text::Trim;

namespace {

constexpr char kDocsUsers[] = "DOCS_USERS";

struct ProfileFacts {
  bool found = false;
  long long system_id = 0;
  ProfilePeople people;
};

class TemplateSecurity {
 public:
  TemplateSecurity(Context& context, dm::Connection& connection, long long doc_number,
                   const std::string& security_template, bool append)
      : context_(context),
        connection_(connection),
        log_(context.log),
        doc_number_(doc_number),
        n_(Format(doc_number, "#0")),
        template_(security_template),
        append_(append) {}

  bool Apply(const std::string& doc_type, const std::string& item_library) {
    if (!connection_.CheckFusion("AddSecuriry")) return false;
    if (connection_.library() == nullptr) {
      log_.AddLog("Error: Library object not set - cannot continue");
      log_.Separator();
      return false;
    }
    if (Trim(template_).empty() || doc_number_ == 0) {
      log_.AddLog("Error: Cannot add security for document #" + n_);
      log_.Separator();
      return false;
    }
    if (text::UCase(Trim(doc_type)) != "F" && !append_) {
      log_.AddLog("NOT adding security for document #" + n_);
      log_.Separator();
      return false;
    }

    log::StatusKeeper status(context_, true);
    dm::Reconnect back(connection_);
    if (!Trim(item_library).empty() && !connection_.ConnectLibrary(item_library)) {
      // Another library's item with the same number would get these trustees.
      log_.AddLog("Error: Unable to connect to library " + item_library);
      log_.Separator();
      return false;
    }
    log_.SetStatus("AddSecurity: Assigning security for document #" + n_ + " using template \"" +
                   template_ + "\"");
    log_.Separator();
    return Secure();
  }

 private:
  bool Secure() {
    RepairAuthor();
    const ProfileFacts profile = ReadProfile();
    if (!profile.found) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return false;
    }
    if (profile.people.author.empty()) return OpenToEveryone();
    if (profile.system_id == 0) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return false;
    }
    thing_ = profile.system_id;
    people_ = profile.people;

    BuildList();
    if (list_.empty()) {
      log_.AddLog("No trustees identified for this template");
      return true;
    }
    log_.AddLog(Format(static_cast<long long>(list_.size()), "#0") +
                " trustee(s) identified for this document");
    log_.Separator();

    if (append_) {
      ReadExistingTrustees();
    } else {
      log_.AddLog("Removing existing trustees from document #" + n_);
      log_.Separator();
      Write("DELETE FROM [OWNER].SECURITY WHERE THING = " + Format(thing_, "#0"), nullptr);
    }
    AddDefaultTrustees();
    Post();
    return Finish();
  }

  // A profile saved without author gets its typist as author.
  void RepairAuthor() {
    connection_.RunSQL("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = " + n_);
    double author = -1;
    connection_.ForEachRow([&] {
      author = connection_.ColumnNumber(1);
      return false;
    });
    connection_.Release();
    if (author == 0) {
      RunStatement(connection_,
                   "UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE DOCNUMBER = " + n_);
    }
  }

  ProfileFacts QueryProfile(const std::string& sql) {
    ProfileFacts facts;
    connection_.RunSQL(sql);
    connection_.ForEachRow([&] {
      facts.found = true;
      facts.system_id = static_cast<long long>(connection_.ColumnNumber(1));
      facts.people = {Trim(connection_.Column(2)), Trim(connection_.Column(3)),
                      Trim(connection_.Column(4)), Trim(connection_.Column(5))};
      return false;
    });
    connection_.Release();
    return facts;
  }

  // The outer joins always return the profile's row: an empty author is what "no author
  // information" looks like, and then the typist stands for the author.
  ProfileFacts ReadProfile() {
    ProfileFacts facts = QueryProfile(
        "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
        "FROM [OWNER].PROFILE P "
        "LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR "
        "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
        "LEFT OUTER JOIN [OWNER].GROUPS AG ON AG.SYSTEM_ID = A.PRIMARY_GROUP "
        "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP "
        "WHERE P.DOCNUMBER = " +
        n_);
    if (facts.found && !facts.people.author.empty()) return facts;
    log_.AddLog(
        "Fetching Typist ID and Primary Group because no Author information is found for "
        "document #" +
        n_);
    log_.Separator();
    return QueryProfile(
        "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, TG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
        "FROM [OWNER].PROFILE P "
        "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
        "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP "
        "WHERE P.DOCNUMBER = " +
        n_);
  }

  // Neither author nor typist is known: nobody could be given full rights, so the item is
  // left open to everyone.
  bool OpenToEveryone() {
    log_.AddLog("Notice: Unable to access profile author and typist information for document #" +
                n_ + " (most likely this is because one or more of these values are not yet set)");
    log_.Separator();
    const std::string thing =
        "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = " + n_ + ")";
    Write("DELETE FROM [OWNER].SECURITY WHERE THING = " + thing + " AND PERSONORGROUP = 0",
          nullptr);
    Write(ProfileRightsSql(connection_, 0, "DOCNUMBER = " + n_), nullptr);
    Write(
        "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT 0, 191, "
        "SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = " +
            n_,
        nullptr);
    if (incomplete_) {
      log_.AddLog("Error: Unable to open document #" + n_ + " to all users in library " +
                  connection_.LibraryName());
      log_.Separator();
      return false;
    }
    return Finish();
  }

  void BuildList() {
    for (const TemplateEntry& entry : ParseSecurityTemplate(template_)) {
      const std::optional<Trustee> trustee = Resolve(entry, people_);
      if (!trustee) continue;
      if (list_.Add(*trustee)) {
        const std::string& name = trustee->user_id.empty() ? trustee->group_id : trustee->user_id;
        log_.AddLog("Adding trustee " + name + " with rights " + Format(trustee->rights, "#0"));
        log_.Separator();
      }
    }
    author_noted_ = list_.NamesUser(people_.author);
    typist_noted_ = list_.NamesUser(people_.typist);
    docs_users_noted_ = list_.NamesGroup(kDocsUsers);
  }

  // Append mode keeps the item's other trustees and updates the listed ones in place.
  void ReadExistingTrustees() {
    log_.AddLog("Retrieving existing trustees from document #" + n_);
    log_.Separator();
    connection_.RunSQL(
        "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM [OWNER].SECURITY S "
        "LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
        "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
        "LEFT OUTER JOIN [OWNER].PROFILE R ON R.SYSTEM_ID = S.THING "
        "WHERE R.DOCNUMBER = " +
        n_);
    connection_.ForEachRow([&] {
      const std::string user = Trim(connection_.Column(1));
      const std::string group = Trim(connection_.Column(2));
      if (!user.empty() && user == people_.author) author_noted_ = true;
      if (!user.empty() && user == people_.typist) typist_noted_ = true;
      if (group == kDocsUsers) docs_users_noted_ = true;
      list_.MarkPresent(user, group);
      return true;
    });
    connection_.Release();
  }

  void AddDefaultTrustee(const std::string& user_id, const std::string& group_id) {
    const std::string lookup = TrusteeLookup(user_id, group_id);
    Write(DeleteTrusteeSql(thing_, lookup), nullptr);
    Write(InsertTrusteeSql(thing_, Format(kFullRights, "#0"), lookup), &changed_);
  }

  void AddDefaultTrustees() {
    if (!people_.author.empty() && !author_noted_) {
      log_.AddLog("Adding security for author " + people_.author);
      log_.Separator();
      AddDefaultTrustee(people_.author, "");
    }
    if (!people_.typist.empty() && people_.typist != people_.author && !typist_noted_) {
      log_.AddLog("Adding security for typist " + people_.typist);
      log_.Separator();
      AddDefaultTrustee(people_.typist, "");
    }
    if (!docs_users_noted_ && !list_.AnyPositiveRights()) {
      log_.AddLog("Adding DOCS_USERS security");
      log_.Separator();
      Write("DELETE FROM [OWNER].SECURITY WHERE THING = " + Format(thing_, "#0") +
                " AND PERSONORGROUP = 0",
            nullptr);
      Write("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) VALUES(0, 191, " +
                Format(thing_, "#0") + ")",
            &changed_);
    }
  }

  void Post() {
    log_.AddLog("Posting " + Format(static_cast<long long>(list_.size()), "#0") +
                " folder trustees to profiled document");
    log_.Separator();
    for (const Trustee& t : list_.entries()) {
      const std::string lookup = TrusteeLookup(t.user_id, t.group_id);
      const std::string rights = WrittenRights(t.rights);
      if (t.present) {
        Write(UpdateTrusteeSql(thing_, rights, lookup), &changed_);
      } else {
        Write(DeleteTrusteeSql(thing_, lookup), nullptr);
        Write(InsertTrusteeSql(thing_, rights, lookup), &changed_);
      }
    }
  }

  // The profile is marked secured only once its whole trustee set is written: a set that
  // a failed statement left short stays unmarked, and the next call writes it again.
  bool Finish() {
    if (incomplete_) {
      log_.AddLog("Error: Not every trustee could be written to document #" + n_ + " in library " +
                  connection_.LibraryName() + " - document security was not enabled");
      log_.Separator();
      return false;
    }
    if (changed_ != 0) {
      log_.AddLog("Enabling document security for document #" + n_ + " in library " +
                  connection_.LibraryName());
      log_.Separator();
      Write(ProfileRightsSql(connection_, 1, "SYSTEM_ID = " + Format(thing_, "#0")), nullptr);
      if (incomplete_) return false;
    }
    log_.AddLog("Finished adding " + Format(static_cast<long long>(list_.size()), "#0") +
                " template trustees to profiled document #" + n_);
    log_.Separator();
    if (!context_.state.HasSwitch("/XR")) connection_.RefreshAllViews();
    return true;
  }

  void Write(const std::string& sql, long long* changed) {
    long long affected = 0;
    if (!RunStatement(connection_, sql, &affected)) incomplete_ = true;
    if (changed != nullptr && affected > 0) *changed += affected;
  }

  Context& context_;
  dm::Connection& connection_;
  log::Log& log_;
  const long long doc_number_;
  const std::string n_;
  const std::string template_;
  const bool append_;

  long long thing_ = 0;
  ProfilePeople people_;
  TrusteeList list_;
  bool author_noted_ = false;
  bool typist_noted_ = false;
  bool docs_users_noted_ = false;
  long long changed_ = 0;
  bool incomplete_ = false;
};

}  // namespace

bool AddSecurity(Context& context, dm::Connection& connection, long long doc_number,
                 const std::string& security_template, const rules::RuleRecord& rule,
                 const std::string& doc_type, const std::string& /*folder_library*/,
                 const std::string& item_library) {
  const bool append = rule.Number(rules::RuleKey::kAppendTrustees) == 1;
  return log::Trap(context.log, "AddSecurity", false, [&] {
    TemplateSecurity security(context, connection, doc_number, security_template, append);
    return security.Apply(doc_type, item_library);
  });
}

}  // namespace sproutsmith::security
