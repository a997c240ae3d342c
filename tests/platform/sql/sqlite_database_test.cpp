#include "platform/sql/sqlite_database.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os/clock.h"
#include "support/temp_dir.h"

namespace sproutsmith::sql {
namespace {

using testing::TempDir;

class SqliteDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    db_ = SqliteDatabase::Open(dir_.File("lib.db"), true, &error);
    ASSERT_TRUE(db_) << error;
    Run("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), D DATETIME)");
    Run("INSERT INTO T (ID, NAME) VALUES (1, 'one'), (2, 'two'), (3, 'three')");
  }

  ExecResult Run(const std::string& sql, const std::vector<Value>& params = {}) {
    ExecResult r = db_->Execute(sql, params);
    EXPECT_TRUE(r.ok()) << sql << ": " << r.status.text;
    return r;
  }

  // Column 1 of every row, joined with ",".
  std::string Column1(const std::string& sql) {
    std::string out;
    for (const auto& row : Run(sql).result.rows) out += (out.empty() ? "" : ",") + row[0].text;
    return out;
  }

  TempDir dir_;
  std::unique_ptr<SqliteDatabase> db_;
};

TEST_F(SqliteDatabaseTest, ErrorsCarryTheDriverPrefixAndNeverNine) {
  const ExecResult r = db_->Execute("SELECT * FROM MISSING");
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.status.code, 9);
  EXPECT_EQ(r.status.text, "[Sproutsmith][SQLite] no such table: MISSING");
}

TEST_F(SqliteDatabaseTest, RowsAffectedCountsChangesOnly) {
  EXPECT_EQ(Run("UPDATE T SET NAME = 'x' WHERE ID >= 2").rows_affected, 2);
  EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1").rows_affected, 1);
  EXPECT_EQ(Run("UPDATE T SET NAME = 'y' WHERE ID = 99").rows_affected, 0);
  const ExecResult select = Run("SELECT COUNT(*) FROM T");
  EXPECT_EQ(select.rows_affected, 0);
  ASSERT_EQ(select.result.rows.size(), 1u);
  EXPECT_EQ(select.result.rows[0][0], Value::Integer(2));
}

TEST_F(SqliteDatabaseTest, ParametersBindByPosition) {
  Run("INSERT INTO T (ID, NAME, D) VALUES (?, ?, ?)",
      {Value::Integer(4), Value::Text("it's"), Value::Null()});
  const ExecResult r = Run("SELECT NAME, D FROM T WHERE ID = ?", {Value::Integer(4)});
  ASSERT_EQ(r.result.rows.size(), 1u);
  EXPECT_EQ(r.result.rows[0][0], Value::Text("it's"));
  EXPECT_TRUE(r.result.rows[0][1].IsNull());
}

TEST_F(SqliteDatabaseTest, TransactionRollsBackUnlessCommitted) {
  {
    Transaction t(*db_);
    ASSERT_TRUE(t.active());
    Run("DELETE FROM T");
  }
  EXPECT_EQ(Column1("SELECT COUNT(*) FROM T"), "3");
  {
    Transaction t(*db_);
    Run("DELETE FROM T WHERE ID = 3");
    EXPECT_TRUE(t.Commit());
  }
  EXPECT_EQ(Column1("SELECT COUNT(*) FROM T"), "2");
}

TEST_F(SqliteDatabaseTest, SecondStatementIsRefusedBeforeAnythingRuns) {
  const ExecResult r = db_->Execute("DELETE FROM T; DELETE FROM T WHERE ID = 1");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.status.text, "[Sproutsmith][SQLite] only one statement can be executed at a time");
  EXPECT_EQ(Column1("SELECT COUNT(*) FROM T"), "3");
  // A trailing ";" and comments are not a second statement.
  EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1; -- done\n;").rows_affected, 1);
}

TEST_F(SqliteDatabaseTest, DoubleQuotesAlwaysNameAColumn) {
  // On SQLite's default a misspelt quoted column silently becomes a string.
  EXPECT_FALSE(db_->Execute("SELECT \"NAMEX\" FROM T").ok());
  EXPECT_EQ(Column1("SELECT \"NAME\" FROM T WHERE ID = 1"), "one");
}

// A clock whose local time and UTC differ, as on a machine away from Greenwich.
class ZonedClock final : public os::Clock {
 public:
  text::DateTime local{2026, 12, 6, 9, 4, 29};
  text::DateTime utc{2026, 12, 6, 8, 4, 29};
  text::DateTime Now() const override { return local; }
  text::DateTime UtcNow() const override { return utc; }
};

TEST_F(SqliteDatabaseTest, ClockFunctionsReadTheConnectionsClockLive) {
  ZonedClock clock;
  db_->SetClock(clock);
  const std::string both = "SELECT sproutsmith_getdate() || '|' || sproutsmith_getutcdate()";
  EXPECT_EQ(Column1(both), "2026-12-06 09:04:29|2026-12-06 08:04:29");
  // The clock is read at every call, never copied: moving it moves SQL's time too.
  clock.local = clock.local.AddSeconds(61);
  clock.utc = clock.utc.AddSeconds(61);
  EXPECT_EQ(Column1(both), "2026-12-06 09:05:30|2026-12-06 08:05:30");
}

TEST(SqliteOpenTest, ClearErrorsForFilesThatCannotBeLibraries) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("missing.db"), false, &error));
  EXPECT_EQ(error,
            "[Sproutsmith][SQLite] " + dir.File("missing.db") + ": No such file or directory");

  testing::WriteFile(dir.File("notes.txt"), std::string(4096, 'x'));
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("notes.txt"), false, &error));
  EXPECT_EQ(error, "[Sproutsmith][SQLite] " + dir.File("notes.txt") + ": file is not a database");
}

TEST(SqliteOpenTest, TwoConnectionsSeeEachOthersWrites) {
  TempDir dir;
  auto a = SqliteDatabase::Open(dir.File("shared.db"), true);
  auto b = SqliteDatabase::Open(dir.File("shared.db"), false);
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->Execute("CREATE TABLE Q (V INTEGER)").ok());
  ASSERT_TRUE(a->Execute("INSERT INTO Q VALUES (7)").ok());
  ExecResult r = b->Execute("SELECT V FROM Q");
  ASSERT_TRUE(r.ok()) << r.status.text;
  ASSERT_EQ(r.result.rows.size(), 1u);
  EXPECT_EQ(r.result.rows[0][0], Value::Integer(7));
  {
    Transaction t(*b);
    ASSERT_TRUE(b->Execute("UPDATE Q SET V = 8").ok());
    // Not committed yet: the other connection still reads the old value.
    EXPECT_EQ(a->Execute("SELECT V FROM Q").result.rows[0][0], Value::Integer(7));
    ASSERT_TRUE(t.Commit());
  }
  EXPECT_EQ(a->Execute("SELECT V FROM Q").result.rows[0][0], Value::Integer(8));
  EXPECT_EQ(a->Execute("PRAGMA journal_mode").result.rows[0][0].text, "wal");
}

}  // namespace
}  // namespace sproutsmith::sql
