// Writes held in one transaction, as a row of folder building makes them: nothing is durable
// (seen by another connection to the file) until EndHeld, a DM operation's transaction is a
// savepoint inside (all or nothing on its own), a rollback undoes all that is held, and
// reads never take the write lock. Checked on a real SQLite file from a second connection.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sql/sqlite_database.h"
#include "support/temp_dir.h"

namespace sproutsmith::sql {
namespace {

class HeldCommitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = Open();
    other_ = Open();
    ASSERT_TRUE(db_ && other_);
    ASSERT_TRUE(db_->ExecuteScript("CREATE TABLE T (N INTEGER)").ok());
  }
  std::unique_ptr<SqliteDatabase> Open() {
    std::string error;
    auto db = SqliteDatabase::Open(dir_.File("lib.db"), true, &error, BusyWait{0});
    EXPECT_TRUE(db) << error;
    return db;
  }
  // What another connection (another process) sees.
  std::vector<long long> Durable() {
    std::vector<long long> rows;
    for (const auto& row : other_->Execute("SELECT N FROM T ORDER BY N").result.rows) {
      rows.push_back(row[0].AsInteger());
    }
    return rows;
  }
  void Write(long long n) {
    ASSERT_TRUE(db_->Execute("INSERT INTO T (N) VALUES (" + std::to_string(n) + ")").ok());
  }

  testing::TempDir dir_;
  std::unique_ptr<SqliteDatabase> db_;
  std::unique_ptr<SqliteDatabase> other_;
};

TEST_F(HeldCommitsTest, HeldWritesBecomeDurableTogetherAndOperationsStayAllOrNothing) {
  using Rows = std::vector<long long>;
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

TEST_F(HeldCommitsTest, WithoutHoldingTransactionsNestAsSavepoints) {
  using Rows = std::vector<long long>;
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

}  // namespace
}  // namespace sproutsmith::sql
