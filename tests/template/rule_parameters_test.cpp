#include "template/rule_parameters.h"

#include <gtest/gtest.h>

#include "template/template_parser.h"
#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

class RuleParametersTest : public testing::ParserTest {
 protected:
  ParsedTemplate Template(const std::string& template_text) {
    ParsedTemplate parsed;
    EXPECT_TRUE(ParserTest::Parse(template_text, &parsed));
    return parsed;
  }
  RuleParameters Parse(const std::string& values, const ParsedTemplate& parsed) {
    window_.Reset();
    return ParseRuleParameters(values, parsed, "DEMO", env_.today, cache_, *dictionary_,
                               install_.log);
  }
};

TEST_F(RuleParametersTest, ConditionsOnTheDefaultTemplate) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  struct Case {
    const char* values;
    const char* text;
    std::vector<std::string> tables;
  };
  const Case cases[] = {
      // clang-format off
      // OR then AND: joined flat, in text order.
      {"%MATTER.CLIENT_ID.CLIENT_ID% = 'c0001' OR %MATTER.MATTER_ID% = '0001' AND "
       "%DOCUMENTTYPE.TYPE_ID% = 'MEMO'", " ([OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM "
       "[OWNER].CLIENT WHERE CLIENT_ID = 'C0001') OR MATTER.MATTER_ID = '0001' AND "
       "DOCUMENTTYPES.TYPE_ID = 'MEMO')", {"MATTER", "MATTER", "DOCUMENTTYPES"}},
      // The same with parentheses around every condition.
      {"(%MATTER.MATTER_ID% = '1') OR (%MATTER.MATTER_ID% = '2') AND (%DOCUMENTTYPE.TYPE_ID% <> "
       "'X')", " (MATTER.MATTER_ID = '1' OR MATTER.MATTER_ID = '2' AND DOCUMENTTYPES.TYPE_ID <> "
       "'X')", {"MATTER", "MATTER", "DOCUMENTTYPES"}},
      {"%MATTER.MATTER_ID% = '1' AND (%MATTER.MATTER_ID% = '2' OR) %MATTER.MATTER_ID% = '3'",
       " (MATTER.MATTER_ID = '1' AND MATTER.MATTER_ID = '2' OR MATTER.MATTER_ID = '3')", {"MATTER",
       "MATTER", "MATTER"}},
      // Relative dates: minus and plus both go back; no quotes are added.
      {"%MATTER.MATTER_ID% >= '%TODAY-7%'", " (MATTER.MATTER_ID >= '2020-11-07')", {"MATTER"}},
      {"%MATTER.MATTER_ID% >= '%TODAY+7%'", " (MATTER.MATTER_ID >= '2020-11-07')", {"MATTER"}},
      {"%MATTER.MATTER_ID% = %TODAY%", " (MATTER.MATTER_ID = 2020-11-14)", {"MATTER"}},
      {"%MATTER.MATTER_ID% > '%TODAY-99999999999999%'", " (MATTER.MATTER_ID > '0001-01-01')",
       {"MATTER"}},
      // An odd quote is closed, inside the sub-select of a two-hop path too.
      {"%MATTER.MATTER_ID% = '0001", " (MATTER.MATTER_ID = '0001')", {"MATTER"}},
      {"%MATTER.CLIENT_ID.CLIENT_ID% LIKE 'O''BRIEN%", " ([OWNER].MATTER.CLIENT_ID IN (SELECT "
       "SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID LIKE 'O''BRIEN%'))", {"MATTER"}},
      // The path may stand without "%" signs; it then ends at the first blank, which stays
      // with the comparison.
      {"MATTER.MATTER_ID IS NULL", " (MATTER.MATTER_ID IS NULL)", {"MATTER"}},
      {"[OWNER].MATTER.MATTER_ID = 'x'", " (MATTER.MATTER_ID = 'X')", {"MATTER"}},
      // A group of two or more keeps its parentheses; one inside a value list is the list's.
      {"(%MATTER.MATTER_ID% = '1' OR %MATTER.MATTER_ID% IN ('2', ')')) AND %DOCUMENTTYPE.TYPE_ID% "
       "= 'X'", " ((MATTER.MATTER_ID = '1' OR MATTER.MATTER_ID IN ('2', ')')) AND "
       "DOCUMENTTYPES.TYPE_ID = 'X')", {"MATTER", "MATTER", "DOCUMENTTYPES"}},
      // Unbalanced parentheses are read to the end.
      {"((%MATTER.MATTER_ID% = '1'", " (MATTER.MATTER_ID = '1')", {"MATTER"}},
      // clang-format on
  };
  for (const Case& c : cases) {
    const RuleParameters p = Parse(c.values, parsed);
    EXPECT_EQ(p.text, c.text) << c.values << "\n" << window_.Dump();
    EXPECT_EQ(p.tables, c.tables) << c.values;
  }
}

TEST_F(RuleParametersTest, ConditionsOutsideTheTemplateAreDropped) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  for (const char* values : {"%APPLICATION.APPLICATION% <> 'FOLDER'", "", "   ", ")))",
                             "PROFILE.DOCNUMBER > 5", "(((", "AND OR"}) {
    const RuleParameters p = Parse(values, parsed);
    EXPECT_EQ(p.text, "") << values;
    EXPECT_EQ(window_.Count("Notice: There are no rule qualifiers to compare - none of the rule "
                            "values are associated with the template."),
              1)
        << values;
  }
  Parse("%APPLICATION.APPLICATION% <> 'FOLDER'", parsed);
  EXPECT_EQ(window_.Count("Checking for match on syntax qualifier APPLICATION.APPLICATION"), 1);
  EXPECT_EQ(window_.Count("Found "), 0);
}

TEST_F(RuleParametersTest, NarrationOfOneCondition) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  Parse("%MATTER.CLIENT_ID.CLIENT_ID% = 'C1' OR %MATTER.MATTER_ID% = '1'", parsed);
  // Every line is followed by a separator.
  std::vector<std::string> lines;
  // clang-format off
  for (const char* line : {
      "Parsing Rule Syntax %MATTER.CLIENT_ID.CLIENT_ID% = 'C1' OR %MATTER.MATTER_ID% = '1'",
      "Checking for match on syntax qualifier MATTER.CLIENT_ID.CLIENT_ID",
      "Found Internal qualifier: MATTER (MATTER.CLIENT_ID.CLIENT_ID)",
      "Adding qualifier: [OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE "
          "CLIENT_ID = 'C1') as level 0 with AndOr value 1",
      "Checking for match on syntax qualifier MATTER.MATTER_ID",
      "Found Internal qualifier: MATTER (MATTER.MATTER_ID)",
      "Adding qualifier: MATTER_ID = '1' as level 0 with AndOr value -1",
      "Adding Select column [OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT "
          "WHERE CLIENT_ID = 'C1')",
      "Qualifier for this Select column will be OR", "Adding Select column MATTER.MATTER_ID = '1'",
      "Qualifier for this Select column will be AND"}) {
    // clang-format on
    lines.insert(lines.end(), {line, std::string(text::kSeparator)});
  }
  EXPECT_EQ(window_.Lines(), lines) << window_.Dump();
}

TEST_F(RuleParametersTest, ExternalLinksAcceptTheirOwnTables) {
  const ParsedTemplate parsed = Template(
      "%MATTER.MATTER_ID% %\\% %<CLIENT.CLIENT_NAME|[OWNER].CLIENT|CLIENT.SYSTEM_ID = "
      "MATTER.CLIENT_ID>%");
  // Rule values and the condition they give.
  const std::pair<const char*, const char*> cases[] = {
      // CLIENT is the link's own column: an internal match on the link item.
      {"%CLIENT.CLIENT_NAME% = 'Acme'", " (CLIENT.CLIENT_NAME = 'ACME')"},
      // PROFILE.APPLICATION leads to APPS, which the template does not reach.
      {"%APPLICATION.APPLICATION% <> 'FOLDER'", ""},
      // No dictionary row for the first part: accepted for the links' sake, unless PROFILE.
      {"%OTHER.COLUMN% = 1", " (OTHER.COLUMN = 1)"},
      {"%PROFILE.DOCNUMBER% = 1", ""},
      // A table the template's items hold is matched through the dictionary.
      {"%MATTER.CLIENT_ID.CLIENT_ID% = 'C1'",
       " ([OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = "
       "'C1'))"},
  };
  for (const auto& [values, text] : cases) {
    EXPECT_EQ(Parse(values, parsed).text, text) << values << "\n" << window_.Dump();
  }
  Parse("%APPLICATION.APPLICATION% <> 'FOLDER'", parsed);
  EXPECT_EQ(window_.Count("Checking for match on syntax qualifier APPLICATION.APPLICATION (APPS)"),
            1);
}

}  // namespace
}  // namespace sproutsmith::templ
