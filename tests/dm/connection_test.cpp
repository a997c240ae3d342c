// The DM session and the library connection: start-up and its fallback, what connecting a
// library learns and repairs, switching libraries and what the SQL gateway narrates.

#include "dm/connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "dm/describe_connection.h"
#include "dm/sql_text.h"
#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"
#include "support/product_name.h"
#include "support/test_params.h"
#include "text/text.h"

namespace sproutsmith::dm {
namespace {

using testing::Describe;
using LogCounts = std::map<std::string, int>;

// Expects each fragment to stand in that many of `lines`.
void ExpectCounts(const std::vector<std::string>& lines, const LogCounts& expected) {
  LogCounts counted;
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  for (const auto& [fragment, n] : expected) {
    counted[fragment] = static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](auto& l) {
      return l.find(fragment) != std::string::npos;
    }));
  }
  EXPECT_EQ(counted, expected) << text;
}

// Expects each fragment in `times` of `lines`.
void ExpectLogged(const std::vector<std::string>& lines, const std::vector<std::string>& fragments,
                  int times = 1) {
  LogCounts expected;
  for (const std::string& fragment : fragments) expected[fragment] = times;
  ExpectCounts(lines, expected);
}

const std::string kRule(70, '-');
constexpr const char* kProduct = testing::kProductName;
constexpr std::uint32_t kServerInterfaceNotLoaded = 0x80010105u;

// A library's database as the DM server runs it: a statement holding `busy` keeps the server
// busy for `busy_seconds` on the session's clock before it runs; a statement holding
// `refused` never reaches the database and comes back with `refusal_code`, as the client
// answers when it cannot talk to the server.
class ServerBehaviour final : public sql::Database {
 public:
  ServerBehaviour(std::unique_ptr<sql::Database> inner, os::FixedClock& clock)
      : inner_(std::move(inner)), clock_(clock) {}

  std::string busy;
  long busy_seconds = 0;
  std::string refused;
  int refusal_code = 0;

  sql::Backend backend() const override { return inner_->backend(); }
  sql::ExecResult Execute(std::string_view statement) override {
    if (const auto answer = Answer(statement)) return *answer;
    return inner_->Execute(statement);
  }
  sql::ExecResult Execute(std::string_view statement,
                          const std::vector<sql::Value>& params) override {
    if (const auto answer = Answer(statement)) return *answer;
    return inner_->Execute(statement, params);
  }
  sql::ExecResult ExecuteScript(std::string_view script) override {
    return inner_->ExecuteScript(script);
  }
  bool Begin() override { return inner_->Begin(); }
  bool Commit() override { return inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  std::string Location() const override { return inner_->Location(); }
  bool TakeBusy() override { return inner_->TakeBusy(); }

 private:
  std::optional<sql::ExecResult> Answer(std::string_view statement) {
    const std::string text(statement);
    if (!busy.empty() && text::InStrNoCase(text, busy) > 0) clock_.Advance(busy_seconds);
    if (refused.empty() || text::InStrNoCase(text, refused) == 0) return std::nullopt;
    sql::ExecResult r;
    r.status.code = refusal_code;
    r.error_number = refusal_code;
    r.status.text = "[Microsoft][COM] The server threw an exception.";
    return r;
  }

  std::unique_ptr<sql::Database> inner_;
  os::FixedClock& clock_;
};

// A started session over a real installation; the log and the library files are read back.
class ConnectionTest : public testing::EngineSession {
 public:
  using EngineSession::connection;
  using EngineSession::Exec;

  // DEMO (owner DOCSADM, every table) and OTHER (its own owner, no QUIL tables), so that a
  // fact of the wrong library shows in every statement and flag.
  void StartTwo() {
    Start({{.name = "DEMO"},
           {.name = "OTHER", .owner = "OTHEROWN", .with_rules = false, .with_quil_tables = false}});
  }

  // The connected library answers in its own terms: its owner, its tables, its objects.
  void ExpectDemoConnected(const std::string& why) {
    SCOPED_TRACE(why);
    EXPECT_EQ(connection().LibraryName(), "DEMO");
    EXPECT_EQ(connection().application()->CurrentLibrary()->Name(), "DEMO");
    EXPECT_EQ(
        Describe(connection().facts()),
        "MSSQL 15 (10) DOCSADM 15.0.2000.5 level 150 join ' = ' concat ' + ' [NEXT] connected");
    EXPECT_EQ(Describe(connection().library_state()),
              "QUIL_SETTINGS QUIL_SPROUTSMITH NEEDS_FOLDERING SEC_REASON FOLDER.LAST_UPDATE");
    connection().RunSQL("SELECT COUNT(*) FROM [OWNER].QUIL_SETTINGS");
    EXPECT_TRUE(connection().LastSucceeded()) << Dump();
    EXPECT_EQ(connection().Column(1), Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SETTINGS"));
    connection().Release();
  }

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

  // DEMO started over a server whose behaviour the test sets through server_.
  void StartDemo() {
    install_.Create({{.name = "DEMO", .with_rules = false}});
    ASSERT_TRUE(Restart([this](const dmapi::LibraryConfig& library,
                               std::string* error) -> std::unique_ptr<sql::Database> {
      std::unique_ptr<sql::Database> db = dmapi::OpenLibraryDatabase(library, error);
      if (!db) return nullptr;
      auto wrapped = std::make_unique<ServerBehaviour>(std::move(db), install_.clock);
      server_ = wrapped.get();
      return wrapped;
    })) << Dump();
    ASSERT_NE(server_, nullptr);
  }

  // The line after the first one since the last Mark() equal to `line` ("<none>": none).
  std::string After(const std::string& line) const {
    const auto lines = LinesSince();
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i] == line) return lines[i + 1];
    }
    return "<none>";
  }
  std::string Setting(const std::string& section, const std::string& key) {
    return install_.settings.Get(kProduct, section, key, "<absent>");
  }

  // A new process start whose servers (of `only`, when not "") refuse every statement
  // holding `refused` ("" none).
  bool RestartRefusing(const std::string& refused, const std::string& only = "") {
    return Restart(testing::FaultInjectingOpener(
        [refused](const std::string&, sql::FaultInjectingDatabase& db) {
          db.FailStatementsContaining(refused);
        },
        only));
  }

  ServerBehaviour* server_ = nullptr;
};

TEST_F(ConnectionTest, ASecondConnectionRunsNoDetectionAndNoPreparation) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  EXPECT_FALSE(connection_->ConnectLibrary("ELSEWHERE"));
  EXPECT_EQ(Count("Unable to define library ELSEWHERE in requisite Library Array"), 1);
  EXPECT_FALSE(connection_->ConnectLibrary("  "));
  EXPECT_EQ(Count("Library name is blank - cannot change connection"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  ASSERT_TRUE(connection_->ConnectLibrary("archive"));
  const int statements = Count("Executing ");
  const size_t lines = install_.LogLines().size();
  EXPECT_TRUE(connection_->ConnectLibrary("Archive"));  // already connected: nothing logged
  EXPECT_EQ(install_.LogLines().size(), lines);
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  ASSERT_TRUE(connection_->ConnectLibrary("ARCHIVE"));
  EXPECT_EQ(Count("Executing "), statements) << Dump();
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object ARCHIVE."), 2);
  EXPECT_TRUE(connection_->library_state().HasQuilSettings);
}

TEST_F(ConnectionTest, AnOracleLibraryIsNarratedInItsFlavour) {
  Start({{.name = "ORA", .engine_code = 2, .owner = "ORAOWN"}});
  EXPECT_TRUE(connection_->library_state().HasQuilSettings) << Dump();
  // Table checks run with the verbose log switched off; the owner, unknown on the first
  // connection, is read without the prefix.
  ExpectCounts(Lines(),
               {{"SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'QUIL_SETTINGS'", 0},
                {"SQL Error", 0},
                {"@@VERSION", 0},
                {"SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'", 1}});
}

TEST_F(ConnectionTest, RunSqlNarratesEveryOutcomeAndRecreatesALostSqlObject) {
  Start({{.name = "DEMO"}});
  auto* sql = connection_->sql();
  const size_t lines = install_.LogLines().size();
  EXPECT_FALSE(connection_->RunSQL(""));
  EXPECT_EQ(install_.LogLines().size(), lines);

  Mark();
  EXPECT_TRUE(
      connection_->RunSQL("UPDATE [OWNER].CLIENT SET CLIENT_NAME = CLIENT_NAME WHERE 1 = 0"));
  EXPECT_EQ(Since("SQL Instruction Executed with nothing added or changed in library DEMO"), 1);

  Mark();
  connection_->RunSQL("SELECT COUNT(*) FROM [OWNER].MATTER");
  EXPECT_EQ(Since("SQL Instruction Executed Successfully on DEMO with 1 row(s) returned."), 1);
  EXPECT_EQ(Since("SQL Results: 8"), 1) << Dump();

  Mark();
  connection_->RunSQL("UPDATE [OWNER].MATTER SET MATTER_ID = MATTER_ID");
  EXPECT_EQ(Since("SQL Instruction Executed Successfully on DEMO with 8 row(s) processed."), 1);

  Mark();
  connection_->RunSQL("SELECT ANYTHING FROM [OWNER].NOWHERE");
  EXPECT_NE(sql->GetSQLErrorCode(), 0);
  EXPECT_EQ(Since("SQL Error #1 (no such table: NOWHERE) encountered in library DEMO"), 1)
      << Dump();
  EXPECT_EQ(Since("SELECT ANYTHING FROM DOCSADM.NOWHERE OPTION (MAXDOP 1)"), 1);

  connection_->RunSQL("SELECT CLIENT_ID FROM [OWNER].CLIENT ORDER BY CLIENT_ID");
  EXPECT_EQ(connection_->Column(1), "C0001");  // positioned on the first row
  EXPECT_EQ(sql->GetSQLErrorCode(), 0);

  connection_->LoseSqlObjectForTest();
  EXPECT_TRUE(connection_->RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT"));
  EXPECT_EQ(Count("CheckFusion is Re-Setting PCDClient.PCDSQL Object"), 1);
  EXPECT_EQ(connection_->Column(1), "4");
  // TableExists reports a missing table and leaves the verbose setting as it found it.
  install_.options.CheckLogMethod = 1;
  EXPECT_FALSE(connection_->TableExists("NO_SUCH_TABLE"));
  EXPECT_TRUE(connection_->TableExists("PROFILE"));
  EXPECT_EQ(install_.options.CheckLogMethod, 1);
  EXPECT_EQ(Count("NO_SUCH_TABLE not found in library DEMO"), 1);
  EXPECT_EQ(Count("object_id('DOCSADM.NO_SUCH_TABLE')"), 0);
}

TEST_F(ConnectionTest, MissingTablesSkipTheirStatementsAndOnlyClearTheirFlags) {
  Start({{.name = "BARE", .with_quil_tables = false, .with_optional_tables = false}});
  EXPECT_EQ(Describe(connection_->library_state()), "FOLDER.LAST_UPDATE");
  EXPECT_TRUE(connection_->facts().LibraryConnected);
  // No settings query without the table, nothing counted without SEC_REASON.
  ExpectCounts(Lines(), {{"QUIL_SPROUTSMITH table does not exist in library BARE", 1},
                         {"FROM DOCSADM.QUIL_SETTINGS", 0},
                         {"FROM DOCSADM.SEC_REASON", 0},
                         {"SQL Error", 0}});
}

TEST_F(ConnectionTest, QuotedIdentifiersOffStillConnectsWithTheWarning) {
  install_.Create({{.name = "DEMO"}});
  install_.Exec("DEMO", "UPDATE STANDIN_SYS_DATABASES SET IS_QUOTED_IDENTIFIER_ON = 0");
  install_.options.CheckLogMethod = 0;
  ASSERT_TRUE(Restart());
  ExpectCounts(Lines(), {{"Warning: ", 1},
                         {"The SQL option 'QUOTED_IDENTIFIER' is set to 'OFF' in the database "
                          "DEMO for library DEMO!",
                          1},
                         {"ALTER DATABASE DEMO SET QUOTED_IDENTIFIER ON", 1}});
}

TEST_F(ConnectionTest, ALostApplicationFailsCheckFusionAndAsksToExit) {
  Start({{.name = "DEMO"}});
  bool ended = false;
  connection_->SetProgramEnd([&] { ended = true; });
  connection_->LoseApplicationForTest();
  install_.ui.answers.push_back(runtime::Answer::kYes);
  EXPECT_FALSE(connection_->RunSQL("SELECT 1"));
  EXPECT_TRUE(ended);
  // Errors carry their time stamp after the prefix.
  EXPECT_EQ(Count("Error: 2020-11-14 09:30:15.00  Fusion object is not set for RunSQL"), 1)
      << Dump();
  EXPECT_EQ(Count("CheckFusion failed on RunSQL on Saturday, November 14, 2020 at 09:30:15 AM"), 1);
  ASSERT_EQ(install_.ui.messages.size(), 1u);
}

// Switching libraries: a switch that fails anywhere leaves the library connected before it
// working exactly as it did, and only a switch that completed counts as a connection.

// SQL run on libraries before a step, as {library, statement}.
using LibrarySql = std::vector<std::pair<const char*, std::string>>;

struct SwitchFault {
  const char* name;
  LibrarySql fault;  // none: the first switch fails after the objects were replaced
  LibrarySql repair;
  const char* logged;
  friend void PrintTo(const SwitchFault& f, std::ostream* os) { *os << f.name; }
};

constexpr char kSaveUser[] =
    "CREATE TABLE SAVED_PEOPLE AS SELECT * FROM PEOPLE WHERE USER_ID = 'DMADMIN'";
constexpr char kDropUser[] = "DELETE FROM PEOPLE WHERE USER_ID = 'DMADMIN'";
constexpr char kRestoreUser[] = "INSERT INTO PEOPLE SELECT * FROM SAVED_PEOPLE";

const SwitchFault kSwitchFaults[] = {
    // clang-format off
    {"UserUnknownOwnerLearnt", {{"OTHER", kSaveUser}, {"OTHER", kDropUser}},
     {{"OTHER", kRestoreUser}}, "Library UserName not identified"},
    {"UserUnknownLibraryNotListed", {{"DEMO", "CREATE TABLE SAVED_LIBRARIES AS SELECT * FROM "
     "REMOTE_LIBRARIES"}, {"DEMO", "DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'"},
     {"OTHER", kSaveUser}, {"OTHER", kDropUser}}, {{"OTHER", kRestoreUser}, {"DEMO", "INSERT INTO "
     "REMOTE_LIBRARIES SELECT * FROM SAVED_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'"}},
     "is not properly configured in the REMOTE_LIBRARIES table"},
    {"FailureAfterTheObjectsWereReplaced", {}, {}, "rules unreadable"},
    // clang-format on
};

class SwitchFaultTest : public ConnectionTest, public ::testing::WithParamInterface<SwitchFault> {};

TEST_P(SwitchFaultTest, AFailedSwitchChangesNothingAndTheNextOneConnectsAfresh) {
  const SwitchFault& c = GetParam();
  StartTwo();
  ExpectDemoConnected("before");
  for (const auto& [library, sql] : c.fault) Exec(library, sql);
  int throws = c.fault.empty() ? 1 : 0;
  if (c.fault.empty()) {
    connection().SetOnConnected([&] {
      if (connection().LibraryName() == "OTHER" && throws-- > 0) {
        throw std::runtime_error("rules unreadable");
      }
    });
  }
  EXPECT_FALSE(connection().ConnectLibrary("OTHER"));
  EXPECT_EQ(Count(c.logged), 1) << Dump();
  ExpectDemoConnected("after the failed switch");

  for (const auto& [library, sql] : c.repair) Exec(library, sql);
  ASSERT_TRUE(connection().ConnectLibrary("other")) << Dump();
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object OTHER."), 1);
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
  EXPECT_FALSE(connection().library_state().HasQuilSettings);
  EXPECT_EQ(connection().application()->CurrentLibrary()->Name(), "OTHER");
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].PROFILE");
  EXPECT_TRUE(connection().LastSucceeded()) << Dump();
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  ExpectDemoConnected("switched back");
}

INSTANTIATE_TEST_SUITE_P(Faults, SwitchFaultTest, ::testing::ValuesIn(kSwitchFaults),
                         [](const auto& p) { return std::string(p.param.name); });

// Starting the DM session when the client's first way in fails, and connecting a library whose
// database engine nobody can tell.

TEST_F(ConnectionTest, AFailedLogOnFallsBackToTheApplicationLoginAndConnects) {
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
  ExpectDemoConnected("after the fallback");
  EXPECT_TRUE(connection().ConnectLibrary("ARCHIVE")) << Dump();
}

TEST_F(ConnectionTest, TheFirstWayInNeedsNoFallback) {
  install_.Create({{.name = "DEMO", .with_rules = false}});
  ASSERT_TRUE(StartWithServerStarting(0)) << Dump();
  EXPECT_EQ(From("Logging on to DM Session library DEMO", 3),
            (std::vector<std::string>{"Logging on to DM Session library DEMO", kRule,
                                      "Setting Fusion Libraries Object"}));
  ExpectCounts(Lines(), {{"Starting DM Browser Object", 0},
                         {"Logging in to the Fusion Server", 0},
                         {"Connected to MSSQL 15 Library Object DEMO.", 1},
                         {"Fusion started with connection to DEMO", 1},
                         {"Database Compatibility Level is 150", 1},
                         {"Quoted Identifier for database DEMO is ON", 1},
                         {"SQL Error", 0}});
  EXPECT_TRUE(install_.ui.messages.empty());
}

// The fallback gets the session up, but a user that the current library does not know cannot
// connect it: the start fails and nothing is shown beyond the log.
TEST_F(ConnectionTest, AFallbackIntoALibraryThatDoesNotKnowTheUserFailsTheStart) {
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
TEST_F(ConnectionTest, ATrueEngineCodeZeroStaysUnknown) {
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
TEST_F(ConnectionTest, AnEngineCodeZeroLibraryReachedFromAnotherIsAskedWithItsOwnerOnce) {
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

// What the gateway tells about a statement beyond its result: a server interface the client
// cannot load (shown once per user), and a statement that keeps the server busy.

struct InterfaceCase {
  const char* name;
  const char* saved_before;  // RegisterAPI of the user before the run; null: never saved
  bool verbose;
  size_t shown;
  friend void PrintTo(const InterfaceCase& c, std::ostream* os) { *os << c.name; }
};

const InterfaceCase kInterfaceCases[] = {
    {"FirstTimeForThisUser", nullptr, true, 1},
    {"SavedAsNo", "0", true, 1},
    {"AlreadyShownToThisUser", "-1", true, 0},
    {"VerboseLoggingOff", nullptr, false, 1},
};

class ServerInterfaceTest : public ConnectionTest,
                            public ::testing::WithParamInterface<InterfaceCase> {};

TEST_P(ServerInterfaceTest, IsLoggedEveryTimeAndShownOncePerUser) {
  const InterfaceCase& c = GetParam();
  StartDemo();
  if (c.saved_before) install_.settings.Save(kProduct, "Warning", "RegisterAPI", c.saved_before);
  install_.options.CheckLogMethod = c.verbose ? 1 : 0;
  server_->refused = "CLIENT";
  server_->refusal_code = static_cast<int>(kServerInterfaceNotLoaded);

  const std::string cannot_load =
      "Cannot load the DOCSFusion Server Interface. The DOCSFusion server may not be started.";
  const std::vector<std::string> message = {
      Stamped("Error: ", cannot_load),
      "This is a known OpenText issue described in SD012671. Use the REGSVR32.EXE utility and "
      "register the PCDSERVERIFPS.DLL file in the following location:",
      "C:\\Program Files (x86)\\Open Text\\DM API\\PCDSERVERIFPS.DLL"};
  const std::string sent = connection().PrepareSql("SELECT COUNT(*) FROM [OWNER].CLIENT");
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    Mark();
    EXPECT_TRUE(connection().RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT"));
    EXPECT_FALSE(connection().LastSucceeded());
    std::vector<std::string> expected = message;
    if (c.verbose) {
      // Narrated like any statement, with the message as its outcome.
      expected.insert(expected.begin(), {"Executing MSSQL 15 SQL Instruction on DEMO", sent});
      expected.push_back(kRule);
    }
    EXPECT_EQ(LinesSince(), expected) << Dump();
  }
  EXPECT_EQ(Count("SQL Error #"), 0) << Dump();
  ASSERT_EQ(install_.ui.messages.size(), c.shown);
  if (c.shown > 0) {
    const auto& shown = install_.ui.messages.front();
    EXPECT_EQ(shown.style, runtime::MessageStyle::kCritical);
    EXPECT_EQ(text::Replace(shown.text, "\r\n", "\n"),
              "Error: " + cannot_load + "\n" + message[1] + "\n" + message[2]);
  }
  EXPECT_EQ(install_.settings.Get(kProduct, "Warning", "RegisterAPI", "<absent>"), "-1");
  // Another statement of the same session is not concerned.
  server_->refused.clear();
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT");
  EXPECT_TRUE(connection().LastSucceeded());
  EXPECT_EQ(connection().Column(1), "4");
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerInterfaceTest, ::testing::ValuesIn(kInterfaceCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ConnectionTest, AStatementSlowerThanASecondGetsANote) {
  StartDemo();
  server_->busy = "MATTER";
  const std::string returned =
      "SQL Instruction Executed Successfully on DEMO with 8 row(s) returned.";
  // Seconds busy, the statement, its outcome. One second is not worth a note; beyond a minute
  // the note still counts whole seconds.
  const std::tuple<long, std::string, std::string> cases[] = {
      // clang-format off
      {1, "SELECT MATTER_ID FROM [OWNER].MATTER", returned},
      {2, "SELECT MATTER_ID FROM [OWNER].MATTER", returned},
      {75, "UPDATE [OWNER].MATTER SET MATTER_ID = MATTER_ID",
       "SQL Instruction Executed Successfully on DEMO with 8 row(s) processed."},
      {3, "SELECT NO_SUCH_COLUMN FROM [OWNER].MATTER",
       "SQL Error #1 (no such column: NO_SUCH_COLUMN) encountered in library DEMO"},
      // clang-format on
  };
  for (const auto& [seconds, statement, outcome] : cases) {
    SCOPED_TRACE(statement);
    server_->busy_seconds = seconds;
    const std::string sent = connection().PrepareSql(statement);
    Mark();
    EXPECT_TRUE(connection().RunSQL(statement));
    std::vector<std::string> expected = {"Executing MSSQL 15 SQL Instruction on DEMO", sent,
                                         outcome, kRule};
    if (seconds > 1) {
      expected.push_back("Note: Execution took " + std::to_string(seconds) +
                         " second(s) to complete");
      expected.push_back(kRule);
    }
    EXPECT_EQ(LinesSince(), expected) << Dump();
  }
}

// Each helper on the texts that take its distinct paths.
TEST(SqlTextTest, QuotingSpacesAndDriverPrefixes) {
  const std::tuple<std::string (*)(std::string_view), const char*, const char*> cases[] = {
      // Quote: trimmed, quotes doubled, lines flattened.
      {SqlQuote, "  O'Brien  ", "O''Brien"},
      {SqlQuote, "a\r\nb", "a  b"},
      {SqlQuote, "\nx\n", "x"},
      {LikeEscape, "ACME [UK] LTD", "ACME [[]UK] LTD"},
      {StripPercent, "%APPS.APPLICATION%", "APPSAPPLICATION"},
      {StripPercent, "%MATTER.MATTER_ID%", "MATTER.MATTER_ID"},
      // Saved statements get their blanks back.
      {ExpandSpaces, "SELECT<SPC>A", "SELECT A"},
      {ExpandSpaces, "SELECT <SPC>A", "SELECT A"},
      {ExpandSpaces, "<SPC>A<SPC><SPC>B<SPC>", "A B"},
      {ExpandSpaces, "  plain  ", "plain"},
      // Driver prefixes go up to the first quote.
      {StripDriverPrefixes, "[Sproutsmith][SQLite] no such table: X", "no such table: X"},
      {StripDriverPrefixes, "[a] [b]  text", "text"},
      {StripDriverPrefixes, "[a] near 'x]' syntax", "near 'x]' syntax"},
      {StripDriverPrefixes, "plain", "plain"},
      {StripDriverPrefixes, "[only]", ""},
  };
  for (const auto& [helper, in, out] : cases) EXPECT_EQ(helper(in), out) << in;
}

ConnectionFacts Facts(int engine, std::string version = "15.0.2000.5", std::string level = "150") {
  ConnectionFacts f;
  f.DatabaseEngine = engine;
  f.LibraryOwner = "DOCSADM";
  f.DatabaseVersion = std::move(version);
  f.CompatibilityLevel = std::move(level);
  return f;
}

TEST(PrepareSqlTest, RewritesFollowTheEngine) {
  const std::tuple<ConnectionFacts, const char*, const char*> cases[] = {
      {Facts(2), "SELECT X FROM [OWNER].PROFILE WHERE A <> 'B'",
       "SELECT X FROM DOCSADM.PROFILE WHERE A != 'B'"},
      {Facts(10), "SELECT X FROM [OWNER].PROFILE WHERE A <> 'B'",
       "SELECT X FROM DOCSADM.PROFILE WHERE A <> 'B' OPTION (MAXDOP 1)"},
      {Facts(10), "SELECT INTO T FROM [owner].X", "SELECT INTO T FROM DOCSADM.X"},
      {Facts(10), "select a from t option (maxdop 1)", "select a from t option (maxdop 1)"},
      {Facts(10), "UPDATE [Owner].QZ_T SET A = 1", "UPDATE dbo.QZ_T SET A = 1"},
      {Facts(10), "INSERT INTO [OWNER].Q VALUES ('{owner}')",
       "INSERT INTO DOCSADM.Q VALUES ('[OWNER]')"},
      {Facts(10), "DELETE FROM T WHERE CLIENT_ID = '", "DELETE FROM T WHERE CLIENT_ID = ''"},
      {Facts(10), "DELETE FROM T WHERE CLIENT_ID='", "DELETE FROM T WHERE CLIENT_ID=''"},
      {Facts(10, "10.50.1600"), "UPDATE T SET A = TRY_CAST(B AS INT)",
       "UPDATE T SET A = CAST(B AS INT)"},
      {Facts(10, "15.0", "100"), "UPDATE T SET A = TRY_CAST(B AS INT)",
       "UPDATE T SET A = CAST(B AS INT)"},
      {Facts(10), "UPDATE T SET A = TRY_CAST(B AS INT)", "UPDATE T SET A = TRY_CAST(B AS INT)"},
      {Facts(10), "UPDATE T SET A = CAST('' AS INT), D = SYSDATE",
       "UPDATE T SET A = CAST(NULL AS INT), D = GETUTCDATE()"},
      {Facts(5), "UPDATE T SET D = GETUTCDATE() WHERE A != '' AND B = TO_DATE('', 'X')",
       "UPDATE T SET D = SYSDATE WHERE A != ' ' AND B = TO_DATE(NULL, 'X')"},
      {Facts(2), "SELECT A FROM T WHERE B = '''' ", "SELECT A FROM T WHERE B = '' "},
      {Facts(0), "SELECT COUNT(*) FROM [OWNER].DOCSTABLE",
       "SELECT COUNT(*) FROM DOCSADM.DOCSTABLE OPTION (MAXDOP 1)"},
      // SQL Server's bracket escapes in a LIKE pattern become Oracle's escape character.
      {Facts(2), "SELECT A FROM T WHERE UPPER(N) LIKE 'ACME [[]UK] A[_]B 5[%] C:\\%' AND B = 1",
       "SELECT A FROM T WHERE UPPER(N) LIKE 'ACME [UK] A\\_B 5\\% C:\\\\%' ESCAPE '\\' AND B = 1"},
      {Facts(10), "SELECT A FROM T WHERE N LIKE 'A[_]B%'",
       "SELECT A FROM T WHERE N LIKE 'A[_]B%' OPTION (MAXDOP 1)"},
      // Left alone: no escape, a real character class, an ESCAPE of its own, no LIKE before
      // the literal, or text inside another literal.
      {Facts(2), "DELETE FROM T WHERE N like 'PC1:%' OR N LIKE '[a-c]%'",
       "DELETE FROM T WHERE N like 'PC1:%' OR N LIKE '[a-c]%'"},
      {Facts(2), "DELETE FROM T WHERE N LIKE 'X![_]%' ESCAPE '!'",
       "DELETE FROM T WHERE N LIKE 'X![_]%' ESCAPE '!'"},
      {Facts(2), "UPDATE T SET N = 'A[_]B', M = 'x LIKE ''[_]'' y' WHERE UNLIKE = '[_]'",
       "UPDATE T SET N = 'A[_]B', M = 'x LIKE ''[_]'' y' WHERE UNLIKE = '[_]'"},
      {Facts(2), "SELECT A FROM T WHERE N NOT LIKE 'O''[_]'",
       "SELECT A FROM T WHERE N NOT LIKE 'O''\\_' ESCAPE '\\'"},
  };
  for (const auto& [facts, in, out] : cases) EXPECT_EQ(PrepareSqlText(in, facts), out) << in;
}

// Each library's statements are written with its own server's facts, whichever library was
// connected before: a library whose engine the client cannot tell has no version, so its
// TRY_CAST becomes CAST as on a fresh connection; an Oracle library has its own owner.
TEST_F(ConnectionTest, ALibrarySwitchKeepsNoServerFactsOfTheLibraryBefore) {
  Start({{.name = "DEMO"},
         {.name = "PLAIN", .engine_code = 0},
         {.name = "ORA", .engine_code = 2, .owner = "ORAOWN"}});
  const std::string cast = "SELECT TRY_CAST(X AS INT) FROM T";
  for (const auto& [library, facts, sent] : std::vector<std::array<std::string, 3>>{
           {"PLAIN", "*Unknown* (0) DOCSADM  level  join ' = ' concat ' + ' [NEXT] connected",
            "SELECT CAST(X AS INT) FROM T OPTION (MAXDOP 1)"},
           {"DEMO",
            "MSSQL 15 (10) DOCSADM 15.0.2000.5 level 150 join ' = ' concat ' + ' [NEXT] connected",
            "SELECT TRY_CAST(X AS INT) FROM T OPTION (MAXDOP 1)"},
           {"ORA", "Oracle (2) ORAOWN  level  join ' (+) = ' concat ' || ' \"NEXT\" connected",
            "SELECT TRY_CAST(X AS INT) FROM T"},
           {"PLAIN", "*Unknown* (0) DOCSADM  level  join ' = ' concat ' + ' [NEXT] connected",
            "SELECT CAST(X AS INT) FROM T OPTION (MAXDOP 1)"}}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    EXPECT_EQ(Describe(connection_->facts()), facts);
    EXPECT_EQ(connection_->PrepareSql(cast), sent);
  }
}

// What connecting a library learns, repairs and warns about: the unique-document-names
// warning, the DM validation tables, the target library's row in the connected library's
// REMOTE_LIBRARIES, and the FOLDER.LAST_UPDATE repair (the dictionary row is written only for a
// column that is really there, and each flavour's server gets a type it knows).

using LibraryPreparationTest = ConnectionTest;

std::string UniqueNamesWarning(const std::string& library) {
  return "The library setting Unique Document Names is enabled. This will require you to have "
         "unique folder names in order to use Arborline in library " +
         library + ".";
}

// One run of the program after another over the same libraries and user settings.
struct UniqueNamesRun {
  const char* parameter;  // DOCSParms.UniqueDocNames of DEMO for this run
  int display_errors;
  const char* command_line;
  bool warned;
  bool shown;
  const char* saved;  // UniqueNameWarning of DEMO afterwards
};

TEST_F(LibraryPreparationTest, TheUniqueNamesWarningComesOnceEachTimeTheParameterIsSwitchedOn) {
  install_.Create({{.name = "DEMO", .with_rules = false}, {.name = "OTHER", .with_rules = false}});
  const UniqueNamesRun runs[] = {
      {"-1", 1, "", true, true, "-1"},        // first found on: warned and shown
      {"-1", 1, "", false, false, "-1"},      // still on: already warned
      {"0", 1, "", false, false, "0"},        // switched off
      {"-1", 0, "", true, false, "-1"},       // on again: warned, not shown without display errors
      {"", 1, "", false, false, "0"},         // not set at all counts as off
      {"-1", 1, "/G /X", true, false, "-1"},  // an unattended run logs it only
  };
  for (size_t run = 0; run < std::size(runs); ++run) {
    const UniqueNamesRun& r = runs[run];
    SCOPED_TRACE("run " + std::to_string(run + 1));
    install_.Exec("DEMO", std::string("UPDATE STANDIN_PARAMETERS SET PARAM_VALUE = '") +
                              r.parameter + "' WHERE PARAM_NAME = 'DOCSParms.UniqueDocNames'");
    install_.options.CheckDisplayErrors = r.display_errors;
    install_.state.CommandLine = r.command_line;
    install_.ui.messages.clear();
    Mark();
    ASSERT_TRUE(Restart()) << Dump();
    // Connecting it again in the same run learns nothing new and warns no more.
    ASSERT_TRUE(connection().ConnectLibrary("OTHER"));
    ASSERT_TRUE(connection().ConnectLibrary("DEMO"));

    const std::string line = Stamped("Warning: ", UniqueNamesWarning("DEMO"));
    EXPECT_EQ(Since(line), r.warned ? 1 : 0) << Dump();
    if (r.warned) {
      EXPECT_EQ(After(line), kRule);
    }
    ASSERT_EQ(install_.ui.messages.size(), r.shown ? 1u : 0u);
    if (r.shown) {
      EXPECT_EQ(install_.ui.messages[0].text, "Warning: " + UniqueNamesWarning("DEMO"));
      EXPECT_EQ(install_.ui.messages[0].title, "WARNING!");
      EXPECT_EQ(install_.ui.messages[0].style, runtime::MessageStyle::kExclamation);
    }
    EXPECT_EQ(Setting("DEMO", "UniqueNameWarning"), r.saved);
    // Each library keeps its own setting.
    EXPECT_EQ(Setting("OTHER", "UniqueNameWarning"), "0");
    EXPECT_EQ(Since(UniqueNamesWarning("OTHER")), 0);
  }
}

constexpr char kValidationQuery[] =
    "SELECT TABLE_NAME, SYSTEM_ID FROM DOCSADM.DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY "
    "TABLE_NAME OPTION (MAXDOP 1)";

using ValidationTables = std::vector<std::pair<std::string, long long>>;

TEST_F(LibraryPreparationTest, ValidationTablesAreReadInNameOrderWhenLookupSecurityExists) {
  install_.Create({{.name = "DEMO", .with_rules = false},
                   {.name = "BARE", .with_rules = false, .with_optional_tables = false}});
  // A validation table of the site's own, named to sort first.
  install_.Exec("DEMO",
                "INSERT INTO DOCSTABLE (SYSTEM_ID, TABLE_NAME, VALIDATION_TABLE) "
                "VALUES (90001, 'AREA', 'Y')");
  ASSERT_TRUE(Restart()) << Dump();

  ValidationTables expected;
  for (const auto& row : Query("DEMO",
                               "SELECT TABLE_NAME, SYSTEM_ID FROM DOCSTABLE WHERE "
                               "VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME")) {
    expected.emplace_back(row[0], std::stoll(row[1]));
  }
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(expected.front().first, "AREA");
  EXPECT_EQ(connection().library_state().ValidationTables, expected);
  EXPECT_EQ(After(kValidationQuery),
            "SQL Instruction Executed Successfully on DEMO with 4 row(s) returned.")
      << Dump();
  EXPECT_EQ(Count("Checking for LOOKUP_SECURITY Table in library DEMO"), 1);
  // Without LOOKUP_SECURITY nothing is read, and the other library's list does not linger.
  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("BARE")) << Dump();
  EXPECT_TRUE(connection().library_state().ValidationTables.empty());
  EXPECT_EQ(Since("LOOKUP_SECURITY not found in library BARE"), 1) << Dump();
  EXPECT_EQ(Since("FROM DOCSADM.DOCSTABLE WHERE VALIDATION_TABLE"), 0);
  // Back in DEMO the list comes from what was learnt, without asking again.
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  EXPECT_EQ(connection().library_state().ValidationTables, expected);
  EXPECT_EQ(Count(kValidationQuery), 1);
}

// CheckSQLSettings: the target's row in the connected library's REMOTE_LIBRARIES names the
// target's owner. A missing or unusable row is logged and the connection goes on; the owner
// is then learnt from the target library itself.
struct RemoteRowCase {
  const char* name;
  const char* change;   // SQL on DEMO before the switch ("" none)
  const char* refused;  // statement fragment DEMO's server refuses ("" none)
  const char* error;    // the "Error: " line logged, without its prefix ("" none)
  bool owner_from_row;  // the owner came from the row, so no detection runs for OTHER
  friend void PrintTo(const RemoteRowCase& c, std::ostream* os) { *os << c.name; }
};

constexpr char kNotConfigured[] =
    "The library you are attempting to connect to (OTHER) is not properly configured in the "
    "REMOTE_LIBRARIES table in your current library (DEMO)";
const RemoteRowCase kRemoteRowCases[] = {
    // clang-format off
    {"RowPresent", "", "", "", true},
    {"OwnerPaddedWithBlanks", "UPDATE REMOTE_LIBRARIES SET OWNER = '  OTHEROWN  ' WHERE "
        "LIBRARY_NAME = 'OTHER'", "", "", true},
    {"RowMissing", "DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'", "", kNotConfigured,
        false},
    {"RowNamesAnotherLibrary", "UPDATE REMOTE_LIBRARIES SET LIBRARY_NAME = 'OTHERS' WHERE "
        "LIBRARY_NAME = 'OTHER'", "", kNotConfigured, false},
    {"RowWithoutOwner", "UPDATE REMOTE_LIBRARIES SET OWNER = '' WHERE LIBRARY_NAME = 'OTHER'", "",
        "", false},
    {"StatementRefused", "", "LIB_LOGIN_UNAME", "Unable to obtain results from SQL statement in "
        "library DEMO", false},
    // clang-format on
};

class RemoteRowTest : public LibraryPreparationTest,
                      public ::testing::WithParamInterface<RemoteRowCase> {};

TEST_P(RemoteRowTest, TheTargetsOwnerIsLearntOrTheRowIsReportedAndTheConnectionGoesOn) {
  const RemoteRowCase& c = GetParam();
  install_.Create({{.name = "DEMO", .with_rules = false},
                   {.name = "OTHER", .owner = "OTHEROWN", .with_rules = false}});
  ASSERT_TRUE(RestartRefusing(c.refused, "DEMO")) << Dump();
  if (*c.change) install_.Exec("DEMO", c.change);

  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("OTHER")) << Dump();
  const std::string checking = "Checking SQL connection settings in DEMO to OTHER";
  EXPECT_EQ(Since(checking), 1);
  EXPECT_EQ(After(checking), kRule);
  EXPECT_EQ(Since("SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM "
                  "DOCSADM.REMOTE_LIBRARIES WHERE LIBRARY_NAME IN ('DEMO', 'OTHER') "
                  "OPTION (MAXDOP 1)"),
            1)
      << Dump();
  EXPECT_EQ(Since("Error: "), *c.error ? 1 : 0) << Dump();
  if (*c.error) {
    const std::string line = Stamped("Error: ", c.error);
    EXPECT_EQ(Since(line), 1) << Dump();
    EXPECT_EQ(After(line), kRule);
  }
  if (c.owner_from_row) {
    EXPECT_EQ(Since("Identifying database owner using SQL"), 0) << Dump();
  } else {
    // Asked of the target itself, without an owner prefix.
    EXPECT_EQ(Since("SELECT OWNER FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER' "
                    "OPTION (MAXDOP 1)"),
              1)
        << Dump();
    EXPECT_EQ(After("SQL Database_Engine value is 10"), kRule);
    EXPECT_EQ(Since("SQL Database Owner is OTHEROWN"), 1) << Dump();
  }

  EXPECT_EQ(connection().LibraryName(), "OTHER");
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
  EXPECT_TRUE(connection().facts().LibraryConnected);
  EXPECT_EQ(Since("Connected to MSSQL 15 Library Object OTHER."), 1);
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].PROFILE");
  EXPECT_TRUE(connection().LastSucceeded()) << Dump();
  connection().Release();
  // The owner is learnt once: the next switch asks nothing about it.
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("OTHER"));
  EXPECT_EQ(Since("Checking SQL connection settings"), 0);
  EXPECT_EQ(Since("Executing "), 0) << Dump();
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoteRowTest, ::testing::ValuesIn(kRemoteRowCases),
                         [](const auto& p) { return std::string(p.param.name); });

constexpr char kDictionaryRows[] =
    "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'";
constexpr char kColumns[] =
    "SELECT COUNT(*) FROM pragma_table_info('FOLDER') WHERE name = 'LAST_UPDATE'";

// Each process start connects LIB and then ORA, each flavour's server getting its own type.
TEST_F(ConnectionTest, FolderLastUpdateTheDictionaryRowFollowsTheColumnOnBothFlavours) {
  install_.Create({{.name = "LIB", .with_rules = false},
                   {.name = "ORA", .engine_code = 2, .with_rules = false}});
  install_.options.CheckLogMethod = 1;
  const auto start = [&](const std::string& refused, bool added) {
    ASSERT_TRUE(RestartRefusing(refused)) << Dump();
    EXPECT_EQ(connection().library_state().HasFolderLastUpdate, added);
    ASSERT_TRUE(connection().ConnectLibrary("ORA")) << Dump();
    EXPECT_EQ(connection().library_state().HasFolderLastUpdate, added);
  };
  const std::pair<const char*, const char*> alters[] = {
      {"LIB", "ALTER TABLE DOCSADM.FOLDER ADD LAST_UPDATE DATETIME NULL"},
      {"ORA", "ALTER TABLE DOCSADM.FOLDER ADD LAST_UPDATE DATE NULL"}};
  // The server refuses the ALTER: no dictionary row, no stamp, the flag stays false.
  start("ADD LAST_UPDATE", false);
  EXPECT_EQ(Count("SET LAST_UPDATE"), 0);
  for (const auto& [library, alter] : alters) {
    SCOPED_TRACE(library);
    EXPECT_EQ(Count(alter), 1) << Dump();
    EXPECT_EQ(Count(std::string("Unable to add the LAST_UPDATE column to the FOLDER table in "
                                "library ") +
                    library),
              1);
    EXPECT_EQ(Scalar(library, kDictionaryRows), "0");
    EXPECT_EQ(Scalar(library, kColumns), "0");
  }
  // The next start tries again and succeeds; the one after adds nothing.
  start("", true);
  start("", true);
  for (const auto& [library, alter] : alters) {
    SCOPED_TRACE(library);
    EXPECT_EQ(Count(alter), 2) << "added once";
    EXPECT_EQ(Count(std::string("Adding LAST_UPDATE column to FOLDER table in library ") + library),
              2);
    EXPECT_EQ(Scalar(library, kDictionaryRows), "1");
    EXPECT_EQ(Scalar(library, kColumns), "1");
    EXPECT_EQ(Scalar(library, "SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98"), "1");
  }
}

// A dictionary row without its column, or the column without its row: the start completes
// the repair without a second row.
TEST_F(ConnectionTest, FolderLastUpdateAHalfMadeRepairIsCompleted) {
  install_.Create({{.name = "ROW", .with_rules = false}, {.name = "COLUMN", .with_rules = false}});
  install_.Exec("ROW",
                "INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME) VALUES (999999, 'FOLDER', "
                "'LAST_UPDATE')");
  install_.Exec("COLUMN", "ALTER TABLE FOLDER ADD LAST_UPDATE DATETIME NULL");
  ASSERT_TRUE(Restart()) << Dump();
  for (const char* library : {"ROW", "COLUMN"}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection().ConnectLibrary(library));
    EXPECT_TRUE(connection().library_state().HasFolderLastUpdate);
    EXPECT_EQ(Scalar(library, kColumns), "1");
    EXPECT_EQ(Scalar(library, kDictionaryRows), "1");
    EXPECT_EQ(Scalar(library,
                     "SELECT CREATOR FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = "
                     "'LAST_UPDATE'"),
              "DOCSADM");
  }
}

}  // namespace
}  // namespace sproutsmith::dm
