#include "platform/sql/postgres_database.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os/clock.h"
#include "support/postgres_server.h"

namespace sproutsmith::sql {
namespace {

class PostgresDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = testing::NewPostgresDatabase("pgdb");
    ASSERT_FALSE(connection_.empty());
    Status status;
    db_ = PostgresDatabase::Open(connection_, "LawAdm", &status);
    ASSERT_TRUE(db_) << status.text;
    ASSERT_TRUE(db_->ExecuteScript("CREATE SCHEMA lawadm; CREATE TABLE T (ID bigint PRIMARY KEY, "
                                   "NAME varchar(20), D timestamp(0), N numeric)")
                    .ok());
    Run("INSERT INTO T (ID, NAME, N) VALUES (1, 'one', 1.5), (2, 'two', 2), (3, 'three', NULL)");
  }

  ExecResult Run(const std::string& sql, const std::vector<Value>& params = {}) {
    ExecResult r = db_->Execute(sql, params);
    EXPECT_TRUE(r.ok()) << sql << ": " << r.status.text;
    return r;
  }

  std::string connection_;
  std::unique_ptr<PostgresDatabase> db_;
};

TEST_F(PostgresDatabaseTest, TablesLiveInTheOwnersSchemaAndLocationNamesBoth) {
  EXPECT_EQ(db_->Location().rfind("dbname=t", 0), 0u) << db_->Location();
  EXPECT_NE(db_->Location().find("_pgdb schema=lawadm"), std::string::npos) << db_->Location();
  const ExecResult r =
      Run("SELECT table_schema FROM information_schema.tables WHERE table_name = 't'");
  ASSERT_EQ(r.result.rows.size(), 1u);
  EXPECT_EQ(r.result.rows[0][0].text, "lawadm");
}

TEST_F(PostgresDatabaseTest, ValuesReadBackAsTheirKindsWithTheTablesHeadings) {
  const ExecResult r =
      Run("SELECT ID, NAME, N, D, 'x', COUNT(*) OVER () AS \"Mixed\" FROM T ORDER BY ID");
  EXPECT_EQ(r.result.columns, (std::vector<std::string>{"ID", "NAME", "N", "D", "", "Mixed"}));
  ASSERT_EQ(r.result.rows.size(), 3u);
  EXPECT_EQ(r.result.rows[0][0], Value::Integer(1));
  EXPECT_EQ(r.result.rows[0][1], Value::Text("one"));
  EXPECT_EQ(r.result.rows[0][2].type, Value::Type::kReal);
  EXPECT_EQ(r.result.rows[0][2].text, "1.5");
  EXPECT_EQ(r.result.rows[1][2], Value::Integer(2));
  EXPECT_TRUE(r.result.rows[2][2].IsNull());
  EXPECT_TRUE(r.result.rows[0][3].IsNull());
}

TEST_F(PostgresDatabaseTest, ParametersBindByPositionOutsideLiteralsAndComments) {
  Run("INSERT INTO T (ID, NAME, D) VALUES (?, ?, ?) -- why?",
      {Value::Integer(7), Value::Text("it's ?"), Value::Text("2020-11-14 09:30:15")});
  Run("INSERT INTO T (ID, NAME) VALUES (?, ?)", {Value::Text("8"), Value::Null()});
  const ExecResult r =
      Run("SELECT NAME, D, '?' FROM T WHERE ID = ? OR (ID = ? AND NAME IS NULL) ORDER BY ID",
          {Value::Integer(7), Value::Integer(8)});
  ASSERT_EQ(r.result.rows.size(), 2u);
  EXPECT_EQ(r.result.rows[0][0].text, "it's ?");
  EXPECT_EQ(r.result.rows[0][1].text, "2020-11-14 09:30:15");
  EXPECT_EQ(r.result.rows[0][2].text, "?");
  EXPECT_TRUE(r.result.rows[1][0].IsNull());
  // RETURNING reads rows; counting changes is for statements without a result.
  const ExecResult returning =
      Run("UPDATE T SET ID = ID + ? WHERE ID = 8 RETURNING ID", {Value::Integer(1)});
  ASSERT_EQ(returning.result.rows.size(), 1u);
  EXPECT_EQ(returning.result.rows[0][0], Value::Integer(9));
}

TEST_F(PostgresDatabaseTest, RowsAffectedCountsChangesOnly) {
  EXPECT_EQ(Run("UPDATE T SET NAME = 'x' WHERE ID >= 2").rows_affected, 2);
  EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1").rows_affected, 1);
  EXPECT_EQ(Run("UPDATE T SET NAME = 'y' WHERE ID = 99").rows_affected, 0);
  EXPECT_EQ(Run("SELECT * FROM T").rows_affected, 0);
}

TEST_F(PostgresDatabaseTest, FailuresCarryThePrefixAndTheSqlStateClass) {
  struct Case {
    const char* sql;
    long code;
    const char* text;
  };
  const Case cases[] = {
      {"SELECT * FROM MISSING", 42,
       "[Sproutsmith][PostgreSQL] relation \"missing\" does not exist"},
      {"INSERT INTO T (ID) VALUES (1)", 23,
       "[Sproutsmith][PostgreSQL] duplicate key value violates unique constraint \"t_pkey\""},
      {"SELECT 1/0", 22, "[Sproutsmith][PostgreSQL] division by zero"},
      {"SELECT 1; SELECT 2", 42,
       "[Sproutsmith][PostgreSQL] cannot insert multiple commands into a prepared statement"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const ExecResult r = db_->Execute(c.sql);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.status.code, c.code);
    EXPECT_EQ(r.status.text, c.text);
    EXPECT_NE(r.error_number, 0);
  }
}

TEST_F(PostgresDatabaseTest, ACommitAfterAFailedStatementReportsTheRollback) {
  {
    Transaction tx(*db_);
    ASSERT_TRUE(tx.active());
    Run("UPDATE T SET NAME = 'gone' WHERE ID = 1");
    EXPECT_TRUE(tx.Commit());
  }
  {
    Transaction tx(*db_);
    Run("UPDATE T SET NAME = 'lost' WHERE ID = 2");
    EXPECT_FALSE(db_->Execute("SELECT * FROM MISSING").ok());
    EXPECT_FALSE(tx.Commit());
  }
  const ExecResult r = Run("SELECT NAME FROM T WHERE ID IN (1, 2) ORDER BY ID");
  EXPECT_EQ(r.result.rows[0][0].text, "gone");
  EXPECT_EQ(r.result.rows[1][0].text, "two");
}

TEST_F(PostgresDatabaseTest, ARefusedConnectionNamesItsTarget) {
  Status status;
  auto db = PostgresDatabase::Open(connection_ + "_missing", "DOCSADM", &status);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(status.code, 8);
  EXPECT_EQ(status.text.rfind("[Sproutsmith][PostgreSQL] " + connection_ + "_missing: ", 0), 0u)
      << status.text;
}

}  // namespace
}  // namespace sproutsmith::sql
