// Adding a new folder to a user's workspace in the REGISTRY of the user's primary library.

#include "workspaces/workspaces.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "log/status_keeper.h"
#include "text/text.h"
#include "workspaces/workspace_names.h"

namespace sproutsmith::workspaces {

using dm::SqlQuote;
using text::Format;
using text::Number;
using text::Quoted;
using text::Trim;
using text::UCase;

namespace {

constexpr char kInsertRow[] =
    "INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) "
    "VALUES(";
constexpr char kInsertProperty[] =
    "INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) "
    "VALUES('PROPERTY', 'REGISTRY', ";

}  // namespace

Workspaces::Workspaces(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

bool Workspaces::AddToWorkspace(const std::string& item, long long doc_number,
                                const std::string& user_id, const std::string& workspace_name,
                                const std::string& folder_library) {
  if (!connection_.LibraryObjectSet("AddToWorkspace")) return false;
  log::Log& log = context_.log;
  Request r{StoredText(item), doc_number, Trim(user_id), "", folder_library};
  if (r.item.empty() || doc_number == 0 || r.user.empty()) {
    log.AddLog("Error: Unable to identify workspace, folder or user information");
    return false;
  }
  // Declared in this order so that the library is connected again before the label returns.
  log::StatusKeeper status(context_, true);
  dm::Reconnect back(connection_);
  return log::Trap(log, "AddToWorkspace", false, [&] {
    r.workspace = WorkspaceName(workspace_name, r);
    return Add(r);
  });
}

std::string Workspaces::WorkspaceName(const std::string& name, const Request& r) {
  // Author and typist are read only when the name asks for them.
  std::optional<std::pair<std::string, std::string>> people;
  auto author_and_typist = [&]() -> const std::pair<std::string, std::string>& {
    if (!people) {
      const dm::FirstRow row = connection_.ReadFirstRow(
          "SELECT A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
          "[OWNER].PEOPLE T WHERE (P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID) AND "
          "P.DOCNUMBER = " +
          Number(r.doc_number));
      people.emplace(Trim(row.Text(1)), Trim(row.Text(2)));
    }
    return *people;
  };
  auto primary_group = [&](const std::string& user) {
    return Trim(connection_
                    .ReadFirstRow("SELECT GROUP_ID FROM [OWNER].GROUPS WHERE SYSTEM_ID = (SELECT "
                                  "PRIMARY_GROUP FROM [OWNER].PEOPLE WHERE USER_ID = '" +
                                  SqlQuote(user) + "')")
                    .Text(1));
  };
  const std::string filled = ReplaceNameTokens(name, [&](NameToken token) -> std::string {
    switch (token) {
      case NameToken::kUserId:
        return r.user;
      case NameToken::kAuthor:
        return author_and_typist().first;
      case NameToken::kAuthorGroup:
        return primary_group(author_and_typist().first);
      case NameToken::kTypist:
        return author_and_typist().second;
      case NameToken::kTypistGroup:
        return primary_group(author_and_typist().second);
    }
    return "";
  });
  return WorkspaceNameOrDefault(filled);
}

bool Workspaces::Add(Request& r) {
  log::Log& log = context_.log;
  log.SetStatus("Preparing to process " + Quoted(r.item) + " to workspace " + Quoted(r.workspace) +
                " for user " + r.user);
  log.Separator();

  CachedUser entry;
  entry.user_id = r.user;
  entry.workspace_upper = UCase(r.workspace);
  bool cached = false;
  for (const CachedUser& c : cache_) {
    if (c.user_id != r.user) continue;
    entry.primary_library = c.primary_library;
    entry.people_id = c.people_id;
    entry.workspaces_id = c.workspaces_id;
    entry.email = c.email;
    if (c.workspace_upper == entry.workspace_upper) {
      entry.workspace_id = c.workspace_id;
      cached = true;
      break;
    }
  }

  if (!FindUser(r, entry) || !FindWorkspaces(r, entry) || !FindWorkspace(r, entry)) return false;
  // Only a workspace whose rows are all written gets here.
  if (!cached) cache_.push_back(entry);
  return AddItem(r, entry.workspace_id);
}

bool Workspaces::FindUser(const Request& r, CachedUser& entry) {
  log::Log& log = context_.log;
  if (entry.primary_library.empty()) {
    if (connection_.libraries() != nullptr && connection_.libraries()->Count() > 1) {
      const dm::FirstRow primary = connection_.ReadFirstRow(
          "SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = (SELECT "
          "PRIMARY_LIB FROM [OWNER].PEOPLE WHERE USER_ID = '" +
          SqlQuote(r.user) + "')");
      entry.primary_library = Trim(primary.Text(1));
      // A failed look-up must not send the user's rows to whichever library is connected.
      if (!primary.succeeded) return false;
    }
    if (entry.primary_library.empty()) entry.primary_library = connection_.LibraryName();
  }
  if (!connection_.ConnectLibrary(entry.primary_library)) {
    log.AddLogAndSeparator("Error: Unable to connect to library " + entry.primary_library +
                           " for user " + r.user);
    return false;
  }
  if (entry.people_id != 0) return true;
  const dm::FirstRow person = connection_.ReadFirstRow(
      "SELECT SYSTEM_ID, EMAIL_ADDRESS FROM [OWNER].PEOPLE WHERE USER_ID = '" + SqlQuote(r.user) +
      "'");
  if (person.found()) {
    entry.people_id = person.Integer(1);
    entry.email = Trim(person.Text(2));
  }
  if (entry.people_id == 0) {
    log.AddLogAndSeparator("Error: Unable to identify system_id for user " + r.user +
                           " in library " + connection_.LibraryName());
    return false;
  }
  return true;
}

bool Workspaces::FindWorkspaces(const Request& r, CachedUser& entry) {
  if (entry.workspaces_id != 0) return true;
  const dm::FirstRow subtree = connection_.ReadFirstRow(
      "SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = " + Number(entry.people_id) +
      " AND UPPER(NAME) = 'WORKSPACES' AND UPPER(DATATYPE) = 'SUBTREE'");
  entry.workspaces_id = subtree.Integer(1);
  // A look-up that failed says nothing about the row: creating one could make a second.
  if (!subtree.succeeded) return false;
  if (entry.workspaces_id != 0) return true;

  const long long key = NewKey();
  if (key == 0) return false;
  if (!Insert(kInsertRow + Number(key) + ", '" + SqlQuote(r.workspace) + "', 'PROPERTY', 'USER', " +
              Number(entry.people_id) + ", 'WORKSPACES', 'SubTree')")) {
    context_.log.AddLogAndSeparator("Error: Unable to create workspace " + r.workspace +
                                    " for user " + r.user);
    return false;
  }
  entry.workspaces_id = key;
  return true;
}

bool Workspaces::FindWorkspace(const Request& r, CachedUser& entry) {
  log::Log& log = context_.log;
  if (entry.workspace_id != 0) return true;
  const bool answered = connection_.RunQuery(
      "SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE ENTITYID = " +
          Number(entry.workspaces_id) +
          " AND UPPER(NAME) LIKE 'WS%' AND UPPER(DATATYPE) = 'SUBTREE'",
      [&] {
        if (UCase(Trim(connection_.Column(2))) != entry.workspace_upper) return true;
        entry.workspace_id = static_cast<long long>(connection_.ColumnNumber(1));
        return false;
      });
  if (!answered) return false;
  if (entry.workspace_id != 0) return true;

  log.SetStatus("Adding workspace " + Quoted(r.workspace) + " for user " + r.user +
                " (User's primary library is " + connection_.LibraryName() + ")");
  log.Separator();
  const long long key = NewKey();
  if (key == 0) return false;
  const std::string name = SqlQuote(r.workspace);
  const std::vector<Property> properties = {
      {"NAME", "String", r.workspace},
      {"DESCRIPTION", "String", r.workspace + "-" + r.folder_library},
      {"DATE", "String", Format(context_.clock.Now(), "YYYY-MM-DD")},
      {"FAVORITE", "Boolean", "0"},
      {"WM", "String", ""},
  };
  const Written written =
      WriteEntry(key, properties,
                 kInsertRow + Number(key) + ", '" + name + "', 'PROPERTY', 'REGISTRY', " +
                     Number(entry.workspaces_id) + ", 'WS-" +
                     SqlQuote(FirstCharacters(r.workspace, 13)) + "', 'SubTree')");
  if (written == Written::kFailed) {
    log.AddLogAndSeparator("Error: Unable to create workspace " + r.workspace + " for user " +
                           r.user);
  }
  if (written != Written::kDone) return false;
  entry.workspace_id = key;
  log.SetStatus("Workspace " + Quoted(r.workspace) + " successfully created for user " + r.user);
  log.Separator();
  return true;
}

bool Workspaces::AddItem(const Request& r, long long workspace_id) {
  log::Log& log = context_.log;
  log.SetStatus("Processing folder " + Quoted(r.item) + " to workspace " + Quoted(r.workspace) +
                " for user " + r.user + " in library " + connection_.LibraryName());
  log.Separator();
  bool found = false;
  const std::string upper = UCase(r.item);
  const bool answered = connection_.RunQuery(
      "SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE UPPER(ENTITYSCOPE) = 'REGISTRY' AND "
      "UPPER(NAME) LIKE 'WM%' AND UPPER(DATATYPE) = 'STRING' AND ENTITYID = " +
          Number(workspace_id),
      [&] {
        found = UCase(Trim(connection_.Column(2))) == upper;
        return !found;
      });
  // Without the answer the item might be there already; adding it could make a second entry.
  if (!answered) return false;
  if (found) {
    log.AddLogAndSeparator("Folder " + Quoted(r.item) + " already exists in workspace " +
                           Quoted(r.workspace) + " for user " + r.user);
    return true;
  }

  log.SetStatus("Adding " + Quoted(r.item) + " to workspace " + Quoted(r.workspace) + " for user " +
                r.user);
  log.Separator();
  const long long key = NewKey();
  if (key == 0) return false;

  long long highest = 0;
  const bool counted = connection_.RunQuery(
      "SELECT DATA FROM [OWNER].REGISTRY WHERE UPPER(NAME) = 'ORDERNUMBER' AND ENTITYID IN "
      "(SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = " +
          Number(workspace_id) + ")",
      [&] {
        highest = std::max(highest, static_cast<long long>(text::Val(connection_.Column(1))));
        return true;
      });
  if (!counted) return false;

  const std::vector<Property> properties = {
      {"NAME", "String", r.item},
      {"DESCRIPTION", "String", r.item + "-" + r.folder_library},
      {"ORDERNUMBER", "String", Number(highest + 1)},
      {"TYPE", "String", "FOLDER"},
      {"LINKID", "String", Number(r.doc_number)},
      {"LINKNAME", "String", r.item},
      {"LIBRARY", "String", r.folder_library},
  };
  const Written written = WriteEntry(
      key, properties,
      kInsertRow + Number(key) + ", '" + SqlQuote(r.item) + "', 'PROPERTY', 'REGISTRY', " +
          Number(workspace_id) + ", 'WM" + SqlQuote(FirstCharacters(r.item, 13)) + "', 'String')");
  if (written == Written::kFailed) {
    const std::string message = "Error: Unable to create workspace for user " + r.user;
    log.AddLog(message);
    if (context_.ShowsErrors()) context_.ShowMessage(message, runtime::MessageStyle::kExclamation);
  }
  if (written != Written::kDone) return false;

  log.SetStatus("You have successfully added item " + Quoted(r.item) + " to the workspace " +
                Quoted(r.workspace) + " for " + r.user);
  log.Separator();
  if (!context_.state.HasSwitch("/XR")) connection_.RefreshAllViews();
  return true;
}

Workspaces::Written Workspaces::WriteEntry(long long owner, const std::vector<Property>& properties,
                                           const std::string& entry_insert) {
  for (const Property& p : properties) {
    const long long key = NewKey();
    if (key == 0) {
      Discard(owner);
      return Written::kKeyMissing;
    }
    if (!Insert(std::string(kInsertProperty) + "'" + p.data_type + "', '" + p.name + "', '" +
                SqlQuote(p.data) + "', " + Number(owner) + ", " + Number(key) + ")")) {
      Discard(owner);
      return Written::kFailed;
    }
  }
  if (Insert(entry_insert)) return Written::kDone;
  Discard(owner);
  return Written::kFailed;
}

void Workspaces::Discard(long long owner) {
  // Rows under a key no entry carries are invisible to every look-up; removing them is tidiness.
  connection_.RunStatement("DELETE FROM [OWNER].REGISTRY WHERE ENTITYID = " + Number(owner) +
                           " OR SYSTEM_ID = " + Number(owner));
}

long long Workspaces::NewKey() {
  dmapi::SqlObject* sql = connection_.sql();
  const long long key = sql != nullptr ? sql->AllocateKey("SYSTEMKEY") : 0;
  if (key == 0) KeyMissing();
  return key;
}

void Workspaces::KeyMissing() {
  context_.log.AddLogAndSeparator(
      "Error: Unable to retrieve System_ID for inserting new row - cannot continue." +
      std::string(text::kCrLf) +
      "(Note: If you are using Windows XP, this is a known OpenText issue described in SD017875)");
}

bool Workspaces::Insert(const std::string& statement) {
  long long inserted = 0;
  connection_.RunStatement(statement, &inserted);
  return inserted > 0;
}

}  // namespace sproutsmith::workspaces
