// sproutsmith-admin as a shell user runs it: a child process over a test installation,
// read back through its per-user settings file, the library files and the daily log. Its
// status over run reports written by the program's own report writer, doctor over the demo
// installation whole and broken one way at a time, and preview, after which the library files
// are byte for byte what they were and the folders it names are the ones the program builds.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <tuple>

#include "admin_process.h"
#include "app/run_report.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/os/environment.h"
#include "platform/os/instance_lock.h"
#include "platform/sql/sqlite_database.h"
#include "support/new_rows.h"
#include "support/product_name.h"
#include "support/sql_rows.h"
#include "support/status_assertions.h"
#include "text/text.h"

namespace sproutsmith::admin {
namespace {

using Rows = std::vector<std::vector<std::string>>;

using testing::Contains;

class AdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE"}});
    process_ = std::make_unique<AdminProcess>(install_);
  }
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    return process_->Run(args, input);
  }
  void Exec(const std::string& library, const std::string& sql) { install_.Exec(library, sql); }
  std::string Scalar(const std::string& library, const std::string& sql) {
    return install_.Scalar(library, sql);
  }
  void Track(const std::string& rule, const std::string& table, int sid) {
    Exec("DEMO",
         "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
         "VALUES (" +
             std::to_string(sid) + ", '" + table + "', '" + rule + "', 0, '')");
  }
  // The "libraries" listing with the marks of DEMO:CLIENTS and of ARCHIVE.
  static std::string Listing(const std::string& clients, const std::string& archive) {
    return "[x] DEMO\n    [x] CLIENT MATTERS\n    [" + clients + "] CLIENTS\n[" + archive +
           "] ARCHIVE\n    [x] CLIENT MATTERS\n    [x] CLIENTS\n";
  }
  std::string Tracked(const std::string& where) {
    return Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE " + where);
  }

  testing::DmInstallation install_;
  std::unique_ptr<AdminProcess> process_;
};

TEST_F(AdminTest, UsageErrorsExitWithTwoAndHelpListsTheCommands) {
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Contains(help.out, "preview LIB RULE [--limit N]"));
  // clang-format off
  const std::vector<std::string> usage_errors[] = {
      {}, {"frobnicate"}, {"reset", "DEMO"}, {"libraries", "--frobnicate"}, {"sql", "show", "DEMO"},
      {"untrack", "DEMO", "CLIENTS", "CLIENT", "x"}};
  // clang-format on
  for (const std::vector<std::string>& args : usage_errors) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 2) << (args.empty() ? "" : args[0]) << o.err;
    EXPECT_TRUE(Contains(o.err, "sproutsmith-admin: "));
  }
}

TEST_F(AdminTest, MarksOfLibrariesAndRulesAreListedAndSavedInTheSettingsFile) {
  Outcome o = Run({"libraries"});
  ASSERT_EQ(o.status, 0) << o.err << process_->Log();
  EXPECT_EQ(o.out, Listing("x", "x"));

  EXPECT_EQ(Run({"uncheck", "demo:clients"}).out, "[ ] DEMO:CLIENTS\n");
  EXPECT_EQ(Run({"uncheck", "archive"}).out, "[ ] ARCHIVE\n");
  EXPECT_EQ(process_->Setting("Rules", "DEMO:CLIENTS"), "0");
  EXPECT_EQ(process_->Setting("Libraries", "ARCHIVE"), "0");
  EXPECT_EQ(Run({"libraries"}).out, Listing(" ", " "));

  EXPECT_EQ(Run({"check", "DEMO:Clients"}).status, 0);
  EXPECT_EQ(process_->Setting("Rules", "DEMO:CLIENTS"), "-1");
}

TEST_F(AdminTest, OptionsAreShownAndSetInTheGeneralSection) {
  // clang-format off
  const char* const cases[][3] = {  // name, value, as shown
      {"SiteName", "HOLLOWBRINK", "HOLLOWBRINK"}, {"loop", "yes", "-1"}, {"MaxFolders", "25", "25"},
      {"DisplayErrors", "0", "0"}, {"PauseStart", "7:05", "07:05"}, {"KeepLogDays", "7", "7"},
  };
  // clang-format on
  for (const auto& [name, value, saved] : cases) {
    const Outcome o = Run({"option", name, value});
    EXPECT_EQ(o.status, 0) << name << o.err;
    const Outcome shown = Run({"option", name});
    EXPECT_TRUE(Contains(shown.out, std::string(" = ") + saved + "\n"));
  }
  EXPECT_EQ(process_->Setting("General", "Loop"), "-1");

  const std::string before = process_->SettingsFile();
  using Pair = std::pair<std::string, std::string>;
  for (const auto& [name, value] : {Pair{"Loop", "maybe"}, Pair{"MaxFolders", "-5"},
                                    Pair{"KeepLogDays", "2.5"}, Pair{"PauseEnd", "25:00"}}) {
    const Outcome o = Run({"option", name, value});
    EXPECT_EQ(o.status, 1) << name;
    EXPECT_TRUE(Contains(o.err, "not a value for " + name + ": " + value));
  }
  Outcome o = Run({"option", "Colour", "red"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(Contains(o.err, "unknown option Colour (options: DisplayErrors, ReUseSQL"));
  EXPECT_TRUE(Contains(o.err, "SiteName)"));
  EXPECT_EQ(process_->SettingsFile(), before);

  o = Run({"options"});
  EXPECT_TRUE(Contains(o.out, "ReUseSQL = 0 (default)\n"));
  EXPECT_TRUE(Contains(o.out, "SiteName = HOLLOWBRINK\n"));
}

TEST_F(AdminTest, ResetWithNothingToRemoveSucceedsAndRemovesOnlyAfterYes) {
  Outcome o = Run({"reset", "DEMO", "CLIENTS"});
  EXPECT_EQ(o.status, 0) << o.err;

  Exec("DEMO",
       "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, KEY_TYPE) VALUES "
       "('ARBORLINE', 'RULE_TEMPLATE', 'O''NEIL_1%', '%CLIENT.CLIENT_ID%', 1)");
  Track("O''NEIL_1%", "CLIENT", 1);
  Track("O''NEIL_1%", "MATTER", 2);
  o = Run({"reset", "DEMO", "o'neil_1%"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "sproutsmith-admin: not confirmed: nothing was changed\n");
  EXPECT_EQ(Tracked("1 = 1"), "2");

  o = Run({"reset", "DEMO", "o'neil_1%", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Contains(o.out, "Procedure complete with 2 row(s) removed.\n"));
  EXPECT_EQ(Tracked("1 = 1"), "0");
}

TEST_F(AdminTest, SetCurrentTrackingAndUntrack) {
  Exec("DEMO",
       "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, KEY_TYPE) VALUES "
       "('ARBORLINE', 'RULE_TEMPLATE', 'MATTER''S_%', '%MATTER.MATTER_ID%', 1)");
  const std::string matters = Scalar("DEMO", "SELECT COUNT(*) FROM MATTER");

  Outcome o = Run({"set-current", "DEMO", "matter's_%", "--yes"});
  ASSERT_EQ(o.status, 0) << o.err << process_->Log();

  o = Run({"tracking", "demo"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "Quil_Sproutsmith contents in library DEMO (Total: " + matters +
                       ")\nRULE\tTABLE\tROWS\nMATTER'S_%\tMATTER\t" + matters + "\n");
  o = Run({"tracking", "DEMO", "MATTER'S_%", "--rows"});
  const std::string first = Scalar("DEMO", "SELECT MIN(SYSTEM_ID) FROM MATTER");
  const std::string last = Scalar("DEMO", "SELECT MAX(SYSTEM_ID) FROM MATTER");
  EXPECT_TRUE(Contains(o.out, "RULE\tTABLE\tSID\nMATTER'S_%\tMATTER\t" + first + "\n"));
  EXPECT_TRUE(Contains(o.out, "MATTER'S_%\tMATTER\t" + last + "\n"));
  EXPECT_EQ(
      Run({"tracking", "DEMO", "CLIENTS"}).out,
      "Quil_Sproutsmith contents in library DEMO (Total: " + matters + ")\nRULE\tTABLE\tROWS\n");

  o = Run({"untrack", "DEMO", "matter's_%", "matter", first, last, "999999"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(Tracked("1 = 1"), matters);
  o = Run({"untrack", "DEMO", "matter's_%", "matter", first, last, "999999", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Contains(o.err, "not tracked: matter's_% matter 999999"));
  EXPECT_TRUE(Contains(o.out, "2 row(s) removed from QUIL_SPROUTSMITH in library DEMO\n"));
  EXPECT_EQ(Tracked("SID IN (" + first + ", " + last + ")"), "0");
  EXPECT_EQ(std::stoi(Tracked("1 = 1")), std::stoi(matters) - 2);
}

TEST_F(AdminTest, SavedStatementIsStoredInPartsShownTestedAndCleared) {
  const std::string file = process_->WorkFile("clients.sql", "SELECT    SYSTEM_ID  FROM CLIENT\n");

  // Without --yes nobody answers "test first?": an untested statement is not saved.
  Outcome o = Run({"sql", "set", "DEMO", "clients", file});
  EXPECT_EQ(o.status, 1) << o.err << o.out;
  EXPECT_EQ(o.err,
            "sproutsmith-admin: not tested: nothing was saved (--yes tests it and saves it if "
            "it passes)\n");
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE "
                   "'RULE_SPROUTSMITH_SQL%'"),
            "0");
  o = Run({"sql", "set", "DEMO", "clients", file, "--yes"});
  ASSERT_EQ(o.status, 0) << o.err << o.out;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Run({"sql", "show", "DEMO", "CLIENTS"}).out, "SELECT SYSTEM_ID FROM CLIENT\n");
  std::string huge = "SELECT SYSTEM_ID FROM CLIENT WHERE";
  while (huge.size() < 3100) huge += " SYSTEM_ID > 0 AND";
  o = Run(
      {"sql", "set", "DEMO", "CLIENTS", process_->WorkFile("huge.sql", huge + " 1 = 1"), "--yes"});
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_TRUE(Contains(o.err, "stored in 6 parts; the program reads only the first three"));

  // From stdin, tested first with --yes.
  o = Run({"sql", "set", "DEMO", "CLIENTS", "-", "--yes"},
          "SELECT   SYSTEM_ID\n   FROM [OWNER].CLIENT\n");
  ASSERT_EQ(o.status, 0) << o.err << o.out;
  const std::string clients = Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT");
  EXPECT_TRUE(Contains(o.out, "Results: " + clients + " item(s) returned from test on DEMO\n"));
  o = Run({"sql", "test", "DEMO", "CLIENTS"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Contains(o.out, "Results: " + clients + " item(s) returned from test on DEMO\n"));

  EXPECT_EQ(Run({"sql", "clear", "DEMO", "CLIENTS"}).status, 1);
  EXPECT_EQ(Run({"sql", "show", "DEMO", "CLIENTS"}).out, "SELECT SYSTEM_ID FROM DOCSADM.CLIENT\n");
  o = Run({"sql", "clear", "DEMO", "CLIENTS", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  o = Run({"sql", "show", "DEMO", "CLIENTS"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "");
  EXPECT_TRUE(Contains(o.err, "has no saved statement"));
  EXPECT_EQ(Run({"sql", "test", "DEMO", "CLIENTS"}).status, 1);
}

TEST_F(AdminTest, AnUnknownLibraryOrRuleIsRefusedBeforeAnyQuestion) {
  const std::string rules = "(rules: CLIENT MATTERS, CLIENTS)\n";
  const std::string libraries = "(libraries: DEMO, ARCHIVE)\n";
  const std::string rule = "no rule NORULE under library DEMO " + rules;
  const std::string library = "no library NOWHERE in this DM session " + libraries;
  // clang-format off
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"reset", "DEMO", "NORULE", "--yes"}, rule},
      {{"set-current", "DEMO", "NORULE"}, rule},
      {{"tracking", "DEMO", "NORULE"}, rule},
      {{"untrack", "DEMO", "NORULE", "CLIENT", "1", "--yes"}, rule},
      {{"sql", "clear", "DEMO", "NoRule", "--yes"}, "no rule NoRule under library DEMO " + rules},
      {{"preview", "DEMO", "NORULE"}, rule},
      {{"uncheck", "DEMO:NORULE"}, rule},
      {{"check", "NOWHERE"}, library},
      {{"reset", "NOWHERE", "CLIENTS", "--yes"}, library},
      {{"tracking", "NOWHERE"}, library},
      {{"preview", "NOWHERE", "CLIENTS"}, library},
      {{"clear-nodes", "NOWHERE"}, library},
  };
  // clang-format on
  Track("CLIENTS", "CLIENT", 1);
  for (const auto& [args, error] : cases) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 1) << args[0] << " " << args[1];
    EXPECT_EQ(o.err, "sproutsmith-admin: " + error) << args[0];
    EXPECT_EQ(o.out, "") << args[0];
  }
  EXPECT_EQ(Tracked("1 = 1"), "1");
  EXPECT_EQ(process_->Setting("Rules", "DEMO:NORULE"), "<absent>");
}

TEST_F(AdminTest, LibrariesSaysWhyALibraryIsUnreachable) {
  const std::string file = install_.LibraryFile("ARCHIVE");
  std::filesystem::remove(file);
  const Outcome o = Run({"libraries"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(Contains(o.out, "[x] DEMO\n    [x] CLIENT MATTERS\n"));
  EXPECT_TRUE(
      Contains(o.out, "[x] ARCHIVE  (unreachable: database file " + file + " does not exist"));
  EXPECT_EQ(o.err, "sproutsmith-admin: unreachable: ARCHIVE\n");
}

TEST_F(AdminTest, ClearNodesRemovesThisComputersRowsOrEveryRowAfterYes) {
  const std::string me = os::ComputerName();
  ASSERT_FALSE(me.empty());
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    install_.AddRunningNode(library, me + ":CLIENTS");
    install_.AddRunningNode(library, "OTHER-PC:CLIENTS");
  }
  auto nodes = [&](const std::string& library) { return install_.RunningNodes(library); };
  Outcome o = Run({"clear-nodes", "archive"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(nodes("ARCHIVE"), (Rows{{"OTHER-PC:CLIENTS"}}));
  EXPECT_EQ(nodes("DEMO").size(), 2u);
  o = Run({"clear-nodes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Contains(o.out, "in DEMO\n"));
  EXPECT_EQ(nodes("DEMO"), (Rows{{"OTHER-PC:CLIENTS"}}));

  o = Run({"clear-nodes", "--all-computers"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(nodes("DEMO").size(), 1u);
  o = Run({"clear-nodes", "--all-computers", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(nodes("DEMO").empty());
  EXPECT_TRUE(nodes("ARCHIVE").empty());
}

const std::string kLogStem = std::string(testing::kProductName) + "_";

app::RuleReport Rule(const char* rule, const char* outcome, int folders,
                     const char* first_error = "") {
  return {.library = "DEMO",
          .rule = rule,
          .outcome = outcome,
          .first_error = first_error,
          .rows_selected = folders,
          .folders_created = folders};
}

TEST(AdminStatusTest, EachRulesLatestRunTheUncheckedLibrariesAndTheRunLock) {
  testing::DmInstallation install;
  install.Create({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  const AdminProcess admin(install);

  const Outcome none = admin.Run({"status"});
  EXPECT_EQ(none.status, 0);
  EXPECT_TRUE(testing::Contains(none.out, "No run report yet in " + admin.temp()));

  // An earlier run with two rules, then a later one with only one of them.
  app::CycleReport earlier;
  earlier.rules = {Rule("CLIENTS", app::rule_outcome::kFinished, 21),
                   Rule("MATTERS", app::rule_outcome::kFailedRows, 3, "Error: row 7 refused")};
  app::CycleReport later;
  later.rules = {Rule("CLIENTS", app::rule_outcome::kFinished, 0)};
  const std::tuple<const char*, const char*, const app::CycleReport*, int> runs[] = {
      {"20261206_090000.json", "2026-12-06T09:00:00", &earlier, 2},
      {"20261206_091500.json", "2026-12-06T09:15:00", &later, 0}};
  for (const auto& [name, started, cycle, exit_status] : runs) {
    const app::RunReport report{
        .started = started,
        .ended = started,
        .exit_status = exit_status,
        .cycles = 1,
        .last = cycle,
        .unchecked_libraries = {{"ARCHIVE", "Error: Library ARCHIVE cannot be used: gone"}}};
    testing::WriteFile(admin.temp() + "/" + kLogStem + name, app::RunReportJson(report));
  }
  testing::WriteFile(admin.temp() + "/" + kLogStem + "20261206_093000.json", "{ half");

  const Outcome o = admin.Run({"status"});
  EXPECT_EQ(o.status, 0) << o.err;
  for (const std::string line :
       {"Running now: no run on this computer",
        "Last run: started 2026-12-06T09:15:00, ended 2026-12-06T09:15:00: finished (exit 0)",
        "  ARCHIVE: Error: Library ARCHIVE cannot be used: gone\n",
        "  DEMO - CLIENTS: 2026-12-06T09:15:00 finished, 0 row(s) selected, 0 folder(s) created",
        "  DEMO - MATTERS: 2026-12-06T09:00:00 failed rows, 3 row(s) selected, 3 folder(s) "
        "created, 0 row(s) failed; Error: row 7 refused\n"}) {
    EXPECT_TRUE(testing::Contains(o.out, line));
  }

  // A run under way holds the lock of the installation and computer.
  const os::InstanceLock held = os::InstanceLock::Take(admin.config(), os::ComputerName());
  ASSERT_TRUE(held.held());
  const Outcome running = admin.Run({"status"});
  EXPECT_TRUE(testing::Contains(running.out, "Running now: a run is under way on this computer (" +
                                                 os::ComputerName() + "), process " +
                                                 std::to_string(::getpid())));
}

TEST(DoctorTest, AFreshDemoInstallationPassesEveryCheck) {
  DemoProcess demo;
  const Outcome o = demo.process->Run({"doctor"});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  std::istringstream lines(o.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.substr(0, 5), "OK   ") << line;
  }
  EXPECT_TRUE(Contains(o.out, "OK   library DEMO has at least one rule (5)\n"));
  EXPECT_TRUE(Contains(o.out, "OK   General settings are in range\n"));
  EXPECT_EQ(count, 9) << o.out;
  // The log folder's check leaves nothing behind.
  for (const auto& entry : std::filesystem::directory_iterator(demo.process->temp())) {
    EXPECT_FALSE(Contains(entry.path().filename().string(), "doctor"));
  }
}

TEST(DoctorTest, EachBrokenPartGivesItsFailLineAndExitOne) {
  // The line names the demo's files: {config}, {archive} and the folder {dir}.
  const std::tuple<const char*, std::function<void(DemoProcess&)>, std::string> cases[] = {
      {"missing configuration", [](DemoProcess& d) { std::filesystem::remove(d.demo.config_path); },
       "FAIL DM configuration file {config} (named by SPROUTSMITH_DM) exists and parses: it does "
       "not exist; sproutsmith-dm init-demo makes a trial one there\n"},
      {"malformed configuration",
       [](DemoProcess& d) { testing::WriteFile(d.demo.config_path, "[library\n"); },
       "exists and parses: {config}:1: "},
      {"library file missing", [](DemoProcess& d) { std::filesystem::remove(d.ArchiveFile()); },
       "FAIL library ARCHIVE opens as user DMADMIN: database file {archive} does not exist; "
       "correct the library's entry in {config} or the database it names\n"},
      {"library file that is no database",
       [](DemoProcess& d) { testing::WriteFile(d.ArchiveFile(), std::string(4096, 'x')); },
       "FAIL library ARCHIVE opens as user DMADMIN: database file {archive} cannot be opened: "},
      {"user unknown",
       [](DemoProcess& d) {
         testing::ReadFileRows(d.ArchiveFile(), "DELETE FROM PEOPLE WHERE USER_ID = 'DMADMIN'");
       },
       "FAIL library ARCHIVE opens as user DMADMIN: user DMADMIN is not one of the PEOPLE of "
       "library ARCHIVE;"},
      {"rule table missing",
       [](DemoProcess& d) { testing::ReadFileRows(d.DemoFile(), "DROP TABLE NEEDS_FOLDERING"); },
       "FAIL library DEMO has the rule tables QUIL_SETTINGS, QUIL_SPROUTSMITH and "
       "NEEDS_FOLDERING: missing NEEDS_FOLDERING;"},
      {"no rule",
       [](DemoProcess& d) {
         testing::ReadFileRows(d.DemoFile(),
                               "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY = 'RULE_TEMPLATE'");
       },
       "FAIL library DEMO has at least one rule: QUIL_SETTINGS holds no "},
      // Nobody, root included, can create a file under a regular file.
      {"log folder unwritable",
       [](DemoProcess& d) {
         testing::WriteFile(d.dir.File("plain"), "");
         d.process->SetSetting("General", "LogFile", d.dir.File("plain") + "/logs/S.LOG");
       },
       "FAIL log folder {dir}/plain/logs is writable: a file cannot be created there: Not a "
       "directory; "},
  };
  for (const auto& [name, breaks, expected] : cases) {
    SCOPED_TRACE(name);
    DemoProcess demo;
    breaks(demo);
    const Outcome o = demo.process->Run({"doctor"});
    EXPECT_EQ(o.status, 1) << o.out;
    std::string line = text::Replace(expected, "{config}", demo.demo.config_path);
    line = text::Replace(line, "{archive}", demo.ArchiveFile());
    EXPECT_TRUE(Contains(o.out, text::Replace(line, "{dir}", demo.dir.path().string())));
    EXPECT_TRUE(Contains(o.err, "check(s) failed"));
  }
}

TEST(DoctorTest, SettingsOutOfRangeAreNamedOneByOne) {
  const char* const cases[][3] = {
      // key, value, problem
      {"MaxFolders", "-5", "is not a number of 0 or more"},
      {"Loop_Delay", "soon", "is not a number of 0 or more"},
      {"PauseStart", "25:99", "is not a time HH:MM"},
      {"KeepLogDays", "2.5", "is not a whole number of 0 or more"},
      {"DisplayErrors", "yes", "is not a number (-1 or 0)"},
  };
  DemoProcess demo;
  for (const auto& [key, value, problem] : cases) demo.process->SetSetting("General", key, value);
  const Outcome o = demo.process->Run({"doctor"});
  EXPECT_EQ(o.status, 1) << o.out;
  for (const auto& [key, value, problem] : cases) {
    const std::string line = std::string("FAIL General setting ") + key + " = " + value + ": " +
                             problem + "; sproutsmith-admin option " + key + " VALUE sets it\n";
    EXPECT_TRUE(Contains(o.out, line));
  }
  EXPECT_FALSE(Contains(o.out, "General settings are in range"));
  EXPECT_EQ(o.err, "sproutsmith-admin: 5 check(s) failed\n");
}

using Paths = std::set<std::string>;

const std::vector<std::string> kRules = {"CLIENT MATTERS", "CLIENTS", "CLIENT NAMES", "MAIL ROOM"};

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
