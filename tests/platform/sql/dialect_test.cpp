#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/both_backends.h"
#include "platform/schema/table_definitions.h"
#include "platform/sql/dialect/literal_lifting.h"
#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/tokenizer.h"
#include "platform/sql/dialect/translation_cache.h"
#include "platform/sql/dialect/translator.h"
#include "platform/sql/postgres_helpers.h"
#include "platform/sql/sqlite_cast.h"
#include "platform/sql/sqlite_like.h"

namespace sproutsmith::sql {
namespace {

constexpr Flavour kMs = Flavour::kMicrosoft;
constexpr Flavour kOra = Flavour::kOracle;

constexpr Backend kPg = Backend::kPostgres;

constexpr const char* kSame = nullptr;

// The DM servers' SQL as the stand-in answers it. Each flavour refuses what its server refuses
// of the other dialect, and Oracle reads '' as NULL and "[" in a LIKE pattern as itself: run
// through the translator on real SQLite files and on a real PostgreSQL server, as the DM
// stand-in runs every statement. SQL Server's LIKE and CAST, and the server's facts, on SQLite.

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
  // (refused_by, sql, message)
  const std::tuple<Flavour, const char*, const char*> cases[] = {
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
  for (const auto& [refused_by, sql, message] : cases) {
    SCOPED_TRACE(std::string(Name(refused_by)) + ": " + sql);
    auto db = Library();
    ASSERT_TRUE(db);
    const ExecResult refused = Run(*db, refused_by, sql);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.status.text, Prefix() + message);
    // The refused statement changed nothing.
    EXPECT_EQ(Column1(*db, kMs, "SELECT COUNT(*) FROM T WHERE D IS NULL AND B IN (1, 2)"), "2");
    const ExecResult accepted = Run(*db, refused_by == kOra ? kMs : kOra, sql);
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
  // (sql, oracle, microsoft); microsoft: nullptr: Oracle's answer only
  const std::tuple<const char*, const char*, const char*> cases[] = {
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
  for (const auto& [sql, oracle, microsoft] : cases) {
    EXPECT_EQ(Column1(*db, kOra, sql), oracle) << sql;
    if (microsoft != nullptr) {
      EXPECT_EQ(Column1(*db, kMs, sql), microsoft) << sql;
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
  // (sql, expected)
  const std::pair<const char*, const char*> cases[] = {
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
  for (const auto& [sql, expected] : cases) EXPECT_EQ(One(sql), expected) << sql;

  // The owner comes from the library's own REMOTE_LIBRARIES row, when there is one.
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "<NULL>");
  ASSERT_TRUE(db_->Execute("CREATE TABLE REMOTE_LIBRARIES (SYSTEM_ID INTEGER, OWNER TEXT)").ok());
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "<NULL>");
  ASSERT_TRUE(
      db_->Execute("INSERT INTO REMOTE_LIBRARIES VALUES (5, 'OTHERADM'), (0, 'DOCSADM')").ok());
  EXPECT_EQ(One("SELECT sproutsmith_library_owner()"), "DOCSADM");
}

TEST(SqlServerConvertTest, ValuesByType) {
  // (value, type, expected); expected: nullptr: refused
  const std::tuple<Value, const char*, const char*> cases[] = {
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
  for (const auto& [value, type, expected] : cases) {
    Value out;
    const bool ok = SqlServerConvert(value, type, &out);
    EXPECT_EQ(!ok            ? "<refused>"
              : out.IsNull() ? "<NULL>"
                             : out.text,
              expected ? expected : "<refused>")
        << value.text << " AS " << type;
  }
}

struct Case {
  const char* input;
  const char* expected = kSame;  // kSame: left as written
  Flavour flavour = kMs;
  Backend target = Backend::kSqlite;
};

// The derived tables the catalog questions turn into.
#define SYSOBJECTS                                                                          \
  "(SELECT name COLLATE NOCASE AS id, name COLLATE NOCASE AS name, CASE type WHEN 'table' " \
  "THEN 3 ELSE 2 END AS sysstat, CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS xtype "    \
  "FROM sqlite_master WHERE type IN ('table', 'view'))"
#define ALL_TABLES                                                                   \
  "(SELECT name COLLATE NOCASE AS TABLE_NAME, sproutsmith_library_owner() AS OWNER " \
  "FROM sqlite_master WHERE type = 'table')"
#define USER_TAB_PRIVS                                                                        \
  "(SELECT o.OWNER AS OWNER, m.name COLLATE NOCASE AS TABLE_NAME, 'SELECT' AS PRIVILEGE "     \
  "FROM sqlite_master AS m, (SELECT sproutsmith_library_owner() AS OWNER) AS o WHERE m.type " \
  "= 'table' AND o.OWNER IS NOT NULL)"

TranslateOptions Options(Flavour flavour, Backend target = Backend::kSqlite) {
  TranslateOptions options;
  options.flavour = flavour;
  options.target = target;
  options.owners = {"DOCSADM"};
  options.non_null_integer_columns = schema::NonNullIntegerColumns();
  return options;
}

// Every case is translated twice: as it stands, and as the gateway runs it, through the
// cache of shapes with its literals lifted out (written back here); both must give the
// expected text.
template <size_t N>
void Check(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    const TranslateOptions options = Options(c.flavour, c.target);
    const std::string where =
        (c.flavour == kOra ? "Oracle: " : "Microsoft: ") + std::string(c.input);
    const std::string expected = c.expected == kSame ? c.input : c.expected;
    EXPECT_EQ(Translate(c.input, options), expected) << where;
    TranslationCache cache(options);
    EXPECT_EQ(cache.Translate(c.input).WithLiterals(), expected) << "shape of " << where;
  }
}

const Case kOwnerPrefixesAreDropped[] = {
    // Any case, quoted or bracketed; dbo whatever the library owner is; three parts.
    {"UPDATE docsadm.PROFILE SET X = 1 WHERE [DOCSADM].PROFILE.SYSTEM_ID NOT IN "
     "(SELECT SID FROM \"DocsAdm\".QUIL_SPROUTSMITH) AND Y IN (SELECT Z FROM dbo.QZ_X)",
     "UPDATE PROFILE SET X = 1 WHERE PROFILE.SYSTEM_ID NOT IN "
     "(SELECT SID FROM QUIL_SPROUTSMITH) AND Y IN (SELECT Z FROM QZ_X)"},
    // An empty owner is no owner: the bare dot stays for the database to refuse.
    {"DELETE FROM .QUIL_SETTINGS WHERE .QUIL_SETTINGS.SYSTEM_ID = 1"},
    {"UPDATE .PROFILE SET X = 1", kSame, kOra},
    // Only the first part of a name is an owner; other schemas stay.
    {"SELECT T.DOCSADM, OTHER.T.C FROM T"},
    // Literals and comments keep the owner (CREATOR = 'DOCSADM').
    {"INSERT INTO DOCSADM.DOCSCOLUMN (CREATOR) VALUES ('DOCSADM') -- DOCSADM.X",
     "INSERT INTO DOCSCOLUMN (CREATOR) VALUES ('DOCSADM') -- DOCSADM.X"},
};
TEST(TranslatorTest, OwnerPrefixesAreDropped) { Check(kOwnerPrefixesAreDropped); }

const Case kHintsAndRowLimits[] = {
    {"SELECT X FROM T option (maxdop 1);", "SELECT X FROM T;"},
    {"SELECT TOP (5) X FROM T", "SELECT X FROM T LIMIT 5"},
    // Shapes LIMIT cannot express stay as written.
    {"SELECT TOP 5 PERCENT X FROM T"},
    {"SELECT TOP 5 WITH TIES X FROM T ORDER BY X"},
    {"SELECT TOP 5 X FROM T UNION SELECT Y FROM U"},
    {"SELECT TOP (?) X FROM T"},
    {"SELECT A FROM T WHERE ROWNUM <= 10", "SELECT A FROM T LIMIT 10", kOra},
    {"SELECT A FROM T WHERE ROWNUM < 10 AND B = 1", "SELECT A FROM T WHERE B = 1 LIMIT 9", kOra},
    {"SELECT A FROM T WHERE B BETWEEN 1 AND 5 AND 5 >= ROWNUM",
     "SELECT A FROM T WHERE B BETWEEN 1 AND 5 LIMIT 5", kOra},
    // With a top-level OR, ROWNUM binds to one branch: left alone.
    {"SELECT A FROM T WHERE B = 1 OR C = 2 AND ROWNUM <= 5", kSame, kOra},
};
TEST(TranslatorTest, HintsAndRowLimits) { Check(kHintsAndRowLimits); }

const Case kDatesAndFunctions[] = {
    {"UPDATE FOLDER SET LAST_UPDATE = SYSDATE WHERE T.SYSDATE = 1",
     "UPDATE FOLDER SET LAST_UPDATE = sproutsmith_getutcdate() WHERE T.SYSDATE = 1", kOra},
    {"DELETE FROM A WHERE S = TO_DATE(NULL, 'DD-MON-RR') OR S = to_date('', 'DD-MON-RR')",
     "DELETE FROM A WHERE S = NULL OR S = NULL", kOra},
    // A value that does not fit its format stays for the back end to reject.
    {"SELECT X FROM T WHERE D = TO_DATE('31-FEB-20', 'DD-MON-RR')", kSame, kOra},
    {"SELECT X FROM Q WHERE SUBSTRING(CHAR_VAL, 1, 254) = LEN(A) AND ISNULL(B, 0) = 1",
     "SELECT X FROM Q WHERE substr(CHAR_VAL, 1, 254) = length(rtrim(A, ' ')) AND "
     "ifnull(B, 0) = 1"},
    {"SELECT X FROM Q WHERE SUBSTR(C, 1, 2) = NVL(B, 'x')",
     "SELECT X FROM Q WHERE SUBSTR(C, 1, 2) = ifnull(B, 'x')", kOra},
    {"SELECT X FROM T WHERE CAST(D AS date) = '2020-11-14' AND CAST(E AS decimal (10, 2)) > 1",
     "SELECT X FROM T WHERE sproutsmith_cast(D, 'DATE') = '2020-11-14' AND "
     "sproutsmith_cast(E, 'DECIMAL(10,2)') > 1"},
    // Types we do not model keep SQLite's CAST.
    {"SELECT X FROM T WHERE TRY_CAST(A AS UNIQUEIDENTIFIER) IS NULL AND CAST(B AS BLOB) = 1",
     "SELECT X FROM T WHERE CAST(A AS UNIQUEIDENTIFIER) IS NULL AND CAST(B AS BLOB) = 1"},
    {"SELECT X FROM T WHERE A = N'abc'", "SELECT X FROM T WHERE A = 'abc'"},
};
TEST(TranslatorTest, DatesAndFunctions) { Check(kDatesAndFunctions); }

const Case kCatalogAndServerQuestions[] = {
    // Bracketed parts, an alias of its own, an empty owner.
    {"select count(*) from sysobjects o where o.id = object_id('[DOCSADM].[T]')",
     "select count(*) AS \"\" from " SYSOBJECTS " o where o.id = 'T'"},
    {"select count(*) from sysobjects where id = object_id('.T')",
     "select count(*) AS \"\" from " SYSOBJECTS " AS sysobjects where id = 'T'"},
    // Another owner's table is not this library's.
    {"select count(*) from sysobjects where id = object_id('OTHER.T')",
     "select count(*) AS \"\" from " SYSOBJECTS " AS sysobjects where id = 'OTHER.T'"},
    {"SELECT SYSDATE FROM DUAL",
     "SELECT sproutsmith_getutcdate() AS \"\" FROM (SELECT 'X' AS DUMMY) AS DUAL", kOra},
    {"SELECT SERVERPROPERTY('Collation') AS C", "SELECT NULL AS C"},
    {"SET DATEFORMAT dmy;", "SELECT 1 WHERE 0"},
};
TEST(TranslatorTest, CatalogAndServerQuestions) { Check(kCatalogAndServerQuestions); }

const Case kOracleOuterJoins[] = {
    // The marked table may come first; other conditions stay in the WHERE.
    {"SELECT P.X FROM PEOPLE A, PROFILE P WHERE P.D = 5 AND P.AUTHOR = A.SYSTEM_ID(+) "
     "ORDER BY P.X",
     "SELECT P.X FROM PROFILE P LEFT OUTER JOIN PEOPLE A ON P.AUTHOR = A.SYSTEM_ID "
     "WHERE P.D = 5 ORDER BY P.X",
     kOra},
    // A chain: G joins through A; a constant condition on G goes into its ON.
    {"SELECT G.Y FROM DOCSADM.PROFILE P, DOCSADM.PEOPLE A, DOCSADM.GROUPS G WHERE "
     "G.SYSTEM_ID (+) = A.PRIMARY_GROUP AND A.SYSTEM_ID (+) = P.AUTHOR AND "
     "G.UNIV_ACCESS(+) >= 191",
     "SELECT G.Y FROM PROFILE P LEFT OUTER JOIN PEOPLE A ON A.SYSTEM_ID = P.AUTHOR "
     "LEFT OUTER JOIN GROUPS G ON G.SYSTEM_ID = A.PRIMARY_GROUP AND G.UNIV_ACCESS >= 191",
     kOra},
    // In a sub-select.
    {"SELECT X FROM T WHERE X IN (SELECT P.X FROM PROFILE P, PEOPLE A WHERE A.S (+) = P.A)",
     "SELECT X FROM T WHERE X IN (SELECT P.X FROM PROFILE P LEFT OUTER JOIN PEOPLE A ON "
     "A.S = P.A)",
     kOra},
    // Shapes left as written: OR, tables joining each other, a marker in parentheses,
    // a FROM list with JOINs, an unqualified column.
    {"SELECT P.X FROM PROFILE P, PEOPLE A WHERE A.S (+) = P.A OR P.X = 1", kSame, kOra},
    {"SELECT P.X FROM PROFILE P, PEOPLE A WHERE A.S (+) = P.A AND P.A (+) = A.S", kSame, kOra},
    {"SELECT P.X FROM PROFILE P, PEOPLE A WHERE (A.S (+) = P.A)", kSame, kOra},
    {"SELECT P.X FROM PROFILE P JOIN X ON 1 = 1, PEOPLE A WHERE A.S (+) = P.A", kSame, kOra},
    {"SELECT P.X FROM PROFILE P, PEOPLE A WHERE S (+) = P.A", kSame, kOra},
};
TEST(TranslatorTest, OracleOuterJoins) { Check(kOracleOuterJoins); }

const Case kEmptyHeadings[] = {
    // Columns, aliases with and without AS, * and T.* keep their names.
    {"SELECT X, T.Y, T.*, X Y, 'A' \"B\", CLIENT.CLIENT_ID \"CLIENT.CLIENT_ID\" FROM T", kSame,
     kOra},
    {"SELECT 1, NULL, COUNT(*), A + B, -1, CASE WHEN A THEN 1 END, X IS NULL FROM T",
     "SELECT 1 AS \"\", NULL AS \"\", COUNT(*) AS \"\", sproutsmith_add(A, B) AS \"\", -1 AS "
     "\"\", CASE WHEN A THEN 1 END AS \"\", X IS NULL AS \"\" FROM T"},
    // Only the outermost select list names the result.
    {"INSERT INTO T (A, B) SELECT 1, 'X' FROM U"},
    {"SELECT X FROM T WHERE Y IN (SELECT 1 FROM U)"},
};
TEST(TranslatorTest, UnaliasedExpressionColumnsGetEmptyHeadings) { Check(kEmptyHeadings); }

const Case kLiteralsAndComments[] = {
    {"SELECT X FROM T WHERE A = 'DOCSADM.PROFILE TOP 5 GETDATE() OPTION (MAXDOP 1)' AND "
     "B = 'it''s [NEXT] sys.databases' -- TOP 5 GETDATE() DOCSADM.X"},
    {"SELECT X FROM T /* ROWNUM <= 5 SYSDATE */ WHERE A = 'ROWNUM <= 5'", kSame, kOra},
    // An unterminated literal swallows the rest: nothing after it is touched.
    {"SELECT X FROM T WHERE A = 'GETDATE() DOCSADM.T"},
    // SQLite does not nest comments; SQL Server does.
    {"SELECT X /* a /* b */ c */ FROM T", "SELECT X   FROM T"},
    // Statements with nothing to translate come back byte for byte.
    {"  DELETE FROM T\r\n\tWHERE A <> 'x';  "},
};
TEST(TranslatorTest, LiteralsAndCommentsAreNeverRewritten) { Check(kLiteralsAndComments); }

// PostgreSQL: the owner is the schema on the search path, the catalog comes from views and
// functions of the library, LIKE is SQL Server's.
const Case kPostgresTarget[] = {
    {"SELECT TOP 1 X FROM DOCSADM.T WHERE [NEXT] = 0 AND \"NEXT\" = 0 AND Y LIKE 'a[[]b]%' "
     "OPTION (MAXDOP 1)",
     "SELECT X FROM T WHERE \"next\" = 0 AND \"next\" = 0 AND Y ILIKE 'a[b]%' LIMIT 1", kMs, kPg},
    // Quoted headings keep their capitals.
    {"SELECT C.ID AS \"C.ID\", C.N \"NAME\" FROM C", kSame, kMs, kPg},
    {"SELECT A FROM T WHERE A NOT LIKE '[a-c]%\\.' AND B LIKE '50[%]_\\'",
     "SELECT A FROM T WHERE A !~* '^[a-c].*\\\\\\.$' AND B ILIKE '50\\%_\\\\'", kMs, kPg},
    {"SELECT @@VERSION, GETDATE(), TRY_CAST(X AS INT), CAST(Y AS NVARCHAR(5)), LEN(Z)",
     "SELECT sproutsmith_version() AS \"?column?\", sproutsmith_getdate() AS \"?column?\", "
     "sproutsmith_try_integer((X)::text) AS \"?column?\", CAST(Y AS VARCHAR(5)) AS \"?column?\", "
     "length(rtrim((Z)::text, ' ')) AS \"?column?\"",
     kMs, kPg},
    {"SELECT A || 1 FROM T WHERE D = SYSDATE AND ROWNUM <= 2",
     "SELECT sproutsmith_oracle_concat(CAST(A AS TEXT), CAST(1 AS TEXT)) AS \"?column?\" FROM T "
     "WHERE D = sproutsmith_getutcdate() LIMIT 2",
     kOra, kPg},
    {"SELECT A FROM T WHERE N LIKE '[[]x]\\%' ESCAPE '\\' AND M LIKE '[ab]'",
     "SELECT A FROM T WHERE N ILIKE '[x]\\%' ESCAPE '\\' AND M ~* '^[ab]$'", kMs, kPg},
};
TEST(TranslatorTest, PostgresTarget) { Check(kPostgresTarget); }

// Over two integer columns that cannot be NULL, NOT IN and NOT EXISTS agree; elsewhere the
// NOT IN stays.
const Case kNotIn[] = {
    // Left as written: a column that may be NULL on either side, text columns, a column of
    // an outer-joined table, a sub-select over the same name, a sub-select with more than
    // one column's worth, an expression, a statement that is no SELECT.
    {"SELECT DOCNAME FROM PROFILE WHERE AUTHOR NOT IN (SELECT SID FROM NEEDS_FOLDERING)"},
    {"SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER NOT IN (SELECT DOCSTATUS FROM "
     "NEEDS_FOLDERING)"},
    {"SELECT FULL_NAME FROM PEOPLE WHERE USER_ID NOT IN (SELECT GROUP_ID FROM GROUPS)"},
    {"SELECT M.MATTER_ID FROM MATTER M LEFT OUTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
     "WHERE C.SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH)"},
    {"SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER NOT IN (SELECT DOCNUMBER FROM PROFILE P WHERE "
     "P.STATUS = 1)"},
    {"SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER NOT IN (SELECT DISTINCT SID FROM "
     "NEEDS_FOLDERING)"},
    {"SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER + 1 NOT IN (SELECT SID FROM NEEDS_FOLDERING)",
     "SELECT DOCNAME FROM PROFILE WHERE sproutsmith_add(DOCNUMBER, 1) NOT IN (SELECT SID FROM "
     "NEEDS_FOLDERING)"},
    {"DELETE FROM NEEDS_FOLDERING WHERE SID NOT IN (SELECT DOCNUMBER FROM PROFILE)"},
};
TEST(TranslatorTest, NotInOverNonNullIntegerColumnsReadsAsNotExists) { Check(kNotIn); }

// SQLite: a LIKE pattern without a wildcard on UPPER(column) is preceded by the equality it
// implies; PostgreSQL's ILIKE gets none.
const Case kUpperLike[] = {
    // Oracle's escape character, as the gateway writes it.
    {"SELECT X FROM PROFILE PR WHERE UPPER(PR.DOCNAME) LIKE 'C0001\\_X' ESCAPE '\\'",
     "SELECT X FROM PROFILE PR WHERE UPPER(PR.DOCNAME) = 'C0001_X' AND UPPER(PR.DOCNAME) LIKE "
     "'C0001\\_X' ESCAPE '\\'",
     kOra},
    // Left alone: wildcards, classes, characters beyond ASCII, NOT, an OR, no UPPER.
    {"SELECT X FROM P WHERE UPPER(P.D) LIKE 'ACME%' AND UPPER(P.D) LIKE 'A_C'"},
    {"SELECT X FROM P WHERE UPPER(P.D) LIKE '[AB]CME' AND UPPER(P.D) LIKE '[^A]'"},
    {"SELECT X FROM P WHERE UPPER(P.D) LIKE 'CAF\xC3\x89'"},
    {"SELECT X FROM P WHERE NOT UPPER(P.D) LIKE 'A' AND UPPER(P.D) NOT LIKE 'B'"},
    {"SELECT X FROM P WHERE UPPER(P.D) LIKE 'A' OR P.E = 1"},
    {"SELECT X FROM P WHERE P.D LIKE 'A' AND UPPER(P.D + P.E) LIKE 'B'",
     "SELECT X FROM P WHERE P.D LIKE 'A' AND UPPER(sproutsmith_add(P.D, P.E)) LIKE 'B'"},
    {"SELECT X FROM P WHERE UPPER(P.D) LIKE 'ACME'",
     "SELECT X FROM P WHERE UPPER(P.D) ILIKE 'ACME'", kMs, kPg},
};
TEST(TranslatorTest, UpperLikeWithoutWildcardGainsAnEquality) { Check(kUpperLike); }

// Significant tokens as "kind:text" separated by blanks.
std::string Tokens(const std::string& sql) {
  // In the order of TokenKind.
  const char* const kinds[] = {"",  "C", "S", "NS", "QI", "BI", "N", "W",
                               "(", ")", ",", ".",  ";",  "+",  "P", "O"};
  static_assert(std::size(kinds) == static_cast<size_t>(dialect::TokenKind::kOperator) + 1);
  std::string out;
  for (const dialect::Token& t : dialect::Tokenize(sql)) {
    if (t.kind == dialect::TokenKind::kSpace) continue;
    if (!out.empty()) out += ' ';
    out += std::string(kinds[static_cast<size_t>(t.kind)]) + ":" + t.text;
  }
  return out;
}

// (sql, expected)
const std::pair<const char*, const char*> kTokens[] = {
    {"12 1.5 .5 2e3 1E-2 0xf 0X1F", "N:12 N:1.5 N:.5 N:2e3 N:1E-2 N:0xf N:0X1F"},
    {"a.b @@VERSION @v #t x$1", "W:a .:. W:b W:@@VERSION W:@v W:#t W:x$1"},
    {"a<=b<>c!=d||e>=f=g", "W:a O:<= W:b O:<> W:c O:!= W:d O:|| W:e O:>= W:f O:= W:g"},
    {"A.X (+) = B.Y AND C.Z( + )=1",
     "W:A .:. W:X +:(+) O:= W:B .:. W:Y W:AND W:C .:. W:Z +:( + ) O:= N:1"},
    {"(+5)", "(:( O:+ N:5 ):)"},
    {"IN'x'", "W:IN S:'x'"},
    // Numbered parameters of a statement shape; digits after a "?" belong to it.
    {"x=?12AND y IN(?3,?)", "W:x O:= P:?12 W:AND W:y W:IN (:( P:?3 ,:, P:? ):)"},
    {"caf\xC3\xA9 = 1", "W:caf\xC3\xA9 O:= N:1"},
};
TEST(TokenizerTest, TokenKinds) {
  for (const auto& [sql, expected] : kTokens) EXPECT_EQ(Tokens(sql), expected) << sql;
}

TEST(TokenizerTest, JoinReproducesTheTextAndLiteralsAndNamesHaveTheirValues) {
  const char* texts[] = {
      "select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].T') \r\nand sysstat & 0xf "
      "= 3 ",
      "SELECT 'a'  ,\t\"b\" -- tail",
      "/* unterminated comment",
      "[unterminated bracket",
      "\"unterminated quote",
      "",
      "  \r\n ",
      "x'41' || N'\xE2\x82\xAC'",
  };
  for (const char* text : texts) EXPECT_EQ(dialect::Join(dialect::Tokenize(text)), text);

  const dialect::Tokens t = dialect::Tokenize("'it''s' \"a\"\"b\" [c]]d] N'x''y'");
  EXPECT_EQ(dialect::StringValue(t[0]), "it's");
  EXPECT_EQ(dialect::IdentifierName(t[2]), "a\"b");
  EXPECT_EQ(dialect::IdentifierName(t[4]), "c]d");
  EXPECT_EQ(dialect::StringValue(t[6]), "x'y");
  EXPECT_EQ(dialect::QuoteString("it's"), "'it''s'");
}

// Which literals a statement's shape takes out as parameters, and with what values.
constexpr const char* kNoParameters = "<no parameters>";
const struct {
  const char* input;
  const char* shape = kSame;  // or kNoParameters
  const char* values = "";    // as SQL literals
  Backend target = Backend::kSqlite;
} kLifted[] = {
    {"SELECT A FROM T WHERE B = 5 AND C = 'x' AND D IN (1, 2)",
     "SELECT A FROM T WHERE B = ?1 AND C = ?2 AND D IN (?3, ?4)", "5, 'x', 1, 2"},
    {"INSERT INTO T (A, B) VALUES (007, 'it''s')", "INSERT INTO T (A, B) VALUES (?1, ?2)",
     "7, 'it''s'"},
    // Row limits, hints, ordering (ORDER BY 2 is a column number) stay.
    {"SELECT TOP 5 A, 'h' FROM T WHERE B = 1 ORDER BY 2, CASE WHEN A = 'z' THEN 1 END OPTION "
     "(MAXDOP 1)",
     "SELECT TOP 5 A, ?1 FROM T WHERE B = ?2 ORDER BY 2, CASE WHEN A = 'z' THEN 1 END OPTION "
     "(MAXDOP 1)",
     "'h', 1"},
    {"SELECT TOP (3) A FROM T GROUP BY A HAVING COUNT(*) > 1"},
    {"SELECT A FROM T WHERE ROWNUM <= 10 AND 5 >= ROWNUM AND B = 7",
     "SELECT A FROM T WHERE ROWNUM <= 10 AND 5 >= ROWNUM AND B = ?1", "7"},
    // Literals compared with literals, catalog names, dates, type sizes.
    {"SELECT COUNT(*) FROM T WHERE X IS NULL AND 1 = 0 AND 'a' <> 'b'"},
    {"select count(*) from sysobjects where id = object_id('DOCSADM.T') and sysstat & 0xf = 3"},
    {"DELETE FROM A WHERE D = TO_DATE('14-NOV-20', 'DD-MON-RR') AND N = 4",
     "DELETE FROM A WHERE D = TO_DATE('14-NOV-20', 'DD-MON-RR') AND N = ?1", "4"},
    {"SELECT CAST(A AS VARCHAR(10)), CAST('12' AS DECIMAL (10, 2)) FROM T",
     "SELECT CAST(A AS VARCHAR(10)), CAST(?1 AS DECIMAL (10, 2)) FROM T", "'12'"},
    // Headings, escape characters, '', N'..', numbers not whole or too long, unterminated.
    {"SELECT COUNT(*) AS 'N', N'x', '', 1.5, 0x1F, 12345678901234567890 FROM T WHERE A LIKE "
     "'a!%' ESCAPE '!' AND B = 'open",
     "SELECT COUNT(*) AS 'N', N'x', '', 1.5, 0x1F, 12345678901234567890 FROM T WHERE A LIKE ?1 "
     "ESCAPE '!' AND B = 'open",
     "'a!%'"},
    // LIKE patterns: PostgreSQL binds the pattern its LIKE pass writes; one that becomes a
    // regular expression, or has an ESCAPE, stays.
    {"SELECT A FROM T WHERE A LIKE 'a[_]b%' AND B LIKE '[ab]%'",
     "SELECT A FROM T WHERE A LIKE ?1 AND B LIKE ?2", "'a[_]b%', '[ab]%'"},
    {"SELECT A FROM T WHERE A LIKE 'a[_]b%' AND B LIKE '[ab]%' AND C LIKE 'x' ESCAPE '!'",
     "SELECT A FROM T WHERE A LIKE ?1 AND B LIKE '[ab]%' AND C LIKE 'x' ESCAPE '!'", "'a\\_b%'",
     Backend::kPostgres},
    // Statements that take no parameters.
    {"ALTER TABLE T ADD C VARCHAR(10) DEFAULT 'x'", kNoParameters},
    {"SELECT A FROM T WHERE B = ? AND C = 1", kNoParameters},
};
TEST(LiteralLiftingTest, LiteralsNoPassReadsBecomeParameters) {
  for (const auto& c : kLifted) {
    TranslateOptions options = Options(kMs, c.target);
    dialect::Shape shape;
    const bool lifted = dialect::LiftLiterals(dialect::Tokenize(c.input), options, &shape);
    std::string values;
    for (const Value& v : shape.values) {
      values += (values.empty() ? "" : ", ") +
                (v.type == Value::Type::kText      ? dialect::QuoteString(v.text)
                 : v.type == Value::Type::kInteger ? v.text
                                                   : "<not a whole number: " + v.text + ">");
    }
    EXPECT_EQ((lifted ? dialect::Join(shape.tokens) : kNoParameters) + " <- " + values,
              (c.shape ? c.shape : c.input) + std::string(" <- ") + c.values)
        << c.input;
  }
}

// (value, format, expected); expected: nullptr: refused
const std::tuple<const char*, const char*, const char*> kOracleDates[] = {
    {"14-nov-75", "DD-MON-RR", "1975-11-14"},
    {"14-NOV-1999", "DD-MON-YYYY", "1999-11-14"},
    {"14-NOVEMBER-2020", "DD-MONTH-YYYY", "2020-11-14"},
    {"11/14/2020", "MM/DD/YYYY", "2020-11-14"},
    {"2020-11-14 01:02:03 PM", "YYYY-MM-DD HH:MI:SS AM", "2020-11-14 13:02:03"},
    {"2020-11-14 12:00:00 AM", "YYYY-MM-DD HH12:MI:SS A.M.", "2020-11-14 00:00:00"},
    {"29-FEB-21", "DD-MON-RR", nullptr},
    {"29-FEB-24", "DD-MON-RR", "2024-02-29"},
    {"14-XYZ-20", "DD-MON-RR", nullptr},
    {"14-NOV-20 junk", "DD-MON-RR", nullptr},
    {"2020-13-01", "YYYY-MM-DD", nullptr},
    {"2020-11-14 24:00:00", "YYYY-MM-DD HH24:MI:SS", nullptr},
    {"14-NOV-20", "DD-MON-RR FXQ", nullptr},
};
TEST(OracleDateTest, LiteralsOfTheOracleBranch) {
  for (const auto& [value, format, expected] : kOracleDates) {
    std::string out;
    const bool ok = dialect::OracleDateToText(value, format, &out);
    EXPECT_EQ(ok ? out : "<refused>", expected ? expected : "<refused>")
        << value << " / " << format;
  }
}

}  // namespace
}  // namespace sproutsmith::sql
