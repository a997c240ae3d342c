#include "platform/dmapi/workspace_listing.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "text/text.h"

namespace sproutsmith::dmapi {

namespace {

using text::Trim;
using text::UCase;

struct Row {
  long long id = 0;
  std::string data;
  std::string scope;
  long long owner = 0;
  std::string name;  // upper-cased
  std::string type;  // upper-cased
};

constexpr const char* kWorkspaceProperties[] = {"NAME", "DESCRIPTION", "DATE", "FAVORITE", "WM"};
constexpr const char* kItemProperties[] = {"NAME",   "DESCRIPTION", "ORDERNUMBER", "TYPE",
                                           "LINKID", "LINKNAME",    "LIBRARY"};

bool IsEntry(const Row& r, const char* prefix, const char* type) {
  // "WM" alone is a workspace property, not an item.
  return r.scope == "REGISTRY" && r.type == type && r.name.rfind(prefix, 0) == 0 &&
         r.name.size() > std::string_view(prefix).size();
}

}  // namespace

Status ReadWorkspaces(sql::Database& db, std::vector<UserWorkspaces>* users) {
  const sql::ExecResult registry =
      db.Execute("SELECT SYSTEM_ID, DATA, ENTITYSCOPE, ENTITYID, NAME, DATATYPE FROM REGISTRY");
  const sql::ExecResult people = db.Execute("SELECT SYSTEM_ID, USER_ID FROM PEOPLE");
  for (const sql::ExecResult* r : {&registry, &people}) {
    if (!r->ok()) return r->status;
  }
  std::map<long long, std::string> user_ids;
  for (const auto& row : people.result.rows) user_ids[row[0].AsInteger()] = Trim(row[1].text);
  std::map<long long, std::vector<Row>> children;  // by owner, in key order
  std::vector<Row> subtrees;
  for (const auto& v : registry.result.rows) {
    Row r{v[0].AsInteger(), Trim(v[1].text),        UCase(Trim(v[2].text)),
          v[3].AsInteger(), UCase(Trim(v[4].text)), UCase(Trim(v[5].text))};
    if (r.scope == "USER" && r.name == "WORKSPACES" && r.type == "SUBTREE") {
      subtrees.push_back(r);
    } else {
      children[r.owner].push_back(r);
    }
  }
  for (auto& [owner, rows] : children) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });
  }
  // Property values of an owner (the first row of each name) and how many of `names` it has.
  auto properties = [&](long long owner, const auto& names,
                        std::map<std::string, std::string>* values) {
    int found = 0;
    for (const Row& r : children[owner]) {
      if (r.scope != "REGISTRY" || values->count(r.name)) continue;
      if (std::find(std::begin(names), std::end(names), r.name) == std::end(names)) continue;
      (*values)[r.name] = r.data;
      ++found;
    }
    return found;
  };

  std::map<std::string, UserWorkspaces> by_user;
  for (const Row& subtree : subtrees) {
    auto person = user_ids.find(subtree.owner);
    const std::string user =
        person != user_ids.end() ? person->second : "#" + std::to_string(subtree.owner);
    UserWorkspaces& u = by_user[user];
    u.user_id = user;
    for (const Row& w : children[subtree.id]) {
      if (!IsEntry(w, "WS", "SUBTREE")) continue;
      UserWorkspace workspace;
      workspace.system_id = w.id;
      workspace.name = w.data;
      std::map<std::string, std::string> unused;
      workspace.properties = properties(w.id, kWorkspaceProperties, &unused);
      for (const Row& i : children[w.id]) {
        if (!IsEntry(i, "WM", "STRING")) continue;
        WorkspaceItemEntry item;
        item.system_id = i.id;
        std::map<std::string, std::string> values;
        item.properties = properties(i.id, kItemProperties, &values);
        item.name = values.count("NAME") ? values["NAME"] : i.data;
        item.link_id = values["LINKID"];
        item.library = values["LIBRARY"];
        item.order_number = values["ORDERNUMBER"];
        workspace.items.push_back(item);
      }
      std::stable_sort(workspace.items.begin(), workspace.items.end(),
                       [](const WorkspaceItemEntry& a, const WorkspaceItemEntry& b) {
                         const bool a_numbered = text::IsNumeric(a.order_number);
                         const bool b_numbered = text::IsNumeric(b.order_number);
                         if (a_numbered != b_numbered) return a_numbered;
                         return a_numbered && text::Val(a.order_number) < text::Val(b.order_number);
                       });
      u.workspaces.push_back(workspace);
    }
  }
  users->clear();
  for (auto& [user, u] : by_user) {
    std::stable_sort(
        u.workspaces.begin(), u.workspaces.end(),
        [](const UserWorkspace& a, const UserWorkspace& b) { return a.name < b.name; });
    users->push_back(std::move(u));
  }
  return Status::Ok();
}

std::string FormatWorkspaces(const std::vector<UserWorkspaces>& users) {
  auto value = [](const std::string& v) { return v.empty() ? std::string("?") : v; };
  auto incomplete = [](int found, int all) {
    return found == all ? std::string()
                        : " [incomplete: " + std::to_string(found) + " of " + std::to_string(all) +
                              " properties]";
  };
  std::ostringstream out;
  for (const UserWorkspaces& u : users) {
    out << u.user_id << "\n";
    if (u.workspaces.empty()) out << "  (no workspaces)\n";
    for (const UserWorkspace& w : u.workspaces) {
      out << "  " << value(w.name) << incomplete(w.properties, 5) << "\n";
      if (w.items.empty()) out << "    (no items)\n";
      for (const WorkspaceItemEntry& i : w.items) {
        out << "    " << value(i.order_number) << ". " << value(i.name) << " #" << value(i.link_id)
            << " " << value(i.library) << incomplete(i.properties, 7) << "\n";
      }
    }
  }
  return out.str();
}

int ListWorkspaces(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const LibraryOpener& open) {
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      err << "sproutsmith-dm: unknown option " << args[i] << "\n\n" << kWorkspacesHelp;
      return 2;
    }
    positional.push_back(args[i]);
  }
  if (positional.size() != 1) {
    err << "sproutsmith-dm: one library name is needed\n\n" << kWorkspacesHelp;
    return 2;
  }
  std::unique_ptr<sql::Database> db = open(positional[0], err);
  if (!db) return 1;
  std::vector<UserWorkspaces> users;
  if (Status s = ReadWorkspaces(*db, &users); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  out << (users.empty() ? "(no workspaces)\n" : FormatWorkspaces(users));
  return 0;
}

}  // namespace sproutsmith::dmapi
