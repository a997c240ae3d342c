// sproutsmith-admin doctor over the demo installation, whole and broken one way at a time.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "admin_process.h"
#include "platform/sql/sqlite_database.h"

namespace sproutsmith::admin {
namespace {

bool Has(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

void Exec(const std::string& file, const std::string& sql) {
  std::string error;
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(file, false, &error);
  ASSERT_TRUE(db) << error;
  ASSERT_TRUE(db->Execute(sql).ok()) << sql;
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
  for (const char* line :
       {"OK   DM configuration file ", "OK   library DEMO opens as user DMADMIN\n",
        "OK   library ARCHIVE has the rule tables QUIL_SETTINGS, QUIL_SPROUTSMITH and "
        "NEEDS_FOLDERING\n",
        "OK   library DEMO has at least one rule (5)\n", "OK   log folder ",
        "OK   General settings are in range\n"}) {
    EXPECT_TRUE(Has(o.out, line)) << line << "\n" << o.out;
  }
  EXPECT_EQ(count, 9) << o.out;
  // The log folder's check leaves nothing behind.
  for (const auto& entry : std::filesystem::directory_iterator(demo.process->temp())) {
    EXPECT_FALSE(Has(entry.path().filename().string(), "doctor")) << entry.path();
  }
}

TEST(DoctorTest, EachBrokenPartGivesItsFailLineAndExitOne) {
  struct Case {
    const char* name;
    std::function<void(DemoProcess&)> breaks;
    std::function<std::string(DemoProcess&)> line;
  };
  const Case cases[] = {
      {"missing configuration", [](DemoProcess& d) { std::filesystem::remove(d.demo.config_path); },
       [](DemoProcess& d) {
         return "FAIL DM configuration file " + d.demo.config_path +
                " (named by SPROUTSMITH_DM) exists and parses: it does not exist; sproutsmith-dm "
                "init-demo makes a trial one there\n";
       }},
      {"malformed configuration",
       [](DemoProcess& d) { testing::WriteFile(d.demo.config_path, "[library\n"); },
       [](DemoProcess& d) { return "exists and parses: " + d.demo.config_path + ":1: "; }},
      {"library file missing", [](DemoProcess& d) { std::filesystem::remove(d.ArchiveFile()); },
       [](DemoProcess& d) {
         return "FAIL library ARCHIVE opens as user DMADMIN: database file " + d.ArchiveFile() +
                " does not exist; correct the library's entry in " + d.demo.config_path +
                " or the database it names\n";
       }},
      {"library file that is no database",
       [](DemoProcess& d) { testing::WriteFile(d.ArchiveFile(), std::string(4096, 'x')); },
       [](DemoProcess& d) {
         return "FAIL library ARCHIVE opens as user DMADMIN: database file " + d.ArchiveFile() +
                " cannot be opened: ";
       }},
      {"user unknown",
       [](DemoProcess& d) {
         Exec(d.ArchiveFile(), "DELETE FROM PEOPLE WHERE USER_ID = 'DMADMIN'");
       },
       [](DemoProcess&) {
         return std::string(
             "FAIL library ARCHIVE opens as user DMADMIN: user DMADMIN is not one of the PEOPLE "
             "of library ARCHIVE;");
       }},
      {"rule table missing",
       [](DemoProcess& d) { Exec(d.DemoFile(), "DROP TABLE NEEDS_FOLDERING"); },
       [](DemoProcess&) {
         return std::string(
             "FAIL library DEMO has the rule tables QUIL_SETTINGS, QUIL_SPROUTSMITH and "
             "NEEDS_FOLDERING: missing NEEDS_FOLDERING;");
       }},
      {"no rule",
       [](DemoProcess& d) {
         Exec(d.DemoFile(), "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY = 'RULE_TEMPLATE'");
       },
       [](DemoProcess&) {
         return std::string("FAIL library DEMO has at least one rule: QUIL_SETTINGS holds no ");
       }},
      // Nobody, root included, can create a file under a regular file.
      {"log folder unwritable",
       [](DemoProcess& d) {
         testing::WriteFile(d.dir.File("plain"), "");
         d.process->SetSetting("General", "LogFile", d.dir.File("plain") + "/logs/S.LOG");
       },
       [](DemoProcess& d) {
         return "FAIL log folder " + d.dir.File("plain") +
                "/logs is writable: a file cannot be created there: Not a directory; ";
       }},
  };
  for (const Case& c : cases) {
    DemoProcess demo;
    c.breaks(demo);
    const Outcome o = demo.process->Run({"doctor"});
    EXPECT_EQ(o.status, 1) << c.name << "\n" << o.out;
    EXPECT_TRUE(Has(o.out, c.line(demo))) << c.name << "\n" << c.line(demo) << "\n" << o.out;
    EXPECT_TRUE(Has(o.err, "check(s) failed")) << c.name << o.err;
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
    EXPECT_TRUE(Has(o.out, line)) << line << o.out;
  }
  EXPECT_FALSE(Has(o.out, "General settings are in range")) << o.out;
  EXPECT_EQ(o.err, "sproutsmith-admin: 5 check(s) failed\n");
}

}  // namespace
}  // namespace sproutsmith::admin
