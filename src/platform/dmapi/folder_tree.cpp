#include "platform/dmapi/folder_tree.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "platform/schema/library_schema.h"

namespace sproutsmith::dmapi {

namespace {

struct Folder {
  std::string name;
  long long system_id = 0;
};

struct Link {
  long long id = 0;
  long long next = 0;
  bool first = false;
  long long item = 0;
  long long library = 0;
  std::string node_type;
  std::string display_name;
};

// The chain from its first row; rows the chain does not reach follow by SYSTEM_ID, so a
// broken chain still shows every item.
std::vector<Link> InChainOrder(std::vector<Link> links) {
  std::sort(links.begin(), links.end(), [](const Link& a, const Link& b) { return a.id < b.id; });
  std::map<long long, const Link*> by_id;
  const Link* start = nullptr;
  for (const Link& l : links) {
    by_id[l.id] = &l;
    if (l.first && start == nullptr) start = &l;
  }
  std::vector<Link> ordered;
  std::set<long long> placed;
  for (const Link* at = start; at != nullptr && placed.insert(at->id).second;) {
    ordered.push_back(*at);
    auto it = by_id.find(at->next);
    at = it == by_id.end() ? nullptr : it->second;
  }
  for (const Link& l : links) {
    if (placed.insert(l.id).second) ordered.push_back(l);
  }
  return ordered;
}

class TreeBuilder {
 public:
  explicit TreeBuilder(sql::Database& db) : db_(db) {}

  Status Read() {
    const long long own = schema::kOwnLibraryId;
    const sql::ExecResult folders = db_.Execute(
        "SELECT P.DOCNUMBER, P.DOCNAME, P.SYSTEM_ID FROM PROFILE P, FOLDER F WHERE "
        "F.DOCNUMBER = P.DOCNUMBER AND P.APPLICATION = (SELECT SYSTEM_ID FROM APPS WHERE "
        "APPLICATION = 'FOLDER')");
    const sql::ExecResult roots = db_.Execute("SELECT DOCNUMBER FROM ROOT_OBJECT");
    // A row naming neither a user nor a group shows its PERSONORGROUP.
    const sql::ExecResult security = db_.Execute(
        "SELECT S.THING, COALESCE(P.USER_ID, G.GROUP_ID, '#' || S.PERSONORGROUP), "
        "S.ACCESSRIGHTS FROM SECURITY S LEFT JOIN PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
        "LEFT JOIN GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP ORDER BY S.THING, 2");
    const sql::ExecResult libraries =
        db_.Execute("SELECT SYSTEM_ID, LIBRARY_NAME FROM REMOTE_LIBRARIES");
    const sql::ExecResult links = db_.Execute(
        "SELECT SYSTEM_ID, NEXT, ISFIRST, DOCNUMBER, LIBRARY, NODE_TYPE, DISPLAYNAME, PARENT "
        "FROM FOLDER_ITEM WHERE PARENT_LIBRARY = ?",
        {sql::Value::Integer(own)});
    for (const sql::ExecResult* r : {&folders, &roots, &security, &libraries, &links}) {
      if (!r->ok()) return r->status;
    }
    for (const auto& row : folders.result.rows) {
      folders_[row[0].AsInteger()] = {row[1].text, row[2].AsInteger()};
    }
    for (const auto& row : roots.result.rows) public_.insert(row[0].AsInteger());
    for (const auto& row : security.result.rows) {
      trustees_[row[0].AsInteger()].push_back(row[1].text + " " +
                                              std::to_string(row[2].AsInteger()));
    }
    for (const auto& row : libraries.result.rows) libraries_[row[0].AsInteger()] = row[1].text;
    std::map<long long, std::vector<Link>> by_parent;
    for (const auto& row : links.result.rows) {
      by_parent[row[7].AsInteger()].push_back({row[0].AsInteger(), row[1].AsInteger(),
                                               row[2].text == "Y", row[3].AsInteger(),
                                               row[4].AsInteger(), row[5].text, row[6].text});
    }
    for (auto& [parent, items] : by_parent) {
      items_[parent] = InChainOrder(std::move(items));
      for (const Link& l : items_[parent]) {
        if (l.library == own && folders_.count(l.item)) contained_.insert(l.item);
      }
    }
    return Status::Ok();
  }

  std::vector<FolderNode> Roots() {
    std::vector<std::pair<std::string, long long>> tops;
    for (const auto& [number, folder] : folders_) {
      if (public_.count(number) || !contained_.count(number))
        tops.emplace_back(folder.name, number);
    }
    std::sort(tops.begin(), tops.end());
    std::vector<FolderNode> roots;
    for (const auto& top : tops) roots.push_back(Node(top.second));
    // Folders reachable only through a loop of links have no top; show them all the same.
    for (const auto& [number, folder] : folders_) {
      if (!shown_.count(number)) roots.push_back(Node(number));
    }
    return roots;
  }

 private:
  FolderNode Node(long long number) {
    shown_.insert(number);
    path_.insert(number);
    const Folder& folder = folders_[number];
    FolderNode node;
    node.document_number = number;
    node.name = folder.name;
    node.is_public = public_.count(number) > 0;
    if (auto t = trustees_.find(folder.system_id); t != trustees_.end()) {
      node.trustee_rights = t->second;
    }
    node.trustees = static_cast<long>(node.trustee_rights.size());
    for (const Link& l : items_[number]) {
      if (l.library != schema::kOwnLibraryId) {
        auto lib = libraries_.find(l.library);
        node.remote_items.push_back((lib == libraries_.end() ? "?" : lib->second) + " #" +
                                    std::to_string(l.item) + " " + l.display_name);
      } else if (folders_.count(l.item) && !path_.count(l.item)) {
        node.children.push_back(Node(l.item));
      } else if (!folders_.count(l.item)) {
        ++node.documents;
      }
    }
    path_.erase(number);
    return node;
  }

  sql::Database& db_;
  std::map<long long, Folder> folders_;
  std::set<long long> public_;
  std::map<long long, std::vector<std::string>> trustees_;  // by profile SYSTEM_ID
  std::map<long long, std::string> libraries_;
  std::map<long long, std::vector<Link>> items_;
  std::set<long long> contained_;
  std::set<long long> shown_;
  std::set<long long> path_;  // guards against a folder that (indirectly) contains itself
};

void Format(const FolderNode& node, int depth, std::ostringstream& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out << indent << node.name << " #" << node.document_number;
  if (node.is_public) out << " [public]";
  out << " trustees=" << node.trustees;
  for (size_t i = 0; i < node.trustee_rights.size(); ++i) {
    out << (i == 0 ? " (" : ", ") << node.trustee_rights[i];
  }
  if (!node.trustee_rights.empty()) out << ")";
  if (node.documents > 0) out << " documents=" << node.documents;
  out << "\n";
  for (const std::string& remote : node.remote_items) out << indent << "  -> " << remote << "\n";
  for (const FolderNode& child : node.children) Format(child, depth + 1, out);
}

}  // namespace

Status ReadFolderTree(sql::Database& db, std::vector<FolderNode>* roots) {
  TreeBuilder builder(db);
  if (Status s = builder.Read(); !s.ok()) return s;
  *roots = builder.Roots();
  return Status::Ok();
}

std::string FormatFolderTree(const std::vector<FolderNode>& roots) {
  std::ostringstream out;
  for (const FolderNode& root : roots) Format(root, 0, out);
  return out.str();
}

}  // namespace sproutsmith::dmapi
