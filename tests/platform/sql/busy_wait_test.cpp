// A write on a database another connection holds a write lock on, on both back ends: it
// waits up to its busy wait and fails with kBusyCode, gives up as soon as a stop is asked
// for, and with a busy wait of 0 does not wait at all. The other connection is real: a
// second SQLite connection to the same file, a second session on the test server.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "support/postgres_server.h"
#include "support/temp_dir.h"

namespace sproutsmith::sql {
namespace {

class BusyWaitTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kPostgres) {
      connection_ = testing::NewPostgresDatabase("busy");
      ASSERT_FALSE(connection_.empty());
    }
    holder_ = Open({});
    ASSERT_TRUE(holder_);
    ASSERT_TRUE(holder_->ExecuteScript("CREATE TABLE T (ID bigint PRIMARY KEY, N bigint)").ok());
    ASSERT_TRUE(holder_->Execute("INSERT INTO T (ID, N) VALUES (1, 0)").ok());
    // The row's write lock (the whole file's on SQLite) until the test ends.
    ASSERT_TRUE(holder_->Begin());
    ASSERT_TRUE(holder_->Execute("UPDATE T SET N = 1 WHERE ID = 1").ok());
  }

  std::unique_ptr<Database> Open(BusyWait wait) {
    if (GetParam() == Backend::kSqlite) {
      std::string error;
      std::unique_ptr<Database> db = SqliteDatabase::Open(dir_.File("lib.db"), true, &error, wait);
      EXPECT_TRUE(db) << error;
      return db;
    }
    Status status;
    std::unique_ptr<Database> db = PostgresDatabase::Open(connection_, "public", &status, wait);
    EXPECT_TRUE(db) << status.text;
    return db;
  }

  testing::TempDir dir_;
  std::string connection_;
  std::unique_ptr<Database> holder_;
};

TEST_P(BusyWaitTest, AWriteGivesUpWithTheBusyCodeAfterItsWaitOrAtAStop) {
  struct Case {
    const char* name;
    int seconds;
    bool stop;
    int min_asked;  // how often "stop waiting?" was asked, at least and at most
    int max_asked;
  };
  const Case cases[] = {
      {"waits in slices, then fails", 2, false, 1, 1000},
      {"a stop ends the wait at the first question", 60, true, 1, 1},
      {"0 does not wait at all", 0, true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int asked = 0;
    std::unique_ptr<Database> waiter = Open({c.seconds, [&] {
                                               ++asked;
                                               return c.stop;
                                             }});
    ASSERT_TRUE(waiter);
    const ExecResult r = waiter->Execute("UPDATE T SET N = 2 WHERE ID = 1");
    EXPECT_EQ(r.status.code, kBusyCode) << r.status.text;
    // The driver's own words stay in the description.
    EXPECT_NE(
        r.status.text.find(GetParam() == Backend::kSqlite ? "database is locked" : "lock timeout"),
        std::string::npos)
        << r.status.text;
    EXPECT_GE(asked, c.min_asked);
    EXPECT_LE(asked, c.max_asked);
  }
  // Once the lock is gone the same write goes through.
  holder_->Rollback();
  std::unique_ptr<Database> waiter = Open({0, {}});
  EXPECT_TRUE(waiter->Execute("UPDATE T SET N = 2 WHERE ID = 1").ok());
}

INSTANTIATE_TEST_SUITE_P(Backends, BusyWaitTest,
                         ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         [](const ::testing::TestParamInfo<Backend>& param) {
                           return param.param == Backend::kSqlite ? "Sqlite" : "Postgres";
                         });

// Inside a transaction the server has broken the transaction off at the first refusal:
// the statement is not run again, however long the wait it was given.
TEST(PostgresBusyWaitTest, InsideATransactionTheFirstRefusalFails) {
  const std::string connection = testing::NewPostgresDatabase("busytx");
  ASSERT_FALSE(connection.empty());
  Status status;
  std::unique_ptr<PostgresDatabase> holder = PostgresDatabase::Open(connection, "public", &status);
  ASSERT_TRUE(holder) << status.text;
  ASSERT_TRUE(holder
                  ->ExecuteScript("CREATE TABLE T (ID bigint PRIMARY KEY, N bigint); INSERT "
                                  "INTO T VALUES (1, 0)")
                  .ok());
  ASSERT_TRUE(holder->Begin());
  ASSERT_TRUE(holder->Execute("UPDATE T SET N = 1 WHERE ID = 1").ok());

  int asked = 0;
  std::unique_ptr<PostgresDatabase> waiter =
      PostgresDatabase::Open(connection, "public", &status, {60, [&] {
                                                               ++asked;
                                                               return false;
                                                             }});
  ASSERT_TRUE(waiter) << status.text;
  ASSERT_TRUE(waiter->Begin());
  EXPECT_EQ(waiter->Execute("UPDATE T SET N = 2 WHERE ID = 1").status.code, kBusyCode);
  EXPECT_EQ(asked, 0);
  waiter->Rollback();
}

}  // namespace
}  // namespace sproutsmith::sql
