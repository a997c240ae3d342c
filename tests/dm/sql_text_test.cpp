#include "dm/sql_text.h"

#include <gtest/gtest.h>

#include "dm/connection.h"

namespace sproutsmith::dm {
namespace {

// Each helper on the texts that take its distinct paths.
TEST(SqlTextTest, QuotingSpacesAndDriverPrefixes) {
  struct Case {
    std::string (*helper)(std::string_view);
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      // Quote: trimmed, quotes doubled, lines flattened.
      {SqlQuote, "  O'Brien  ", "O''Brien"},
      {SqlQuote, "a\r\nb", "a  b"},
      {SqlQuote, "\nx\n", "x"},
      {LikeEscape, "ACME [UK] LTD", "ACME [[]UK] LTD"},
      {StripPercent, "%APPS.APPLICATION%", "APPSAPPLICATION"},
      {StripPercent, "%MATTER.MATTER_ID%", "MATTER.MATTER_ID"},
      // Saved statements get their blanks back.
      {ExpandSpaces, "SELECT<SPC>A", "SELECT A"},
      {ExpandSpaces, "SELECT <SPC>A", "SELECT A"},
      {ExpandSpaces, "<SPC>A<SPC><SPC>B<SPC>", "A B"},
      {ExpandSpaces, "  plain  ", "plain"},
      // Driver prefixes go up to the first quote.
      {StripDriverPrefixes, "[Sproutsmith][SQLite] no such table: X", "no such table: X"},
      {StripDriverPrefixes, "[a] [b]  text", "text"},
      {StripDriverPrefixes, "[a] near 'x]' syntax", "near 'x]' syntax"},
      {StripDriverPrefixes, "plain", "plain"},
      {StripDriverPrefixes, "[only]", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.helper(c.in), c.out) << c.in;
}

ConnectionFacts Facts(int engine, std::string version = "15.0.2000.5", std::string level = "150") {
  ConnectionFacts f;
  f.DatabaseEngine = engine;
  f.LibraryOwner = "DOCSADM";
  f.DatabaseVersion = std::move(version);
  f.CompatibilityLevel = std::move(level);
  return f;
}

TEST(PrepareSqlTest, RewritesFollowTheEngine) {
  struct Case {
    ConnectionFacts facts;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {Facts(2), "SELECT X FROM [OWNER].PROFILE WHERE A <> 'B'",
       "SELECT X FROM DOCSADM.PROFILE WHERE A != 'B'"},
      {Facts(10), "SELECT X FROM [OWNER].PROFILE WHERE A <> 'B'",
       "SELECT X FROM DOCSADM.PROFILE WHERE A <> 'B' OPTION (MAXDOP 1)"},
      {Facts(10), "SELECT INTO T FROM [owner].X", "SELECT INTO T FROM DOCSADM.X"},
      {Facts(10), "select a from t option (maxdop 1)", "select a from t option (maxdop 1)"},
      {Facts(10), "UPDATE [Owner].QZ_T SET A = 1", "UPDATE dbo.QZ_T SET A = 1"},
      {Facts(10), "INSERT INTO [OWNER].Q VALUES ('{owner}')",
       "INSERT INTO DOCSADM.Q VALUES ('[OWNER]')"},
      {Facts(10), "DELETE FROM T WHERE CLIENT_ID = '", "DELETE FROM T WHERE CLIENT_ID = ''"},
      {Facts(10), "DELETE FROM T WHERE CLIENT_ID='", "DELETE FROM T WHERE CLIENT_ID=''"},
      {Facts(10, "10.50.1600"), "UPDATE T SET A = TRY_CAST(B AS INT)",
       "UPDATE T SET A = CAST(B AS INT)"},
      {Facts(10, "15.0", "100"), "UPDATE T SET A = TRY_CAST(B AS INT)",
       "UPDATE T SET A = CAST(B AS INT)"},
      {Facts(10), "UPDATE T SET A = TRY_CAST(B AS INT)", "UPDATE T SET A = TRY_CAST(B AS INT)"},
      {Facts(10), "UPDATE T SET A = CAST('' AS INT), D = SYSDATE",
       "UPDATE T SET A = CAST(NULL AS INT), D = GETUTCDATE()"},
      {Facts(5), "UPDATE T SET D = GETUTCDATE() WHERE A != '' AND B = TO_DATE('', 'X')",
       "UPDATE T SET D = SYSDATE WHERE A != ' ' AND B = TO_DATE(NULL, 'X')"},
      {Facts(2), "SELECT A FROM T WHERE B = '''' ", "SELECT A FROM T WHERE B = '' "},
      {Facts(0), "SELECT COUNT(*) FROM [OWNER].DOCSTABLE",
       "SELECT COUNT(*) FROM DOCSADM.DOCSTABLE OPTION (MAXDOP 1)"},
      // SQL Server's bracket escapes in a LIKE pattern become Oracle's escape character.
      {Facts(2), "SELECT A FROM T WHERE UPPER(N) LIKE 'ACME [[]UK] A[_]B 5[%] C:\\%' AND B = 1",
       "SELECT A FROM T WHERE UPPER(N) LIKE 'ACME [UK] A\\_B 5\\% C:\\\\%' ESCAPE '\\' AND B = 1"},
      {Facts(10), "SELECT A FROM T WHERE N LIKE 'A[_]B%'",
       "SELECT A FROM T WHERE N LIKE 'A[_]B%' OPTION (MAXDOP 1)"},
      // Left alone: no escape, a real character class, an ESCAPE of its own, no LIKE before
      // the literal, or text inside another literal.
      {Facts(2), "DELETE FROM T WHERE N like 'PC1:%' OR N LIKE '[a-c]%'",
       "DELETE FROM T WHERE N like 'PC1:%' OR N LIKE '[a-c]%'"},
      {Facts(2), "DELETE FROM T WHERE N LIKE 'X![_]%' ESCAPE '!'",
       "DELETE FROM T WHERE N LIKE 'X![_]%' ESCAPE '!'"},
      {Facts(2), "UPDATE T SET N = 'A[_]B', M = 'x LIKE ''[_]'' y' WHERE UNLIKE = '[_]'",
       "UPDATE T SET N = 'A[_]B', M = 'x LIKE ''[_]'' y' WHERE UNLIKE = '[_]'"},
      {Facts(2), "SELECT A FROM T WHERE N NOT LIKE 'O''[_]'",
       "SELECT A FROM T WHERE N NOT LIKE 'O''\\_' ESCAPE '\\'"},
  };
  for (const auto& c : cases) EXPECT_EQ(PrepareSqlText(c.in, c.facts), c.out) << c.in;
}

}  // namespace
}  // namespace sproutsmith::dm
