// Statements of one shape are translated once and prepared once per connection, on a real
// SQLite file and a real PostgreSQL database; the rows are those of the plain statements.

#include "platform/sql/dialect/translation_cache.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/both_backends.h"
#include "platform/schema/table_definitions.h"

namespace sproutsmith::sql {
namespace {

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
    ASSERT_TRUE(r.ok()) << r.status.text;
    EXPECT_EQ(r.rows_affected, 1);
  }
  for (int i = 1; i <= 40; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(Rows("SELECT NAME, SUBSTRING(NAME, 1, 4) FROM DOCSADM.T WHERE ID = " + n +
                   " AND NAME LIKE 'name%' OPTION (MAXDOP 1)"),
              std::vector<std::string>{"name '" + n + "'|name"});
  }
  EXPECT_EQ(cache_->translations(), 2);
  EXPECT_EQ(Prepared() - prepared, 2);

  // A number beyond 32 bits makes no new shape, but PostgreSQL types the parameter as it
  // types such a literal, in a statement prepared for it apart.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DOCSADM.T WHERE ID < 5000000000"),
            std::vector<std::string>{"40"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DOCSADM.T WHERE ID < 3"), std::vector<std::string>{"2"});
  EXPECT_EQ(cache_->translations(), 3);
  EXPECT_EQ(Prepared() - prepared, Postgres() ? 4 : 3);

  // What takes no parameters is translated once for as long as its text is kept, and run
  // as text each time.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cache_->Execute(*db_, "set dateformat mdy").ok());
  EXPECT_EQ(cache_->translations(), 4);
  for (size_t i = 0; i < TranslationCache::kStatements; ++i) {
    ASSERT_TRUE(
        cache_->Execute(*db_, "SELECT COUNT(*) FROM T WHERE ID = " + std::to_string(i)).ok());
  }
  ASSERT_TRUE(cache_->Execute(*db_, "set dateformat mdy").ok());
  EXPECT_EQ(cache_->translations(), 6);
}

TEST_P(TranslationCacheTest, ARecentlyUsedStatementOutlivesManyOthers) {
  const long long prepared = Prepared();
  const size_t others =
      (Postgres() ? PostgresDatabase::kPreparedStatements : SqliteDatabase::kPreparedStatements) +
      100;
  for (size_t i = 0; i < others; ++i) {
    // Each text its own: the literal sits where it stays in the shape.
    ASSERT_TRUE(
        cache_->Execute(*db_, "SELECT COUNT(*) FROM T WHERE 1 = " + std::to_string(i)).ok());
    EXPECT_EQ(Rows("SELECT NAME FROM T WHERE ID = " + std::to_string(i)),
              std::vector<std::string>{});
  }
  EXPECT_EQ(Prepared() - prepared, static_cast<long long>(others) + 1);
}

// A SELECT * prepared before its table gains a column answers with the column afterwards.
TEST_P(TranslationCacheTest, AStatementPreparedBeforeATableChangeSeesTheChange) {
  ASSERT_TRUE(cache_->Execute(*db_, "INSERT INTO T (ID, NAME) VALUES (1, 'one')").ok());
  EXPECT_EQ(Rows("SELECT * FROM T WHERE ID = 1"), std::vector<std::string>{"1|one"});
  ASSERT_TRUE(db_->Execute("ALTER TABLE T ADD COLUMN N INTEGER").ok());
  ASSERT_TRUE(db_->Execute("UPDATE T SET N = 7").ok());
  EXPECT_EQ(Rows("SELECT * FROM T WHERE ID = 1"), std::vector<std::string>{"1|one|7"});
}

TEST(PostgresPreparedStatementTest, ANewConnectionPreparesItsStatementsAgain) {
  const std::string connection = testing::NewPostgresDatabase("reconnect");
  ASSERT_FALSE(connection.empty());
  Status status;
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

}  // namespace
}  // namespace sproutsmith::sql
