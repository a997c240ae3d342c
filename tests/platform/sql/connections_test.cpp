// Two connections to one database, a real SQLite file or a real PostgreSQL database. Writes
// held in one transaction, as a row of folder building makes them, are durable (seen by the
// other connection) only at EndHeld, a DM operation's transaction is a savepoint inside (all
// or nothing on its own), a rollback undoes all that is held, and reads never take the write
// lock.

#include <memory>
#include <string>
#include <vector>

#include "platform/both_backends.h"

namespace sproutsmith::sql {
namespace {

using Rows = std::vector<long long>;

class HeldCommitsTest : public testing::BackendTest {
 protected:
  void SetUp() override {
    db_ = Open(BusyWait{0});
    other_ = Open(BusyWait{0});
    ASSERT_TRUE(db_ && other_);
    ASSERT_TRUE(db_->ExecuteScript("CREATE TABLE T (N INTEGER)").ok());
  }
  // What another connection (another process) sees.
  Rows Durable() {
    Rows rows;
    for (const auto& row : other_->Execute("SELECT N FROM T ORDER BY N").result.rows) {
      rows.push_back(row[0].AsInteger());
    }
    return rows;
  }
  void Write(long long n) {
    ASSERT_TRUE(db_->Execute("INSERT INTO T (N) VALUES (" + std::to_string(n) + ")").ok());
  }

  std::unique_ptr<Database> db_;
  std::unique_ptr<Database> other_;
};

TEST_P(HeldCommitsTest, HeldWritesBecomeDurableTogetherAndOperationsStayAllOrNothing) {
  db_->HoldCommits(true);
  // Reads take no lock: another process can still write.
  ASSERT_TRUE(db_->Execute("SELECT COUNT(*) FROM T").ok());
  ASSERT_TRUE(other_->Execute("INSERT INTO T (N) VALUES (100)").ok());

  Write(1);
  {
    Transaction op(*db_);  // a DM operation: a savepoint inside the held transaction
    ASSERT_TRUE(op.active());
    Write(2);
    EXPECT_TRUE(op.Commit());
  }
  {
    Transaction failed(*db_);  // broken off: its own writes only are undone
    ASSERT_TRUE(failed.active());
    Write(3);
  }
  {
    Transaction outer(*db_);
    Write(4);
    Transaction inner(*db_);
    Write(5);
    EXPECT_TRUE(inner.Commit());
    EXPECT_TRUE(outer.Commit());
  }
  EXPECT_EQ(Durable(), Rows({100})) << "nothing held is durable before EndHeld";
  EXPECT_TRUE(db_->EndHeld(true));
  EXPECT_EQ(Durable(), Rows({1, 2, 4, 5, 100}));

  // A rollback undoes everything held since the last EndHeld; holding goes on.
  Write(6);
  EXPECT_FALSE(db_->EndHeld(false));
  Write(7);
  EXPECT_TRUE(db_->EndHeld(true));
  EXPECT_EQ(Durable(), Rows({1, 2, 4, 5, 7, 100}));
  // With nothing held there is nothing to make durable, and that is no failure.
  EXPECT_TRUE(db_->EndHeld(true));

  // Turning holding off makes what is held durable; then each write is durable at once.
  Write(8);
  db_->HoldCommits(false);
  Write(9);
  EXPECT_EQ(Durable(), Rows({1, 2, 4, 5, 7, 8, 9, 100}));
}

TEST_P(HeldCommitsTest, WithoutHoldingTransactionsNestAsSavepoints) {
  {
    Transaction outer(*db_);
    Write(1);
    {
      Transaction inner(*db_);
      Write(2);
    }  // rolled back alone
    Transaction kept(*db_);
    Write(3);
    EXPECT_TRUE(kept.Commit());
    EXPECT_EQ(Durable(), Rows({}));
    EXPECT_TRUE(outer.Commit());
  }
  EXPECT_EQ(Durable(), Rows({1, 3}));
}

// A statement the database refuses: inside an operation only the operation is undone; at
// the held transaction's own level (where a PostgreSQL transaction cannot go on after it)
// everything held is lost, later writes are refused rather than made durable without what
// came before them, and EndHeld reports the loss once.
TEST_P(HeldCommitsTest, AFailedStatementUndoesItsOperationOrReportsWhatWasLost) {
  db_->HoldCommits(true);
  Write(1);
  {
    Transaction op(*db_);
    Write(2);
    EXPECT_FALSE(db_->Execute("INSERT INTO NO_SUCH_TABLE VALUES (1)").ok());
  }  // undone with its operation; the held transaction goes on
  Write(3);
  EXPECT_TRUE(db_->EndHeld(true));
  EXPECT_EQ(Durable(), Rows({1, 3}));

  Write(4);
  EXPECT_FALSE(db_->Execute("INSERT INTO NO_SUCH_TABLE VALUES (1)").ok());
  if (Postgres()) {
    EXPECT_FALSE(db_->Execute("INSERT INTO T (N) VALUES (5)").ok());
    EXPECT_FALSE(db_->EndHeld(true)) << "the loss of 4 is reported";
    EXPECT_EQ(Durable(), Rows({1, 3}));
  } else {
    Write(5);  // SQLite's transaction outlives a refused statement
    EXPECT_TRUE(db_->EndHeld(true));
    EXPECT_EQ(Durable(), Rows({1, 3, 4, 5}));
  }
  Write(6);
  EXPECT_TRUE(db_->EndHeld(true));
  EXPECT_EQ(Durable().back(), 6);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, HeldCommitsTest, testing::BothBackends(),
                         testing::BackendParamName);

// A write on a database another connection holds a write lock on, on both back ends: it
// waits up to its busy wait and fails with kBusyCode, gives up as soon as a stop is asked
// for, and with a busy wait of 0 does not wait at all. The other connection is real: a
// second SQLite connection to the same file, a second session on the test server.
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
