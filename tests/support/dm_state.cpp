#include "support/dm_state.h"

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "platform/dmapi/folder_tree.h"
#include "platform/dmapi/workspace_listing.h"

namespace sproutsmith::testing {

namespace {

std::string Cell(const sql::Value& v) { return v.IsNull() ? "NULL" : v.text; }

// Every row of `query`, one line each, or the failure.
std::string Lines(sql::Database& db, const std::string& query) {
  const sql::ExecResult r = db.Execute(query);
  if (!r.ok()) return "unreadable: " + r.status.text + "\n";
  std::string out;
  for (const auto& row : r.result.rows) {
    for (size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + Cell(row[i]);
    out += "\n";
  }
  return out;
}

// The folder's profile as a user could tell it apart: no numbers the server handed out, no
// times, the security link only as whether it points at the row itself.
std::string Profile(sql::Database& db, long long number) {
  const sql::ExecResult r = db.Execute(
      "SELECT P.DOCNAME, P.ABSTRACT, A.APPLICATION, P.STATUS, P.AUTHOR, P.TYPIST, P.MATTER, "
      "P.DOCUMENTTYPE, P.PD_ADDRESSEE, P.FORM, P.STORAGETYPE, P.PATH, P.RETENTION, P.FULLTEXT, "
      "P.EMAIL_SENT, P.EMAIL_RECEIVED, P.DEFAULT_RIGHTS, P.SECURITY_LINK, P.SEC_REASON_LINK, "
      "P.DIVISION, P.ATTY, F.PATH, P.SYSTEM_ID FROM PROFILE P LEFT JOIN FOLDER F ON F.DOCNUMBER "
      "= P.DOCNUMBER LEFT JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE P.DOCNUMBER = ?",
      {sql::Value::Integer(number)});
  if (!r.ok() || r.result.rows.size() != 1) return "profile unreadable";
  const auto& row = r.result.rows[0];
  std::string out;
  for (size_t i = 0; i + 1 < row.size(); ++i) {
    std::string value = Cell(row[i]);
    if (r.result.columns[i] == "SECURITY_LINK" && !row[i].IsNull()) {
      value = row[i].AsInteger() == row.back().AsInteger() ? "self" : "other";
    }
    out += (i ? "|" : "") + value;
  }
  return out;
}

void Folder(sql::Database& db, const dmapi::FolderNode& node, int depth, std::ostringstream& out) {
  static const std::regex kNumber(" #[0-9]+ ");
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out << indent << node.name << (node.is_public ? " [public]" : "") << " {"
      << Profile(db, node.document_number) << "}";
  for (const std::string& t : node.trustee_rights) out << " " << t;
  if (node.documents > 0) out << " documents=" << node.documents;
  out << "\n";
  for (const std::string& remote : node.remote_items) {
    out << indent << "  -> " << std::regex_replace(remote, kNumber, " ") << "\n";
  }
  for (const dmapi::FolderNode& child : node.children) Folder(db, child, depth + 1, out);
}

}  // namespace

std::string LibraryState(sql::Database& db) {
  std::ostringstream out;
  std::vector<dmapi::FolderNode> roots;
  if (Status s = dmapi::ReadFolderTree(db, &roots); !s.ok()) return "unreadable: " + s.text;
  out << "Folders:\n";
  for (const dmapi::FolderNode& root : roots) Folder(db, root, 1, out);
  out << "Folder rows: "
      << Lines(db, "SELECT COUNT(*) FROM FOLDER F, PROFILE P WHERE P.DOCNUMBER = F.DOCNUMBER");
  out << "Public entries:\n"
      << Lines(db, "SELECT DISPLAYNAME, COUNT(*) FROM ROOT_OBJECT GROUP BY DISPLAYNAME ORDER BY 1");

  std::vector<dmapi::UserWorkspaces> users;
  if (Status s = dmapi::ReadWorkspaces(db, &users); !s.ok()) return "unreadable: " + s.text;
  out << "Workspaces:\n";
  for (const dmapi::UserWorkspaces& user : users) {
    out << "  " << user.user_id << "\n";
    for (const dmapi::UserWorkspace& workspace : user.workspaces) {
      // Items by name: a row finished a cycle late adds its entry last. The order numbers
      // must still run 1 to n.
      std::vector<std::string> items;
      std::set<std::string> numbers;
      for (const dmapi::WorkspaceItemEntry& item : workspace.items) {
        items.push_back(item.name + " " + item.library + " (" + std::to_string(item.properties) +
                        ")");
        numbers.insert(item.order_number);
      }
      std::sort(items.begin(), items.end());
      bool numbered = numbers.size() == items.size();
      for (size_t i = 1; i <= items.size(); ++i)
        numbered = numbered && numbers.count(std::to_string(i));
      out << "    " << workspace.name << " (" << workspace.properties << ")"
          << (numbered ? "" : " [order numbers not 1 to n]") << "\n";
      for (const std::string& item : items) out << "      " << item << "\n";
    }
  }
  out << "Queue:\n"
      << Lines(db,
               "SELECT SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, MACHINE_NAME, "
               "COUNT(*) FROM NEEDS_FOLDERING GROUP BY SID, STATUS, LOCKED_BY, RETRY_COUNT, "
               "DOCSTATUS, TABLE_NAME, MACHINE_NAME ORDER BY SID");
  out << "Tracked:\n"
      << Lines(db,
               "SELECT RULE_NAME, TABLE_NAME, SID, STATUS, COUNT(*) FROM QUIL_SPROUTSMITH GROUP BY "
               "RULE_NAME, TABLE_NAME, SID, STATUS ORDER BY RULE_NAME, TABLE_NAME, SID");
  out << "Unfinished rows: "
      << Lines(db, "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE 'PENDING_ROW %'");
  out << "Running nodes: "
      << Lines(db, "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'");
  return out.str();
}

}  // namespace sproutsmith::testing
