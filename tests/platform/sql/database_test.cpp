// The two back ends behind one Database interface: a SQLite file and a database of the test
// server answer the same statements alike, each failure carrying its driver's prefix, and
// statements of one shape are translated once and prepared once per connection.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/both_backends.h"
#include "platform/os/clock.h"
#include "platform/schema/table_definitions.h"
#include "platform/sql/dialect/translation_cache.h"

namespace sproutsmith::sql {
namespace {

using testing::TempDir;
using V = Value;
using Table = std::vector<std::vector<Value>>;

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
  const V x = V::Text("x");
  EXPECT_EQ(r.result.rows,
            (Table{{V::Integer(1), V::Text("one"), V::Real(1.5), V(), x, V::Integer(3)},
                   {V::Integer(2), V::Text("two"), V::Integer(2), V(), x, V::Integer(3)},
                   {V::Integer(3), V::Text("three"), V(), V(), x, V::Integer(3)}}));
  // A double-quoted name is always a column: on SQLite's default a misspelt one silently
  // becomes a string.
  EXPECT_FALSE(db_->Execute("SELECT \"namex\" FROM T").ok());
  EXPECT_EQ(testing::Scalar(*db_, "SELECT \"name\" FROM T WHERE ID = 1"), "one");
}

TEST_P(DatabaseTest, ParametersBindByPositionOutsideLiteralsAndComments) {
  Run("INSERT INTO T (ID, NAME, D) VALUES (?, ?, ?) -- why?",
      {Value::Integer(7), Value::Text("it's ?"), Value::Text("2020-11-14 09:30:15")});
  Run("INSERT INTO T (ID, NAME) VALUES (?, ?)", {Value::Text("8"), Value::Null()});
  EXPECT_EQ(Run("SELECT NAME, D, '?' FROM T WHERE ID = ? OR (ID = ? AND NAME IS NULL) ORDER BY ID",
                {V::Integer(7), V::Integer(8)})
                .result.rows,
            (Table{{V::Text("it's ?"), V::Text("2020-11-14 09:30:15"), V::Text("?")},
                   {V(), V(), V::Text("?")}}));
  // RETURNING reads rows; counting changes is for statements without a result.
  EXPECT_EQ(Run("UPDATE T SET ID = ID + ? WHERE ID = 8 RETURNING ID", {V::Integer(1)}).result.rows,
            Table{{V::Integer(9)}});
}

TEST_P(DatabaseTest, FailuresCarryThePrefixAndChangeNothing) {
  // (sql, sqlite, postgres_code, postgres); sqlite: the text after the prefix; nullptr: SQLite runs
  // it; postgres_code: the SQLSTATE class
  const std::tuple<const char*, const char*, long, const char*> cases[] = {
      {"SELECT * FROM MISSING", "no such table: MISSING", 42,
       "relation \"missing\" does not exist"},
      {"INSERT INTO T (ID) VALUES (1)", "UNIQUE constraint failed: T.ID", 23,
       "duplicate key value violates unique constraint \"t_pkey\""},
      {"SELECT 1/0", nullptr, 22, "division by zero"},
      // A second statement is refused before anything runs.
      {"DELETE FROM T; DELETE FROM T WHERE ID = 1", "only one statement can be executed at a time",
       42, "cannot insert multiple commands into a prepared statement"},
  };
  for (const auto& [sql, sqlite, postgres_code, postgres] : cases) {
    if (!Postgres() && sqlite == nullptr) continue;
    SCOPED_TRACE(sql);
    const ExecResult r = db_->Execute(sql);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.status.code, 9);
    if (Postgres()) {
      EXPECT_EQ(r.status.code, postgres_code);
    }
    EXPECT_EQ(r.status.text, (Postgres() ? std::string("[Sproutsmith][PostgreSQL] ") + postgres
                                         : std::string("[Sproutsmith][SQLite] ") + sqlite));
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

TEST(SqliteDatabaseTest, ClockFunctionsReadTheClockLiveAndFilesThatAreNoLibrariesFailClearly) {
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

  // A missing file, or one that is no database, cannot be a library.
  std::string error;
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("missing.db"), false, &error));
  EXPECT_EQ(error,
            "[Sproutsmith][SQLite] " + dir.File("missing.db") + ": No such file or directory");

  testing::WriteFile(dir.File("notes.txt"), std::string(4096, 'x'));
  EXPECT_FALSE(SqliteDatabase::Open(dir.File("notes.txt"), false, &error));
  EXPECT_EQ(error, "[Sproutsmith][SQLite] " + dir.File("notes.txt") + ": file is not a database");
}

class TranslationCacheTest : public testing::BackendTest {
 protected:
  void SetUp() override {
    db_ = Open();
    ASSERT_TRUE(db_);
    sqlite_ = dynamic_cast<SqliteDatabase*>(db_.get());
    postgres_ = dynamic_cast<PostgresDatabase*>(db_.get());
    ASSERT_TRUE(
        db_->ExecuteScript("CREATE TABLE T (ID BIGINT PRIMARY KEY, NAME VARCHAR(40))").ok());
    TranslateOptions options;
    options.target = GetParam();
    options.owners = {"DOCSADM", "dbo"};
    options.non_null_integer_columns = schema::NonNullIntegerColumns();
    cache_ = std::make_unique<TranslationCache>(options);
  }

  long long Prepared() const {
    return sqlite_ ? sqlite_->statements_prepared() : postgres_->statements_prepared();
  }

  // The rows of a statement run through the cache, "a|b" per row.
  std::vector<std::string> Rows(const std::string& sql) {
    const ExecResult r = cache_->Execute(*db_, sql);
    EXPECT_TRUE(r.ok()) << sql << ": " << r.status.text;
    std::vector<std::string> rows;
    for (const auto& row : r.result.rows) {
      std::string line;
      for (const Value& v : row) line += (line.empty() ? "" : "|") + v.text;
      rows.push_back(line);
    }
    return rows;
  }

  std::unique_ptr<Database> db_;
  SqliteDatabase* sqlite_ = nullptr;
  PostgresDatabase* postgres_ = nullptr;
  std::unique_ptr<TranslationCache> cache_;
};

TEST_P(TranslationCacheTest, EachShapeIsTranslatedAndPreparedOnce) {
  const long long prepared = Prepared();
  for (int i = 1; i <= 40; ++i) {
    const std::string n = std::to_string(i);
    const ExecResult r = cache_->Execute(
        *db_, "INSERT INTO DOCSADM.T (ID, NAME) VALUES (" + n + ", 'name ''" + n + "''')");
    EXPECT_EQ(std::tuple(r.ok(), r.rows_affected), std::tuple(true, 1)) << r.status.text;
  }
  for (int i = 1; i <= 40; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(Rows("SELECT NAME, SUBSTRING(NAME, 1, 4) FROM DOCSADM.T WHERE ID = " + n +
                   " AND NAME LIKE 'name%' OPTION (MAXDOP 1)"),
              std::vector<std::string>{"name '" + n + "'|name"});
  }
  EXPECT_EQ(std::tuple(cache_->translations(), Prepared() - prepared), std::tuple(2, 2));

  // A number beyond 32 bits makes no new shape, but PostgreSQL types the parameter as it
  // types such a literal, in a statement prepared for it apart.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DOCSADM.T WHERE ID < 5000000000"),
            std::vector<std::string>{"40"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DOCSADM.T WHERE ID < 3"), std::vector<std::string>{"2"});
  EXPECT_EQ(std::tuple(cache_->translations(), Prepared() - prepared),
            std::tuple(3, Postgres() ? 4 : 3));
}

// A SELECT * prepared before its table gains a column answers with the column afterwards.
TEST_P(TranslationCacheTest, AStatementPreparedBeforeATableChangeSeesTheChange) {
  ASSERT_TRUE(cache_->Execute(*db_, "INSERT INTO T (ID, NAME) VALUES (1, 'one')").ok());
  EXPECT_EQ(Rows("SELECT * FROM T WHERE ID = 1"), std::vector<std::string>{"1|one"});
  ASSERT_TRUE(db_->Execute("ALTER TABLE T ADD COLUMN N INTEGER").ok());
  ASSERT_TRUE(db_->Execute("UPDATE T SET N = 7").ok());
  EXPECT_EQ(Rows("SELECT * FROM T WHERE ID = 1"), std::vector<std::string>{"1|one|7"});
}

TEST(PostgresDatabaseTest, ARefusedConnectionNamesItsTargetAndANewOnePreparesAgain) {
  const std::string connection = testing::NewPostgresDatabase("reconnect");
  ASSERT_FALSE(connection.empty());
  Status status;
  EXPECT_EQ(PostgresDatabase::Open(connection + "_missing", "DOCSADM", &status), nullptr);
  EXPECT_EQ(status.code, 8);
  EXPECT_EQ(status.text.rfind("[Sproutsmith][PostgreSQL] " + connection + "_missing: ", 0), 0u)
      << status.text;
  auto db = PostgresDatabase::Open(connection, "public", &status);
  ASSERT_TRUE(db) << status.text;
  auto admin = PostgresDatabase::Open(connection, "public", &status);
  ASSERT_TRUE(admin) << status.text;
  const std::string query = "SELECT ? + 1";
  ASSERT_TRUE(db->Execute(query, {Value::Integer(1)}).ok());
  const ExecResult pid = db->Execute("SELECT pg_backend_pid()");
  ASSERT_TRUE(pid.ok());
  EXPECT_EQ(db->statements_prepared(), 1);

  // The server ends the session (waiting until it has); the next statement learns it.
  ASSERT_TRUE(
      admin->Execute("SELECT pg_terminate_backend(?, 10000)", {pid.result.rows[0][0]}).ok());
  EXPECT_FALSE(db->Execute(query, {Value::Integer(1)}).ok());
  const ExecResult again = db->Execute(query, {Value::Integer(2)});
  ASSERT_TRUE(again.ok()) << again.status.text;
  EXPECT_EQ(again.result.rows[0][0], Value::Integer(3));
  EXPECT_EQ(db->statements_prepared(), 2);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, TranslationCacheTest, testing::BothBackends(),
                         testing::BackendParamName);

// Two connections to one database, a real SQLite file or a real PostgreSQL database. Writes
// held in one transaction, as a row of folder building makes them, are durable (seen by the
// other connection) only at EndHeld, a DM operation's transaction is a savepoint inside (all
// or nothing on its own), a rollback undoes all that is held, and reads never take the write
// lock.
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
