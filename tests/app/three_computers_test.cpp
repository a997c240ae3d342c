// Three computers on the same PostgreSQL libraries: three looping sproutsmith processes
// ("/G /X /L", one second between cycles), each with its own computer name, settings and log,
// cycle over and over while new matters and documents arrive, until they are stopped as a
// service stop does it; each library's rule keeps them off each other. Afterwards every
// folder the data calls for exists exactly once, every source row is tracked and no
// running-node row is left.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/cycle_session.h"
#include "app/exit_status.h"
#include "app/program_process.h"
#include "platform/dmapi/installation.h"
#include "platform/schema/test_data.h"
#include "support/dm_installation.h"
#include "support/new_rows.h"
#include "support/product_name.h"

namespace sproutsmith::app {
namespace {

constexpr int kComputers = 3;
constexpr int kCyclesAfterArrivals = 3;  // each computer, before it is stopped
constexpr int kNewMatters = 6;
const std::vector<std::string> kLibraries = {"LIB1", "LIB2"};

// Cycles a computer's run report counts so far (0 before its first report).
int CyclesOf(const std::string& home) {
  for (const auto& entry : std::filesystem::directory_iterator(home + "/temp")) {
    if (entry.path().extension() != ".json") continue;
    const std::string report = testing::ReadFile(entry.path().string());
    const size_t at = report.find("\"cycles\": ");
    if (at != std::string::npos) return std::atoi(report.c_str() + at + 11);
  }
  return 0;
}

TEST(ThreeComputersTest, LoopingComputersBuildEveryFolderOnceWhileMattersArrive) {
  testing::DmInstallation install({2026, 12, 6, 9, 4, 29}, sql::Backend::kPostgres);
  install.Create({{.name = kLibraries[0]}, {.name = kLibraries[1]}});
  // One rule per library: the running-node rows keep computers off a rule, not off each
  // other's folders, and two rules that share folder names may adopt each other's folder
  // when they run at once on two computers.
  for (const std::string& library : kLibraries) {
    install.Exec(library, std::string("DELETE FROM QUIL_SETTINGS WHERE SUB_KEY = '") +
                              schema::kClientsRule + "' AND SECTION_KEY LIKE 'RULE_%'");
  }
  const std::string config = install.WriteConfig();
  std::vector<std::string> homes;
  for (int c = 1; c <= kComputers; ++c) {
    homes.push_back(install.dir.File("pc" + std::to_string(c)));
    std::filesystem::create_directories(homes.back() + "/temp");
    std::filesystem::create_directories(homes.back() + "/config/sproutsmith");
    // One second between cycles, as an administrator would set it for a busy library.
    testing::WriteFile(homes.back() + "/config/sproutsmith/" + testing::kProductName + ".ini",
                       "[General]\nLoop_Delay=1\n");
  }

  std::vector<pid_t> computers;
  for (int c = 0; c < kComputers; ++c) {
    computers.push_back(
        StartProgram("PC" + std::to_string(c + 1), config, homes[c], {"/G", "/X", "/L", "/V"}));
    ASSERT_NE(computers.back(), 0);
  }
  // New work while they run, as DM users file it: a matter of an existing client and a
  // document of it.
  for (int n = 1; n <= kNewMatters; ++n) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const std::string library = kLibraries[n % kLibraries.size()];
    const long long id = 900000 + 2 * n;
    install.Exec(library, testing::NewMatterSql(id, testing::kFirstMattersClient,
                                                "09" + std::to_string(n), "New matter"));
    install.Exec(library, testing::NewDocumentSql(id * 10 + 1, "New document", id));
  }
  // Each computer goes round a few more times after the last arrival, then is stopped. A
  // stop in the loop delay ends with the cycles' status, one in a cycle as cancelled.
  std::vector<int> seen(kComputers);
  for (int c = 0; c < kComputers; ++c) seen[c] = CyclesOf(homes[c]);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  for (int c = 0; c < kComputers; ++c) {
    WaitUntil([&] { return CyclesOf(homes[c]) >= seen[c] + kCyclesAfterArrivals; },
              std::chrono::duration_cast<std::chrono::milliseconds>(
                  give_up - std::chrono::steady_clock::now()),
              std::chrono::milliseconds(100));
  }
  std::vector<int> cycles(kComputers);
  std::vector<int> statuses(kComputers);
  for (int c = 0; c < kComputers; ++c) ::kill(computers[c], SIGTERM);
  for (int c = 0; c < kComputers; ++c) {
    statuses[c] = WaitProgram(computers[c]);
    cycles[c] = CyclesOf(homes[c]);
  }
  // A quiet run after the last arrivals: what a busy computer skipped is built now. "/NL":
  // the computer saved its loop option when it was stopped.
  const int last = WaitProgram(StartProgram("PC1", config, homes[0], {"/G", "/X", "/NL", "/V"}));

  for (int c = 0; c < kComputers; ++c) {
    SCOPED_TRACE("PC" + std::to_string(c + 1));
    EXPECT_TRUE(statuses[c] == kExitFinished || statuses[c] == kExitCancelled)
        << statuses[c] << ": " << testing::ReadFile(homes[c] + "/stderr.txt");
    EXPECT_GE(cycles[c], kCyclesAfterArrivals) << "the computer looped";
  }
  EXPECT_EQ(last, 0) << testing::ReadFile(homes[0] + "/stderr.txt");

  for (const std::string& library : kLibraries) {
    SCOPED_TRACE(library);
    Paths expected;
    for (const std::string& path : StandardRulePaths(install, library)) {
      if (path.rfind("CLIENTS", 0) != 0) expected.insert(path);
    }
    const Paths built = FolderPaths(install, library);
    EXPECT_EQ(built, expected) << "more than once:\n" << Repeated(built);
    EXPECT_TRUE(install.RunningNodes(library).empty());
    // The rule records every matter and client it selected, new ones included.
    for (const char* table : {"MATTER", "CLIENT"}) {
      EXPECT_EQ(install.Scalar(library, std::string("SELECT COUNT(*) FROM ") + table +
                                            " WHERE SYSTEM_ID NOT IN (SELECT SID FROM "
                                            "QUIL_SPROUTSMITH WHERE TABLE_NAME = '" +
                                            table + "' AND RULE_NAME = '" +
                                            schema::kClientMattersRule + "')"),
                "0")
          << table;
    }
  }
}

}  // namespace
}  // namespace sproutsmith::app
