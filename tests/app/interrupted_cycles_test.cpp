// Whatever ends a cycle part-way (the process dying at any write, a kill, a service stop),
// the next cycles bring the libraries to exactly what one uninterrupted cycle gives: every
// folder once with its profile, stamp, trustees, link, place among its siblings, workspace
// entries and queued documents, and every row tracked. Run on the demo's five rules over a
// Microsoft-flavour and an Oracle-flavour library, small enough to cut at many points, where
// rows share their records (a client's matters, a matter's document types) so that a row
// left behind is never selected again on its own.
//
// A folder's creation broken off at every database call in turn (a failed write, a full disk,
// a crash): the next cycles must finish the tree without a second folder of any name under
// the same parent, and without leaving a folder that nothing links.
//
// The demo's rules over time, as a firm uses them: each rule keeps its own tree when new
// clients arrive, a write the library refused is finished by the next cycles exactly as a clean
// run does it, and a folder kept in another library than its parent takes that parent's
// trustees; and what a folder costs its library, counted rather than timed.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/cycle_session.h"
#include "app/program_process.h"
#include "app/saved_options.h"
#include "app/session.h"
#include "app/small_demo.h"
#include "bench/counting_database.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/sql/fault_injecting_database.h"
#include "platform/sql/sqlite_database.h"
#include "support/dm_installation.h"
#include "support/fault_opener.h"
#include "support/new_rows.h"
#include "support/product_name.h"

namespace sproutsmith::app {
namespace {

namespace fs = std::filesystem;

bool HasUnfinishedRows(const std::string& state) {
  for (size_t at = state.find("Unfinished rows: "); at != std::string::npos;
       at = state.find("Unfinished rows: ", at + 1)) {
    if (state.compare(at, 19, "Unfinished rows: 0\n") != 0) return true;
  }
  return false;
}

// The last lines of a log, for a failure message.
std::string Tail(const std::string& text, size_t lines = 60) {
  size_t at = text.size();
  for (size_t n = 0; n <= lines && at != std::string::npos && at > 0; ++n) {
    at = text.rfind('\n', at - 1);
  }
  return at == std::string::npos ? text : text.substr(at);
}

// Cuts a cycle where `cut` says, runs two more and compares with `expected`; false (with the
// failure reported) when they differ.
bool FinishedExactly(std::shared_ptr<sql::CrashPoint> cut, const std::string& expected,
                     const std::string& what) {
  Demo run;
  run.Cycle(cut);
  EXPECT_TRUE(cut->crashed()) << what;
  run.Cycle();
  run.Cycle();
  const std::string state = run.State();
  EXPECT_EQ(state, expected) << what;
  if (state == expected) return true;
  ADD_FAILURE() << Tail(run.install().LogText(), 200);
  return false;
}

TEST(InterruptedCyclesTest, ACycleCutOffOrRefusedAtAnyWriteIsFinishedExactlyByTheNextTwo) {
  Demo clean;
  auto counter = std::make_shared<sql::CrashPoint>(0);
  clean.Cycle(counter);
  const long writes = counter->writes();
  const std::string expected = clean.State();
  ASSERT_FALSE(HasUnfinishedRows(expected)) << expected;
  ASSERT_NE(expected.find("CORRESPONDENCE"), std::string::npos) << expected;
  clean.Cycle();
  ASSERT_EQ(clean.State(), expected) << "a second cycle must change nothing";

  // Spread over the whole cycle, odd offsets so that every kind of write gets its turn: the
  // process dies there, or only that write is refused and the cycle goes on.
  const long stride = std::max(1L, writes / 30);
  for (const bool dies : {true, false}) {
    for (long at = 1 + (dies ? 0 : stride / 2); at <= writes; at += stride + (at % 3)) {
      if (!FinishedExactly(std::make_shared<sql::CrashPoint>(at, !dies), expected,
                           (dies ? "the process died at write " : "refused write ") +
                               std::to_string(at) + " of " + std::to_string(writes))) {
        return;
      }
    }
  }
}

// A row commits each library apart. Whichever commit a library refuses, what the others kept
// of the row (a folder in one, its link and the row's note in another) is found and finished.
TEST(InterruptedCyclesTest, ACommitRefusedInAnyLibraryIsFinishedExactlyByTheNextTwo) {
  Demo clean;
  auto counter = std::make_shared<sql::CrashPoint>(0, true, "EndHeld");
  clean.Cycle(counter);
  const long commits = counter->writes();
  const std::string expected = clean.State();
  ASSERT_GT(commits, 20);

  // Every commit: those that lose something are a few among many.
  for (long at = 1; at <= commits; ++at) {
    if (!FinishedExactly(
            std::make_shared<sql::CrashPoint>(at, true, "EndHeld"), expected,
            "refused commit " + std::to_string(at) + " of " + std::to_string(commits))) {
      return;
    }
  }
}

TEST(InterruptedCyclesTest, AKilledOrStoppedProgramIsFinishedExactlyByTheNextTwoRuns) {
  Demo clean;
  ASSERT_EQ(RunProgram("PC1", clean.Config(), clean.Home("home"), {"/G", "/X"}), 0);
  const std::string expected = clean.State();
  const auto full_log = fs::file_size(ProgramLog(clean.Home("home")));

  struct Stop {
    int signal;
    double at;  // share of a whole run's log written when the signal comes
  };
  int killed = 0, cut_short = 0;
  const Stop stops[] = {{SIGKILL, 0.1}, {SIGKILL, 0.4}, {SIGKILL, 0.7}, {SIGKILL, 0.95},
                        {SIGTERM, 0.2}, {SIGTERM, 0.5}, {SIGTERM, 0.8}};
  for (const Stop& stop : stops) {
    SCOPED_TRACE(std::string(stop.signal == SIGKILL ? "SIGKILL" : "SIGTERM") + " at " +
                 std::to_string(stop.at));
    Demo run;
    const std::string home = run.Home("home");
    const pid_t pid = StartProgram("PC1", run.Config(), home, {"/G", "/X"});
    ASSERT_GT(pid, 0);
    // The log grows line by line as the run goes; the signal comes at a share of it.
    const auto wanted = static_cast<std::uintmax_t>(static_cast<double>(full_log) * stop.at);
    WaitUntil(
        [&] {
          std::error_code ec;
          const std::string log = ProgramLog(home);
          return (!log.empty() && fs::file_size(log, ec) >= wanted) ||
                 ::waitpid(pid, nullptr, WNOHANG) == pid;
        },
        std::chrono::minutes(1), std::chrono::milliseconds(1));
    ::kill(pid, stop.signal);
    const int status = WaitProgram(pid);
    if (stop.signal == SIGTERM) {
      EXPECT_TRUE(status == 5 || status == 0) << status;
    } else {
      killed += status == -1;
    }
    cut_short += HasUnfinishedRows(run.State());
    EXPECT_EQ(RunProgram("PC1", run.Config(), home, {"/G", "/X"}), 0);
    EXPECT_EQ(RunProgram("PC1", run.Config(), home, {"/G", "/X"}), 0);
    const std::string state = run.State();
    EXPECT_EQ(state, expected);
    if (state != expected) return;
  }
  // The signals came while there was work left.
  EXPECT_GE(killed, 3);
  EXPECT_GE(cut_short, 4);
}

// One library with one matter, so the CLIENTS rule builds CLIENTS and one client folder,
// over a database that fails the calls it is told to.
struct FaultyLibrary {
  FaultyLibrary() {
    install.Create({{.name = "LIB"}});
    install.Exec("LIB",
                 "DELETE FROM MATTER WHERE SYSTEM_ID <> (SELECT MIN(SYSTEM_ID) FROM MATTER)");
    session = std::make_unique<Session>(
        install.context, window,
        InstallationChoice{
            .client = install.OpenClient(testing::FaultInjectingOpener(
                [this](const std::string&, sql::FaultInjectingDatabase& db) { fault = &db; }))},
        "PC1");
    EXPECT_TRUE(session->StartFusion());
    window.TVRules.push_back(ReadLibraryNode(install.settings, testing::kProductName, "LIB"));
    session->tree().ExpandLibraryNode(window.TVRules[0]);
    for (CheckNode& node : window.TVRules[0].rules) node.checked = node.text == "CLIENTS";
  }

  void Go() { session->cycle().Go(); }

  // Twice the same name under one parent (or at the top), and folders linked nowhere.
  std::string Problems() {
    std::string problems = Repeated(FolderPaths(install, "LIB"));
    const std::string unlinked = install.Scalar(
        "LIB",
        "SELECT COUNT(*) FROM FOLDER WHERE DOCNUMBER NOT IN (SELECT DOCNUMBER FROM FOLDER_ITEM) "
        "AND DOCNUMBER NOT IN (SELECT DOCNUMBER FROM ROOT_OBJECT)");
    if (unlinked != "0") problems += unlinked + " folder(s) linked nowhere; ";
    return problems;
  }

  std::string Built() {
    return install.Scalar(
        "LIB",
        "SELECT COUNT(*) FROM FOLDER_ITEM FI JOIN ROOT_OBJECT R ON R.DOCNUMBER = FI.PARENT "
        "JOIN PROFILE P ON P.DOCNUMBER = FI.DOCNUMBER WHERE R.DISPLAYNAME = 'CLIENTS' AND "
        "P.DOCNAME = (SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = "
        "M.CLIENT_ID)");
  }
  std::string Recorded() {
    return install.Scalar("LIB",
                          "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'MATTER'");
  }
  std::string Dump() const { return install.LogText(); }

  testing::DmInstallation install;
  MainWindowModel window;
  sql::FaultInjectingDatabase* fault = nullptr;
  std::unique_ptr<Session> session;
};

TEST(FolderBuildingFaultsTest, EveryCallOfARowsFoldersMayFailAndTheNextCyclesFinishTheTree) {
  // A clean run tells which calls belong to the row's folders: from the first folder lookup to
  // the row's tracking record.
  long first = 0, last = 0;
  {
    FaultyLibrary clean;
    ASSERT_NE(clean.fault, nullptr);
    clean.fault->Disarm();
    clean.Go();
    ASSERT_EQ(clean.Built(), "1") << clean.Dump();
    ASSERT_EQ(clean.Problems(), "");
    const std::vector<std::string>& calls = clean.fault->call_log();
    for (size_t i = 0; i < calls.size(); ++i) {
      const std::string& call = calls[i];
      if (first == 0 && call.find("F.PATH") != std::string::npos) first = static_cast<long>(i) + 1;
      if (call.find("INSERT INTO QUIL_SPROUTSMITH") != std::string::npos) {
        last = static_cast<long>(i) + 1;
      }
    }
    ASSERT_GT(first, 0);
    ASSERT_GT(last, first);
  }
  // One failed call, or a crash: that call and every later one fail.
  for (const bool crash : {false, true}) {
    for (long k = first; k <= last; ++k) {
      FaultyLibrary run;
      run.fault->FailCall(k, crash);
      run.Go();
      const std::string failed = run.fault->failures() > 0 ? run.fault->call_log()[k - 1] : "";
      run.fault->Disarm();
      run.Go();
      run.Go();
      SCOPED_TRACE(std::string(crash ? "crash at" : "failing") + " call " + std::to_string(k) +
                   ": " + failed);
      EXPECT_EQ(run.Problems(), "");
      EXPECT_EQ(run.Built(), "1");
      EXPECT_EQ(run.Recorded(), "1");
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << run.Dump();
        return;
      }
    }
  }
}

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
