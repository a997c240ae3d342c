// The DM session and the library connection: start-up and its fallback, what connecting a
// library learns and repairs, switching libraries, what the SQL gateway narrates and every
// statement shape it sends.

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

// "<engine name> (<code>) <owner> <version> level <level> join '<op>' concat '<op>' <next>",
// then " connected" when the library is.
std::string Describe(const dm::ConnectionFacts& f) {
  return f.EngineName + " (" + std::to_string(f.DatabaseEngine) + ") " + f.LibraryOwner + " " +
         f.DatabaseVersion + " level " + f.CompatibilityLevel + " join '" + f.OuterJoinEquals +
         "' concat '" + f.ConcatOperator + "' " + f.NextColumn +
         (f.LibraryConnected ? " connected" : "");
}

// The tables the library checks found, by name.
std::string Describe(const dm::LibraryState& s) {
  std::string out;
  for (const auto& [has, table] : {std::pair{s.HasQuilSettings, "QUIL_SETTINGS"},
                                   {s.HasQuilSproutsmith, "QUIL_SPROUTSMITH"},
                                   {s.HasNeedsFoldering, "NEEDS_FOLDERING"},
                                   {s.HasSecReason, "SEC_REASON"},
                                   {s.HasFolderLastUpdate, "FOLDER.LAST_UPDATE"}}) {
    if (has) out += out.empty() ? table : std::string(" ") + table;
  }
  return out;
}

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

// Every statement shape the engine sends, run through the engine's own gateway (RunSQL: owner
// substitution, Oracle rewrites, the parallelism hint) on a real library of each flavour on
// each back end (a SQLite file, a PostgreSQL database), and read back through the connection
// as the engine reads it. One row per shape; the shapes run in order, so a later row sees what
// an earlier one wrote.
enum Flavours { kMsOnly = 1, kOracleOnly = 2, kBoth = 3 };

using Edits = std::vector<std::pair<std::string, std::string>>;

struct Shape {
  const char* id;                 // the construct it stands for
  std::string sql;                // as the engine writes it: Microsoft flavour, [OWNER]
  std::vector<std::string> rows;  // "a|b" per row, NULL as "NULL"; unused when `affected` set
  long long affected = -1;
  int flavours = kBoth;
  Edits oracle;                       // what differs on Oracle, in the text and the rows
  std::vector<std::string> headings;  // checked when not empty
};

const std::pair<std::string, std::string> kSysdate = {"GETDATE()", "SYSDATE"};
const std::pair<std::string, std::string> kSubstr = {"SUBSTRING(", "SUBSTR("};
const std::pair<std::string, std::string> kQuotedNext = {"[NEXT]", "\"NEXT\""};

// The server's clock: local time an hour ahead of UTC, so that GETDATE() and GETUTCDATE()
// cannot be mistaken for each other.
const text::DateTime kLocalNow{2026, 12, 6, 9, 4, 29};
const text::DateTime kUtcNow{2026, 12, 6, 8, 4, 29};
class ServerClock final : public os::Clock {
 public:
  text::DateTime Now() const override { return kLocalNow; }
  text::DateTime UtcNow() const override { return kUtcNow; }
};
const ServerClock kServerClock;
constexpr char kOwner[] = "LAWADM";

constexpr char kFixture[] = R"(
UPDATE STANDIN_KEYS SET LAST_KEY = 5000 WHERE KEY_NAME = 'SYSTEMKEY';
CREATE TABLE QZ_TEST (X INTEGER);
INSERT INTO QZ_TEST VALUES (1), (2);
INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES
  (1001, 'C0001', 'Acme'), (1002, 'C0002', 'Bolt'), (1003, 'XYZ', 'Xylo');
INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) VALUES
  (1101, 1001, '0001', 'Acme one'), (1102, 1001, '0002', 'Acme two'), (1103, 1002, '0001', 'Bolt one');
INSERT INTO DOCUMENTTYPES (SYSTEM_ID, TYPE_ID, DESCRIPTION) VALUES
  (1201, 'CORR', 'Correspondence'), (1202, 'MEMO', 'Memo');
INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) VALUES (1401, 'LITIGATION', 'Litigation', 191);
INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP, PRIMARY_LIB) VALUES
  (1301, 'JSMITH', 'John Smith', 1401, 0), (1302, 'ADOE', 'Ann Doe', 0, 0);
INSERT INTO PEOPLEGROUPS VALUES (1301, 1401), (1302, 0);
INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, AUTHOR, TYPIST, MATTER, DOCUMENTTYPE) VALUES
  (1501, 123, 'Acme [UK] Ltd Files', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'), 0, 1301, 1302, 1101, 1201),
  (1502, 124, 'ACME UK LTD', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'), 3, NULL, 1301, 1102, NULL),
  (1503, 125, 'Memo to Bolt', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'MS WORD'), 0, 1302, 1301, 1103, 1202);
INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (123, 'ARBORLINE R1'), (124, NULL);
INSERT INTO ROOT_OBJECT VALUES (123, 'Acme [UK] Ltd Files');
INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST) VALUES
  (1601, 123, 125, 0, 0, 'D', 'beta', 1602, 'Y'), (1602, 123, 124, 0, 0, 'F', 'Alpha', 1603, 'N'),
  (1603, 123, 0, 0, 0, 'F', 'Gamma', 0, 'N');
INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER) VALUES (1702, 123), (1701, 123);
INSERT INTO ACTIVITYLOG VALUES (123, 45, 1302, '2020-11-10 08:00:00'), (123, 10, 1301, '2020-11-14'),
  (123, 10, 1301, '2020-11-13'), (124, 45, 1301, '2020-11-14');
INSERT INTO SECURITY VALUES (1501, 1301, 255), (1501, 0, 63);
INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) VALUES
  ('ARBORLINE', 'RULE_TEMPLATE', 'R1', @LONG_TEXT@, NULL),
  ('ARBORLINE', 'SETTINGS', 'MAXITEMSTOSORT', NULL, 500);
INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES
  ('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PCX1:R1', '2026-12-06 08:00:00');
INSERT INTO QUIL_SPROUTSMITH VALUES (1001, 'CLIENT', 'R1', 0, '');
INSERT INTO PCDT VALUES (1, 'A', 'a'), (2, 'B', NULL), (3, 'A', 'c');
INSERT INTO SUBTYPES VALUES (1, 'X', 'x', 'Y'), (2, 'Y', 'y', NULL), (3, 'Z', 'z', 'N');
INSERT INTO REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES
  (1801, '', 'PROPERTY', 'USER', 1301, 'Workspaces', 'SubTree');
)";

// Start-up prepared the library already; its repairs are taken back so that the corpus
// sends them itself, in the engine's order.
constexpr char kUndoPreparation[] = R"(
DELETE FROM SEC_REASON WHERE CODE = 98;
DELETE FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE';
ALTER TABLE FOLDER DROP COLUMN LAST_UPDATE;
)";

// 254 A, 254 B, 254 C and 10 D: a rule value that spans four of the store's pieces.
std::string LongText(sql::Backend backend) {
  return backend == sql::Backend::kPostgres
             ? "repeat('A', 254) || repeat('B', 254) || repeat('C', 254) || repeat('D', 10)"
             : "printf('%.254c%.254c%.254c%.10c', 'A', 'B', 'C', 'D')";
}

// A query and the rows it must give; a statement and the count of rows it must change.
Shape Read(const char* id, std::vector<std::string> rows, std::string sql) {
  return {.id = id, .sql = std::move(sql), .rows = std::move(rows)};
}
Shape Write(const char* id, long long affected, std::string sql) {
  return {.id = id, .sql = std::move(sql), .affected = affected};
}
Shape Only(int flavours, Shape shape) {
  shape.flavours = flavours;
  return shape;
}
Shape OnOracle(Edits edits, Shape shape) {
  shape.oracle = std::move(edits);
  return shape;
}
Shape Headed(std::vector<std::string> headings, Shape shape) {
  shape.headings = std::move(headings);
  return shape;
}

std::vector<Shape> Corpus(const std::string& banner) {
  const std::string a(254, 'A'), b(254, 'B'), c(254, 'C'), d(10, 'D');
  const std::string tables_exist =
      "select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].QUIL_SETTINGS') \r\nand "
      "sysstat & 0xf = 3 ";
  const std::string folder_lookup =
      "SELECT F.DOCNUMBER, P.DOCNAME, 'DOCS', 'DOCS', F.PATH FROM [OWNER].FOLDER F LEFT OUTER JOIN "
      "[OWNER].PROFILE P ON P.DOCNUMBER = F.DOCNUMBER LEFT OUTER JOIN [OWNER].APPS A ON "
      "A.SYSTEM_ID = P.APPLICATION WHERE UPPER(P.DOCNAME) LIKE ";
  const std::string needs_foldering =
      "INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, "
      "TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', "
      "NULL FROM [OWNER].PROFILE WHERE PROFILE.SYSTEM_ID = 1503 AND MATTER = 1101 AND APPLICATION "
      "<> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER') AND DOCNUMBER NOT IN "
      "(SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')";
  const std::string item_lookup =
      "SELECT FI.DOCNUMBER, PR.DOCNAME, RL.LIBRARY_NAME, PL.LIBRARY_NAME, 'ARBORLINE' FROM "
      "[OWNER].FOLDER_ITEM FI LEFT OUTER JOIN [OWNER].PROFILE PR ON PR.DOCNUMBER = FI.DOCNUMBER "
      "LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN "
      "[OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' "
      "AND FI.PARENT = 123 AND PL.LIBRARY_NAME = 'DOCS' AND RL.LIBRARY_NAME = 'DOCS' AND "
      "UPPER(PR.DOCNAME) LIKE ";
  auto forget = [](const std::string& row) {
    return "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = "
           "'PENDING_ROW 00000000000000" +
           row + "' AND SUB_KEY = 'R1'";
  };
  return {
      // clang-format off
      // Owner placeholders and the gateway's rewrites.
      Read("owner placeholder", {kOwner}, "SELECT OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE "
          "LIBRARY_NAME = 'DOCS'"),
      Read("owner placeholder in lower case", {"3"}, "SELECT COUNT(*) FROM [owner].CLIENT"),
      Read("QZ_ tables belong to dbo", {"2"}, "SELECT COUNT(*) FROM [OWNER].QZ_TEST"),
      Read("tracking exclusion NOT IN", {"C0002", "XYZ"}, "SELECT CLIENT.CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE [OWNER].CLIENT.SYSTEM_ID NOT IN (SELECT SID FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND UPPER(RULE_NAME) LIKE "
          "'R1') ORDER BY CLIENT.CLIENT_ID"),
      Read("tracking exclusion NOT IN, aliases and an OR", {"C0002", "XYZ"},
          "SELECT C.CLIENT_ID FROM [OWNER].CLIENT C WHERE C.SYSTEM_ID NOT IN (SELECT Q.SID FROM "
          "[OWNER].QUIL_SPROUTSMITH Q WHERE Q.TABLE_NAME = 'MATTER' OR UPPER(Q.RULE_NAME) = 'R1') "
          "ORDER BY C.CLIENT_ID"),
      Read("NOT IN a whole table, same column names", {"124"}, "SELECT F.DOCNUMBER FROM "
          "[OWNER].FOLDER F WHERE F.DOCNUMBER NOT IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "
          "ORDER BY F.DOCNUMBER"),
      Read("owner-qualified column in a sub-select", {"0001", "0002"}, "SELECT MATTER.MATTER_ID "
          "FROM [OWNER].MATTER WHERE [OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM "
          "[OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY MATTER.MATTER_ID"),
      Only(kMsOnly, Read("TRY_CAST of a code part, failing", {"XYZ"}, "SELECT CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) IS NULL")),
      Only(kMsOnly, Read("TRY_CAST of a code part, compared", {"C0002"}, "SELECT CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) >= 2")),
      Only(kMsOnly, Read("CAST of an empty text is NULL", {"3"}, "SELECT COUNT(*) FROM "
          "[OWNER].CLIENT WHERE CAST('' AS INT) IS NULL")),
      Read("<> comparison", {"123"}, "SELECT DOCNUMBER FROM [OWNER].FOLDER WHERE PATH <> 'X' ORDER "
          "BY DOCNUMBER"),
      Read("unterminated literal closed", {"0"}, "SELECT COUNT(*) FROM [OWNER].CLIENT WHERE "
          "CLIENT_ID = '"),
      // Library preparation.
      Read("security reason 98 looked up", {"0"}, "SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE "
          "CODE = 98"),
      Write("security reason 98 added", 1, "INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, "
          "SYSTEM_ID) VALUES(98,'ARBORLINE',1902)"),
      OnOracle({{"DATETIME", "DATE"}}, Write("LAST_UPDATE column added as DATETIME, as DATE on "
          "Oracle", 0, "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL")),
      Read("LAST_UPDATE column probed", {"0"}, "SELECT COUNT(*) FROM [OWNER].FOLDER WHERE "
          "LAST_UPDATE IS NULL AND 1 = 0"),
      Write("dictionary row of the column cleared", 0, "DELETE FROM [OWNER].DOCSCOLUMN WHERE "
          "TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"),
      Write("owner placeholder inside a literal", 1, "INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, "
          "TBNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, VISIBLEINLIST, USER_MODIFIABLE, "
          "USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, CMSKEY, KEYGROUP, COLNAME, "
          "PROMPT, CMSTYPE, COL_LENGTH) VALUES (1901, 'FOLDER',  '', '', '[OWNER]', 'N', 'Y', 'Y', "
          "'Y', 'N', 'N', 'Y', 'EDIT', 'N', '', 'LAST_UPDATE', 'LAST_UPDATE',8, 0)"),
      // One dictionary row, naming the real owner.
      Read("owner placeholder inside a literal", {kOwner}, "SELECT CREATOR FROM [OWNER].DOCSCOLUMN "
          "WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"),
      Write("GETUTCDATE stamp of the system's folders", 1, "UPDATE [OWNER].FOLDER SET LAST_UPDATE "
          "= GETUTCDATE() WHERE PATH LIKE 'ARBORLINE%'"),
      Write("GETUTCDATE stamp of an adopted folder", 1, "UPDATE [OWNER].FOLDER SET LAST_UPDATE = "
          "GETUTCDATE(), PATH = 'ARBORLINE R2' WHERE DOCNUMBER = 124"),
      Read("GETUTCDATE stamps read back", {"123|ARBORLINE R1|2026-12-06 08:04:29",
          "124|ARBORLINE R2|2026-12-06 08:04:29"}, "SELECT DOCNUMBER, PATH, LAST_UPDATE FROM "
          "[OWNER].FOLDER ORDER BY DOCNUMBER"),
      OnOracle({{"|10|", "|2|"}}, Read("own library row", {"DOCS|DOCS|10|localhost"},
          "SELECT LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, SERVER_LOCATION FROM "
          "[OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0")),
      Read("connection settings of two libraries", {"DOCS|||LAWADM", "OTHER|||LAWADM"},
          "SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM [OWNER].REMOTE_LIBRARIES "
          "WHERE LIBRARY_NAME IN ('DOCS', 'OTHER')"),
      Read("library settings", {"MAXITEMSTOSORT|NULL|500"}, "SELECT SUB_KEY, CHAR_VAL, INT_VAL "
          "FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SETTINGS'"),
      Read("table listed in the dictionary", {"1"}, "SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE "
          "UPPER(TABLE_NAME) = 'QUIL_SETTINGS'"),
      Read("validation tables", {"CLIENT", "DOCUMENTTYPES", "MATTER"}, "SELECT TABLE_NAME FROM "
          "[OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME"),
      Read("security link column listed", {"1"}, "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE "
          "TBNAME = 'PROFILE' AND COLNAME = 'SECURITY_LINK'"),
      Read("workspace form", {"1"}, "SELECT COUNT(*) FROM [OWNER].FORMS WHERE FORM_NAME = "
          "'WORKSPACE_PROF' AND FORM_TYPE = 'P'"),
      Read("site's profile columns", {}, "SELECT DISTINCT COLNAME, FTBNAME FROM [OWNER].DOCSCOLUMN "
          "WHERE COLNAME IN ('DIVISION', 'ATTY') AND TBNAME = 'PROFILE'"),
      // Catalog and server facts.
      Only(kMsOnly, Read("sysobjects table check", {"1"}, tables_exist)),
      Only(kMsOnly, Read("sysobjects table check in lower case", {"1"}, text::Replace(tables_exist,
          "QUIL_SETTINGS", "quil_settings"))),
      Only(kMsOnly, Read("sysobjects table check, absent", {"0"}, text::Replace(tables_exist,
          "QUIL_SETTINGS", "QUIL_PROXIES"))),
      Only(kOracleOnly, Read("ALL_TABLES table check", {"1"}, "SELECT COUNT(*) FROM ALL_TABLES "
          "WHERE TABLE_NAME = 'QUIL_SETTINGS'")),
      Only(kOracleOnly, Read("ALL_TABLES table check, absent", {"0"}, "SELECT COUNT(*) FROM "
          "ALL_TABLES WHERE TABLE_NAME = 'QUIL_PROXIES'")),
      Only(kMsOnly, Headed({""}, Read("@@VERSION banner", {banner}, "SELECT @@VERSION"))),
      Only(kMsOnly, Read("sys.databases quoted identifier", {"1"}, "SELECT IS_QUOTED_IDENTIFIER_ON "
          "FROM SYS.DATABASES DB WHERE DB.NAME = 'DOCS'")),
      Only(kMsOnly, Write("set dateformat", 0, "set dateformat mdy")),
      // Running nodes and dates.
      // The engine registers no running node on Oracle; a row another program wrote there.
      OnOracle({{"GETDATE()", "TO_DATE('2026-12-06 09:04:29', 'YYYY-MM-DD HH24:MI:SS')"}},
          Write("running node registered with GETDATE, written with TO_DATE on Oracle", 1,
          "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
          "DATE_VAL) VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PC_1:R1', GETDATE())")),
      Read("running nodes read", {"PCX1:R1|2026-12-06 08:00:00", "PC_1:R1|2026-12-06 09:04:29"},
          "SELECT CHAR_VAL, DATE_VAL FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
          "SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'"),
      // "_" in the computer's name is escaped: PCX1's row stays.
      Write("running node clean-up, escaped LIKE", 1, "DELETE FROM [OWNER].QUIL_SETTINGS WHERE "
          "MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' "
          "AND ((CHAR_VAL LIKE 'pc[_]1:%' OR CHAR_VAL IS NULL OR CHAR_VAL = '') OR DATE_VAL IS "
          "NULL)"),
      Read("running nodes read", {"PCX1:R1"}, "SELECT CHAR_VAL FROM [OWNER].QUIL_SETTINGS WHERE "
          "MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'"),
      // A rule's unfinished rows: text parts, the level being made, read back in pieces.
      OnOracle({kSysdate}, Write("pending row part with GETDATE, SYSDATE on Oracle", 1,
          "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
          "DATE_VAL, KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000A1', 'R1', 'R1\t%25 "
          "it''s [x]\t0\t$', 7, GETDATE(), 1)")),
      OnOracle({kSysdate}, Write("pending row's level noted", 1, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000A1', 'R1', '1 5000', 7, "
          "GETDATE(), 0)")),
      Write("pending row's level moved on", 1, "UPDATE [OWNER].QUIL_SETTINGS SET CHAR_VAL = '2 "
          "5120' WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'PENDING_ROW 00000000000000A1' "
          "AND SUB_KEY = 'R1' AND KEY_TYPE = 0"),
      OnOracle({kSubstr}, Read("pending rows read in pieces, SUBSTR on Oracle",
          {"PENDING_ROW 00000000000000A1|7|0|2 5120|||", "PENDING_ROW 00000000000000A1|7|1|R1\t%25 "
          "it's [x]\t0\t$|||"}, "SELECT SECTION_KEY, INT_VAL, KEY_TYPE, SUBSTRING(CHAR_VAL, 1, "
          "254), SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), SUBSTRING(CHAR_VAL, "
          "763, 254) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY "
          "LIKE 'PENDING_ROW %' AND SUB_KEY = 'R1' ORDER BY INT_VAL, SECTION_KEY, KEY_TYPE")),
      Write("pending row forgotten", 2, forget("A1")),
      Only(kMsOnly, Write("pending rows remembered together", 2, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000B1', 'R1', 'x', 8, GETDATE(), "
          "1), ('ARBORLINE', 'PENDING_ROW 00000000000000B2', 'R1', 'y', 9, GETDATE(), 1)")),
      Only(kOracleOnly, Write("pending rows remembered together", 2, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) SELECT 'ARBORLINE', 'PENDING_ROW 00000000000000B1', 'R1', 'x', 8, SYSDATE, 1 "
          "FROM DUAL UNION ALL SELECT 'ARBORLINE', 'PENDING_ROW 00000000000000B2', 'R1', 'y', 9, "
          "SYSDATE, 1 FROM DUAL")),
      Read("pending rows remembered together", {"PENDING_ROW 00000000000000B1|8|x",
          "PENDING_ROW 00000000000000B2|9|y"}, "SELECT SECTION_KEY, INT_VAL, CHAR_VAL FROM "
          "[OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY LIKE 'PENDING_ROW "
          "%' AND SUB_KEY = 'R1' ORDER BY INT_VAL"),
      Write("pending row forgotten", 1, forget("B1")),
      Read("highest document number", {"125"}, "SELECT MAX(DOCNUMBER) FROM [OWNER].PROFILE"),
      Read("date compared with a text", {"3"}, "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG WHERE "
          "START_DATE >= '2020-11-13'"),
      OnOracle({{"'2020-11-14'", "TO_DATE('14-NOV-20', 'DD-MON-RR')"}},
          Write("activity clean-up, date as text, TO_DATE with DD-MON-RR on Oracle", 2,
          "DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = 123 AND (ACTIVITY_TYPE IN (45, 46, "
          "47) OR (TYPIST = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') AND "
          "START_DATE = '2020-11-14'))")),
      Read("activity clean-up", {"2"}, "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG"),
      // Row limits and outer joins.
      Only(kMsOnly, Headed({"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID", "CLIENT.SYSTEM_ID",
          "MATTER.SYSTEM_ID"}, Read("selection with DISTINCT TOP, LEFT OUTER JOIN and aliases",
          {"FIRM MATTERS|\\|C0001|0001|1001|1101", "FIRM MATTERS|\\|C0001|0002|1001|1102"},
          "SELECT DISTINCT TOP 2 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", "
          "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", "
          "MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"\r\n FROM [OWNER].MATTER LEFT OUTER JOIN "
          "[OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE ((CLIENT.SYSTEM_ID NOT IN "
          "(SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND "
          "UPPER(RULE_NAME) LIKE 'R2') OR MATTER.SYSTEM_ID NOT IN (SELECT SID FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND UPPER(RULE_NAME) LIKE "
          "'R2'))) ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC"))),
      Only(kOracleOnly, Headed({"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID"},
          Read("selection with ROWNUM and outer join (+)", {"FIRM MATTERS|\\|C0001|0001",
          "FIRM MATTERS|\\|C0001|0002"}, "SELECT DISTINCT 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID "
          "\"CLIENT.CLIENT_ID\", MATTER.MATTER_ID \"MATTER.MATTER_ID\" FROM [OWNER].MATTER, "
          "[OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID AND MATTER.SYSTEM_ID NOT "
          "IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND "
          "UPPER(RULE_NAME) LIKE 'R2') AND ROWNUM <= 2 ORDER BY CLIENT.CLIENT_ID ASC, "
          "MATTER.MATTER_ID ASC"))),
      OnOracle({{"TOP 1 SYSTEM_ID", "MIN(SYSTEM_ID)"}, {" ORDER BY SYSTEM_ID)", ")"}},
          Write("first matter of a client, TOP 1, MIN on Oracle", 1, "UPDATE [OWNER].PROFILE SET "
          "MATTER = (SELECT TOP 1 SYSTEM_ID FROM [OWNER].MATTER WHERE CLIENT_ID = (SELECT "
          "SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY SYSTEM_ID) WHERE "
          "DOCNUMBER = 125")),
      Read("first matter of a client", {"1101"}, "SELECT MATTER FROM [OWNER].PROFILE WHERE "
          "DOCNUMBER = 125"),
      // Quoted identifiers and folder order; names sort without regard to case.
      OnOracle({kQuotedNext}, Read("sort read with [NEXT], \"NEXT\" on Oracle",
          {"1602|Alpha|1603|N|F|DOCS|DOCS|124", "1601|beta|1602|Y|D|DOCS|DOCS|125",
          "1603|Gamma|0|N|F|DOCS|DOCS|0"}, "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.[NEXT], "
          "FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, FI.DOCNUMBER FROM "
          "[OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
          "FI.PARENT_LIBRARY = PL.SYSTEM_ID AND FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = 123 AND "
          "PL.LIBRARY_NAME = 'DOCS' ORDER BY FI.DISPLAYNAME, FI.SYSTEM_ID")),
      OnOracle({kQuotedNext}, Write("chain written with [NEXT], \"NEXT\" on Oracle", 1,
          "UPDATE [OWNER].FOLDER_ITEM SET [NEXT] = 1601, ISFIRST = 'Y' WHERE SYSTEM_ID = 1602")),
      Read("bare NEXT", {"1603|0"}, "SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE "
          "NEXT = 0 AND PARENT = 123"),
      OnOracle({kQuotedNext}, Write("cross-library item insert with [NEXT], \"NEXT\" on Oracle", 1,
          "INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
          "ISFIRST, [NEXT], REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, "
          "VERSION_TYPE, STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT 1604, 123, 456, "
          "PL.SYSTEM_ID, RL.SYSTEM_ID, 'Y', 0, 1603, 'F', 'O''Neill', 1701, 'R', 0, 0, 0 FROM "
          "[OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE PL.LIBRARY_NAME = 'DOCS' "
          "AND RL.LIBRARY_NAME = 'OTHER'")),
      Read("cross-library item read", {"0|OTHER|O'Neill"}, "SELECT FI.PARENT_LIBRARY, "
          "RL.LIBRARY_NAME, FI.DISPLAYNAME FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES "
          "RL WHERE RL.SYSTEM_ID = FI.LIBRARY AND FI.SYSTEM_ID = 1604"),
      Read("document versions", {"1701", "1702"}, "SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE "
          "DOCNUMBER = 123 ORDER BY VERSION_ID"),
      Read("rights of the login user", {"1"}, "SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE "
          "PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE UPPER(USER_ID) = "
          "'JSMITH') AND GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE "
          "UNIV_ACCESS >= 191)"),
      // Texts, patterns and comparisons.
      OnOracle({kSubstr}, Read("rule rows in four pieces, SUBSTR on Oracle",
          {"SETTINGS|MAXITEMSTOSORT|NULL|500|NULL|NULL|NULL", "RULE_TEMPLATE|R1|" + a + "|NULL|" +
          b + "|" + c + "|" + d}, "SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), "
          "INT_VAL, SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), "
          "SUBSTRING(CHAR_VAL, 763, 254) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' "
          "AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, "
          "SECTION_KEY")),
      // A bracket in a name is escaped as "[[]"; on Oracle the gateway writes ESCAPE '\'.
      Headed({"DOCNUMBER", "DOCNAME", "", "", "PATH"}, Read("public folder lookup, escaped bracket",
          {"123|Acme [UK] Ltd Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup +
          "'ACME [[]UK] LTD%' AND A.APPLICATION = 'FOLDER' AND F.DOCNUMBER IN (SELECT DOCNUMBER "
          "FROM [OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER DESC")),
      // A linked folder is not a top-level one.
      Read("top-level folder lookup, NOT IN linked items", {"123|Acme [UK] Ltd "
          "Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup + "'ACME%' AND A.APPLICATION = 'FOLDER' "
          "AND F.DOCNUMBER NOT IN (SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN "
          "[OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN "
          "[OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = "
          "'F' AND RL.LIBRARY_NAME = 'DOCS' AND PL.LIBRARY_NAME = 'DOCS') ORDER BY F.DOCNUMBER DESC"
          ""),
      // "_" escaped as "[_]" stands for itself: the blank of "ACME UK" does not match it.
      Read("folder lookup, escaped underscore", {}, folder_lookup + "'ACME[_]UK%' AND "
          "A.APPLICATION = 'FOLDER' ORDER BY F.DOCNUMBER DESC"),
      Read("folder item lookup under a parent", {"124|ACME UK LTD|DOCS|DOCS|ARBORLINE"},
          item_lookup + "'ACME%'"),
      Read("folder item lookup under a parent, exact name", {"124|ACME UK LTD|DOCS|DOCS|ARBORLINE"},
          item_lookup + "'acme uk ltd'"),
      Read("folder item lookup under a parent, exact name not there", {},
          "SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN [OWNER].PROFILE PR ON "
          "PR.DOCNUMBER = FI.DOCNUMBER WHERE FI.PARENT = 123 AND UPPER(PR.DOCNAME) LIKE 'ACME UK'"),
      Read("public folder lookup, exact name with an escaped bracket", {"123|Acme [UK] Ltd "
          "Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup + "'ACME [[]UK] LTD FILES' AND "
          "A.APPLICATION = 'FOLDER' AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "
          "ORDER BY F.DOCNUMBER DESC"),
      Read("unlinked folder by exact name", {}, "SELECT F.DOCNUMBER FROM [OWNER].PROFILE P, "
          "[OWNER].FOLDER F WHERE P.DOCNAME = 'ACME UK LTD' AND F.DOCNUMBER = P.DOCNUMBER AND "
          "(F.PATH = 'ARBORLINE R2' OR (F.PATH IS NULL AND P.TYPIST = (SELECT SYSTEM_ID FROM "
          "[OWNER].PEOPLE WHERE USER_ID = 'JSMITH'))) AND F.DOCNUMBER <> 123 AND F.DOCNUMBER NOT "
          "IN (SELECT DOCNUMBER FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT IN (SELECT PARENT "
          "FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT IN (SELECT DOCNUMBER FROM "
          "[OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER"),
      Read("user id in any letter case", {"1301"}, "SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE "
          "USER_ID = 'jsmith'"),
      Read("number compared with a text", {"C0002"}, "SELECT CLIENT_ID FROM [OWNER].CLIENT WHERE "
          "SYSTEM_ID = '1002'"),
      Read("NOT IN a list of texts, or NULL", {"2"}, "SELECT COUNT(*) FROM [OWNER].SUBTYPES WHERE "
          "(DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)"),
      Read("COUNT DISTINCT of non-empty texts", {"2"}, "SELECT COUNT(DISTINCT DT_FOLDERNAME) FROM "
          "[OWNER].PCDT WHERE (DT_FOLDERNAME <> '' AND DT_FOLDERNAME IS NOT NULL)"),
      Read("COUNT DISTINCT of non-empty, enabled texts", {"2"}, "SELECT COUNT(DISTINCT NAME_EN) "
          "FROM [OWNER].SUBTYPES WHERE (NAME_EN <> '' AND NAME_EN IS NOT NULL) AND (DISABLED <> "
          "'Y' OR DISABLED IS NULL)"),
      Read("foreign key of a template column", {"CLIENT|SYSTEM_ID|N"}, "SELECT FTBNAME, FCOLNAME, "
          "MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'CLIENT_ID' AND TBNAME = 'MATTER'"),
      Read("disabled column of a lookup table", {"0"}, "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN "
          "WHERE COLNAME = 'DISABLED' AND TBNAME = 'DOCUMENTTYPES'"),
      // Folder building: metadata, queue, trustees, tracking.
      Read("author and typist by self-join", {"JSMITH|ADOE|123"}, "SELECT A.USER_ID, T.USER_ID , "
          "P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE P.AUTHOR = "
          "A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.SYSTEM_ID = 1501"),
      Read("client and matter of a profile", {"C0001|0001"}, "SELECT C.CLIENT_ID, M.MATTER_ID FROM "
          "[OWNER].PROFILE P, [OWNER].MATTER M, [OWNER].CLIENT C WHERE P.MATTER = M.SYSTEM_ID AND "
          "M.CLIENT_ID = C.SYSTEM_ID AND P.DOCNUMBER = 123"),
      Read("chained LEFT OUTER JOINs", {"1502|NULL|JSMITH|NULL|LITIGATION|0"},
          "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
          "FROM [OWNER].PROFILE P LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR LEFT "
          "OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER JOIN [OWNER].GROUPS AG "
          "ON AG.SYSTEM_ID = A.PRIMARY_GROUP LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = "
          "T.PRIMARY_GROUP WHERE P.DOCNUMBER = 124"),
      Only(kOracleOnly, Read("outer join (+)", {"1502|NULL|JSMITH"}, "SELECT P.SYSTEM_ID, "
          "A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE "
          "A.SYSTEM_ID (+) = P.AUTHOR AND T.SYSTEM_ID (+) = P.TYPIST AND P.DOCNUMBER = 124")),
      Write("document queued by INSERT ... SELECT", 1, needs_foldering),
      Write("document queued once", 0, needs_foldering),
      Write("trustee inserted from PEOPLE", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 191, 1503 FROM [OWNER].PEOPLE WHERE USER_ID = "
          "'ADOE'"),
      Write("trustee inserted from PROFILE", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT 0, 191, SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125"
          ""),
      Write("trustee inserted from GROUPS", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 255, 1503 FROM [OWNER].GROUPS WHERE GROUP_ID = "
          "'DOCS_SUPERVISORS'"),
      Write("trustee set to no rights", 1, "UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = 16711680 "
          "WHERE THING = 1503 AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE "
          "GROUP_ID = 'DOCS_SUPERVISORS')"),
      Read("trustees read with people and groups", {"ADOE|NULL|191", "NULL|DOCS_USERS|191",
          "NULL|DOCS_SUPERVISORS|16711680"}, "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM "
          "[OWNER].SECURITY S LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
          "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP LEFT OUTER JOIN "
          "[OWNER].PROFILE R ON R.SYSTEM_ID = S.THING WHERE R.DOCNUMBER = 125"),
      Write("tracking rows by INSERT ... SELECT ... ORDER BY", 3, "INSERT INTO "
          "[OWNER].QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) SELECT "
          "SYSTEM_ID, 'MATTER', 'R3', 0, '' FROM [OWNER].MATTER ORDER BY SYSTEM_ID"),
      Write("profile columns of a new folder", 1, "UPDATE [OWNER].PROFILE SET DOCNAME = 'ACME UK "
          "LTD', FORM = 5, FULLTEXT = 'Y', STORAGETYPE = 'A', PATH = '', RETENTION = 0, EMAIL_SENT "
          "= NULL, EMAIL_RECEIVED = NULL WHERE DOCNUMBER = 124"),
      Write("author set by sub-select", 1, "UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID "
          "FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') WHERE DOCNUMBER = 124"),
      Write("form set by sub-select", 1, "UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM "
          "[OWNER].FORMS WHERE FORM_NAME = 'folder_prof') WHERE DOCNUMBER = 124"),
      Read("author and form read back", {"JSMITH|FOLDER_PROF"}, "SELECT A.USER_ID, F.FORM_NAME "
          "FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].FORMS F WHERE A.SYSTEM_ID = P.AUTHOR "
          "AND F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = 124"),
      Write("e-mail address and site columns", 1, "UPDATE [OWNER].PROFILE SET PD_ADDRESSEE = "
          "'x@example.com', DIVISION = NULL, ATTY = NULL WHERE DOCNUMBER = 124"),
      Read("e-mail address in use", {"1"}, "SELECT COUNT(*) FROM [OWNER].PROFILE WHERE "
          "PD_ADDRESSEE = 'x@example.com'"),
      Write("public folder's display name", 1, "UPDATE [OWNER].ROOT_OBJECT SET DISPLAYNAME = 'Acme "
          "[UK] Ltd Files' WHERE DOCNUMBER = 123"),
      Write("root object removed", 0, "DELETE FROM [OWNER].ROOT_OBJECT WHERE DOCNUMBER = 124"),
      Write("profile status", 1, "UPDATE [OWNER].PROFILE SET STATUS = 0 WHERE DOCNUMBER = 124"),
      Write("item renamed, libraries by sub-select", 1, "UPDATE [OWNER].FOLDER_ITEM SET "
          "DISPLAYNAME = 'Alpha 2' WHERE DOCNUMBER = 124 AND PARENT = 123 AND PARENT_LIBRARY = "
          "(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'DOCS') AND "
          "LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'docs')"),
      Write("everyone's trustee removed", 1, "DELETE FROM [OWNER].SECURITY WHERE THING = (SELECT "
          "SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 123) AND PERSONORGROUP = 0"),
      Read("rights on the parent folder, BETWEEN and nested sub-selects", {"1"},
          "SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND THING = "
          "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125) AND (PERSONORGROUP = "
          "(SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH') OR PERSONORGROUP IN "
          "(SELECT GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT "
          "SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'ADOE')))"),
      Write("column copied within a row", 1, "UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE "
          "DOCNUMBER = 125"),
      Write("security link to the row itself", 1, "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1, "
          "SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98 WHERE SYSTEM_ID = 1503"),
      Read("security link to the row itself", {"1301|1|1503|98"}, "SELECT AUTHOR, DEFAULT_RIGHTS, "
          "SECURITY_LINK, SEC_REASON_LINK FROM [OWNER].PROFILE WHERE DOCNUMBER = 125"),
      Write("default rights put back", 1, "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 0 WHERE "
          "SYSTEM_ID = 1503"),
      Read("tracking exclusion NOT EXISTS", {}, "SELECT MATTER.MATTER_ID FROM [OWNER].MATTER WHERE "
          "NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE QUIL_SPROUTSMITH.SID = "
          "MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = 'R3')"),
      Write("security queue cleared", 0, "DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = 123"),
      // Workspaces.
      Read("user's primary library", {"DOCS"}, "SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES "
          "WHERE SYSTEM_ID = (SELECT PRIMARY_LIB FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH')"),
      Read("user's address and primary library", {"NULL|0"}, "SELECT EMAIL_ADDRESS, PRIMARY_LIB "
          "FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH'"),
      Read("user's workspaces", {"1801"}, "SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE "
          "UPPER(ENTITYSCOPE) = 'USER' AND ENTITYID = 1301 AND UPPER(NAME) = 'WORKSPACES'"),
      Write("workspace entry", 1, "INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, "
          "ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(1802, 'Acme', 'PROPERTY', 'REGISTRY', "
          "1801, 'WMAcme', 'String')"),
      Write("workspace entry property", 1, "INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, "
          "DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) VALUES('PROPERTY', 'REGISTRY', 'String', "
          "'ORDERNUMBER', '1', 1802, 1803)"),
      Read("highest order number", {"1"}, "SELECT DATA FROM [OWNER].REGISTRY WHERE UPPER(NAME) = "
          "'ORDERNUMBER' AND ENTITYID IN (SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = "
          "1801)"),
      // Maintenance tools.
      Read("tracking rows listed", {"R1|CLIENT|1001", "R3|MATTER|1101", "R3|MATTER|1102",
          "R3|MATTER|1103"}, "SELECT RULE_NAME, TABLE_NAME, SID FROM [OWNER].QUIL_SPROUTSMITH "
          "ORDER BY RULE_NAME, TABLE_NAME, SID"),
      Read("tracking rows of a rule counted", {"3"}, "SELECT COUNT(*) FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(RULE_NAME) = 'R3'"),
      Write("tracking rows of a rule reset", 3, "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE "
          "UPPER(RULE_NAME) = 'R3'"),
      Write("one tracking row removed", 1, "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE SID = 1001 "
          "AND TABLE_NAME = 'CLIENT' AND RULE_NAME = 'R1'"),
      Write("saved rule statement cleared", 0, "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY "
          "= 'ARBORLINE' AND SECTION_KEY LIKE 'RULE_SPROUTSMITH_SQL%' AND SUB_KEY = 'R1'"),
      Write("saved rule statement written", 1, "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, "
          "SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE) VALUES('ARBORLINE', "
          "'RULE_SPROUTSMITH_SQL_1', 'R1', 'SELECT 1', NULL, 1)"),
      // clang-format on
  };
}

class StatementCorpusTest : public testing::EngineSession,
                            public ::testing::WithParamInterface<testing::FlavourOnBackEnd> {
 protected:
  int Engine() const { return std::get<0>(GetParam()); }
  bool Oracle() const { return Engine() == 2; }
  sql::Backend Backend() const { return std::get<1>(GetParam()); }

  void SetUp() override {
    install_.backend = Backend();
    install_.Create({{.name = "DOCS", .engine_code = Engine(), .owner = kOwner, .generate = false},
                     {.name = "OTHER", .owner = kOwner, .generate = false}},
                    "JSMITH");
    const sql::ExecResult fixture = install_.OpenLibrary("DOCS")->ExecuteScript(
        text::Replace(kFixture, "@LONG_TEXT@", LongText(Backend())));
    ASSERT_TRUE(fixture.ok()) << fixture.status.text;
    // The client hands the server's clock to every library database it opens.
    client_ = dmapi::OpenInstallation(install_.config, &kServerClock);
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    // The statements start-up sent itself ran as well.
    EXPECT_GT(Count("Executing "), 10);
    EXPECT_EQ(Count("SQL Error #"), 0) << Dump();
    const sql::ExecResult undone = install_.OpenLibrary("DOCS")->ExecuteScript(kUndoPreparation);
    ASSERT_TRUE(undone.ok()) << undone.status.text;
  }

  // The shapes this flavour is sent, each in the text the engine writes for it.
  std::vector<Shape> Shapes() {
    std::vector<Shape> out;
    for (Shape shape : Corpus(Banner())) {
      if ((shape.flavours & (Oracle() ? kOracleOnly : kMsOnly)) == 0) continue;
      for (const auto& [from, to] : Oracle() ? shape.oracle : Edits()) {
        shape.sql = text::Replace(shape.sql, from, to);
        for (std::string& row : shape.rows) row = text::Replace(row, from, to);
      }
      out.push_back(shape);
    }
    return out;
  }

  // What @@VERSION answers on the back end.
  std::string Banner() {
    if (Backend() == sql::Backend::kSqlite) {
      return std::string("15 - 0 (Sproutsmith DM stand-in on SQLite ") + sqlite3_libversion() + ")";
    }
    return "15 - 0 (Sproutsmith DM stand-in on PostgreSQL " +
           testing::FirstValue(install_.Query("DOCS", "SHOW server_version")) + ")";
  }

  // The rows of the last statement as the engine reads them.
  std::vector<std::string> Rows() {
    dmapi::SqlObject& sql = *connection().sql();
    std::vector<std::string> out;
    connection().ForEachRow([&] {
      std::string row;
      for (int n = 1; n <= sql.ColumnCount(); ++n) {
        const sql::Value v = sql.ColumnValue(n);
        row += (n > 1 ? "|" : "") + (v.IsNull() ? std::string("NULL") : v.text);
      }
      out.push_back(row);
      return true;
    });
    return out;
  }
  std::vector<std::string> Headings() {
    std::vector<std::string> out;
    for (int n = 1; n <= connection().sql()->ColumnCount(); ++n) {
      out.push_back(connection().sql()->ColumnName(n));
    }
    return out;
  }
};

// Without ORDER BY the server promises no order.
bool Ordered(const Shape& shape) { return text::InStrNoCase(shape.sql, "ORDER BY") != 0; }

TEST_P(StatementCorpusTest, EveryShapeRunsWithTheRowsTheEngineExpects) {
  // The facts the texts are prepared with are the server's own: a current SQL Server keeps
  // TRY_CAST, and the owner is the library's, not the default.
  // The major version comes from the @@VERSION banner, read as far as its "(".
  EXPECT_EQ(Describe(connection().facts()),
            Oracle() ? "Oracle (2) LAWADM  level  join ' (+) = ' concat ' || ' \"NEXT\" connected"
                     : "MSSQL 15 (10) LAWADM 15.0.2000.5 level 150 join ' = ' concat ' + ' [NEXT] "
                       "connected");
  const std::vector<Shape> shapes = Shapes();
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(std::string(shape.id) + "\n  sent: " + connection().PrepareSql(shape.sql));
    ASSERT_TRUE(connection().RunSQL(shape.sql));
    ASSERT_TRUE(connection().LastSucceeded()) << connection().sql()->ErrDescription();
    if (shape.affected >= 0) {
      EXPECT_EQ(connection().RowsAffected(), shape.affected);
      EXPECT_EQ(connection().sql()->GetRowCount(), 0);
    } else {
      // A query never reports changed rows (the gateway would not position on row 1).
      EXPECT_EQ(connection().RowsAffected(), 0);
      std::vector<std::string> rows = Rows();
      std::vector<std::string> expected = shape.rows;
      if (!Ordered(shape)) {
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
      }
      EXPECT_EQ(rows, expected);
      if (!shape.headings.empty()) {
        EXPECT_EQ(Headings(), shape.headings);
      }
    }
    connection().Release();
  }
}

INSTANTIATE_TEST_SUITE_P(BothFlavoursOnBothBackEnds, StatementCorpusTest,
                         testing::BothFlavoursOnBothBackEnds(), testing::FlavourOnBackEndName);

}  // namespace
}  // namespace sproutsmith::dm
