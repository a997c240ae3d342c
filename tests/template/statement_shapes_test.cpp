// The statements BuildSelection writes, exactly, for each engine and option; each is also
// run on the generated library it was built for.

#include <gtest/gtest.h>

#include "template/row_intake.h"
#include "template/selection_builder.h"
#include "template/template_parser.h"
#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

// The tracking exclusion of `table` for rule `rule`.
std::string NotTracked(const std::string& table, const std::string& rule) {
  return table +
         ".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = '" +
         table + "' AND UPPER(RULE_NAME) = '" + rule + "')";
}

const std::string kClientsHead =
    "'CLIENTS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", CLIENT.SYSTEM_ID AS "
    "\"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"";
const std::string kClientsExclusion =
    "((" + NotTracked("CLIENT", "CLIENTS") + " OR " + NotTracked("MATTER", "CLIENTS") + "))";
const std::string kDefaultHead =
    "'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID AS "
    "\"MATTER.MATTER_ID\", '\\', DOCUMENTTYPES.TYPE_ID AS \"DOCUMENTTYPES.TYPE_ID\", "
    "CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\", "
    "DOCUMENTTYPES.SYSTEM_ID AS \"DOCUMENTTYPES.SYSTEM_ID\"";
const std::string kDefaultJoins =
    " FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID "
    "LEFT OUTER JOIN [OWNER].PROFILE ON PROFILE.MATTER = MATTER.SYSTEM_ID LEFT OUTER JOIN "
    "[OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = PROFILE.DOCUMENTTYPE";
const std::string kDocumentsOnlyText =
    "PROFILE.SYSTEM_ID IS NOT NULL AND NOT EXISTS (SELECT * FROM [OWNER].APPS WHERE "
    "APPS.SYSTEM_ID = PROFILE.APPLICATION AND "
    "APPS.APPLICATION = 'FOLDER')";
const std::string kDefaultOrder =
    " ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC, DOCUMENTTYPES.TYPE_ID ASC";

// Oracle writes its aliases without AS.
std::string NoAs(std::string s) { return text::Replace(s, " AS \"", " \""); }

struct Shape {
  const char* name;
  const char* library;
  const char* rule;
  const char* template_text;  // "" keeps the rule's own
  const char* sproutsmith_text;
  const char* site;
  int initialize;
  int descending;
  const char* max_folders;
  long row_limit_option;
  std::string statement;
  long long rows;  // rows the statement returns on the generated data (-1: not checked)
};

class StatementShapesTest : public testing::CompileSession {};

TEST_F(StatementShapesTest, StatementsByEngineAndOption) {
  Start({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
  const Shape cases[] = {
      {"all tables reached: the client/matter order, nothing else added", "DEMO", "CLIENTS", "", "",
       "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 80000 " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE " +
           kClientsExclusion + " ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      {"oracle: old-style outer join and ROWNUM", "ORA", "CLIENTS", "", "", "", 0, 0, "0", 10000,
       "SELECT DISTINCT " + NoAs(kClientsHead) +
           " FROM [OWNER].MATTER, [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID "
           "AND " +
           kClientsExclusion + " AND ROWNUM <= 80000 ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      // MATTER's exclusion, put off at the client level, is added at the matter level.
      {"default rule: PROFILE and DOCUMENTTYPES joined", "DEMO", "CLIENT MATTERS", "", "", "", 0, 0,
       "0", 10000,
       "SELECT DISTINCT TOP 40000 " + kDefaultHead + "\r\n" + kDefaultJoins + " WHERE " +
           kDocumentsOnlyText + " AND ((" + NotTracked("CLIENT", "CLIENT MATTERS") + ") OR (" +
           NotTracked("MATTER", "CLIENT MATTERS") + ") OR (" +
           NotTracked("DOCUMENTTYPES", "CLIENT MATTERS") + "))" + kDefaultOrder,
       8},
      {"no where clause", "DEMO", "CLIENTS", "%<CLIENT.CLIENT_ID>%", "", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 40000 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\"\r\n FROM "
       "[OWNER].CLIENT",
       4},
      {"oracle without a where clause has no row limit", "ORA", "CLIENTS", "%<CLIENT.CLIENT_ID>%",
       "", "", 0, 0, "0", 10000,
       "SELECT DISTINCT CLIENT.CLIENT_ID \"CLIENT.CLIENT_ID\" FROM [OWNER].CLIENT", 4},
      {"text box limit", "DEMO", "CLIENTS", "", "", "", 0, 0, "5", 5,
       "SELECT DISTINCT TOP 5 " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE " +
           kClientsExclusion + " ORDER BY CLIENT.CLIENT_ID ASC",
       5},
      {"site form: NOT EXISTS replaces every exclusion", "DEMO", "CLIENTS", "", "", "TAVISTOCK", 0,
       0, "0", 10000,
       "SELECT DISTINCT TOP 80000 " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE "
           "QUIL_SPROUTSMITH.SID = MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = "
           "'CLIENTS') ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      {"site form: BELLWICK in any letter case", "DEMO", "CLIENTS", "", "", "Bellwick Hall", 0, 0,
       "0", 10000,
       "SELECT DISTINCT TOP 80000 " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE "
           "QUIL_SPROUTSMITH.SID = MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = "
           "'CLIENTS') ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      {"initialize: no TOP, no per-level parentheses", "DEMO", "CLIENTS", "", "", "", 1, 0, "25", 0,
       "SELECT DISTINCT " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE (" +
           NotTracked("CLIENT", "CLIENTS") + " OR " + NotTracked("MATTER", "CLIENTS") +
           ") ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      {"oracle initialize: no ROWNUM", "ORA", "CLIENTS", "", "", "", 1, 0, "0", 0,
       "SELECT DISTINCT " + NoAs(kClientsHead) +
           " FROM [OWNER].MATTER, [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID "
           "AND (" +
           NotTracked("CLIENT", "CLIENTS") + " OR " + NotTracked("MATTER", "CLIENTS") +
           ") ORDER BY CLIENT.CLIENT_ID ASC",
       8},
      {"qualifier WHERE after the exclusion becomes AND", "DEMO", "CLIENTS", "",
       "WHERE CLIENT.CLIENT_ID <> 'c0002'", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 80000 " + kClientsHead +
           "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE " +
           kClientsExclusion + " AND CLIENT.CLIENT_ID <> 'C0002' ORDER BY CLIENT.CLIENT_ID ASC",
       6},
      {"qualifier AND without other conditions becomes WHERE", "DEMO", "CLIENTS",
       "%<CLIENT.CLIENT_ID>%", "AND [OWNER].CLIENT.CLIENT_ID <> 'C0002'", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 40000 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\"\r\n FROM "
       "[OWNER].CLIENT  WHERE [OWNER].CLIENT.CLIENT_ID <> 'C0002'",
       3},
      {"qualifier tables first: MATTER joined to itself is turned round", "DEMO", "CLIENTS", "",
       "MATTER|MATTER.MATTER_ID = '0001'", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 40000 " + kClientsHead +
           "\r\n  FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
           "MATTER.CLIENT_ID WHERE " +
           kClientsExclusion + " AND MATTER.MATTER_ID = '0001' ORDER BY CLIENT.CLIENT_ID ASC",
       4},
      {"oracle: the same turned round", "ORA", "CLIENTS", "", "MATTER|MATTER.MATTER_ID = '0001'",
       "", 0, 0, "0", 10000,
       "SELECT DISTINCT " + NoAs(kClientsHead) +
           " FROM [OWNER].MATTER, [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID "
           "AND " +
           kClientsExclusion +
           " AND MATTER.MATTER_ID = '0001' AND ROWNUM <= 40000 ORDER BY CLIENT.CLIENT_ID ASC",
       4},
      {"external link table without a foreign key joins through its own condition", "DEMO",
       "CLIENTS",
       "%MATTER.MATTER_ID% %\\% %<CLIENT.CLIENT_NAME|[OWNER].CLIENT|CLIENT.SYSTEM_ID="
       "MATTER.CLIENT_ID AND CLIENT.CLIENT_NAME <> 'for nobody'>%",
       "", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 40000 MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", '\\', "
       "CLIENT.CLIENT_NAME AS \"CLIENT.CLIENT_NAME\", MATTER.SYSTEM_ID AS "
       "\"MATTER.SYSTEM_ID\"\r\n FROM [OWNER].MATTER, [OWNER].CLIENT WHERE ((" +
           NotTracked("MATTER", "CLIENTS") +
           ")) AND CLIENT.SYSTEM_ID = MATTER.CLIENT_ID AND CLIENT.CLIENT_NAME <> 'FOR NOBODY' "
           "ORDER BY MATTER.MATTER_ID ASC",
       8},
      {"PROFILE first: listed once, tracked by its own exclusion", "DEMO", "CLIENTS",
       "%<PROFILE.DOCNAME>%", "", "", 0, 0, "0", 10000,
       "SELECT DISTINCT TOP 160000 PROFILE.DOCNAME AS \"PROFILE.DOCNAME\", PROFILE.SYSTEM_ID AS "
       "\"PROFILE.SYSTEM_ID\"\r\n FROM [OWNER].PROFILE  WHERE [OWNER].PROFILE.SYSTEM_ID NOT IN "
       "(SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'PROFILE' AND "
       "UPPER(RULE_NAME) = 'CLIENTS')",
       16},
  };
  for (const Shape& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(connection_->ConnectLibrary(c.library));
    rules::RuleRecord rule = Rule(c.rule);
    if (*c.template_text) rule.Set(rules::RuleKey::kTemplate, c.template_text);
    rule.Set(rules::RuleKey::kSproutsmithText, c.sproutsmith_text);
    install_.state.SiteName = c.site;
    install_.options.CheckInitialize = c.initialize;
    install_.options.CheckProcessDescending = c.descending;
    install_.options.TextMaxFolders = c.max_folders;
    testing::LogWindow window(install_);
    ParsedTemplate parsed;
    ASSERT_TRUE(
        ParseRuleTemplate(rule, Environment(), cache_, *dictionary_, install_.log, &parsed));
    SelectionRequest request;
    request.row_limit_option = c.row_limit_option;
    const Selection s = BuildSelection(rule, parsed, request, install_.context, *connection_,
                                       *store_, cache_, *dictionary_);
    ASSERT_TRUE(s.complete) << window.Dump();
    EXPECT_EQ(s.statement, c.statement);
    const Intake intake = RunSelection({s.statement, s.row_limit, "", s.saved_index}, rule,
                                       install_.context, *connection_, *store_);
    EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
    if (c.rows >= 0) {
      EXPECT_EQ(intake.matched, c.rows);
    }
  }
}

TEST_F(StatementShapesTest, RowLimitFromTheBottomTableOrTheSitesCounts) {
  Start({{.name = "DEMO"}});
  install_.Exec(
      "DEMO",
      "INSERT INTO PCDT (SYSTEM_ID, DT_FOLDERNAME, DT_FR_FOLDERNAME) VALUES (1, 'A', ''), "
      "(2, 'B', NULL), (3, 'B', NULL), (4, '', NULL)");
  install_.Exec("DEMO",
                "INSERT INTO SUBTYPES (SYSTEM_ID, NAME_EN, NAME_FR, DISABLED) VALUES (1, 'X', "
                "'X', 'N'), (2, 'Y', 'Y', 'Y'), (3, 'Z', 'Z', NULL)");
  struct Case {
    const char* site;
    const char* rule_name;
    const char* rule;  // whose template is used
    long row_limit;
  };
  const Case cases[] = {
      // DOCUMENTTYPES is the bottom table: its 4 rows times the option.
      {"", "CLIENT MATTERS", "CLIENT MATTERS", 40},
      {"", "CLIENTS", "CLIENTS", 80},
      {"VARNEL LLP", "CLIENTS", "CLIENTS", 10},
      {"varnel", "AB-F-PG/CLIENT/MATTER/DT", "CLIENT MATTERS", 20},
      {"VARNEL", "AB-E-PG/CLIENT/MATTER/DT", "CLIENT MATTERS", 70},
      {"VARNEL", "AB-F-PG/CLIENT/MATTER/DT/SUB", "CLIENT MATTERS", 20},
      {"VARNEL", "AB-E-PG/CLIENT/MATTER/DT/SUB", "CLIENT MATTERS", 20},
      {"ELSEWHERE", "AB-F-PG/CLIENT/MATTER/DT", "CLIENT MATTERS", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.site) + " " + c.rule_name);
    install_.state.SiteName = c.site;
    rules::RuleRecord rule = Rule(c.rule);
    rule.Set(rules::RuleKey::kName, c.rule_name);
    ParsedTemplate parsed;
    ASSERT_TRUE(
        ParseRuleTemplate(rule, Environment(), cache_, *dictionary_, install_.log, &parsed));
    SelectionRequest request;
    request.row_limit_option = 10;
    const Selection s = BuildSelection(rule, parsed, request, install_.context, *connection_,
                                       *store_, cache_, *dictionary_);
    EXPECT_EQ(s.row_limit, c.row_limit);
    EXPECT_NE(s.statement.find(" TOP " + std::to_string(c.row_limit) + " "), std::string::npos);
  }
  // A bottom table with a DISABLED column counts only its enabled rows.
  install_.state.SiteName = "";
  install_.Exec("DEMO", "ALTER TABLE DOCUMENTTYPES ADD DISABLED VARCHAR(1)");
  install_.Exec("DEMO", "UPDATE DOCUMENTTYPES SET DISABLED = 'Y' WHERE TYPE_ID = 'FOLDER'");
  install_.Exec("DEMO",
                "INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME) VALUES (99001, "
                "'DOCUMENTTYPES', 'DISABLED')");
  rules::RuleRecord rule = Rule("CLIENT MATTERS");
  ParsedTemplate parsed;
  ASSERT_TRUE(ParseRuleTemplate(rule, Environment(), cache_, *dictionary_, install_.log, &parsed));
  const Selection s = BuildSelection(rule, parsed, {10, 0, ""}, install_.context, *connection_,
                                     *store_, cache_, *dictionary_);
  EXPECT_EQ(s.row_limit, 30);
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

TEST_F(StatementShapesTest, InitializeModeAtTheVarnelSiteAlsoClearsPracticeCodes) {
  Start({{.name = "DEMO"}});
  install_.state.SiteName = "VARNEL";
  install_.options.CheckInitialize = 1;
  install_.Exec("DEMO",
                "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                "VALUES (1, 'PRACCODE', 'CLIENTS', 0, ''), (2, 'PRACCODE', 'OTHER', 0, ''), (3, "
                "'MATTER', 'CLIENTS', 0, ''), (4, 'CLIENT', 'CLIENTS', 0, '')");
  rules::RuleRecord rule = Rule("CLIENTS");
  ParsedTemplate parsed;
  ASSERT_TRUE(ParseRuleTemplate(rule, Environment(), cache_, *dictionary_, install_.log, &parsed));
  const Selection s = BuildSelection(rule, parsed, {0, 0, ""}, install_.context, *connection_,
                                     *store_, cache_, *dictionary_);
  EXPECT_EQ(s.sid_table, "MATTER");
  EXPECT_EQ(install_.CountLogLines("Initializing folder column item PRACCODE"), 1);
  EXPECT_EQ(install_.CountLogLines("Initializing folder column item MATTER"), 1);
  EXPECT_EQ(Query("SELECT SID FROM QUIL_SPROUTSMITH ORDER BY SID"),
            (std::vector<std::vector<std::string>>{{"2"}, {"4"}}));
}

}  // namespace
}  // namespace sproutsmith::templ
