// The real program, run unattended on a real DM installation as cron or a service manager
// runs it: a service stop or Ctrl+C ends the run cleanly (the "Ended on" line, the options
// saved, IsRunning 0, no running-node row left); a log that cannot be written is said on
// stderr.
//
// One run per DM installation and computer: a second run on the same installation and computer
// (a timer's run beside a manual one) stops at once with exit status 6 and names the run under
// way, before it opens the installation or makes the demo one; two runs started together build
// every folder once.
//
// A library made from nothing with sproutsmith-dm provision and generate in a database of a
// PostgreSQL server, then worked on by the real program's unattended cycle.
//
// Three computers on the same PostgreSQL libraries: three looping sproutsmith processes
// ("/G /X /L", one second between cycles), each with its own computer name, settings and log,
// cycle over and over while new matters and documents arrive, until they are stopped as a
// service stop does it; each library's rule keeps them off each other. Afterwards every
// folder the data calls for exists exactly once, every source row is tracked and no
// running-node row is left.
//
// The console a run without the window talks to: what it shows and asks on a terminal and
// without one.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/console_ui.h"
#include "app/cycle_session.h"
#include "app/exit_status.h"
#include "app/program_process.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/dm_tool.h"
#include "platform/dmapi/installation.h"
#include "platform/os/environment.h"
#include "platform/os/instance_lock.h"
#include "platform/os/settings_store.h"
#include "platform/schema/test_data.h"
#include "support/dm_installation.h"
#include "support/new_rows.h"
#include "support/postgres_server.h"
#include "support/product_name.h"
#include "support/sql_rows.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

using testing::Contains;
constexpr const char* kProduct = testing::kProductName;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("temp"));
    std::filesystem::create_directories(dir_.File("config/sproutsmith"));
    dmapi::DemoInstallation demo;
    ASSERT_TRUE(testing::Ok(dmapi::CreateDemoInstallation(dir_.File("dm"), {}, &demo)));
    config_ = demo.config_path;
    libraries_ = demo.library_paths;
  }
  ~ProgramTest() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  os::SettingsStore Settings() { return os::SettingsStore(dir_.File("config/sproutsmith")); }

  // Starts the program with `args`, the installation, its own settings and temp folder.
  void Start(const std::vector<std::string>& args) {
    const std::string err = dir_.File("stderr.txt");
    std::ofstream(err, std::ios::trunc);
    pid_ = StartProgram("", config_, dir_.path().string(), args, err);
    ASSERT_GT(pid_, 0);
  }

  std::string LogPath() { return ProgramLog(dir_.path().string()); }
  std::string ReportPath() {
    const std::vector<std::string> reports = ProgramReports(dir_.path().string());
    return reports.empty() ? "" : reports.back();
  }
  std::string Report() { return testing::ReadFile(ReportPath()); }
  // Runs the program to its end with `args`; its exit status (-1: it did not end normally).
  int Run(const std::vector<std::string>& args) {
    Start(args);
    const int status = WaitForExit();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Log() { return LogPath().empty() ? "" : testing::ReadFile(LogPath()); }
  // The child's wait status; -1 when it did not end within a minute.
  int WaitForExit() {
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; })) return -1;
    pid_ = 0;
    return status;
  }
  size_t RunningNodes() {
    size_t total = 0;
    for (const std::string& library : libraries_) {
      total += testing::ReadFileRows(
                   library, "SELECT CHAR_VAL FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'")
                   .size();
    }
    return total;
  }
  std::string Stderr() { return testing::ReadFile(dir_.File("stderr.txt")); }
  std::string Saved(const std::string& section, const std::string& key) {
    return Settings().Get(kProduct, section, key, "absent");
  }
  // `stop` is logged after the cycle's "Finished processing." and before the "Ended on" line.
  ::testing::AssertionResult StopSaidAtTheEnd(const std::string& stop) {
    const std::string log = testing::ReadFile(LogPath());
    const auto finished = log.rfind("Finished processing.");
    const auto said = log.rfind(stop);
    const auto ended = log.rfind(") Ended on ");
    if (finished != std::string::npos && said != std::string::npos && ended != std::string::npos &&
        finished < said && said < ended) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no \"" << stop << "\" at the end of\n" << log;
  }

  testing::TempDir dir_;
  std::string config_;
  std::vector<std::string> libraries_;
  pid_t pid_ = 0;
};

TEST_F(ProgramTest, SigtermDuringARuleCancelsAndEndsCleanly) {
  Start({"/G", "/X"});
  ASSERT_TRUE(WaitUntil([&] { return Contains(Log(), "Processing library DEMO rule"); }))
      << Stderr();
  EXPECT_EQ(RunningNodes(), 1u);  // this computer holds the rule it works on
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 5) << Stderr();

  EXPECT_TRUE(Contains(Log(), ") Ended on "));
  EXPECT_TRUE(Contains(Log(), "Stop requested - the run ends at the next point where it can stop"));
  EXPECT_TRUE(StopSaidAtTheEnd("The run was stopped by signal SIGTERM before its work was done"));
  EXPECT_FALSE(Contains(Log(), "Processing library ARCHIVE"));
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(Saved("General", "LogMethod"), "1");  // options saved
  EXPECT_EQ(RunningNodes(), 0u);
  EXPECT_TRUE(Contains(Stderr(), "Outcome: cancelled (exit 5). Log: " + LogPath() +
                                     ". Report: " + ReportPath() + "\n"));
  EXPECT_TRUE(Contains(Report(), "\"cancelled\": true"));
}

TEST_F(ProgramTest, SigtermDuringTheLoopDelayEndsTheRunAsFinished) {
  ASSERT_TRUE(Settings().Save(kProduct, "General", "Loop_Delay", "600"));
  Start({"/G", "/X", "/L"});
  // The report is written when the pass ends, just before the delay begins.
  ASSERT_TRUE(WaitUntil([&] { return Contains(Report(), "\"cycles\": 1,"); })) << Stderr();
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 0) << Stderr();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));

  EXPECT_TRUE(Contains(Log(), ") Ended on "));
  EXPECT_TRUE(
      StopSaidAtTheEnd("The run was stopped by signal SIGTERM after its cycle had finished"));
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(Saved("General", "Loop_Delay"), "600");
  EXPECT_EQ(RunningNodes(), 0u);
  EXPECT_TRUE(Contains(Stderr(), "Outcome: finished (exit 0). Log: "));
}

TEST_F(ProgramTest, ALogFolderThatCannotBeWrittenIsSaidOnceOnStderr) {
  const std::string missing = dir_.File("no such folder/run.log");
  ASSERT_TRUE(Settings().Save(kProduct, "General", "LogFile", missing));
  Start({"/G", "/X"});
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  // The work was done, but whoever reads the log would find nothing: not a success.
  EXPECT_EQ(WEXITSTATUS(status), 2) << Stderr();
  const std::string err = Stderr();
  const std::string dated = missing.substr(0, missing.size() - 4);  // "_YYYYMMDD.log" follows
  EXPECT_EQ(testing::CountHolding(testing::ReadLines(dir_.File("stderr.txt")),
                                  "Warning: the log cannot be written"),
            1)
      << err;
  EXPECT_TRUE(Contains(err, ": No such file or directory"));
  EXPECT_TRUE(Contains(err, "Outcome: rule-failures (exit 2). Log: " + dated + "_"));
  EXPECT_TRUE(Contains(err, ".log (not written: "));
  EXPECT_TRUE(Contains(err, ".json (not written: No such file or directory)"));
  // The run did its work all the same, and ended cleanly.
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(RunningNodes(), 0u);
}

// A library the run was to work on and could not open fails that run, with the file and the
// reason; every later run that skips it says why, until someone checks it again.
TEST_F(ProgramTest, ACheckedLibraryThatCannotBeOpenedFailsTheRunAndIsNamedByLaterOnes) {
  ASSERT_TRUE(Settings().Save(kProduct, "Libraries", "DEMO", "0"));
  std::filesystem::remove(libraries_[1]);  // ARCHIVE's file
  const std::string cause =
      "Error: Library ARCHIVE cannot be used: database file " + libraries_[1] + " does not exist";
  EXPECT_EQ(Run({"/G", "/X"}), 2) << Stderr();
  EXPECT_TRUE(Contains(Stderr(), "Library ARCHIVE could not be worked on: " + cause));
  EXPECT_TRUE(Contains(Report(),
                       "\"failed_libraries\": [\n      {\n        \"library\": "
                       "\"ARCHIVE\",\n        \"reason\": \"" +
                           cause));
  EXPECT_TRUE(Contains(Log(), cause.substr(cause.find("Library "))));  // stamped "Error:" lines

  std::filesystem::remove(dir_.File("stderr.txt"));
  EXPECT_EQ(Run({"/G", "/X"}), 3) << Stderr();
  EXPECT_TRUE(Contains(Stderr(), "Library ARCHIVE is unchecked (" + cause + " ("));
  EXPECT_TRUE(Contains(Report(), "\"reason\": \"" + cause + " ("));
  EXPECT_EQ(ProgramReports(dir_.path().string()).size(), 2u);  // one per run
}

// A start that cannot open the connected library names its file and the system's reason.
TEST_F(ProgramTest, AFailedStartNamesTheLibraryFileAndWhy) {
  std::filesystem::remove(libraries_[0]);
  EXPECT_EQ(Run({"/G", "/X"}), 1);
  EXPECT_TRUE(Contains(Stderr(), "Cause: Error: Library DEMO cannot be used: database file " +
                                     libraries_[0] + " does not exist"));
  EXPECT_FALSE(Contains(Stderr(), "DM  (patch )"));
}

// The timer's unit as systemd runs it: only the unit's environment and the folders systemd
// makes for it, the program in a folder it must not write to, and a Loop option an operator
// saved. The run must do one cycle, end, and leave its log and report in the log folder.
TEST_F(ProgramTest, TheTimersUnitRunsOneCycleWhateverLoopTheSettingsHold) {
  std::string exec;
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "COMPUTERNAME=PC1"};
  for (const std::string& line :
       testing::ReadLines(SPROUTSMITH_SOURCE_DIR "/packaging/sproutsmith.service")) {
    if (line.starts_with("ExecStart=")) exec = line.substr(10);
    if (line.starts_with("Environment=")) env.push_back(line.substr(12));
  }
  std::istringstream words(exec);
  std::vector<std::string> args(++std::istream_iterator<std::string>(words), {});
  ASSERT_FALSE(args.empty()) << exec;
  // Where systemd points the unit's variables: the test's installation and folders.
  const std::string home = dir_.File("state"), logs = dir_.File("logs");
  std::filesystem::create_directories(home + "/.config/sproutsmith");
  std::filesystem::create_directories(logs);
  std::erase_if(env, [](const std::string& e) { return e.starts_with("SPROUTSMITH_DM="); });
  env.insert(env.end(), {"HOME=" + home, "LOGS_DIRECTORY=" + logs, "SPROUTSMITH_DM=" + config_});
  ASSERT_TRUE(
      os::SettingsStore(home + "/.config/sproutsmith").Save(kProduct, "General", "Loop", "1"));
  const std::string bin = dir_.File("bin");
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(SPROUTSMITH_PROGRAM, bin + "/sproutsmith");

  pid_ = SpawnProgram(bin + "/sproutsmith", args, env, dir_.File("stderr.txt"));
  ASSERT_GT(pid_, 0);
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << "still looping? " << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 0) << Stderr();
  ASSERT_EQ(FilesEndingIn(logs, ".LOG").size(), 1u) << Stderr();
  const std::vector<std::string> reports = FilesEndingIn(logs, ".json");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(Contains(testing::ReadFile(reports[0]), "\"cycles\": 1,"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(bin), {}), 1);  // nothing added
  EXPECT_EQ(os::SettingsStore(home + "/.config/sproutsmith").Get(kProduct, "General", "Loop", ""),
            "1");  // the operator's choice stays
  // Its stderr is the journal's, no terminal: the summary, and no progress line drawn.
  EXPECT_TRUE(Contains(Stderr(), " row(s) selected, ")) << Stderr();
  EXPECT_EQ(Stderr().find('\r'), std::string::npos) << Stderr();
  EXPECT_FALSE(Contains(Stderr(), "\033[") || Contains(Stderr(), " rows, "));
}

std::string Refusal(long holder, const std::string& config, const std::string& computer) {
  return "Error: another Sproutsmith run (process " + std::to_string(holder) +
         ") is using the DM installation " + config + " on computer " + computer +
         "; this run stops without doing anything\n"
         "Outcome: already-running (exit 6). No log or report was written.\n";
}

class OneRunPerComputerTest : public ::testing::Test {
 protected:
  std::string Home(const std::string& name) {
    const std::string home = install_.dir.File(name);
    std::filesystem::create_directories(home + "/temp");
    std::filesystem::create_directories(home + "/config/sproutsmith");
    return home;
  }
  bool Wrote(const std::string& home) { return !std::filesystem::is_empty(home + "/temp"); }

  testing::DmInstallation install_;
};

TEST_F(OneRunPerComputerTest, ARunThatFindsTheLockHeldStopsAtOnceAndNamesItsHolder) {
  const std::string home = Home("pc1");
  // No SPROUTSMITH_DM and no installation yet: an unrefused run would make the demo one.
  const std::string config = home + "/config/sproutsmith/dm.conf";
  const os::InstanceLock held = os::InstanceLock::Take(config, "PC1");
  ASSERT_TRUE(held.held()) << held.error();

  for (const std::string computer : {"PC1", "pc1"}) {
    SCOPED_TRACE(computer);
    const std::string err = home + "/stderr-" + computer + ".txt";
    EXPECT_EQ(WaitProgram(StartProgram(computer, "", home, {"/G", "/X"}, err)),
              kExitAlreadyRunning);
    EXPECT_EQ(testing::ReadFile(err), Refusal(::getpid(), config, computer));
  }
  EXPECT_FALSE(std::filesystem::exists(config));
  EXPECT_FALSE(Wrote(home)) << "no log, no report";
}

// Both runs start while another program holds a write lock on the library, so the first
// one to start cannot be done before the second one has started: the second stops at once,
// the first builds the folders once the library is free.
TEST_F(OneRunPerComputerTest, TwoRunsStartedTogetherBuildEveryFolderOnce) {
  install_.Create({{.name = "LIB"}});
  install_.config.libraries[0].busy_wait_seconds = 120;
  const std::string config = install_.WriteConfig();
  const std::string home = Home("pc1");
  std::unique_ptr<sql::Database> other = install_.OpenLibrary("LIB");
  ASSERT_TRUE(other && other->Begin());

  const std::vector<pid_t> runs = {
      StartProgram("PC1", config, home, {"/G", "/X"}, home + "/stderr-0.txt"),
      StartProgram("PC1", config, home, {"/G", "/X"}, home + "/stderr-1.txt")};
  ASSERT_NE(runs[0], 0);
  ASSERT_NE(runs[1], 0);
  int stopped = -1;
  int status = 0;
  WaitUntil(
      [&] {
        for (int i = 0; i < 2 && stopped < 0; ++i) {
          if (::waitpid(runs[i], &status, WNOHANG) == runs[i]) stopped = i;
        }
        return stopped >= 0;
      },
      std::chrono::seconds(30));
  other.reset();
  if (stopped < 0) {
    ADD_FAILURE() << "neither run stopped while the other was under way";
    for (pid_t run : runs) WaitProgram(run);
  } else {
    const int running = 1 - stopped;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitAlreadyRunning) << status;
    EXPECT_EQ(testing::ReadFile(home + "/stderr-" + std::to_string(stopped) + ".txt"),
              Refusal(runs[running], config, "PC1"));
    const std::string err = home + "/stderr-" + std::to_string(running) + ".txt";
    EXPECT_EQ(WaitProgram(runs[running]), kExitFinished) << testing::ReadFile(err);
  }

  // No folder twice under one parent, nor two top folders of one name.
  const Paths built = FolderPaths(install_, "LIB");
  EXPECT_EQ(Repeated(built), "");
  EXPECT_EQ(built, StandardRulePaths(install_, "LIB"));
}

struct ToolRun {
  int status = 0;
  std::string out;
  std::string err;
};

ToolRun Dm(const std::vector<std::string>& args, const std::string& config = "") {
  os::FixedEnvironment env;
  if (!config.empty()) env.variables["SPROUTSMITH_DM"] = config;
  std::ostringstream out, err;
  const int status = dmapi::RunDmTool(args, out, err, env);
  return {status, out.str(), err.str()};
}

TEST(GeneratedLibraryTest, ACycleBuildsTheStandardFoldersOnAGeneratedPostgresqlLibrary) {
  Status status;
  testing::PostgresServer* server = testing::PostgresServer::Get(&status);
  ASSERT_NE(server, nullptr) << status.text;
  testing::TempDir dir;
  const std::vector<std::string> pg = {"generated_lib", "--backend", "postgresql", "--server",
                                       server->ServerConnection()};
  auto with_pg = [&](std::vector<std::string> args, const std::vector<std::string>& options) {
    args.insert(args.begin() + 1, pg.begin(), pg.end());
    args.insert(args.end(), options.begin(), options.end());
    return args;
  };
  const std::string where = server->ConnectionString("generated_lib");
  ToolRun r = Dm(with_pg({"provision"}, {"--name", "gen", "--owner", "GENADM"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Library GEN provisioned in " + where + "\n");
  r = Dm(with_pg({"generate"},
                 {"--clients", "7", "--matters", "2", "--docs", "1", "--owner", "GENADM"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Test data written to " + where + "\n");

  const std::string home = dir.File("pc1");
  const std::string config = home + "/dm.conf";
  std::filesystem::create_directories(home);
  std::ofstream(config) << "[client]\nuser = DMADMIN\ncurrent_library = GEN\n[library GEN]\n"
                        << "backend = postgresql\nconnection = " << where << "\nowner = GENADM\n";
  EXPECT_EQ(RunProgram("PC1", config, home, {"/G", "/X"}), 0)
      << testing::ReadFile(home + "/stderr.txt");
  r = Dm({"tree", "GEN"}, config);
  ASSERT_EQ(r.status, 0) << r.err;
  // Seven clients under each rule's top folder, two matters under each client.
  EXPECT_TRUE(testing::Contains(r.out, "\n  C0007 #")) << r.out;
  EXPECT_TRUE(testing::Contains(r.out, "\n    0002 #"));

  // The schema of another owner holds no library.
  const ToolRun wrong = Dm(with_pg({"generate"}, {"--owner", "NOBODY"}));
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "sproutsmith-dm: " + where +
                           ": not a DM library in schema NOBODY (run provision first)\n");
}

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

using runtime::Answer;
using runtime::MessageStyle;

constexpr char kClearLine[] = "\r\033[K";

TEST(ConsoleUiTest, WithoutATerminalOnlyProblemsAreShownAndQuestionsAnswerNo) {
  std::istringstream in("y\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, /*in_is_terminal=*/false, /*err_is_terminal=*/false);
  ui.StatusChanged("Setting Libraries");
  EXPECT_EQ(ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Error: broken", MessageStyle::kCritical, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Warning: odd", MessageStyle::kExclamation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kNo);
  ui.Notice("Paused until 01:00 PM");  // a service's journal must show a long wait
  EXPECT_EQ(err.str(), "Error: broken\nWarning: odd\nPurge? [y/n] n\nPaused until 01:00 PM\n");
  EXPECT_EQ(ui.ChooseSaveFile("a", "b", "c", "d", "e"), "");
  EXPECT_EQ(ui.ChooseLibrary({"DOCS"}), "");
}

TEST(ConsoleUiTest, AtATerminalStatusShowsAndQuestionsAreAsked) {
  std::istringstream in("maybe\nYes\n n \nc\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, true, true);
  ui.StatusChanged("Setting Libraries");
  ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t");
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kYes);  // asked twice
  EXPECT_EQ(ui.MessageBox("Again?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(ui.MessageBox("Go on?", MessageStyle::kYesNoCancel, "t"), Answer::kCancel);
  EXPECT_EQ(ui.MessageBox("At end of input?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(err.str(),
            "Setting Libraries\nTask Canceled\nPurge? [y/n] Purge? [y/n] Again? [y/n] "
            "Go on? [y/n/c] At end of input? [y/n] ");
}

TEST(ConsoleUiTest, OnATerminalARulesLineIsRedrawnInPlaceAndOtherOutputMakesRoomForIt) {
  using Step = runtime::CycleProgress::Step;
  std::istringstream in;
  std::ostringstream err;
  ConsoleUi ui(in, err, false, true);
  ui.SetColumns(30);
  runtime::CycleProgress p;
  p.library = "DEMO";
  p.rule = "CLIENTS";
  auto step = [&](Step s, int selected, int read) {
    p.step = s;
    p.rows_selected = selected;
    p.rows_read = read;
    ui.Progress(p);
  };
  step(Step::kRuleStarts, 0, 0);
  step(Step::kRows, 0, 0);  // nothing selected yet: no line
  step(Step::kRows, 9, 0);
  ui.StatusChanged("Finished with library DEMO");
  step(Step::kRuleEnds, 9, 9);
  step(Step::kCycleEnds, 9, 9);  // the line was ended with the rule
  // Cut to 29 columns, which also keeps the rate and the time out of the picture.
  const std::string none_read = kClearLine + std::string("DEMO - CLIENTS: 0 of 9 rows, ");
  EXPECT_EQ(err.str(), none_read + kClearLine + "Finished with library DEMO\n" + none_read +
                           kClearLine + "DEMO - CLIENTS: 9 of 9 rows, \n");
}

}  // namespace
}  // namespace sproutsmith::app
