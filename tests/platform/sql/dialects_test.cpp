// The DM servers' SQL as the stand-in answers it. Each flavour refuses what its server refuses
// of the other dialect, and Oracle reads '' as NULL and "[" in a LIKE pattern as itself: run
// through the translator on real SQLite files and on a real PostgreSQL server, as the DM
// stand-in runs every statement. SQL Server's LIKE and CAST, and the server's facts, on SQLite.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/both_backends.h"
#include "platform/sql/dialect/translator.h"
#include "platform/sql/postgres_helpers.h"
#include "platform/sql/sqlite_cast.h"
#include "platform/sql/sqlite_like.h"

namespace sproutsmith::sql {
namespace {

constexpr Flavour kMs = Flavour::kMicrosoft;
constexpr Flavour kOra = Flavour::kOracle;

const char* Name(Flavour f) { return f == kOra ? "Oracle" : "Microsoft"; }

class FlavourStrictnessTest : public testing::BackendTest {
 protected:
  std::string Prefix() const {
    return Postgres() ? "[Sproutsmith][PostgreSQL] " : "[Sproutsmith][SQLite] ";
  }

  // A fresh library with T (A, B, D, NEXT) and U (B): rows ('x1', 1) and ('[x]1', 2).
  std::unique_ptr<Database> Library() {
    NewDatabase();
    std::unique_ptr<Database> db = Open();
    if (!db) return db;
    const std::string script = Postgres() ? PostgresTypesScript() + PostgresFunctionsScript() : "";
    const ExecResult r =
        db->ExecuteScript(script +
                          "CREATE TABLE T (A VARCHAR(20), B INTEGER, D VARCHAR(20), NEXT INTEGER);"
                          "CREATE TABLE U (B INTEGER);"
                          "INSERT INTO T (A, B, NEXT) VALUES ('x1', 1, 0), ('[x]1', 2, 0);"
                          "INSERT INTO U (B) VALUES (1), (3);");
    EXPECT_TRUE(r.ok()) << r.status.text;
    return db;
  }

  static ExecResult Run(Database& db, Flavour flavour, const std::string& sql) {
    TranslateOptions options;
    options.flavour = flavour;
    options.target = db.backend();
    options.owners = {"DOCSADM"};
    return db.Execute(Translate(sql, options));
  }

  // Column 1 of every row ("NULL" for NULL), joined with ",".
  static std::string Column1(Database& db, Flavour flavour, const std::string& sql) {
    const ExecResult r = Run(db, flavour, sql);
    EXPECT_TRUE(r.ok()) << Name(flavour) << ": " << sql << ": " << r.status.text;
    std::string out;
    for (const auto& row : r.result.rows) {
      out += (out.empty() ? "" : ",") + (row[0].IsNull() ? std::string("NULL") : row[0].text);
    }
    return out;
  }
};

TEST_P(FlavourStrictnessTest, EachServerRefusesTheOthersDialectWithItsOwnMessageOnly) {
  const char* const kNoFrom = "ORA-00923: FROM keyword not found where expected";
  const char* const kBadType = "ORA-00902: invalid datatype";
  const struct {
    Flavour refused_by;
    const char* sql;
    const char* message;
  } cases[] = {
      {kOra, "SELECT TOP 1 A FROM T ORDER BY A", kNoFrom},
      {kOra, "SELECT DISTINCT TOP 5 A FROM T", kNoFrom},
      {kOra, "UPDATE T SET B = (SELECT TOP 1 B FROM U ORDER BY B) WHERE A = 'x1'", kNoFrom},
      {kOra, "UPDATE T SET [NEXT] = 1 WHERE B = 1", "ORA-00911: invalid character"},
      {kOra, "SELECT GETDATE() FROM T", "ORA-00904: \"GETDATE\": invalid identifier"},
      {kOra, "UPDATE T SET D = getutcdate() WHERE B = 1",
       "ORA-00904: \"GETUTCDATE\": invalid identifier"},
      {kOra, "SELECT A FROM T WHERE B = 1 OPTION (MAXDOP 1)",
       "ORA-00933: SQL command not properly ended"},
      {kOra, "ALTER TABLE T ADD E DATETIME NULL", kBadType},
      {kOra, "SELECT CAST(D AS DATETIME) FROM T", kBadType},
      {kOra, "SELECT ISNULL(D, 'none') FROM T", "ORA-00904: \"ISNULL\": invalid identifier"},
      {kOra, "SELECT SUBSTRING(A, 1, 1) FROM T", "ORA-00904: \"SUBSTRING\": invalid identifier"},
      {kMs, "SELECT NVL(D, 'none') FROM T", "'NVL' is not a recognized built-in function name."},
      {kMs, "UPDATE T SET D = SYSDATE WHERE B = 1", "Invalid column name 'SYSDATE'."},
      {kMs, "SELECT T.A FROM T, U WHERE T.B (+) = U.B", "Incorrect syntax near ')'."},
      {kMs, "SELECT A FROM T WHERE ROWNUM <= 1", "Invalid column name 'ROWNUM'."},
      {kMs, "SELECT A || 'y' FROM T", "Incorrect syntax near '|'."},
      {kMs, "SELECT TO_DATE('14-NOV-20', 'DD-MON-RR') FROM T",
       "'TO_DATE' is not a recognized built-in function name."},
      {kMs, "SELECT SUBSTR(A, 1, 1) FROM T",
       "'SUBSTR' is not a recognized built-in function name."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(Name(c.refused_by)) + ": " + c.sql);
    auto db = Library();
    ASSERT_TRUE(db);
    const ExecResult refused = Run(*db, c.refused_by, c.sql);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.status.text, Prefix() + c.message);
    // The refused statement changed nothing.
    EXPECT_EQ(Column1(*db, kMs, "SELECT COUNT(*) FROM T WHERE D IS NULL AND B IN (1, 2)"), "2");
    const ExecResult accepted = Run(*db, c.refused_by == kOra ? kMs : kOra, c.sql);
    EXPECT_TRUE(accepted.ok()) << accepted.status.text;
  }

  // Names qualified or quoted, and text in literals or comments, are not refused.
  const char* const statements[] = {
      "SELECT A FROM T WHERE A = 'TOP 1 [NEXT] GETDATE() NVL( SYSDATE || (+) ROWNUM' -- OPTION (x)",
      "SELECT A FROM T /* SELECT TOP 1 DATETIME */ WHERE D IS NULL",
      "SELECT T.A AS \"ISNULL(\", T.D AS \"SYSDATE\", T.NEXT FROM T",
  };
  auto db = Library();
  ASSERT_TRUE(db);
  for (const char* sql : statements) {
    for (Flavour f : {kMs, kOra}) {
      const ExecResult r = Run(*db, f, sql);
      EXPECT_TRUE(r.ok()) << Name(f) << ": " << sql << ": " << r.status.text;
    }
  }
}

TEST_P(FlavourStrictnessTest, OracleReadsEmptyStringsAsNullAndLikeBracketsAsThemselves) {
  const struct {
    const char* sql;
    const char* oracle;
    const char* microsoft;  // nullptr: Oracle's answer only
  } cases[] = {
      {"SELECT 'A' || ''", "A", nullptr},
      {"SELECT '' || 'B' || NULL || 'C'", "BC", nullptr},
      {"SELECT '' || ''", "NULL", nullptr},
      {"SELECT 1 || 'A'", "1A", nullptr},
      {"SELECT 'A' + ''", "NULL", "A"},
      {"SELECT COUNT(*) FROM T WHERE '' = ''", "0", "2"},
      {"SELECT COUNT(*) FROM T WHERE A <> ''", "0", "2"},
      {"SELECT COUNT(*) FROM T WHERE '' IS NULL", "2", "0"},
      {"SELECT COALESCE(N'', 'n')", "n", ""},
      // Only the literal: a text holding blanks stays a text.
      {"SELECT COUNT(*) FROM T WHERE ' ' IS NULL", "0", "0"},
      // Oracle's LIKE takes a bracket as itself.
      {"SELECT A FROM T WHERE A LIKE '[x]%' ORDER BY A", "[x]1", "x1"},
      {"SELECT A FROM T WHERE A LIKE '[[]x]%' ORDER BY A", "", "[x]1"},
      {"SELECT A FROM T WHERE A LIKE '%x%' ORDER BY A", "[x]1,x1", "[x]1,x1"},
      {"SELECT A FROM T WHERE A LIKE 'X_' ORDER BY A", "x1", "x1"},
      // The escape both servers know.
      {"SELECT A FROM T WHERE A LIKE '[x]\\_' ESCAPE '\\'", "", nullptr},
      {"SELECT A FROM T WHERE A LIKE 'x\\_' ESCAPE '\\' OR A LIKE '[x]_'", "[x]1", nullptr},
      // A bracket outside a pattern is untouched.
      {"SELECT '[x]'", "[x]", nullptr},
  };
  auto db = Library();
  ASSERT_TRUE(db);
  for (const auto& c : cases) {
    EXPECT_EQ(Column1(*db, kOra, c.sql), c.oracle) << c.sql;
    if (c.microsoft != nullptr) {
      EXPECT_EQ(Column1(*db, kMs, c.sql), c.microsoft) << c.sql;
    }
  }

  // An inserted '' is stored as NULL, so only IS NULL finds it again.
  for (Flavour f : {kMs, kOra}) {
    ASSERT_TRUE(Run(*db, f, "INSERT INTO T (A, B, D) VALUES ('', 9, '')").ok());
  }
  EXPECT_EQ(Column1(*db, kMs, "SELECT COUNT(*) FROM T WHERE B = 9 AND A IS NULL AND D IS NULL"),
            "1");
  EXPECT_EQ(Column1(*db, kMs, "SELECT COUNT(*) FROM T WHERE B = 9 AND A = ''"), "1");
  EXPECT_EQ(Column1(*db, kOra, "SELECT COUNT(*) FROM T WHERE B = 9 AND A = ''"), "0");
  // The concatenation keeps the NULL where Oracle keeps it: a NULL column beside text.
  EXPECT_EQ(Column1(*db, kOra, "SELECT A || '-' || D FROM T WHERE B = 9 ORDER BY A"), "-,-");
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, FlavourStrictnessTest, testing::BothBackends(),
                         testing::BackendParamName);

// SQL Server's LIKE, CAST and server facts as SQLite answers them.
TEST(MicrosoftLikeTest, PatternsAsSqlServerReadsThem) {
  const struct {
    const char* pattern;
    std::vector<const char*> matches;
    std::vector<const char*> misses;
    std::optional<char32_t> escape = std::nullopt;
  } cases[] = {
      {"ARBORLINE%", {"arborline r1"}, {"XARBORLINE"}},  // letters ignore case
      {"PC1:%", {"PC1:R1"}, {"PC10:R1"}},
      {"RULE_%", {"RULE_TEMPLATE"}, {"RULE"}},  // _ needs one character
      {"R_", {"R1"}, {"R12"}},
      {"%", {""}, {}},
      {"", {""}, {"x"}},
      {"%a%b%c%", {"xxaxxbxxcxx"}, {"xxcxxbxxaxx"}},
      {"a%%b", {"ab"}, {}},
      // Classes: the escaped bracket of LikeEscape, sets, ranges, negation.
      {"[abc]1", {"B1"}, {"d1"}},
      {"[a-c]x", {"Cx"}, {"dx"}},
      {"[A-C]x", {"bx"}, {}},
      {"[^a]b", {"zb"}, {"ab"}},
      {"[%]", {"%"}, {"x"}},
      {"[_]x", {"_x"}, {"ax"}},
      {"a[", {"a["}, {}},  // an unclosed bracket is an ordinary character
      {"a]", {"a]"}, {}},
      // One character, not one byte.
      {"caf_", {"caf\xC3\xA9"}, {}},
      {"_", {"\xE2\x82\xAC"}, {}},
      {"\xC3\xA9%", {"\xC3\xA9t\xC3\xA9"}, {}},
      // A character spelt at more length than it needs is no character: its bytes stand
      // for themselves, so "A" at two bytes is not "A".
      {"A", {}, {"\xC1\x81", "\xE0\x81\x81", "\xF0\x80\x81\x81"}},
      {"__", {"\xC1\x81"}, {}},
      {"\xC3\x81", {"\xC3\x81"}, {}},
      // The escape character takes the next one literally.
      {"100!%", {"100%"}, {"1000"}, U'!'},
      {"a!_b", {"a_b"}, {"axb"}, U'!'},
      {"!['x", {"['x"}, {}, U'!'},
      {"a!!", {"a!"}, {}, U'!'},
  };
  for (const auto& c : cases) {
    for (const auto& [values, matches] : {std::pair{c.matches, true}, std::pair{c.misses, false}}) {
      for (const char* value : values) {
        EXPECT_EQ(MicrosoftLike(c.pattern, value, c.escape), matches)
            << "'" << value << "' LIKE '" << c.pattern << "'";
      }
    }
  }
}

class SqlFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = SqliteDatabase::Open(dir_.File("f.db"), true);
    ASSERT_TRUE(db_);
  }
  // Column 1 of the only row ("<NULL>" for NULL), or the error description.
  std::string One(const std::string& sql) {
    const ExecResult r = db_->Execute(sql);
    if (!r.ok()) return r.status.text;
    if (r.result.rows.size() != 1) return "<" + std::to_string(r.result.rows.size()) + " rows>";
    return r.result.rows[0][0].IsNull() ? "<NULL>" : r.result.rows[0][0].text;
  }
  testing::TempDir dir_;
  std::unique_ptr<SqliteDatabase> db_;
};

TEST_F(SqlFunctionsTest, LikeAndCastAnswerAsSqlServerAndTheOwnerIsTheLibrarys) {
  const struct {
    const char* sql;
    const char* expected;
  } cases[] = {
      {"SELECT 'x%' LIKE 'x!%' ESCAPE '!'", "1"},
      {"SELECT 'xy' LIKE 'x!%' ESCAPE '!'", "0"},
      {"SELECT 'x' NOT LIKE '[^x]'", "1"},
      {"SELECT NULL LIKE 'x'", "<NULL>"},
      {"SELECT 42 LIKE '4_'", "1"},
      {"SELECT 'x' LIKE 'x' ESCAPE '!!'",
       "[Sproutsmith][SQLite] ESCAPE expression must be a single character"},
      // CAST fails where TRY_CAST answers NULL.
      {"SELECT sproutsmith_try_cast('abc', 'INT')", "<NULL>"},
      {"SELECT sproutsmith_cast('abc', 'INT')",
       "[Sproutsmith][SQLite] Conversion failed when converting the value 'abc' to data type int."},
      {"SELECT sproutsmith_cast(' 42 ', 'INT') + 1", "43"},
      {"SELECT typeof(sproutsmith_cast('2020-11-14', 'DATE'))", "text"},
  };
  for (const auto& c : cases) EXPECT_EQ(One(c.sql), c.expected) << c.sql;

  // The owner comes from the library's own REMOTE_LIBRARIES row, when there is one.
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "<NULL>");
  ASSERT_TRUE(db_->Execute("CREATE TABLE REMOTE_LIBRARIES (SYSTEM_ID INTEGER, OWNER TEXT)").ok());
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "<NULL>");
  ASSERT_TRUE(
      db_->Execute("INSERT INTO REMOTE_LIBRARIES VALUES (5, 'OTHERADM'), (0, 'DOCSADM')").ok());
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "DOCSADM");
}

TEST(SqlServerConvertTest, ValuesByType) {
  const struct {
    Value value;
    const char* type;
    const char* expected;  // nullptr: refused
  } cases[] = {
      {Value::Text("42"), "INT", "42"},
      {Value::Text(" -7 "), "int", "-7"},
      {Value::Text(""), "INT", "0"},
      {Value::Text("12.5"), "INT", nullptr},
      {Value::Text("1e3"), "INT", nullptr},
      {Value::Text("abc"), "INT", nullptr},
      {Value::Real(12.7), "INT", "12"},
      {Value::Real(-12.7), "INT", "-12"},
      {Value::Text("3000000000"), "INT", nullptr},
      {Value::Text("3000000000"), "BIGINT", "3000000000"},
      {Value::Text("256"), "TINYINT", nullptr},
      {Value::Text("true"), "BIT", "1"},
      {Value::Integer(5), "BIT", "1"},
      {Value::Text("12.345"), "DECIMAL(10,2)", "12.35"},
      {Value::Text("12.5"), "DECIMAL", "13"},
      {Value::Text("123.4"), "NUMERIC(3,1)", nullptr},
      {Value::Text("1e3"), "DECIMAL(10,2)", nullptr},
      {Value::Text("1e3"), "FLOAT", "1000"},
      {Value::Text("x"), "FLOAT", nullptr},
      {Value::Integer(12345), "VARCHAR(3)", "123"},
      {Value::Text("ab"), "CHAR(4)", "ab  "},
      {Value::Text("caf\xC3\xA9s"), "NVARCHAR(4)", "caf\xC3\xA9"},
      {Value::Text(std::string(40, 'x')), "VARCHAR", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
      {Value::Text(std::string(40, 'x')), "VARCHAR(MAX)",
       "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
      {Value::Text("2020-11-14"), "DATE", "2020-11-14"},
      {Value::Text("2020-11-14 10:30"), "DATE", "2020-11-14"},
      {Value::Text("11/14/2020"), "DATETIME", "2020-11-14 00:00:00"},
      {Value::Text("20201114"), "SMALLDATETIME", "2020-11-14 00:00:00"},
      {Value::Text("2020-02-30"), "DATE", nullptr},
      {Value::Text("soon"), "DATE", nullptr},
      {Value::Integer(20201114), "DATE", nullptr},
      {Value::Text("2020-11-14 10:30:05"), "TIME", "10:30:05"},
      {Value::Text("x"), "GEOGRAPHY", nullptr},
      {Value::Null(), "INT", "<NULL>"},
  };
  for (const auto& c : cases) {
    Value out;
    const bool ok = SqlServerConvert(c.value, c.type, &out);
    EXPECT_EQ(!ok            ? "<refused>"
              : out.IsNull() ? "<NULL>"
                             : out.text,
              c.expected ? c.expected : "<refused>")
        << c.value.text << " AS " << c.type;
  }
}

}  // namespace
}  // namespace sproutsmith::sql
