// A write on a database another connection holds a write lock on, on both back ends: it
// waits up to its busy wait and fails with kBusyCode, gives up as soon as a stop is asked
// for, and with a busy wait of 0 does not wait at all. The other connection is real: a
// second SQLite connection to the same file, a second session on the test server.

#include <memory>
#include <string>

#include "platform/both_backends.h"

namespace sproutsmith::sql {
namespace {

class BusyWaitTest : public testing::BackendTest {
 protected:
  void SetUp() override {
    holder_ = Open();
    ASSERT_TRUE(holder_);
    ASSERT_TRUE(holder_->ExecuteScript("CREATE TABLE T (ID bigint PRIMARY KEY, N bigint)").ok());
    ASSERT_TRUE(holder_->Execute("INSERT INTO T (ID, N) VALUES (1, 0)").ok());
    // The row's write lock (the whole file's on SQLite) until the test ends.
    ASSERT_TRUE(holder_->Begin());
    ASSERT_TRUE(holder_->Execute("UPDATE T SET N = 1 WHERE ID = 1").ok());
  }

  std::unique_ptr<Database> holder_;
};

TEST_P(BusyWaitTest, AWriteGivesUpWithTheBusyCodeAfterItsWaitOrAtAStop) {
  struct Case {
    const char* name;
    int seconds;
    bool stop;
    int min_asked;  // how often "stop waiting?" was asked, at least and at most
    int max_asked;
    bool in_transaction = false;  // PostgreSQL only
  };
  const Case cases[] = {
      {"waits in slices, then fails", 2, false, 1, 1000},
      {"a stop ends the wait at the first question", 60, true, 1, 1},
      {"0 does not wait at all", 0, true, 0, 0},
      // PostgreSQL has broken the transaction off at the first refusal: the statement is
      // not run again, however long the wait it was given.
      {"inside a transaction the first refusal fails", 60, false, 0, 0, true},
  };
  for (const Case& c : cases) {
    if (c.in_transaction && !Postgres()) continue;
    SCOPED_TRACE(c.name);
    int asked = 0;
    std::unique_ptr<Database> waiter = Open({c.seconds, [&] {
                                               ++asked;
                                               return c.stop;
                                             }});
    ASSERT_TRUE(waiter);
    if (c.in_transaction) {
      ASSERT_TRUE(waiter->Begin());
    }
    const ExecResult r = waiter->Execute("UPDATE T SET N = 2 WHERE ID = 1");
    EXPECT_EQ(r.status.code, kBusyCode) << r.status.text;
    // The driver's own words stay in the description.
    EXPECT_NE(r.status.text.find(Postgres() ? "lock timeout" : "database is locked"),
              std::string::npos)
        << r.status.text;
    EXPECT_GE(asked, c.min_asked);
    EXPECT_LE(asked, c.max_asked);
    if (c.in_transaction) waiter->Rollback();
  }
  // Once the lock is gone the same write goes through.
  holder_->Rollback();
  std::unique_ptr<Database> waiter = Open({0, {}});
  EXPECT_TRUE(waiter->Execute("UPDATE T SET N = 2 WHERE ID = 1").ok());
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, BusyWaitTest, testing::BothBackends(),
                         testing::BackendParamName);

}  // namespace
}  // namespace sproutsmith::sql
