// Whose workspaces a new folder goes into.

#include "workspaces/workspace_users.h"

#include <algorithm>

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::workspaces {

using text::Trim;

namespace {

bool Listed(const std::vector<std::string>& users, const std::string& user) {
  return std::find(users.begin(), users.end(), user) != users.end();
}

class Selection {
 public:
  Selection(Context& context, dm::Connection& connection, const UserSources& sources)
      : log_(context.log), connection_(connection), s_(sources) {}

  std::vector<std::string> Run() {
    if (s_.level == s_.profile_level &&
        (s_.level == s_.author_level || s_.level == s_.typist_level) && s_.source_profile != 0) {
      SourceDocumentPeople();
    }
    if (s_.level == s_.author_level) LinkedPeople();
    return std::move(users_);
  }

 private:
  void SourceDocumentPeople() {
    log_.AddLogAndSeparator("Getting workspace profile author and typist from document #" +
                            text::Number(s_.source_profile));
    const dm::FirstRow row = connection_.ReadFirstRow(
        "SELECT A.USER_ID, T.USER_ID , P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
        "[OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND "
        "P.SYSTEM_ID = " +
        text::Number(s_.source_profile));
    if (!row.found()) return;
    const std::string author = Trim(row.Text(1));
    const std::string typist = Trim(row.Text(2));
    log_.AddLogAndSeparator("Document #" + row.Text(3) + " author is " + author +
                            " and typist is " + typist);
    auto add = [&](const std::string& user, const char* what) {
      if (user.empty() || Listed(users_, user)) return;
      users_.push_back(user);
      log_.AddLogAndSeparator(std::string("Adding workspace ") + what + " " + user);
    };
    if (s_.level == s_.author_level) add(author, "author");
    if (s_.level == s_.typist_level) add(typist, "typist");
  }

  static bool Usable(const templ::WorkspaceLink& link, const std::string& value) {
    return !link.lookup_column.empty() && !link.table.empty() && !link.key_column.empty() &&
           !value.empty();
  }

  void LinkedPeople() {
    const templ::WorkspaceLink& people = s_.people_link;
    const templ::WorkspaceLink& group = s_.group_link;
    if (Usable(people, s_.people_value)) {
      Add("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT " +
          people.lookup_column + " FROM [OWNER]." + people.table + " WHERE " + people.key_column +
          " = '" + dm::SqlQuote(s_.people_value) + "')");
    }
    if (Usable(group, s_.group_value)) {
      Add("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT "
          "PEOPLE_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID IN (SELECT " +
          group.lookup_column + " FROM [OWNER]." + group.table + " WHERE " + group.key_column +
          " = '" + dm::SqlQuote(s_.group_value) + "'))");
    }
    if (!s_.group.empty()) {
      Add("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT "
          "PEOPLE_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID "
          "FROM [OWNER].GROUPS WHERE GROUP_ID = '" +
          dm::SqlQuote(s_.group) + "'))");
    }
  }

  // Every user the statement returns.
  void Add(const std::string& statement) {
    connection_.RunQuery(statement, [&] {
      const std::string user = Trim(connection_.Column(1));
      if (!user.empty() && !Listed(users_, user)) users_.push_back(user);
      return true;
    });
  }

  log::Log& log_;
  dm::Connection& connection_;
  const UserSources& s_;
  std::vector<std::string> users_;
};

}  // namespace

std::vector<std::string> WorkspaceUsers(Context& context, dm::Connection& connection,
                                        const UserSources& sources) {
  return Selection(context, connection, sources).Run();
}

}  // namespace sproutsmith::workspaces
