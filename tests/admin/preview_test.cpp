// sproutsmith-admin preview over the demo installation: the library files are byte for byte
// what they were, and the folders it says a cycle creates are the ones the program then builds.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "admin_process.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/sql/sqlite_database.h"
#include "support/new_rows.h"
#include "support/status_assertions.h"

namespace sproutsmith::admin {
namespace {

using Paths = std::set<std::string>;

const std::vector<std::string> kRules = {"CLIENT MATTERS", "CLIENTS", "CLIENT NAMES", "MAIL ROOM"};

using testing::Contains;

// The library file and its write-ahead log, as they lie on the disk.
std::string Bytes(const std::string& file) {
  return testing::ReadFile(file) + "\n-wal-\n" + testing::ReadFile(file + "-wal");
}

void AddPaths(const std::vector<dmapi::FolderNode>& nodes, const std::string& above, Paths& out) {
  for (const dmapi::FolderNode& node : nodes) {
    const std::string path = above.empty() ? node.name : above + "\\" + node.name;
    out.insert(path);
    // "ARCHIVE #185 CORRESPONDENCE": a folder kept in another library.
    for (const std::string& remote : node.remote_items) {
      out.insert(path + "\\" + remote.substr(remote.find(' ', remote.find('#')) + 1));
    }
    AddPaths(node.children, path, out);
  }
}

// Every folder path of the library's tree, "TOP\CHILD\...".
Paths TreePaths(const std::string& file) {
  std::string error;
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(file, false, &error);
  std::vector<dmapi::FolderNode> roots;
  EXPECT_TRUE(db && dmapi::ReadFolderTree(*db, &roots).ok()) << error;
  Paths paths;
  AddPaths(roots, "", paths);
  return paths;
}

struct Previewed {
  Paths created;
  Paths existing;
  std::vector<std::pair<std::string, std::string>> renames;  // from, to
};

// What the preview's folder lines say: "  new          PATH" or "  exists #N    PATH".
void ReadFolderLines(const std::string& out, Previewed& seen) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const bool created = line.rfind("  new ", 0) == 0;
    if (!created && line.rfind("  exists #", 0) != 0) continue;
    std::string path = line.substr(15);
    const size_t note = path.find("  (");
    const std::string rest = note == std::string::npos ? "" : path.substr(note);
    path = path.substr(0, note);
    (created ? seen.created : seen.existing).insert(path);
    const std::string renamed = "(renamed from \"";
    if (const size_t at = rest.find(renamed); at != std::string::npos) {
      const std::string from = rest.substr(
          at + renamed.size(), rest.find('"', at + renamed.size()) - at - renamed.size());
      seen.renames.emplace_back(path.substr(0, path.rfind('\\') + 1) + from, path);
    }
  }
}

TEST(PreviewTest, WritesNothingAndNamesTheFoldersTheNextCycleCreates) {
  DemoProcess demo;
  const AdminProcess& admin = *demo.process;
  // The cycle runs the previewed rules only. Marked in the settings file, so that the first
  // preview is the first time anything connects to the libraries.
  admin.SetSetting("Rules", "DEMO:LITIGATION", "0");
  admin.SetSetting("Libraries", "ARCHIVE", "0");

  // First over the untouched demo, then after a new client and matter arrived and a known
  // client was renamed (its folder is found by its first five characters).
  const std::string changes[] = {
      "",
      testing::NewClientSql(900001, "C0099", "'Quayside Tea Ltd'") + "; " +
          testing::NewMatterSql(900002, "900001", "0001", "Quayside first matter") + "; " +
          testing::NewDocumentSql(900003, "Quayside letter", 900002) +
          "; UPDATE CLIENT SET CLIENT_NAME = 'Renamed Ltd' WHERE CLIENT_ID = 'C0001'; " +
          testing::NewMatterSql(900004, "(SELECT SYSTEM_ID FROM CLIENT WHERE CLIENT_ID = 'C0001')",
                                "0077", "Late matter"),
  };
  for (const std::string& change : changes) {
    SCOPED_TRACE(change.empty() ? "fresh demo" : "after changes");
    if (!change.empty()) {
      std::string error;
      std::unique_ptr<sql::SqliteDatabase> db =
          sql::SqliteDatabase::Open(demo.DemoFile(), false, &error);
      ASSERT_TRUE(db && db->ExecuteScript(change).ok()) << error;
    }
    const Paths before = TreePaths(demo.DemoFile());
    const std::string demo_bytes = Bytes(demo.DemoFile());
    const std::string archive_bytes = Bytes(demo.ArchiveFile());

    Previewed seen;
    for (const std::string& rule : kRules) {
      const Outcome o = admin.Run({"preview", "DEMO", rule, "--limit", "1000"});
      ASSERT_EQ(o.status, 0) << rule << o.err << o.out;
      ReadFolderLines(o.out, seen);
    }
    EXPECT_TRUE(Bytes(demo.DemoFile()) == demo_bytes) << admin.Log();
    EXPECT_TRUE(Bytes(demo.ArchiveFile()) == archive_bytes) << admin.Log();
    EXPECT_FALSE(seen.created.empty());
    Paths existing = seen.existing;
    for (const auto& [from, to] : seen.renames) existing.erase(to), existing.insert(from);
    for (const std::string& path : existing) EXPECT_EQ(before.count(path), 1u) << path;

    const Outcome cycle = admin.RunCycle();
    EXPECT_EQ(cycle.status, 0) << cycle.err << admin.Log();
    Paths expected = before;
    for (const auto& [from, to] : seen.renames) {
      EXPECT_EQ(expected.erase(from), 1u) << from;
      expected.insert(to);
    }
    expected.insert(seen.created.begin(), seen.created.end());
    EXPECT_EQ(TreePaths(demo.DemoFile()), expected);
    if (!change.empty()) {
      EXPECT_EQ(seen.renames.size(), 1u);
      EXPECT_EQ(seen.created.count("CLIENTS\\C0099"), 1u);
    }
  }
}

TEST(PreviewTest, LimitShowsTheFirstRowsAndCountsTheRest) {
  DemoProcess demo;
  const Outcome all = demo.process->Run({"preview", "demo", "clients"});
  ASSERT_EQ(all.status, 0) << all.err;
  // Three clients of two matters: one row per matter.
  EXPECT_TRUE(Contains(all.out, "\nRows selected: 6\n"));
  EXPECT_TRUE(Contains(all.out, "Row 6:\n  new          CLIENTS\n  new          CLIENTS\\C0003\n"));

  const Outcome two = demo.process->Run({"preview", "DEMO", "CLIENTS", "--limit", "2"});
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_TRUE(Contains(two.out, "Row 2:"));
  EXPECT_FALSE(Contains(two.out, "Row 3:"));
  EXPECT_TRUE(Contains(two.out, "(4 more row(s) not shown; --limit N shows more)\n"));

  for (const char* limit : {"0", "x", "-1"}) {
    EXPECT_EQ(demo.process->Run({"preview", "DEMO", "CLIENTS", "--limit", limit}).status, 2);
  }
  EXPECT_EQ(demo.process->Run({"tracking", "DEMO", "--limit", "2"}).status, 2);
}

TEST(PreviewTest, RunsTheSavedStatementWhenTheCycleWouldReuseIt) {
  DemoProcess demo;
  const AdminProcess& admin = *demo.process;
  const std::string saved =
      "SELECT DISTINCT 'CLIENTS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", "
      "CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\" FROM DOCSADM.CLIENT WHERE CLIENT.CLIENT_ID = "
      "'C0002'";
  ASSERT_EQ(admin.Run({"sql", "set", "DEMO", "CLIENTS", "-", "--yes"}, saved).status, 0);
  for (const char* reuse : {"0", "-1"}) {
    admin.SetSetting("General", "ReUseSQL", reuse);
    const Outcome o = admin.Run({"preview", "DEMO", "CLIENTS"});
    ASSERT_EQ(o.status, 0) << o.err;
    if (reuse[0] == '0') {
      EXPECT_FALSE(Contains(o.out, saved));
      EXPECT_TRUE(Contains(o.out, "\nRows selected: 6\n"));
    } else {
      EXPECT_TRUE(Contains(o.out, "Statement:\n" + saved +
                                      "\nRows selected: 1\nRow 1:\n"
                                      "  new          CLIENTS\n  new          CLIENTS\\C0002\n"));
    }
  }
}

}  // namespace
}  // namespace sproutsmith::admin
