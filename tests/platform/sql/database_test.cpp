// The two back ends behind one Database interface: a SQLite file and a database of the test
// server answer the same statements alike, each failure carrying its driver's prefix.

#include <gtest/gtest.h>

#include <string>

#include "platform/both_backends.h"
#include "platform/os/clock.h"

namespace sproutsmith::sql {
namespace {

using testing::TempDir;

class DatabaseTest : public testing::BackendTest {
 protected:
  void SetUp() override {
    db_ = Open({}, "LawAdm");
    ASSERT_TRUE(db_);
    Run("CREATE TABLE T (ID bigint PRIMARY KEY, NAME varchar(20), D timestamp(0), N numeric)");
    Run("INSERT INTO T (ID, NAME, N) VALUES (1, 'one', 1.5), (2, 'two', 2), (3, 'three', NULL)");
  }

  ExecResult Run(const std::string& sql, const std::vector<Value>& params = {}) {
    ExecResult r = db_->Execute(sql, params);
    EXPECT_TRUE(r.ok()) << sql << ": " << r.status.text;
    return r;
  }
  // The names in T, by ID.
  std::string Names() {
    std::string names;
    for (const auto& row : testing::ReadRows(*db_, "SELECT NAME FROM T ORDER BY ID")) {
      names += (names.empty() ? "" : ",") + row[0];
    }
    return names;
  }

  std::unique_ptr<Database> db_;
};

TEST_P(DatabaseTest, TheDataLivesInTheFileOrInTheOwnersSchema) {
  if (!Postgres()) {
    EXPECT_EQ(db_->Location(), File());
    EXPECT_EQ(testing::Scalar(*db_, "PRAGMA journal_mode"), "wal");
    return;
  }
  EXPECT_EQ(db_->Location().rfind("dbname=t", 0), 0u) << db_->Location();
  EXPECT_NE(db_->Location().find("_lib schema=lawadm"), std::string::npos) << db_->Location();
  EXPECT_EQ(testing::Scalar(*db_,
                            "SELECT table_schema FROM information_schema.tables WHERE "
                            "table_name = 't'"),
            "lawadm");
}

TEST_P(DatabaseTest, ValuesReadBackAsTheirKindsWithTheTablesHeadings) {
  const ExecResult r =
      Run("SELECT ID, NAME, N, D, 'x', COUNT(*) OVER () AS \"Mixed\" FROM T ORDER BY ID");
  EXPECT_EQ(r.result.columns,
            (std::vector<std::string>{"ID", "NAME", "N", "D", Postgres() ? "" : "'x'", "Mixed"}));
  ASSERT_EQ(r.result.rows.size(), 3u);
  EXPECT_EQ(r.result.rows[0][0], Value::Integer(1));
  EXPECT_EQ(r.result.rows[0][1], Value::Text("one"));
  EXPECT_EQ(r.result.rows[0][2].type, Value::Type::kReal);
  EXPECT_EQ(r.result.rows[0][2].text, "1.5");
  EXPECT_EQ(r.result.rows[1][2], Value::Integer(2));
  EXPECT_TRUE(r.result.rows[2][2].IsNull());
  EXPECT_TRUE(r.result.rows[0][3].IsNull());
  // A double-quoted name is always a column: on SQLite's default a misspelt one silently
  // becomes a string.
  EXPECT_FALSE(db_->Execute("SELECT \"namex\" FROM T").ok());
  EXPECT_EQ(testing::Scalar(*db_, "SELECT \"name\" FROM T WHERE ID = 1"), "one");
}

TEST_P(DatabaseTest, ParametersBindByPositionOutsideLiteralsAndComments) {
  Run("INSERT INTO T (ID, NAME, D) VALUES (?, ?, ?) -- why?",
      {Value::Integer(7), Value::Text("it's ?"), Value::Text("2020-11-14 09:30:15")});
  Run("INSERT INTO T (ID, NAME) VALUES (?, ?)", {Value::Text("8"), Value::Null()});
  const ExecResult r =
      Run("SELECT NAME, D, '?' FROM T WHERE ID = ? OR (ID = ? AND NAME IS NULL) ORDER BY ID",
          {Value::Integer(7), Value::Integer(8)});
  ASSERT_EQ(r.result.rows.size(), 2u);
  EXPECT_EQ(r.result.rows[0][0], Value::Text("it's ?"));
  EXPECT_EQ(r.result.rows[0][1].text, "2020-11-14 09:30:15");
  EXPECT_EQ(r.result.rows[0][2].text, "?");
  EXPECT_TRUE(r.result.rows[1][0].IsNull());
  // RETURNING reads rows; counting changes is for statements without a result.
  const ExecResult returning =
      Run("UPDATE T SET ID = ID + ? WHERE ID = 8 RETURNING ID", {Value::Integer(1)});
  ASSERT_EQ(returning.result.rows.size(), 1u);
  EXPECT_EQ(returning.result.rows[0][0], Value::Integer(9));
}

TEST_P(DatabaseTest, RowsAffectedCountsChangesOnly) {
  EXPECT_EQ(Run("UPDATE T SET NAME = 'x' WHERE ID >= 2").rows_affected, 2);
  EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1").rows_affected, 1);
  EXPECT_EQ(Run("UPDATE T SET NAME = 'y' WHERE ID = 99").rows_affected, 0);
  const ExecResult select = Run("SELECT COUNT(*) FROM T");
  EXPECT_EQ(select.rows_affected, 0);
  ASSERT_EQ(select.result.rows.size(), 1u);
  EXPECT_EQ(select.result.rows[0][0], Value::Integer(2));
}

TEST_P(DatabaseTest, FailuresCarryThePrefixAndChangeNothing) {
  struct Case {
    const char* sql;
    const char* sqlite;  // the text after the prefix; nullptr: SQLite runs it
    long postgres_code;  // the SQLSTATE class
    const char* postgres;
  };
  const Case cases[] = {
      {"SELECT * FROM MISSING", "no such table: MISSING", 42,
       "relation \"missing\" does not exist"},
      {"INSERT INTO T (ID) VALUES (1)", "UNIQUE constraint failed: T.ID", 23,
       "duplicate key value violates unique constraint \"t_pkey\""},
      {"SELECT 1/0", nullptr, 22, "division by zero"},
      // A second statement is refused before anything runs.
      {"DELETE FROM T; DELETE FROM T WHERE ID = 1", "only one statement can be executed at a time",
       42, "cannot insert multiple commands into a prepared statement"},
  };
  for (const Case& c : cases) {
    if (!Postgres() && c.sqlite == nullptr) continue;
    SCOPED_TRACE(c.sql);
    const ExecResult r = db_->Execute(c.sql);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.status.code, 9);
    if (Postgres()) {
      EXPECT_EQ(r.status.code, c.postgres_code);
    }
    EXPECT_EQ(r.status.text, (Postgres() ? std::string("[Sproutsmith][PostgreSQL] ") + c.postgres
                                         : std::string("[Sproutsmith][SQLite] ") + c.sqlite));
    EXPECT_NE(r.error_number, 0);
    EXPECT_EQ(Names(), "one,two,three");
  }
  // A trailing ";" and comments are not a second statement.
  EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1; -- done\n;").rows_affected, 1);
}

// A transaction rolls back unless committed; on PostgreSQL a failed statement has rolled it
// back already, which the commit reports, while SQLite's transaction outlives it.
TEST_P(DatabaseTest, TransactionsKeepWhatIsCommitted) {
  {
    Transaction tx(*db_);
    ASSERT_TRUE(tx.active());
    Run("DELETE FROM T");
  }
  EXPECT_EQ(Names(), "one,two,three");
  {
    Transaction tx(*db_);
    Run("UPDATE T SET NAME = 'gone' WHERE ID = 1");
    EXPECT_TRUE(tx.Commit());
  }
  {
    Transaction tx(*db_);
    Run("UPDATE T SET NAME = 'lost' WHERE ID = 2");
    EXPECT_FALSE(db_->Execute("SELECT * FROM MISSING").ok());
    EXPECT_EQ(tx.Commit(), !Postgres());
  }
  EXPECT_EQ(Names(), Postgres() ? "gone,two,three" : "gone,lost,three");
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, DatabaseTest, testing::BothBackends(),
                         testing::BackendParamName);

// A clock whose local time and UTC differ, as on a machine away from Greenwich.
class ZonedClock final : public os::Clock {
 public:
  text::DateTime local{2026, 12, 6, 9, 4, 29};
  text::DateTime utc{2026, 12, 6, 8, 4, 29};
  text::DateTime Now() const override { return local; }
  text::DateTime UtcNow() const override { return utc; }
};

TEST(SqliteDatabaseTest, ClockFunctionsReadTheConnectionsClockLive) {
  TempDir dir;
  auto db = SqliteDatabase::Open(dir.File("clock.db"), true);
  ZonedClock clock;
  db->SetClock(clock);
  const std::string both = "SELECT sproutsmith_getdate() || '|' || sproutsmith_getutcdate()";
  EXPECT_EQ(testing::Scalar(*db, both), "2026-12-06 09:04:29|2026-12-06 08:04:29");
  // The clock is read at every call, never copied: moving it moves SQL's time too.
  clock.local = clock.local.AddSeconds(61);
  clock.utc = clock.utc.AddSeconds(61);
  EXPECT_EQ(testing::Scalar(*db, both), "2026-12-06 09:05:30|2026-12-06 08:05:30");
}

TEST(SqliteDatabaseTest, ClearErrorsForFilesThatCannotBeLibraries) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("missing.db"), false, &error));
  EXPECT_EQ(error,
            "[Sproutsmith][SQLite] " + dir.File("missing.db") + ": No such file or directory");

  testing::WriteFile(dir.File("notes.txt"), std::string(4096, 'x'));
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("notes.txt"), false, &error));
  EXPECT_EQ(error, "[Sproutsmith][SQLite] " + dir.File("notes.txt") + ": file is not a database");
}

TEST(PostgresDatabaseTest, ARefusedConnectionNamesItsTarget) {
  const std::string connection = testing::NewPostgresDatabase("refused");
  ASSERT_FALSE(connection.empty());
  Status status;
  auto db = PostgresDatabase::Open(connection + "_missing", "DOCSADM", &status);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(status.code, 8);
  EXPECT_EQ(status.text.rfind("[Sproutsmith][PostgreSQL] " + connection + "_missing: ", 0), 0u)
      << status.text;
}

}  // namespace
}  // namespace sproutsmith::sql
