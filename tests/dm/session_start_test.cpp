// Starting the DM session when the client's first way in fails, and connecting a library whose
// database engine nobody can tell.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dm/dm_test_support.h"
#include "support/engine_session.h"

namespace sproutsmith::dm {
namespace {

using testing::Describe;
using testing::ExpectCounts;
using testing::ExpectLogged;

const std::string kRule(70, '-');

class SessionStartTest : public testing::EngineSession {
 protected:
  // The client over the installation whose server refuses the first `refusals` attempts to
  // reach a library's database, as a DM server that is still starting does.
  bool StartWithServerStarting(int refusals) {
    auto left = std::make_shared<int>(refusals);
    return Restart([left](const dmapi::LibraryConfig& library,
                          std::string* error) -> std::unique_ptr<sql::Database> {
      if (*left > 0) {
        --*left;
        if (error) *error = "the DM server is not started yet";
        return nullptr;
      }
      return dmapi::OpenLibraryDatabase(library, error);
    });
  }

  // The log lines from the first one equal to `first`, `count` of them.
  std::vector<std::string> From(const std::string& first, size_t count) const {
    const std::vector<std::string> lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] != first) continue;
      const size_t end = std::min(lines.size(), i + count);
      return {lines.begin() + static_cast<long>(i), lines.begin() + static_cast<long>(end)};
    }
    return {};
  }
};

TEST_F(SessionStartTest, AFailedLogOnFallsBackToTheApplicationLoginAndConnects) {
  install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE", .with_rules = false}});
  ASSERT_TRUE(StartWithServerStarting(1)) << Dump();

  // clang-format off
  const std::vector<std::string> expected = {
      "Starting DM Application Object Sproutsmith DM stand-in", kRule,
      "Logging on to DM Session library DEMO",
      // The log-on failed: no rule after it, the fallback path instead.
      "Starting DM Browser Object", kRule, "Creating Fusion Application Object",
      "Logging in to the Fusion Server", kRule, "Setting Fusion Libraries Object", kRule,
      "Identifying CurrentLibrary Object", "Connecting to current library DEMO", kRule,
      "Connecting to library DEMO"};
  // clang-format on
  EXPECT_EQ(From(expected.front(), expected.size()), expected) << Dump();
  EXPECT_EQ(From("Fusion started with connection to DEMO", 2),
            (std::vector<std::string>{"Fusion started with connection to DEMO", kRule}));
  ExpectCounts(Lines(), {{"Connected to MSSQL 15 Library Object DEMO.", 1}, {"Error: ", 0}});
  EXPECT_TRUE(install_.ui.messages.empty());
  ASSERT_FALSE(install_.ui.statuses.empty());
  EXPECT_EQ(install_.ui.statuses.back(), "Fusion started with connection to DEMO");
  EXPECT_FALSE(install_.ui.busy);

  // The fallback's login serves the SQL object and later switches.
  EXPECT_TRUE(connection().facts().LibraryConnected);
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT");
  EXPECT_TRUE(connection().LastSucceeded()) << Dump();
  EXPECT_EQ(connection().Column(1), Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT"));
  connection().Release();
  EXPECT_TRUE(connection().ConnectLibrary("ARCHIVE")) << Dump();
}

TEST_F(SessionStartTest, TheFirstWayInNeedsNoFallback) {
  install_.Create({{.name = "DEMO", .with_rules = false}});
  ASSERT_TRUE(StartWithServerStarting(0)) << Dump();
  EXPECT_EQ(From("Logging on to DM Session library DEMO", 3),
            (std::vector<std::string>{"Logging on to DM Session library DEMO", kRule,
                                      "Setting Fusion Libraries Object"}));
  ExpectCounts(Lines(),
               {{"Starting DM Browser Object", 0}, {"Logging in to the Fusion Server", 0}});
}

// The fallback gets the session up, but a user that the current library does not know cannot
// connect it: the start fails and nothing is shown beyond the log.
TEST_F(SessionStartTest, AFallbackIntoALibraryThatDoesNotKnowTheUserFailsTheStart) {
  install_.Create({{.name = "DEMO", .with_rules = false}});
  install_.Exec("DEMO", "DELETE FROM PEOPLE WHERE USER_ID = 'DMADMIN'");
  EXPECT_FALSE(Restart());
  ExpectLogged(Lines(), {"Starting DM Browser Object", "Logging in to the Fusion Server"});
  ExpectLogged(Lines(), {"Fusion started with connection to", "Setting PCDClient.PCDSQL Object"},
               0);
  EXPECT_EQ(From("Setting Lib object to DEMO", 5),
            (std::vector<std::string>{
                "Setting Lib object to DEMO", kRule,
                Stamped("Error: ", "Library UserName not identified"),
                Stamped("Error: ",
                        "Library DEMO cannot be used: the user DMADMIN is not in its PEOPLE "
                        "table"),
                kRule}))
      << Dump();
  EXPECT_FALSE(connection().facts().LibraryConnected);
  EXPECT_EQ(connection().LibraryName(), "");
}

// A library whose REMOTE_LIBRARIES row really says engine 0 and whose client cannot tell
// either: the engine stays unknown, the server questions of the Microsoft flavour are not
// asked, and tables are looked up in the DM dictionary.
TEST_F(SessionStartTest, ATrueEngineCodeZeroStaysUnknown) {
  install_.Create({{.name = "ZERO", .engine_code = 0, .with_rules = false}});
  // Present in the database but not in the dictionary: the dictionary is what is asked.
  install_.Exec("ZERO", "DELETE FROM DOCSTABLE WHERE TABLE_NAME = 'NEEDS_FOLDERING'");
  ASSERT_TRUE(Restart()) << Dump();

  // Statements are still written in the Microsoft flavour, so they get its operators.
  const auto& facts = connection().facts();
  EXPECT_EQ(Describe(facts),
            "*Unknown* (0) DOCSADM  level  join ' = ' concat ' + ' [NEXT] connected");
  EXPECT_EQ(facts.ServerVersionText, "");

  EXPECT_EQ(From("SQL Database_Engine value is 0", 4),
            (std::vector<std::string>{"SQL Database_Engine value is 0", kRule,
                                      "SQL Database Owner is DOCSADM", kRule}))
      << Dump();
  // The owner is not known before the first connection: no prefix on either question.
  ExpectLogged(Lines(), {"SELECT DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = "
                         "'ZERO' OPTION (MAXDOP 1)",
                         "Quoted Identifier for database ZERO is ON",
                         "Connected to *Unknown* Library Object ZERO.",
                         "NEEDS_FOLDERING not found in library ZERO"});
  ExpectLogged(Lines(),
               {"@@VERSION", "set dateformat", "serverproperty", "compatibility_level",
                "Database Version is", "Database Compatibility Level is", "SQL Error"},
               0);
  // Every statement after the detection is narrated with the unknown engine.
  EXPECT_EQ(Count("Executing *Unknown* SQL Instruction on ZERO"),
            Count("Executing ") - Count("Executing  SQL Instruction on ZERO"));
  EXPECT_EQ(Describe(connection().library_state()),
            "QUIL_SETTINGS QUIL_SPROUTSMITH SEC_REASON FOLDER.LAST_UPDATE");
}

// Libraries configured with engine code 0, reached from another library: the code is asked
// of the library's REMOTE_LIBRARIES row under the owner learnt from the library before it (no
// owner detection), once.
TEST_F(SessionStartTest, AnEngineCodeZeroLibraryReachedFromAnotherIsAskedWithItsOwnerOnce) {
  install_.Create(
      {{.name = "DEMO", .with_rules = false},
       {.name = "ZERO", .engine_code = 0, .owner = "ZEROOWN", .with_rules = false},
       {.name = "SIX", .engine_code = 0, .stored_engine_code = 6, .with_rules = false}});
  ASSERT_TRUE(Restart()) << Dump();
  for (const auto& [library, owner, engine, name] :
       {std::tuple{"ZERO", "ZEROOWN", 0, "*Unknown*"}, {"SIX", "DOCSADM", 6, "Sybase"}}) {
    SCOPED_TRACE(library);
    const std::string asked = std::string("SELECT DATABASE_ENGINE FROM ") + owner +
                              ".REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + library +
                              "' OPTION (MAXDOP 1)";
    for (int pass = 0; pass < 2; ++pass) {
      ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
      ASSERT_TRUE(connection().ConnectLibrary(library)) << Dump();
      EXPECT_EQ(Count(asked), 1) << Dump();
      const auto& facts = connection().facts();
      EXPECT_EQ(std::tuple(facts.LibraryOwner, facts.DatabaseEngine, facts.EngineName),
                std::tuple(std::string(owner), engine, std::string(name)));
    }
    ExpectCounts(Lines(),
                 {{std::string("Connected to ") + name + " Library Object " + library + ".", 2},
                  {"SQL Database_Engine value is " + std::to_string(engine), 0}});
    EXPECT_TRUE(connection().library_state().HasQuilSettings);
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::dm
