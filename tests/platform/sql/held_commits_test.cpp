// Writes held in one transaction, as a row of folder building makes them: nothing is durable
// (seen by another connection) until EndHeld, a DM operation's transaction is a savepoint
// inside (all or nothing on its own), a rollback undoes all that is held, and reads never
// take the write lock. Checked on a real SQLite file and a real PostgreSQL database, each
// from a second connection.

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

}  // namespace
}  // namespace sproutsmith::sql
