#pragma once
// The folders of a library as paths, and the folders the two standard rules (CLIENT MATTERS:
// FIRM MATTERS/client/matter/type of every document; CLIENTS: CLIENTS/client of every
// matter) call for, computed from the source tables alone.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/dmapi/folder_tree.h"
#include "support/dm_installation.h"
#include "support/status_assertions.h"

namespace sproutsmith::app {

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

}  // namespace sproutsmith::app
