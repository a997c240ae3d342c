// Rule templates parsed as the cycle parses them, against a generated library's dictionary.

#include <gtest/gtest.h>

#include <tuple>

#include "template/rule_parameters.h"
#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

// One item as "Text|Kind|Table|Column|KeyColumn|LinkColumn|LinkTable|ProfileAssignment",
// with "|lib=" + Library when it names one.
std::string Show(const TemplateItem& i) {
  std::string s = i.Text + "|" + i.Kind + "|" + i.Table + "|" + i.Column + "|" + i.KeyColumn + "|" +
                  i.LinkColumn + "|" + i.LinkTable + "|" + i.ProfileAssignment;
  if (!i.Library.empty()) s += "|lib=" + i.Library;
  return s;
}

std::string Show(const ExternalLink& l) {
  return "#" + l.ItemNumber + " [" + l.Columns + "] [" + l.Tables + "] [" + l.Joins + "]";
}

// The template language over a generated library's data dictionary, in the environment of
// library DEMO on the installation's fixed date (2020-11-14).
class TemplateParserTest : public sproutsmith::testing::EngineSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO", .with_rules = false}});
    dictionary_ = std::make_unique<DocsColumnDictionary>(*connection_);
    env_.library_name = "DEMO";
    env_.library_description = "Demo library";
    env_.processing_library = "DEMO";
    env_.session_libraries = {"DEMO", "ARCHIVE"};
    env_.owner = "DOCSADM";
    env_.today = install_.clock.Now();
  }
  bool Parse(const std::string& template_text, std::string* email = nullptr,
             ParsedTemplate* parsed = nullptr) {
    window_.Reset();
    return ParseTemplateText(template_text, email, env_, cache_, *dictionary_, install_.log,
                             parsed ? parsed : &parsed_);
  }
  ParsedTemplate Template(const std::string& template_text) {
    ParsedTemplate parsed;
    EXPECT_TRUE(Parse(template_text, nullptr, &parsed));
    return parsed;
  }
  RuleParameters Conditions(const std::string& values, const ParsedTemplate& parsed) {
    window_.Reset();
    return ParseRuleParameters(values, parsed, "DEMO", env_.today, cache_, *dictionary_,
                               install_.log);
  }
  // The items, then the external links, then "tables: ..." when the links add any.
  std::vector<std::string> Parsed() const {
    std::vector<std::string> out;
    for (const auto& i : parsed_.items) out.push_back(Show(i));
    for (const auto& l : parsed_.links) out.push_back(Show(l));
    if (!parsed_.tables.text().empty()) out.push_back("tables: " + parsed_.tables.text());
    return out;
  }

  testing::LogWindow window_{install_};
  TemplateEnvironment env_;
  ForeignKeyCache cache_;
  std::unique_ptr<DocsColumnDictionary> dictionary_;
  ParsedTemplate parsed_;
};

TEST_F(TemplateParserTest, DefaultTemplateGivesTheSevenItemsAndCachesItsHops) {
  rules::RuleRecord rule;
  rule.Set(rules::RuleKey::kTemplate, testing::kDefaultTemplate);
  ASSERT_TRUE(ParseRuleTemplate(rule, env_, cache_, *dictionary_, install_.log, &parsed_));
  EXPECT_EQ(Parsed(),
            (std::vector<std::string>{
                "FIRM MATTERS|P||FIRM MATTERS||||", "\\|/||||||",
                "MATTER.CLIENT_ID.CLIENT_ID|X|CLIENT|CLIENT_ID|SYSTEM_ID|CLIENT_ID|MATTER|"
                "MATTER = MATTER.SYSTEM_ID",
                "\\|/||||||",
                "MATTER.MATTER_ID|X|MATTER|MATTER_ID|SYSTEM_ID|MATTER|PROFILE|"
                "MATTER = MATTER.SYSTEM_ID",
                "\\|/||||||",
                "DOCUMENTTYPE.TYPE_ID|X|DOCUMENTTYPES|TYPE_ID|SYSTEM_ID|DOCUMENTTYPE|"
                "PROFILE|DOCUMENTTYPE = DOCUMENTTYPES.SYSTEM_ID"}));
  EXPECT_EQ(parsed_.level_count, 4);
  EXPECT_EQ(
      install_.CountLogLines("Parsing Rule Template " + std::string(testing::kDefaultTemplate)), 1);
  EXPECT_EQ(install_.CountLogLines("4 level(s) identified in the rule template"), 1);
  EXPECT_EQ(install_.CountLogLines("Identifying foreign key links to PROFILE.MATTER"), 1);
  EXPECT_EQ(install_.CountLogLines("Identifying foreign key links to MATTER.CLIENT_ID"), 1);
  EXPECT_EQ(install_.CountLogLines("Identifying foreign key links to PROFILE.DOCUMENTTYPE"), 1);
  // The next rule (or cycle) is served from the cache.
  ASSERT_TRUE(Parse(testing::kDefaultTemplate));
  EXPECT_EQ(window_.Count("Identifying foreign key links"), 0);
}

TEST_F(TemplateParserTest, ItemsOfTemplates) {
  const std::tuple<const char*, std::vector<std::string>> cases[] = {
      // clang-format off
      // Keywords are matched on the upper-cased token.
      {"%date% %\\% %Year%-%month% %/% %DAY% %MONTHNAME%", {"2020-11-14|P||2020-11-14||||",
       "\\|/||||||", "2020|P||2020||||", "-|||||||", "11|P||11||||", "/|/||||||", "14|P||14||||",
       "November|P||NOVEMBER||||"}},
      {"%TODAY% %LIBRARY% %library_desc% %FOLDER_LIBRARY% %DOCUMENT_LIBRARY%",
       {"Saturday, November 14, 2020|P||SATURDAY, NOVEMBER 14, 2020||||", "DEMO|P||DEMO||||",
       "Demo library|P||DEMO LIBRARY||||", "DEMO|P||DEMO||||", "DEMO|P||DEMO||||"}},
      // Text outside the tokens is a literal of its own, kept as written.
      {"Clients %\\% %MATTER.MATTER_ID%", {"Clients |||||||", "\\|/||||||",
       "MATTER.MATTER_ID|X|MATTER|MATTER_ID|SYSTEM_ID|MATTER|PROFILE|MATTER = MATTER.SYSTEM_ID"}},
      {"%CLIENTS% %\\% trailing words", {"CLIENTS|P||CLIENTS||||", "\\|/||||||",
       "trailing words|||||||"}},
      // A lower-case path resolves through the dictionary all the same.
      {"%matter.client_id.client_id%", {"matter.client_id.client_id|X|CLIENT|CLIENT_ID|SYSTEM_ID|"
       "CLIENT_ID|MATTER|MATTER = MATTER.SYSTEM_ID"}},
      {"%AUTHOR.PRIMARY_GROUP.GROUP_ID% %\\% %AUTHOR.USER_ID%", {"AUTHOR.PRIMARY_GROUP.GROUP_ID|X|"
       "GROUPS|GROUP_ID|SYSTEM_ID|PRIMARY_GROUP|PEOPLE|AUTHOR = PEOPLE.SYSTEM_ID", "\\|/||||||",
       "AUTHOR.USER_ID|X|PEOPLE|USER_ID|SYSTEM_ID|AUTHOR|PROFILE|AUTHOR = PEOPLE.SYSTEM_ID"}},
      // A hop the dictionary does not know leaves a literal (no kind); the first hop's
      // assignment stays.
      {"%MATTER.NOWHERE.X% %DOCNAME.X%", {"MATTER.NOWHERE.X|||||||MATTER = MATTER.SYSTEM_ID",
       "DOCNAME.X|||||||"}},
      // A missing closing "%" ends the token at the next blank, or takes the rest as a
      // literal.
      {"%FIRM MATTERS", {"FIRM|P||FIRM||||", "MATTERS|||||||"}},
      {"%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID", {"CLIENTS|P||CLIENTS||||", "\\|/||||||",
       "MATTER.CLIENT_ID.CLIENT_ID|||||||"}},
      {"%%", {"|X||||||"}},
      // Library prefixes: each an item of its own.
      {"{ARCHIVE} %CLIENTS%", {"||||||||lib=ARCHIVE", "CLIENTS|P||CLIENTS||||"}},
      {"{archive}%CLIENTS%", {"||||||||lib=ARCHIVE", "CLIENTS|P||CLIENTS||||"}},
      {"{%FL%} %CLIENTS%", {"||||||||lib=DEMO", "CLIENTS|P||CLIENTS||||"}},
      {"{%DOCLIB%} %CLIENTS%", {"|||||||", "CLIENTS|P||CLIENTS||||"}},
      // Literal text keeps its trailing blank.
      {"{ARCHIVE} FILES %\\% {%FL%}", {"||||||||lib=ARCHIVE", "FILES |||||||", "\\|/||||||",
       "||||||||lib=DEMO"}},
      {"%A% {ARCHIVE}", {"A|P||A||||", "||||||||lib=ARCHIVE"}},
      // clang-format on
  };
  for (const auto& [template_text, items] : cases) {
    ASSERT_TRUE(Parse(template_text)) << template_text << "\n" << window_.Dump();
    EXPECT_EQ(Parsed(), items) << template_text;
  }
}

TEST_F(TemplateParserTest, ExternalLinks) {
  struct Case {
    const char* template_text;
    std::vector<std::string> parsed;
    std::vector<std::string> log;  // lines in order, separators left out
  };
  const Case cases[] = {
      // clang-format off
      {"%<PROFILE.DOCNUMBER>%", {"PROFILE.DOCNUMBER|||||||", "#1 [PROFILE.DOCNUMBER] "
       "[[OWNER].PROFILE] []", "tables: [OWNER].PROFILE"},
       {"Special handling for an external link:", "PROFILE.DOCNUMBER",
       "Extracting table from PROFILE.DOCNUMBER", "Adding table (1): [OWNER].PROFILE",
       "Item #1: Columns [PROFILE.DOCNUMBER] Tables [[OWNER].PROFILE] Joins []"}},
      // The owner's own prefix becomes the placeholder.
      {"%<docsadm.client.client_name>%", {"DOCSADM.CLIENT.CLIENT_NAME|||||||",
       "#1 [DOCSADM.CLIENT.CLIENT_NAME] [[OWNER].CLIENT] []", "tables: [OWNER].CLIENT"}},
      {"%<*NONE*|[OWNER].CLIENT|AND CLIENT.X = 1>%", {"|||||||",
       "#1 [] [[OWNER].CLIENT] [CLIENT.X = 1]"}, {"Special handling for an external link:",
       "*NONE*|[OWNER].CLIENT|AND CLIENT.X = 1", "Not adding column *NONE*",
       "Table(s) to be added are [OWNER].CLIENT", "Join(s) to be added are CLIENT.X = 1",
       "Item #1: Columns [] Tables [[OWNER].CLIENT] Joins [CLIENT.X = 1]"}},
      {"%MATTER.MATTER_ID% %\\% %<client.client_name | [OWNER].CLIENT | where CLIENT.SYSTEM_ID = "
       "MATTER.CLIENT_ID>%", {"MATTER.MATTER_ID|X|MATTER|MATTER_ID|SYSTEM_ID|MATTER|PROFILE|MATTER "
       "= MATTER.SYSTEM_ID", "\\|/||||||", "CLIENT.CLIENT_NAME|||||||", "#3 [CLIENT.CLIENT_NAME] "
       "[[OWNER].CLIENT] [CLIENT.SYSTEM_ID = MATTER.CLIENT_ID]"}},
      // One "|" only: tables and joins stay empty; "NULL" and "*EMPTY*" select nothing.
      {"%<X.Y|[OWNER].X>% %<NULL|A|B>% %<*EMPTY*|A|OR B = 1>%", {"X.Y|||||||", "|||||||", "|||||||",
       "#1 [X.Y] [] []", "#2 [] [A] [B]", "#3 [] [A] [B = 1]"}},
      // "<>" is an empty link: warned, kept as it was, no link.
      {"%<>% %<  >%", {"<>|||||||", "<  >|||||||"}, {"Warning: Unable to parse this external link "
       "(check syntax for template)", "Warning: Unable to parse this external link (check syntax "
       "for template)"}},
      // clang-format on
  };
  for (const auto& [template_text, parsed, log] : cases) {
    ASSERT_TRUE(Parse(template_text)) << template_text;
    EXPECT_EQ(Parsed(), parsed) << template_text;
    if (!log.empty()) {
      std::vector<std::string> lines;
      for (const auto& l : window_.Text()) {
        // Warnings carry a time stamp after their prefix.
        lines.push_back(text::StartsWith(l, "Warning: ") ? "Warning: " + l.substr(l.find("  ") + 2)
                                                         : l);
      }
      EXPECT_EQ(lines, log) << template_text;
    }
  }
}

TEST_F(TemplateParserTest, AnEmptyTemplateSkipsTheRule) {
  EXPECT_FALSE(Parse(""));
  EXPECT_EQ(window_.Count("Notice: Unable to parse template string - cannot continue"), 1);
}

TEST_F(TemplateParserTest, EmailTemplateTakesKeywordsCaseSensitively) {
  // logged: "eMail Template set to" lines
  const std::tuple<const char*, const char*, const char*, int> cases[] = {
      {"Files for DATE", "%CLIENTS%", "Files for 2020-11-14", 1},
      {"Files for date", "%CLIENTS%", "Files for date", 0},
      // LIBRARY is replaced first, so LIBRARY_DESC is never seen whole.
      {"LIBRARY_DESC of LIBRARY", "%A%", "DEMO_DESC of LIBRARY", 1},
      // Each plain token replaces one more occurrence; separators count as tokens.
      {"LIBRARY and LIBRARY and LIBRARY", "%A% %\\% %B%", "DEMO and DEMO and DEMO", 3},
      // Table order again: MONTH is found inside MONTHNAME first.
      {"MONTHNAME DAY YEAR", "%A%", "11NAME 14 2020", 1},
      // External links replace nothing.
      {"DATE", "%<PROFILE.DOCNUMBER>%", "DATE", 0},
  };
  for (const auto& [written, template_text, expected, logged] : cases) {
    std::string email = written;
    ASSERT_TRUE(Parse(template_text, &email));
    EXPECT_EQ(email, expected) << written;
    EXPECT_EQ(window_.Count("eMail Template set to "), logged) << written;
  }
}

TEST(TemplateLevelsTest, CountAndCut) {
  const std::tuple<const char*, long, const char*, int> cases[] = {
      {testing::kDefaultTemplate, 2, "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%", 2},
      {testing::kDefaultTemplate, 1, "%FIRM MATTERS%", 1},
      {testing::kDefaultTemplate, 0, testing::kDefaultTemplate, 4},
      {testing::kDefaultTemplate, 4, testing::kDefaultTemplate, 4},
      {testing::kDefaultTemplate, 9, testing::kDefaultTemplate, 4},
      {testing::kDefaultTemplate, -1, testing::kDefaultTemplate, 4},
      // The earlier of the two separators ends a level; trailing separators go.
      {"%A% %/% %B% %\\% %C%", 2, "%A% %/% %B%", 2},
      {"%A% %\\% %\\%  ", 5, "%A%", 1},
      {"%A% %\\%", 0, "%A% %\\%", 1},
      {"", 3, "", 1},
  };
  for (const auto& [template_text, kept, expected, levels] : cases) {
    const std::string cut = CutTemplateLevels(template_text, kept);
    EXPECT_EQ(cut, expected) << template_text << " cut " << kept;
    EXPECT_EQ(CountTemplateLevels(cut), levels) << cut;
  }
}

// Rule values: the conditions they add to the selection of a parsed template.
TEST_F(TemplateParserTest, ConditionsOnTheDefaultTemplate) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
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
  for (const auto& [values, text, tables] : cases) {
    const RuleParameters p = Conditions(values, parsed);
    EXPECT_EQ(p.text, text) << values << "\n" << window_.Dump();
    EXPECT_EQ(p.tables, tables) << values;
  }
}

TEST_F(TemplateParserTest, ConditionsOutsideTheTemplateAreDropped) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  for (const char* values : {"%APPLICATION.APPLICATION% <> 'FOLDER'", "", "   ", ")))",
                             "PROFILE.DOCNUMBER > 5", "(((", "AND OR"}) {
    const RuleParameters p = Conditions(values, parsed);
    EXPECT_EQ(p.text, "") << values;
    EXPECT_EQ(window_.Count("Notice: There are no rule qualifiers to compare - none of the rule "
                            "values are associated with the template."),
              1)
        << values;
  }
  Conditions("%APPLICATION.APPLICATION% <> 'FOLDER'", parsed);
  EXPECT_EQ(window_.Count("Checking for match on syntax qualifier APPLICATION.APPLICATION"), 1);
  EXPECT_EQ(window_.Count("Found "), 0);
}

TEST_F(TemplateParserTest, NarrationOfOneCondition) {
  const ParsedTemplate parsed = Template(testing::kDefaultTemplate);
  Conditions("%MATTER.CLIENT_ID.CLIENT_ID% = 'C1' OR %MATTER.MATTER_ID% = '1'", parsed);
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

TEST_F(TemplateParserTest, ExternalLinksAcceptTheirOwnTables) {
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
    EXPECT_EQ(Conditions(values, parsed).text, text) << values << "\n" << window_.Dump();
  }
  Conditions("%APPLICATION.APPLICATION% <> 'FOLDER'", parsed);
  EXPECT_EQ(window_.Count("Checking for match on syntax qualifier APPLICATION.APPLICATION (APPS)"),
            1);
}

}  // namespace
}  // namespace sproutsmith::templ
