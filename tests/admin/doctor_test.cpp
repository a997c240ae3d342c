// sproutsmith-admin doctor over the demo installation, whole and broken one way at a time.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "admin_process.h"
#include "support/sql_rows.h"
#include "support/status_assertions.h"
#include "text/text.h"

namespace sproutsmith::admin {
namespace {

using testing::Contains;

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
  struct Case {
    const char* name;
    std::function<void(DemoProcess&)> breaks;
    std::string line;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DemoProcess demo;
    c.breaks(demo);
    const Outcome o = demo.process->Run({"doctor"});
    EXPECT_EQ(o.status, 1) << o.out;
    std::string line = text::Replace(c.line, "{config}", demo.demo.config_path);
    line = text::Replace(line, "{archive}", demo.ArchiveFile());
    EXPECT_TRUE(Contains(o.out, text::Replace(line, "{dir}", demo.dir.path().string())));
    EXPECT_TRUE(Contains(o.err, "check(s) failed"));
  }
}

TEST(DoctorTest, SettingsOutOfRangeAreNamedOneByOne) {
  struct Case {
    const char* key;
    const char* value;
    const char* problem;
  };
  const Case cases[] = {
      {"MaxFolders", "-5", "is not a number of 0 or more"},
      {"Loop_Delay", "soon", "is not a number of 0 or more"},
      {"PauseStart", "25:99", "is not a time HH:MM"},
      {"KeepLogDays", "2.5", "is not a whole number of 0 or more"},
      {"DisplayErrors", "yes", "is not a number (-1 or 0)"},
  };
  DemoProcess demo;
  for (const Case& c : cases) demo.process->SetSetting("General", c.key, c.value);
  const Outcome o = demo.process->Run({"doctor"});
  EXPECT_EQ(o.status, 1) << o.out;
  for (const Case& c : cases) {
    const std::string line = std::string("FAIL General setting ") + c.key + " = " + c.value + ": " +
                             c.problem + "; sproutsmith-admin option " + c.key + " VALUE sets it\n";
    EXPECT_TRUE(Contains(o.out, line));
  }
  EXPECT_FALSE(Contains(o.out, "General settings are in range"));
  EXPECT_EQ(o.err, "sproutsmith-admin: 5 check(s) failed\n");
}

}  // namespace
}  // namespace sproutsmith::admin
