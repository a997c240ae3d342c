// The engine over a library whose database fails one statement: the gateway narrates the
// failure in its own words and the session goes on working.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "dm/connection.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/dm_installation.h"
#include "support/fault_opener.h"

namespace sproutsmith::dm {
namespace {

using testing::DmInstallation;

TEST(FaultTest, AFailedStatementIsLoggedAsAnSqlErrorAndTheNextOneWorks) {
  DmInstallation install;
  install.Create({{.name = "DEMO", .with_rules = false}});
  sql::FaultInjectingDatabase* fault = nullptr;
  std::unique_ptr<dmapi::Client> client = install.OpenClient(testing::FaultInjectingOpener(
      [&fault](const std::string&, sql::FaultInjectingDatabase& db) { fault = &db; }));
  ASSERT_TRUE(client);
  Connection connection(install.context, *client);
  ASSERT_TRUE(connection.StartFusion());
  ASSERT_NE(fault, nullptr);
  install.options.CheckLogMethod = 1;
  const std::string before = install.Scalar("DEMO", "SELECT COUNT(*) FROM MATTER");

  fault->FailCall(1);
  EXPECT_TRUE(connection.RunSQL("UPDATE [OWNER].MATTER SET MATTER_ID = MATTER_ID || 'X'"));
  EXPECT_EQ(connection.sql()->GetSQLErrorCode(), 1);
  const std::vector<std::string> lines = install.LogLines();
  EXPECT_EQ(install.CountLogLines("SQL Error"), 1) << install.LogText();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.ends_with("SQL Error #1 (injected failure of call 1) encountered in library DEMO");
  })) << install.LogText();
  EXPECT_EQ(install.Scalar("DEMO", "SELECT COUNT(*) FROM MATTER WHERE MATTER_ID LIKE '%X'"), "0");

  EXPECT_TRUE(connection.RunSQL("SELECT COUNT(*) FROM [OWNER].MATTER"));
  EXPECT_EQ(connection.sql()->GetSQLErrorCode(), 0);
  EXPECT_EQ(install.CountLogLines("SQL Results: " + before), 1) << install.LogText();
  EXPECT_EQ(install.CountLogLines("SQL Error"), 1);
}

}  // namespace
}  // namespace sproutsmith::dm
