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

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cycle_session.h"
#include "app/program_process.h"
#include "app/saved_options.h"
#include "app/session.h"
#include "app/small_demo.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/sql/fault_injecting_database.h"
#include "platform/sql/sqlite_database.h"
#include "support/dm_installation.h"
#include "support/fault_opener.h"
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

}  // namespace
}  // namespace sproutsmith::app
