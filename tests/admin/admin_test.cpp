// sproutsmith-admin as a shell user runs it: a child process over a test installation,
// read back through its per-user settings file, the library files and the daily log.

#include <gtest/gtest.h>

#include <filesystem>

#include "admin_process.h"
#include "platform/os/environment.h"
#include "support/status_assertions.h"

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
  struct Case {
    const char* name;
    const char* value;
    const char* saved;
  };
  // clang-format off
  const Case cases[] = {
      {"SiteName", "HOLLOWBRINK", "HOLLOWBRINK"}, {"loop", "yes", "-1"}, {"DisplayErrors", "0", "0"},
      {"MaxFolders", "25", "25"}, {"PauseStart", "7:05", "07:05"}, {"KeepLogDays", "7", "7"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Outcome o = Run({"option", c.name, c.value});
    EXPECT_EQ(o.status, 0) << c.name << o.err;
    const Outcome shown = Run({"option", c.name});
    EXPECT_TRUE(Contains(shown.out, std::string(" = ") + c.saved + "\n"));
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
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::string rule = "no rule NORULE under library DEMO " + rules;
  const std::string library = "no library NOWHERE in this DM session " + libraries;
  // clang-format off
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 1) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(o.err, "sproutsmith-admin: " + c.error) << c.args[0];
    EXPECT_EQ(o.out, "") << c.args[0];
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

}  // namespace
}  // namespace sproutsmith::admin
