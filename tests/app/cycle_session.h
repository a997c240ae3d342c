#pragma once
// The DM session over a real installation (SQLite or PostgreSQL libraries), with
// the tree filled as start-up fills it, so a test drives the processing cycle, the tree and
// the pause check without an engine. The clock is fixed; the scripted Ui's hooks play the
// operator.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/saved_options.h"
#include "app/session.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/schema/rule_rows.h"
#include "platform/sql/sqlite_database.h"
#include "support/dm_installation.h"
#include "support/product_name.h"
#include "support/status_assertions.h"

namespace sproutsmith::app {

// The folders of a library as paths, and the folders the two standard rules (CLIENT MATTERS:
// FIRM MATTERS/client/matter/type of every document; CLIENTS: CLIENTS/client of every
// matter) call for, computed from the source tables alone.
using Paths = std::multiset<std::string>;

// Every folder of the library as "TOP/CHILD/...", once per place it appears.
inline Paths FolderPaths(testing::DmInstallation& install, const std::string& library) {
  std::unique_ptr<sql::Database> db = install.OpenLibrary(library);
  if (!db) return {};
  std::vector<dmapi::FolderNode> roots;
  EXPECT_TRUE(testing::Ok(dmapi::ReadFolderTree(*db, &roots)));
  Paths paths;
  struct Walk {
    Paths& out;
    void operator()(const dmapi::FolderNode& node, const std::string& above) {
      const std::string path = above.empty() ? node.name : above + "/" + node.name;
      out.insert(path);
      for (const auto& child : node.children) (*this)(child, path);
    }
  } walk{paths};
  for (const auto& root : roots) walk(root, "");
  return paths;
}

// The paths that stand more than once: a second folder of one name under one parent (or at the
// top), one a line.
inline std::string Repeated(const Paths& paths) {
  std::string repeated;
  for (auto it = paths.begin(); it != paths.end(); it = paths.upper_bound(*it)) {
    if (paths.count(*it) > 1) repeated += *it + "\n";
  }
  return repeated;
}

inline Paths StandardRulePaths(testing::DmInstallation& install, const std::string& library) {
  Paths paths{"FIRM MATTERS", "CLIENTS"};
  std::set<std::string> clients, matters;
  for (const auto& row : install.Query(
           library,
           "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P JOIN MATTER M ON "
           "M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID JOIN "
           "DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE JOIN APPS A ON A.SYSTEM_ID = "
           "P.APPLICATION WHERE A.APPLICATION <> 'FOLDER'")) {
    const std::string client = "FIRM MATTERS/" + row[0];
    const std::string matter = client + "/" + row[1];
    if (clients.insert(client).second) paths.insert(client);
    if (matters.insert(matter).second) paths.insert(matter);
    paths.insert(matter + "/" + row[2]);
  }
  for (const auto& row : install.Query(library,
                                       "SELECT DISTINCT C.CLIENT_ID FROM MATTER M JOIN CLIENT C "
                                       "ON C.SYSTEM_ID = M.CLIENT_ID")) {
    paths.insert("CLIENTS/" + row[0]);
  }
  return paths;
}

class CycleSession : public ::testing::Test {
 public:  // tables of scenarios reach the session through it
  static constexpr const char* kProduct = testing::kProductName;

  // Provisions the libraries (hand `prepare` the chance to change their files first), starts
  // the session and fills TVRules with the saved library marks and placeholders.
  void Start(const std::vector<testing::LibrarySpec>& libraries,
             const std::function<void()>& prepare = {}) {
    install_.Create(libraries);
    if (prepare) prepare();
    session_ = std::make_unique<Session>(
        install_.context, window_, InstallationChoice{.client = install_.OpenClient()}, "PC1",
        SessionHost{[this] { ++locks_; }, [this] { ++end_requests_; }});
    ASSERT_TRUE(session_->StartFusion()) << Dump();
    for (const std::string& name : session_->LibraryNames()) {
      window_.TVRules.push_back(ReadLibraryNode(install_.settings, kProduct, name));
    }
  }

  ProcessingCycle& cycle() { return session_->cycle(); }
  LibraryTree& tree() { return session_->tree(); }
  dm::Connection& connection() { return session_->connection(); }
  LibraryNode& Library(const std::string& name) {
    for (LibraryNode& node : window_.TVRules) {
      if (node.text == name) return node;
    }
    throw std::runtime_error("no library node " + name);
  }
  // The mark of a rule node (of the library node when `rule` is ""); "absent" when the library
  // has no such node.
  std::string Mark(const std::string& library, const std::string& rule) {
    if (rule.empty()) return Library(library).checked ? "checked" : "unchecked";
    for (const CheckNode& node : Library(library).rules) {
      if (node.text == rule) return node.checked ? "checked" : "unchecked";
    }
    return "absent";
  }

  void OnlyRule(const std::string& library, const std::string& rule) {
    tree().ExpandLibraryNode(Library(library));
    for (CheckNode& node : Library(library).rules) node.checked = node.text == rule;
  }

  int Count(const std::string& fragment) const { return install_.CountLogLines(fragment); }
  int Shown(const std::string& text) const {
    int n = 0;
    for (const auto& m : install_.ui.messages) n += m.text == text;
    return n;
  }
  std::string Dump() const { return install_.LogText(); }

  testing::DmInstallation install_;
  MainWindowModel window_;
  std::unique_ptr<Session> session_;
  int locks_ = 0;
  int end_requests_ = 0;
};

}  // namespace sproutsmith::app
