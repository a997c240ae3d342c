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
         table + "' AND UPPER(RULE_NAME) LIKE '" + rule + "')";
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
    "PROFILE.APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER')";
const std::string kDefaultOrder =
    " ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC, DOCUMENTTYPES.TYPE_ID ASC";

// Oracle writes its aliases without AS.
std::string NoAs(std::string s) { return text::Replace(s, " AS \"", " \""); }

struct Case {
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
  const Case cases[] = {
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
      {"default rule: PROFILE and DOCUMENTTYPES joined", "DEMO", "CLIENT MATTERS", "", "", "", 0, 0,
       "0", 10000,
       "SELECT DISTINCT TOP 40000 " + kDefaultHead + "\r\n" + kDefaultJoins + " WHERE " +
           kDocumentsOnlyText + " AND ((" + NotTracked("CLIENT", "CLIENT MATTERS") + ") OR (" +
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
       "UPPER(RULE_NAME) LIKE 'CLIENTS')",
       16},
  };
  for (const Case& c : cases) {
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

}  // namespace
}  // namespace sproutsmith::templ
