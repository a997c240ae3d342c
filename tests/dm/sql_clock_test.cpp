// The library's SQL tells the time by the engine's clock: dates written with GETDATE() agree
// with the log and with a test's fixed clock.

#include <gtest/gtest.h>

#include <string>

#include "support/engine_session.h"
#include "text/text.h"

namespace sproutsmith::dm {
namespace {

class SqlClockTest : public testing::EngineSession {
 protected:
  std::string Now() { return text::Format(install_.clock.Now(), "YYYY-MM-DD HH:NN:SS"); }
  std::string Ask(const std::string& sql) {
    connection().RunSQL(sql);
    EXPECT_TRUE(connection().LastSucceeded()) << sql << "\n" << Dump();
    std::string answer = connection().Column(1);
    connection().Release();
    return answer;
  }
};

TEST_F(SqlClockTest, GetDateReadsTheSessionsClockInEveryLibrary) {
  Start({{.name = "DEMO", .with_rules = false}, {.name = "ARCHIVE", .with_rules = false}});
  EXPECT_EQ(Ask("SELECT GETDATE()"), Now());
  install_.clock.Advance(3600 * 24 * 40 + 7);  // read live, not once per connection
  EXPECT_EQ(Ask("SELECT GETDATE()"), Now());
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE")) << Dump();
  EXPECT_EQ(Ask("SELECT GETDATE()"), Now());

  // A date written by SQL is the one the engine would have written.
  install_.Exec("ARCHIVE", "CREATE TABLE STAMPS (D DATETIME)");
  connection().RunSQL("INSERT INTO [OWNER].STAMPS (D) VALUES (GETDATE())");
  ASSERT_TRUE(connection().LastSucceeded()) << Dump();
  connection().Release();
  EXPECT_EQ(Scalar("ARCHIVE", "SELECT D FROM STAMPS"), Now());
}

}  // namespace
}  // namespace sproutsmith::dm
