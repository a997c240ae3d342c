// What the gateway tells about a statement beyond its result: a server interface the client
// cannot load (shown once per user), and a statement that keeps the server busy.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/clock.h"
#include "support/engine_session.h"
#include "support/product_name.h"
#include "text/text.h"

namespace sproutsmith::dm {
namespace {

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

class SqlGatewayOutcomeTest : public testing::EngineSession {
 protected:
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

  ServerBehaviour* server_ = nullptr;
};

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

class ServerInterfaceTest : public SqlGatewayOutcomeTest,
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
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    Mark();
    EXPECT_TRUE(connection().RunSQL("SELECT COUNT(*) FROM [OWNER].CLIENT"));
    EXPECT_FALSE(connection().LastSucceeded());
    std::vector<std::string> written = LinesSince();
    if (c.verbose) {
      // Narrated like any statement, with the message as its outcome.
      ASSERT_EQ(written.size(), 6u) << Dump();
      EXPECT_EQ(written[0], "Executing MSSQL 15 SQL Instruction on DEMO");
      written.erase(written.begin(), written.begin() + 2);
      EXPECT_EQ(written.back(), kRule);
      written.pop_back();
    }
    EXPECT_EQ(written, message) << Dump();
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

struct BusyCase {
  const char* name;
  long seconds;
  const char* statement;
  const char* outcome;
  friend void PrintTo(const BusyCase& c, std::ostream* os) { *os << c.name; }
};

const BusyCase kBusyCases[] = {
    {"OneSecondIsNotWorthANote", 1, "SELECT MATTER_ID FROM [OWNER].MATTER",
     "SQL Instruction Executed Successfully on DEMO with 8 row(s) returned."},
    {"TwoSeconds", 2, "SELECT MATTER_ID FROM [OWNER].MATTER",
     "SQL Instruction Executed Successfully on DEMO with 8 row(s) returned."},
    {"WholeSecondsBeyondAMinute", 75, "UPDATE [OWNER].MATTER SET MATTER_ID = MATTER_ID",
     "SQL Instruction Executed Successfully on DEMO with 8 row(s) processed."},
    {"AFailedStatement", 3, "SELECT NO_SUCH_COLUMN FROM [OWNER].MATTER",
     "SQL Error #1 (no such column: NO_SUCH_COLUMN) encountered in library DEMO"},
};

class BusyServerTest : public SqlGatewayOutcomeTest,
                       public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyServerTest, AStatementSlowerThanASecondGetsANote) {
  const BusyCase& c = GetParam();
  StartDemo();
  server_->busy = "MATTER";
  server_->busy_seconds = c.seconds;
  const std::string sent = connection().PrepareSql(c.statement);
  Mark();
  EXPECT_TRUE(connection().RunSQL(c.statement));
  std::vector<std::string> expected = {"Executing MSSQL 15 SQL Instruction on DEMO", sent,
                                       c.outcome, kRule};
  if (c.seconds > 1) {
    expected.push_back("Note: Execution took " + std::to_string(c.seconds) +
                       " second(s) to complete");
    expected.push_back(kRule);
  }
  EXPECT_EQ(LinesSince(), expected) << Dump();
}

INSTANTIATE_TEST_SUITE_P(Cases, BusyServerTest, ::testing::ValuesIn(kBusyCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace sproutsmith::dm
