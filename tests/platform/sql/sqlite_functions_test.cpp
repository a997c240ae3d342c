#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sql/sqlite_cast.h"
#include "platform/sql/sqlite_database.h"
#include "platform/sql/sqlite_like.h"
#include "support/temp_dir.h"

namespace sproutsmith::sql {
namespace {

TEST(MicrosoftLikeTest, PatternsAsSqlServerReadsThem) {
  const struct {
    const char* pattern;
    std::vector<const char*> matches;
    std::vector<const char*> misses;
    std::optional<char32_t> escape = std::nullopt;
  } cases[] = {
      {"ARBORLINE%", {"ARBORLINE R1", "arborline r1"}, {"XARBORLINE"}},  // letters ignore case
      {"arborline%", {"ARBORLINE"}, {}},
      {"PC1:%", {"PC1:R1"}, {"PC10:R1"}},
      {"RULE_%", {"RULE_TEMPLATE"}, {"RULE"}},  // _ needs one character
      {"R_", {"R1"}, {"R12"}},
      {"%", {""}, {}},
      {"", {""}, {"x"}},
      {"%a%b%c%", {"xxaxxbxxcxx"}, {"xxcxxbxxaxx"}},
      {"a%%b", {"ab"}, {}},
      // Classes: the escaped bracket of LikeEscape, sets, ranges, negation.
      {"ACME [[]UK] LTD%", {"ACME [UK] LTD FILES"}, {"ACME UK LTD"}},
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

TEST_F(SqlFunctionsTest, LikeAndCastAnswerAsSqlServer) {
  const struct {
    const char* sql;
    const char* expected;
  } cases[] = {
      {"SELECT 'ACME [UK] LTD' LIKE 'acme [[]uk] ltd'", "1"},
      {"SELECT 'B1' LIKE '[a-c]_'", "1"},
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
}

TEST_F(SqlFunctionsTest, ServerFacts) {
  EXPECT_EQ(One("SELECT sproutsmith_version()"),
            std::string("15 - 0 (Sproutsmith DM stand-in on SQLite ") + sqlite3_libversion() + ")");
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
