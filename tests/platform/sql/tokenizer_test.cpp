#include "platform/sql/dialect/tokenizer.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace sproutsmith::sql::dialect {
namespace {

// Significant tokens as "kind:text" separated by blanks.
std::string Describe(const std::string& sql) {
  // In the order of TokenKind.
  const char* const kinds[] = {"",  "C", "S", "NS", "QI", "BI", "N", "W",
                               "(", ")", ",", ".",  ";",  "+",  "P", "O"};
  static_assert(std::size(kinds) == static_cast<size_t>(TokenKind::kOperator) + 1);
  std::string out;
  for (const Token& t : Tokenize(sql)) {
    if (t.kind == TokenKind::kSpace) continue;
    if (!out.empty()) out += ' ';
    out += std::string(kinds[static_cast<size_t>(t.kind)]) + ":" + t.text;
  }
  return out;
}

TEST(TokenizerTest, TokenKinds) {
  const struct {
    const char* sql;
    const char* expected;
  } cases[] = {
      {"'it''s' N'x' \"a\"\"b\" [c]]d]", "S:'it''s' NS:N'x' QI:\"a\"\"b\" BI:[c]]d]"},
      {"12 1.5 .5 2e3 1E-2 0xf 0X1F", "N:12 N:1.5 N:.5 N:2e3 N:1E-2 N:0xf N:0X1F"},
      {"a.b @@VERSION @v #t x$1", "W:a .:. W:b W:@@VERSION W:@v W:#t W:x$1"},
      {"a<=b<>c!=d||e>=f=g", "W:a O:<= W:b O:<> W:c O:!= W:d O:|| W:e O:>= W:f O:= W:g"},
      {"A.X (+) = B.Y AND C.Z( + )=1",
       "W:A .:. W:X +:(+) O:= W:B .:. W:Y W:AND W:C .:. W:Z +:( + ) O:= N:1"},
      {"(+5)", "(:( O:+ N:5 ):)"},
      {"a -- c 'x'\r\nb /* d */ c /* e /* f */ g */ h",
       "W:a C:-- c 'x' W:b C:/* d */ W:c C:/* e /* f */ g */ W:h"},
      {"sysstat & 0xf = 3;", "W:sysstat O:& N:0xf O:= N:3 ;:;"},
      {"'unterminated", "S:'unterminated"},
      {"IN'x'", "W:IN S:'x'"},
      {"x = ?", "W:x O:= P:?"},
      // Numbered parameters of a statement shape; digits after a "?" belong to it.
      {"x=?12AND y IN(?3,?)", "W:x O:= P:?12 W:AND W:y W:IN (:( P:?3 ,:, P:? ):)"},
      {"caf\xC3\xA9 = 1", "W:caf\xC3\xA9 O:= N:1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(c.sql), c.expected) << c.sql;
}

TEST(TokenizerTest, JoinReproducesTheTextByteForByte) {
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
  for (const char* text : texts) EXPECT_EQ(Join(Tokenize(text)), text);
}

TEST(TokenizerTest, ValuesOfLiteralsAndNames) {
  const Tokens t = Tokenize("'it''s' \"a\"\"b\" [c]]d] N'x''y'");
  EXPECT_EQ(StringValue(t[0]), "it's");
  EXPECT_EQ(IdentifierName(t[2]), "a\"b");
  EXPECT_EQ(IdentifierName(t[4]), "c]d");
  EXPECT_EQ(StringValue(t[6]), "x'y");
  EXPECT_EQ(QuoteString("it's"), "'it''s'");
}

}  // namespace
}  // namespace sproutsmith::sql::dialect
