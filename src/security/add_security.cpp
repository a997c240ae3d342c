// A rule's security template applied to one item.

#include "security/add_security.h"

#include <algorithm>
#include <vector>

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
  std::string default_rights;  // as read, "" when NULL
};

class TemplateSecurity {
 public:
  TemplateSecurity(Context& context, dm::Connection& connection, long long doc_number,
                   const std::string& security_template, bool append)
      : context_(context),
        connection_(connection),
        log_(context.log),
        doc_number_(doc_number),
        n_(text::Number(doc_number)),
        template_(security_template),
        append_(append) {}

  SecurityResult Apply(const std::string& doc_type, const std::string& item_library) {
    if (!connection_.LibraryObjectSet("AddSecuriry")) return SecurityResult::kFailed;
    if (Trim(template_).empty() || doc_number_ == 0) {
      log_.AddLogAndSeparator("Error: Cannot add security for document #" + n_);
      return SecurityResult::kFailed;
    }
    if (text::UCase(Trim(doc_type)) != "F" && !append_) {
      log_.AddLogAndSeparator("NOT adding security for document #" + n_);
      return SecurityResult::kNothingToApply;
    }

    log::StatusKeeper status(context_, true);
    dm::Reconnect back(connection_);
    library_ = Trim(item_library).empty() ? back.library() : text::UCase(Trim(item_library));
    if (!connection_.ConnectLibrary(library_)) {
      // Another library's item with the same number would get these trustees.
      log_.AddLogAndSeparator("Error: Unable to connect to library " + library_);
      return Failed();
    }
    library_ = connection_.LibraryName();
    log_.SetStatus("AddSecurity: Assigning security for document #" + n_ + " using template \"" +
                   template_ + "\"");
    log_.Separator();
    const SecurityResult result = Secure();
    return ConnectBack(log_, connection_, back.library(), doc_number_, library_, result);
  }

 private:
  SecurityResult Secure() {
    if (!RepairAuthor()) return Failed();
    ProfileFacts profile;
    if (!ReadProfile(profile)) return Failed();
    if (!profile.found) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return SecurityResult::kFailed;
    }
    if (profile.people.author.empty()) {
      // Nobody gets full rights, but the template's named trustees still apply: opening the
      // item to everyone would go against a template that keeps DOCS_USERS out.
      log_.AddLogAndSeparator(
          "Notice: Unable to access profile author and typist information for document #" + n_ +
          " (most likely this is because one or more of these values are not yet set)");
    }
    if (profile.system_id == 0) {
      log_.AddLog("Error: Unable to locate profile for document " + n_ + " - cannot set security");
      return SecurityResult::kFailed;
    }
    thing_ = profile.system_id;
    people_ = profile.people;
    default_rights_ = profile.default_rights;

    BuildList();
    if (list_.empty()) {
      log_.AddLog("No trustees identified for this template");
      return SecurityResult::kNothingToApply;
    }
    log_.AddLogAndSeparator(text::Number(list_.size()) +
                            " trustee(s) identified for this document");

    if (append_ && !ReadExistingTrustees()) return Failed();
    if (!EnableSecurity()) return Failed();
    if (!append_) {
      log_.AddLogAndSeparator("Removing existing trustees from document #" + n_);
      if (!Write("DELETE FROM [OWNER].SECURITY WHERE THING = " + text::Number(thing_), nullptr)) {
        return Failed();
      }
    }
    if (!Post() || !AddDefaultTrustees()) return Failed();
    if (changed_ == 0 && !RestoreDefaultRights()) return Failed();

    log_.AddLogAndSeparator("Finished adding " + text::Number(list_.size()) +
                            " template trustees to profiled document #" + n_);
    if (!context_.state.HasSwitch("/XR")) connection_.RefreshAllViews();
    return changed_ == 0 ? SecurityResult::kNothingToApply : SecurityResult::kApplied;
  }

  // A profile saved without author gets its typist as author.
  bool RepairAuthor() {
    const dm::FirstRow author =
        connection_.ReadFirstRow("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = " + n_);
    if (!author.succeeded) return false;
    return !author.found() || author.Number(1) != 0 ||
           Write("UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE DOCNUMBER = " + n_, nullptr);
  }

  bool QueryProfile(const std::string& sql, ProfileFacts& facts) {
    const dm::FirstRow row = connection_.ReadFirstRow(sql);
    facts = {};
    if (row.found()) {
      facts.found = true;
      facts.system_id = row.Integer(1);
      facts.people = {Trim(row.Text(2)), Trim(row.Text(3)), Trim(row.Text(4)), Trim(row.Text(5))};
      facts.default_rights = Trim(row.Text(6));
    }
    return row.succeeded;
  }

  // The outer joins always return the profile's row: an empty author is what "no author
  // information" looks like, and then the typist stands for the author. False when a query
  // failed.
  bool ReadProfile(ProfileFacts& facts) {
    if (!QueryProfile(
            "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
            "FROM [OWNER].PROFILE P "
            "LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR "
            "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
            "LEFT OUTER JOIN [OWNER].GROUPS AG ON AG.SYSTEM_ID = A.PRIMARY_GROUP "
            "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP "
            "WHERE P.DOCNUMBER = " +
                n_,
            facts)) {
      return false;
    }
    if (facts.found && !facts.people.author.empty()) return true;
    log_.AddLogAndSeparator(
        "Fetching Typist ID and Primary Group because no Author information is found for "
        "document #" +
        n_);
    return QueryProfile(
        "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, TG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
        "FROM [OWNER].PROFILE P "
        "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
        "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP "
        "WHERE P.DOCNUMBER = " +
            n_,
        facts);
  }

  void BuildList() {
    for (const TemplateEntry& entry : ParseSecurityTemplate(template_)) {
      const std::optional<Trustee> trustee = Resolve(entry, people_);
      if (!trustee) continue;
      if (list_.Add(*trustee)) {
        const std::string& name = trustee->user_id.empty() ? trustee->group_id : trustee->user_id;
        log_.AddLogAndSeparator("Adding trustee " + name + " with rights " +
                                text::Format(trustee->rights, "#0"));
      }
    }
    author_noted_ = list_.NamesUser(people_.author);
    typist_noted_ = list_.NamesUser(people_.typist);
    docs_users_noted_ = list_.NamesGroup(kDocsUsers);
  }

  // Append mode keeps the item's other trustees and updates the listed ones in place. Read
  // before anything is written: without it a listed deny could be replaced by a grant.
  bool ReadExistingTrustees() {
    log_.AddLogAndSeparator("Retrieving existing trustees from document #" + n_);
    return connection_.RunQuery(TrusteesOfDocumentSql(n_), [&] {
      const std::string user = Trim(connection_.Column(1));
      const std::string group = Trim(connection_.Column(2));
      if (!user.empty() && user == people_.author) author_noted_ = true;
      if (!user.empty() && user == people_.typist) typist_noted_ = true;
      if (group == kDocsUsers) docs_users_noted_ = true;
      list_.MarkPresent(user, group);
      return true;
    });
  }

  // Secured before any trustee row changes, so that a stop at any later statement leaves
  // the item closed.
  bool EnableSecurity() {
    log_.AddLogAndSeparator("Enabling document security for document #" + n_ + " in library " +
                            library_);
    if (!Write(ProfileRightsSql(connection_, 1, "SYSTEM_ID = " + text::Number(thing_)), nullptr)) {
      return false;
    }
    secured_ = true;
    return true;
  }

  // No trustee row was written: the item keeps the default rights it had, as when the
  // template names nobody.
  bool RestoreDefaultRights() {
    const std::string rights =
        default_rights_.empty() ? "NULL" : Format(text::Val(default_rights_), "#0");
    log_.AddLogAndSeparator("Note: No trustee row was written to document #" + n_ +
                            " - its default rights go back to " + rights);
    return Write("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = " + rights +
                     " WHERE SYSTEM_ID = " + text::Number(thing_),
                 nullptr);
  }

  bool AddDefaultTrustee(const std::string& user_id, const std::string& group_id) {
    const std::string lookup = TrusteeLookup(user_id, group_id);
    return Write(DeleteTrusteeSql(thing_, lookup), nullptr) &&
           Write(InsertTrusteeSql(thing_, text::Number(kFullRights), lookup), &changed_);
  }

  // Full rights are grants: written after the template's denies (see Post).
  bool AddDefaultTrustees() {
    if (!people_.author.empty() && !author_noted_) {
      log_.AddLogAndSeparator("Adding security for author " + people_.author);
      if (!AddDefaultTrustee(people_.author, "")) return false;
    }
    if (!people_.typist.empty() && people_.typist != people_.author && !typist_noted_) {
      log_.AddLogAndSeparator("Adding security for typist " + people_.typist);
      if (!AddDefaultTrustee(people_.typist, "")) return false;
    }
    if (!docs_users_noted_ && !list_.AnyPositiveRights()) {
      log_.AddLogAndSeparator("Adding DOCS_USERS security");
      const std::string thing = text::Number(thing_);
      const std::string insert =
          "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) VALUES(0, 191, " +
          thing + ")";
      return Write("DELETE FROM [OWNER].SECURITY WHERE THING = " + thing + " AND PERSONORGROUP = 0",
                   nullptr) &&
             Write(insert, &changed_);
    }
    return true;
  }

  // Denies first: until the last of them is written, no row grants anything the template
  // keeps out.
  bool Post() {
    log_.AddLogAndSeparator("Posting " + text::Number(list_.size()) +
                            " folder trustees to profiled document");
    std::vector<Trustee> ordered = list_.entries();
    std::stable_partition(ordered.begin(), ordered.end(), [](const Trustee& t) {
      return DeniesOnly(text::Val(WrittenRights(t.rights)));
    });
    for (const Trustee& t : ordered) {
      const std::string lookup = TrusteeLookup(t.user_id, t.group_id);
      const std::string rights = WrittenRights(t.rights);
      const bool written = t.present
                               ? Write(UpdateTrusteeSql(thing_, rights, lookup), &changed_)
                               : Write(DeleteTrusteeSql(thing_, lookup), nullptr) &&
                                     Write(InsertTrusteeSql(thing_, rights, lookup), &changed_);
      if (!written) return false;
    }
    return true;
  }

  SecurityResult Failed() {
    log_.AddLogAndSeparator(SecurityFailureLine(doc_number_, library_, secured_));
    return SecurityResult::kFailed;
  }

  bool Write(const std::string& sql, long long* changed) {
    long long affected = 0;
    if (!connection_.RunStatement(sql, &affected)) return false;
    if (changed != nullptr && affected > 0) *changed += affected;
    return true;
  }

  Context& context_;
  dm::Connection& connection_;
  log::Log& log_;
  const long long doc_number_;
  const std::string n_;
  const std::string template_;
  const bool append_;

  std::string library_;  // the item's
  long long thing_ = 0;
  ProfilePeople people_;
  std::string default_rights_;
  TrusteeList list_;
  bool author_noted_ = false;
  bool typist_noted_ = false;
  bool docs_users_noted_ = false;
  long long changed_ = 0;
  bool secured_ = false;
};

}  // namespace

SecurityResult AddSecurity(Context& context, dm::Connection& connection, const dm::ItemPlace& item,
                           const rules::RuleRecord& rule, const std::string& doc_type) {
  const bool append = rule.Number(rules::RuleKey::kAppendTrustees) == 1;
  return log::Trap(context.log, "AddSecurity", SecurityResult::kFailed, [&] {
    TemplateSecurity security(context, connection, item.number, rule[rules::RuleKey::kSecurity],
                              append);
    return security.Apply(doc_type, item.library);
  });
}

}  // namespace sproutsmith::security
