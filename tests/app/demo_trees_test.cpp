// The demo's rules over time, as a firm uses them: each rule keeps its own tree when new
// clients arrive, a write the library refused is finished by the next cycles exactly as a clean
// run does it, and a folder kept in another library than its parent takes that parent's
// trustees.
//
// What a folder costs its library is counted rather than timed: a return to a commit per
// statement, or to the DM stand-in reading again what it already knows, shows before anyone
// runs a benchmark.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/small_demo.h"
#include "bench/counting_database.h"
#include "platform/dmapi/folder_tree.h"
#include "support/new_rows.h"

namespace sproutsmith::app {
namespace {

using Children = std::map<std::string, std::multiset<std::string>>;

// Each top folder of a library with the names of its folders.
Children TopFolders(Demo& demo, const std::string& library) {
  Children tops;
  std::unique_ptr<sql::Database> db = demo.install().OpenLibrary(library);
  std::vector<dmapi::FolderNode> roots;
  EXPECT_TRUE(db && dmapi::ReadFolderTree(*db, &roots).ok());
  for (const dmapi::FolderNode& root : roots) {
    std::multiset<std::string>& names = tops[root.name];
    for (const dmapi::FolderNode& child : root.children) names.insert(child.name);
  }
  return tops;
}

TEST(DemoTreesTest, EachRuleFilesANewClientUnderItsOwnTopFolderAndKeepsItsName) {
  Demo demo;
  ASSERT_TRUE(demo.Cycle()) << demo.install().LogText();
  const Children before = TopFolders(demo, "DEMO");
  ASSERT_EQ(before.size(), 5u);

  // As a DM user adds them: a client, its matter and a document filed to it.
  testing::DmInstallation& install = demo.install();
  install.Exec("DEMO", testing::NewClientSql(900001, "C0099", "'Quayside Tea Ltd'"));
  install.Exec("DEMO", testing::NewMatterSql(900002, "900001", "0001", "Quayside first matter"));
  install.Exec("DEMO", testing::NewDocumentSql(900003, "Quayside letter", 900002));
  ASSERT_TRUE(demo.Cycle()) << install.LogText();

  // The top folders are the same five, each with exactly the new client's folder added.
  const std::map<std::string, std::string> added = {
      {"CLIENT NAMES", "C0099-Quayside Tea Ltd"},
      {"CLIENTS", "C0099"},
      {"FIRM MATTERS", "C0099"},
      {"LITIGATION MATTERS", "C0099"},
      {"MAIL ROOM", "C0099"},
  };
  Children expected = before;
  for (const auto& [top, child] : added) expected[top].insert(child);
  EXPECT_EQ(TopFolders(demo, "DEMO"), expected) << install.LogText();
}

// A refused write leaves its row unfinished: a folder whose trustees were refused is never
// left open to everyone, nor its row recorded; a new folder whose own profile step (its
// metadata, its e-mail address) was refused keeps the rows beneath it waiting rather than
// building with their own values.
TEST(DemoTreesTest, AWriteTheLibraryRefusedIsFinishedByTheNextCycles) {
  Demo clean;
  ASSERT_TRUE(clean.Cycle());
  const std::string expected = clean.State();
  const struct {
    const char* refused;
    int cycles;  // that finish the tree
  } cases[] = {{"INTO SECURITY", 1}, {"PROFILE SET MATTER", 2}, {"PROFILE SET PD_ADDRESSEE", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused);
    Demo run;
    EXPECT_FALSE(run.Cycle(nullptr, c.refused));
    testing::DmInstallation& install = run.install();
    ASSERT_NE(run.State(), expected) << "nothing was refused";
    for (const char* library : {"DEMO", "ARCHIVE"}) {
      EXPECT_EQ(install.Scalar(library,
                               "SELECT COUNT(*) FROM PROFILE P, FOLDER F WHERE F.DOCNUMBER = "
                               "P.DOCNUMBER AND P.DEFAULT_RIGHTS = 0"),
                "0")
          << library;
    }
    EXPECT_GT(install.CountLogLines("Not recording this row of rule "), 0);
    if (c.cycles == 1) {  // a trustee refused: no row of DEMO is recorded as done
      EXPECT_EQ(install.Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "0");
    }
    for (int n = 0; n < c.cycles; ++n) run.Cycle();
    EXPECT_EQ(run.State(), expected) << install.LogText();
  }
}

TEST(DemoTreesTest, AFolderInAnotherLibraryTakesItsParentsTrusteesFromTheParentsLibrary) {
  Demo demo;
  // Every profile of ARCHIVE, whatever its number, holds a trustee no DEMO folder has: read
  // in the wrong library, a parent's number would bring it in.
  testing::DmInstallation& install = demo.install();
  install.Exec("ARCHIVE",
               "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, "
               "(SELECT MIN(SYSTEM_ID) FROM GROUPS WHERE GROUP_ID NOT LIKE 'DOCS%'), 7 FROM "
               "PROFILE");
  ASSERT_TRUE(demo.Cycle()) << install.LogText();

  std::unique_ptr<sql::Database> demo_db = install.OpenLibrary("DEMO");
  std::unique_ptr<sql::Database> archive_db = install.OpenLibrary("ARCHIVE");
  std::vector<dmapi::FolderNode> demo_roots, archive_roots;
  ASSERT_TRUE(dmapi::ReadFolderTree(*demo_db, &demo_roots).ok());
  ASSERT_TRUE(dmapi::ReadFolderTree(*archive_db, &archive_roots).ok());
  std::vector<std::string> parents;
  for (const dmapi::FolderNode& root : demo_roots) {
    if (root.name != "MAIL ROOM") continue;
    for (const dmapi::FolderNode& client : root.children) {
      ASSERT_EQ(client.remote_items.size(), 1u) << client.name;
      parents.push_back(client.name);
      // The parent's own trustees, by name: what its CORRESPONDENCE folder must hold.
      std::vector<std::string> wanted = client.trustee_rights;
      const std::string& item = client.remote_items[0];
      const long long number = std::stoll(item.substr(item.find('#') + 1));
      bool seen = false;
      for (const dmapi::FolderNode& folder : archive_roots) {
        if (folder.name != "CORRESPONDENCE" || folder.document_number != number || seen) continue;
        seen = true;
        EXPECT_EQ(folder.trustee_rights, wanted) << client.name;
      }
      EXPECT_TRUE(seen) << client.name << ": " << item;
    }
  }
  EXPECT_EQ(parents.size(), 3u);
}

TEST(DemoTreesTest, ARowWhoseValuesCannotBeStoredIsRefusedBeforeAnyFolderIsSaved) {
  Demo demo;
  testing::DmInstallation& install = demo.install();
  // A name cut by a NUL character, and one longer than a profile's name: the CLIENT NAMES
  // rule names its folders by them; the rules that use the client's number are not touched.
  struct Client {
    const char* id;
    std::string name;
  };
  const Client clients[] = {{"C0097", "'Broken' || char(0) || 'Name'"},
                            {"C0098", "'" + std::string(300, 'L') + "'"}};
  long long system_id = 900100;
  for (const Client& client : clients) {
    install.Exec("DEMO", testing::NewClientSql(system_id, client.id, client.name));
    install.Exec("DEMO", testing::NewMatterSql(system_id + 1, std::to_string(system_id), "0001",
                                               "First matter"));
    install.Exec("DEMO", testing::NewDocumentSql(system_id + 2, "A letter", system_id + 1));
    system_id += 3;
  }
  EXPECT_FALSE(demo.Cycle()) << "refused rows are failed rows";

  EXPECT_EQ(install.CountLogLines(" of rule CLIENT NAMES is not processed - its column "
                                  "CLIENT.CLIENT_NAME holds a NUL character"),
            1);
  EXPECT_EQ(install.CountLogLines(" of rule CLIENT NAMES is not processed - the folder name of its "
                                  "level 2 is 306 characters long (at most 240)"),
            1);
  const Children tops = TopFolders(demo, "DEMO");
  for (const std::string& name : tops.at("CLIENT NAMES")) {
    EXPECT_EQ(name.find("C0097"), std::string::npos);
    EXPECT_EQ(name.find("C0098"), std::string::npos);
  }
  EXPECT_EQ(tops.at("CLIENTS").count("C0097"), 1u);
  EXPECT_EQ(tops.at("CLIENTS").count("C0098"), 1u);
  // Nothing half-built: no folder outside the tree, nothing left to finish.
  const std::string state = demo.State();
  EXPECT_EQ(tops.size(), 5u) << state;
  EXPECT_EQ(state.find("Unfinished rows: 1"), std::string::npos);
}

long long Folders(Demo& demo) {
  long long n = 0;
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    std::unique_ptr<sql::Database> db = demo.install().OpenLibrary(library);
    const sql::ExecResult r = db->Execute("SELECT COUNT(*) FROM FOLDER");
    if (r.ok() && !r.result.rows.empty()) n += r.result.rows[0][0].AsInteger();
  }
  return n;
}

TEST(DemoTreesTest, AnOutOfRangeRowLimitIsCappedAndNoError) {
  Demo demo;
  testing::DmInstallation& install = demo.install();
  install.options.TextMaxFolders = "99999999999999999999";
  EXPECT_TRUE(demo.Cycle()) << install.LogText();
  EXPECT_EQ(install.CountLogLines("SQL Error"), 0);
  // The Microsoft-flavour library's five rules; the Oracle flavour has no TOP.
  EXPECT_EQ(install.CountLogLines("Processing a maximum of 10000 folder(s) per cycle"), 5);
}

TEST(CycleCostTest, AFolderTakesAboutOneCommitAndABoundedNumberOfStatements) {
  Demo demo;
  const long long before = Folders(demo);
  auto counts = std::make_shared<bench::Counts>();
  ASSERT_TRUE(demo.Cycle(nullptr, "", [counts](std::unique_ptr<sql::Database> db) {
    return std::unique_ptr<sql::Database>(
        std::make_unique<bench::CountingDatabase>(std::move(db), counts));
  }));
  const long long folders = Folders(demo) - before;
  ASSERT_GT(folders, 40);
  const double commits = static_cast<double>(counts->commits) / static_cast<double>(folders);
  const double statements = static_cast<double>(counts->statements) / static_cast<double>(folders);
  // The demo's rows often find their folders made: a row commits at its end in each library
  // it wrote to, and once before each folder it makes. A commit per statement gave 43.
  EXPECT_LE(commits, 3.0) << folders << " folders";
  // The engine's statements and the stand-in's own; reading again what it knows gave 208.
  EXPECT_LE(statements, 140.0) << folders << " folders";
}

}  // namespace
}  // namespace sproutsmith::app
