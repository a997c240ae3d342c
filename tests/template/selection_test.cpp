// Rules compiled and run as the cycle runs them, on generated libraries, and the rows they
// hand over.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "template/row_intake.h"
#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using Outcome = CompiledRule::Outcome;
using sproutsmith::testing::QuotesDoubled;

// Rules compiled as the cycle compiles them, on generated libraries of both flavours: the
// statement the builder writes (exactly, where a case gives it) and the rows it selects,
// against a hand-written query over the same data. The cases run in order on one
// installation, each with the tracking table emptied first; a later case sees the data an
// earlier one added.
enum Flavours { kMicrosoft = 1, kOracle = 2, kBoth = 3 };
struct Flavour {
  const char* library;
  int engine;
  int flavour;
};
constexpr Flavour kFlavours[] = {{"DEMO", 10, kMicrosoft}, {"ORA", 2, kOracle}};

struct Case {
  std::string name;
  int flavours = kBoth;
  // The generated rule, changed where a field says so ("" keeps its own).
  const char* rule = "CLIENTS";
  const char* rename = "";
  // A rule that has recorded every client and matter while this one recorded only client
  // C0001's: a pattern match on the name would take its rows for this rule's.
  const char* other = "";
  const char* template_text = "";
  const char* qualifier = "";
  const char* values = nullptr;
  // The run: plain SQL on the library first, then the options.
  std::vector<std::string> setup;
  const char* site = "";
  int initialize = 0;
  const char* max_folders = "0";
  long row_limit_option = 10000;
  // What it must give.
  Outcome outcome = Outcome::kSelected;
  std::string statement;         // exactly, on Microsoft ("" not compared)
  std::string oracle_statement;  // exactly, on Oracle ("" not compared)
  long row_limit = -1;
  std::string query;  // its rows are the selection's; in order when the query orders them
  // The selection's columns compared with the query's; by default the rule's items (client,
  // matter and document type of CLIENT MATTERS, the client of CLIENTS).
  std::vector<int> columns;
  long long matched = -1;
  int unknown_paths = 0;  // conditions dropped as not known to the data dictionary
  std::vector<std::pair<std::string, int>> log;            // lines holding the text, counted
  std::vector<std::pair<std::string, std::string>> after;  // queries and their answers
};

// The tracking exclusion of `table` for rule `rule`.
std::string NotTracked(const std::string& table, const std::string& rule) {
  return table +
         ".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = '" +
         table + "' AND UPPER(RULE_NAME) = '" + rule + "')";
}

// Oracle writes its aliases without AS.
std::string NoAs(std::string s) { return text::Replace(s, " AS \"", " \""); }

const std::string kClientsHead =
    "'CLIENTS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", CLIENT.SYSTEM_ID AS "
    "\"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"";
const std::string kClientsFrom =
    "\r\n FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = "
    "MATTER.CLIENT_ID WHERE ";
const std::string kOracleClientsFrom =
    " FROM [OWNER].MATTER, [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID AND ";
const std::string kClientsExclusion =
    "((" + NotTracked("CLIENT", "CLIENTS") + " OR " + NotTracked("MATTER", "CLIENTS") + "))";
const std::string kClientsInitialize =
    "(" + NotTracked("CLIENT", "CLIENTS") + " OR " + NotTracked("MATTER", "CLIENTS") + ")";
constexpr char kClientsOrder[] = " ORDER BY CLIENT.CLIENT_ID ASC";
const std::string kSiteExclusion =
    "NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE QUIL_SPROUTSMITH.SID = "
    "MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = 'CLIENTS')";
const std::string kDefaultHead =
    "'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID AS "
    "\"MATTER.MATTER_ID\", '\\', DOCUMENTTYPES.TYPE_ID AS \"DOCUMENTTYPES.TYPE_ID\", "
    "CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\", "
    "DOCUMENTTYPES.SYSTEM_ID AS \"DOCUMENTTYPES.SYSTEM_ID\"";
const std::string kDefaultJoins =
    " FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID "
    "LEFT OUTER JOIN [OWNER].PROFILE ON PROFILE.MATTER = MATTER.SYSTEM_ID LEFT OUTER JOIN "
    "[OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = PROFILE.DOCUMENTTYPE WHERE "
    "PROFILE.SYSTEM_ID IS NOT NULL AND NOT EXISTS (SELECT * FROM [OWNER].APPS WHERE "
    "APPS.SYSTEM_ID = PROFILE.APPLICATION AND APPS.APPLICATION = 'FOLDER')";
const std::string kDefaultOrder =
    " ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC, DOCUMENTTYPES.TYPE_ID ASC";

// Client, matter and document type of every document (folder profiles left out).
constexpr char kDocuments[] =
    "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
    "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
    "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
    "JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER'";
// The same, with a document that has no application.
constexpr char kAllDocuments[] =
    "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
    "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
    "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
    "LEFT JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
    "WHERE A.APPLICATION IS NULL OR A.APPLICATION <> 'FOLDER'";
std::string Documents(const std::string& condition) {
  return std::string(kDocuments) + " AND " + condition;
}
constexpr char kMattersClients[] =
    "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID GROUP BY "
    "M.SYSTEM_ID, C.CLIENT_ID";
constexpr char kUntrackedMattersClients[] =
    "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
    "WHERE C.CLIENT_ID <> 'C0001' GROUP BY M.SYSTEM_ID, C.CLIENT_ID";
constexpr char kTwoLinks[] = "%<CLIENT.CLIENT_ID>% %\\% %<MATTER.MATTER_ID>%";
constexpr char kNotJoined[] =
    "Note: Neither a foreign key nor a condition of the rule joins MATTER";

// Client C0001's folders are recorded for `rule`: its client and its matters.
std::string TrackC0001(const std::string& rule) {
  return "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
         "SELECT C.SYSTEM_ID, 'CLIENT', '" +
         QuotesDoubled(rule) +
         "', 0, '' FROM CLIENT C WHERE C.CLIENT_ID = 'C0001' UNION SELECT M.SYSTEM_ID, "
         "'MATTER', '" +
         QuotesDoubled(rule) +
         "', 0, '' FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE "
         "C.CLIENT_ID = 'C0001'";
}

// A matter of client C0001 whose only profile has `application`, after `first`.
std::vector<std::string> ProfileOnNewMatter(int key, const std::string& application,
                                            std::vector<std::string> first = {}) {
  first.push_back("INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT " +
                  std::to_string(key) + ", SYSTEM_ID, '" + std::to_string(key) +
                  "', 'New' FROM CLIENT WHERE CLIENT_ID = 'C0001'");
  first.push_back(
      "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, MATTER, DOCUMENTTYPE) "
      "SELECT " +
      std::to_string(key + 1) + ", " + std::to_string(key + 1) + ", 'P', " + application + ", " +
      std::to_string(key) + ", MIN(SYSTEM_ID) FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER'");
  return first;
}

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      // clang-format off
      // The statements, exactly, by engine and option.
      // Oracle: the old-style outer join and ROWNUM.
      {.name = "all tables reached: the client/matter order, nothing else added",
       .statement = "SELECT DISTINCT TOP 80000 " + kClientsHead + kClientsFrom + kClientsExclusion +
       kClientsOrder, .oracle_statement = "SELECT DISTINCT " + NoAs(kClientsHead) +
       kOracleClientsFrom + kClientsExclusion + " AND ROWNUM <= 80000" + kClientsOrder,
       .matched = 8},
      // MATTER's exclusion, put off at the client level, is added at the matter level.
      {.name = "default rule: PROFILE and DOCUMENTTYPES joined", .flavours = kMicrosoft,
       .rule = "CLIENT MATTERS", .statement = "SELECT DISTINCT TOP 40000 " + kDefaultHead + "\r\n" +
       kDefaultJoins + " AND ((" + NotTracked("CLIENT", "CLIENT MATTERS") + ") OR (" +
       NotTracked("MATTER", "CLIENT MATTERS") + ") OR (" + NotTracked("DOCUMENTTYPES",
       "CLIENT MATTERS") + "))" + kDefaultOrder, .matched = 8},
      // Oracle without a where clause has no row limit.
      {.name = "no where clause", .template_text = "%<CLIENT.CLIENT_ID>%",
       .statement = "SELECT DISTINCT TOP 40000 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\"\r\n FROM "
       "[OWNER].CLIENT", .oracle_statement = "SELECT DISTINCT CLIENT.CLIENT_ID "
       "\"CLIENT.CLIENT_ID\" FROM [OWNER].CLIENT", .matched = 4},
      {.name = "text box limit", .flavours = kMicrosoft, .max_folders = "5", .row_limit_option = 5,
       .statement = "SELECT DISTINCT TOP 5 " + kClientsHead + kClientsFrom + kClientsExclusion +
       kClientsOrder, .matched = 5},
      {.name = "site form: NOT EXISTS replaces every exclusion", .flavours = kMicrosoft,
       .site = "TAVISTOCK", .statement = "SELECT DISTINCT TOP 80000 " + kClientsHead +
       kClientsFrom + kSiteExclusion + kClientsOrder, .matched = 8},
      {.name = "site form: BELLWICK in any letter case", .flavours = kMicrosoft,
       .site = "Bellwick Hall", .statement = "SELECT DISTINCT TOP 80000 " + kClientsHead +
       kClientsFrom + kSiteExclusion + kClientsOrder, .matched = 8},
      {.name = "initialize: no TOP or ROWNUM, no per-level parentheses", .initialize = 1,
       .max_folders = "25", .statement = "SELECT DISTINCT " + kClientsHead + kClientsFrom +
       kClientsInitialize + kClientsOrder, .oracle_statement = "SELECT DISTINCT " +
       NoAs(kClientsHead) + kOracleClientsFrom + kClientsInitialize + kClientsOrder, .matched = 8},
      {.name = "qualifier WHERE after the exclusion becomes AND", .flavours = kMicrosoft,
       .qualifier = "WHERE CLIENT.CLIENT_ID <> 'c0002'", .statement = "SELECT DISTINCT TOP 80000 " +
       kClientsHead + kClientsFrom + kClientsExclusion + " AND CLIENT.CLIENT_ID <> 'C0002'" +
       kClientsOrder, .matched = 6},
      {.name = "qualifier AND without other conditions becomes WHERE", .flavours = kMicrosoft,
       .template_text = "%<CLIENT.CLIENT_ID>%",
       .qualifier = "AND [OWNER].CLIENT.CLIENT_ID <> 'C0002'",
       .statement = "SELECT DISTINCT TOP 40000 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\"\r\n FROM "
       "[OWNER].CLIENT  WHERE [OWNER].CLIENT.CLIENT_ID <> 'C0002'", .matched = 3},
      {.name = "qualifier tables first: MATTER joined to itself is turned round",
       .qualifier = "MATTER|MATTER.MATTER_ID = '0001'", .statement = "SELECT DISTINCT TOP 40000 " +
       kClientsHead + "\r\n " + kClientsFrom.substr(2) + kClientsExclusion +
       " AND MATTER.MATTER_ID = '0001'" + kClientsOrder, .oracle_statement = "SELECT DISTINCT " +
       NoAs(kClientsHead) + kOracleClientsFrom + kClientsExclusion + " AND MATTER.MATTER_ID = "
       "'0001' AND ROWNUM <= 40000" + kClientsOrder, .matched = 4},
      {.name = "external link table without a foreign key joins through its own condition",
       .flavours = kMicrosoft, .template_text = "%MATTER.MATTER_ID% %\\% "
       "%<CLIENT.CLIENT_NAME|[OWNER].CLIENT|CLIENT.SYSTEM_ID=MATTER.CLIENT_ID AND "
       "CLIENT.CLIENT_NAME <> 'for nobody'>%", .statement = "SELECT DISTINCT TOP 40000 "
       "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", '\\', CLIENT.CLIENT_NAME AS "
       "\"CLIENT.CLIENT_NAME\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"\r\n FROM [OWNER].MATTER, "
       "[OWNER].CLIENT WHERE ((" + NotTracked("MATTER", "CLIENTS") + ")) AND CLIENT.SYSTEM_ID = "
       "MATTER.CLIENT_ID AND CLIENT.CLIENT_NAME <> 'FOR NOBODY' ORDER BY MATTER.MATTER_ID ASC",
       .matched = 8},
      {.name = "PROFILE first: listed once, tracked by its own exclusion", .flavours = kMicrosoft,
       .template_text = "%<PROFILE.DOCNAME>%", .statement = "SELECT DISTINCT TOP 160000 "
       "PROFILE.DOCNAME AS \"PROFILE.DOCNAME\", PROFILE.SYSTEM_ID AS \"PROFILE.SYSTEM_ID\"\r\n "
       "FROM [OWNER].PROFILE  WHERE [OWNER].PROFILE.SYSTEM_ID NOT IN (SELECT SID FROM "
       "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'PROFILE' AND UPPER(RULE_NAME) = "
       "'CLIENTS')", .matched = 16},
      {.name = "initialize mode at the Varnel site also clears practice codes",
       .setup = {"INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
       "VALUES (1, 'PRACCODE', 'CLIENTS', 0, ''), (2, 'PRACCODE', 'OTHER', 0, ''), (3, 'MATTER', "
       "'CLIENTS', 0, ''), (4, 'CLIENT', 'CLIENTS', 0, '')"}, .site = "VARNEL", .initialize = 1,
       .log = {{"Initializing folder column item PRACCODE", 1},
       {"Initializing folder column item MATTER", 1}},
       .after = {{"SELECT COUNT(*) FROM QUIL_SPROUTSMITH", "2"}, {"SELECT COUNT(*) FROM "
       "QUIL_SPROUTSMITH WHERE SID IN (2, 4)", "2"}}},
      // The row limit: the bottom table's rows (DOCUMENTTYPES has 4) or a site's counts,
      // times the option.
      {.name = "row limit of the default rule", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .setup = {"INSERT INTO PCDT (SYSTEM_ID, DT_FOLDERNAME, DT_FR_FOLDERNAME) VALUES (1, 'A', "
       "''), (2, 'B', NULL), (3, 'B', NULL), (4, '', NULL)", "INSERT INTO SUBTYPES (SYSTEM_ID, "
       "NAME_EN, NAME_FR, DISABLED) VALUES (1, 'X', 'X', 'N'), (2, 'Y', 'Y', 'Y'), (3, 'Z', 'Z', "
       "NULL)"}, .row_limit = 40000},
      {.name = "row limit of the clients rule", .flavours = kMicrosoft, .row_limit = 80000},
      {.name = "row limit at Varnel ending in MATTER", .flavours = kMicrosoft, .site = "VARNEL LLP",
       .row_limit = 10000},
      // Row limits at Varnel, from the rule name's last levels and language.
      {.name = "Varnel: type folder names", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .rename = "AB-F-PG/CLIENT/MATTER/DT", .site = "varnel", .row_limit = 20000},
      {.name = "Varnel: no French folder names", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .rename = "AB-E-PG/CLIENT/MATTER/DT", .site = "VARNEL", .row_limit = 70000},
      {.name = "Varnel: enabled subtypes", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .rename = "AB-F-PG/CLIENT/MATTER/DT/SUB", .site = "VARNEL", .row_limit = 20000},
      {.name = "Varnel: enabled French subtypes", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .rename = "AB-E-PG/CLIENT/MATTER/DT/SUB", .site = "VARNEL", .row_limit = 20000},
      {.name = "elsewhere: Varnel names ignored", .flavours = kMicrosoft, .rule = "CLIENT MATTERS",
       .rename = "AB-F-PG/CLIENT/MATTER/DT", .site = "ELSEWHERE", .row_limit = 40000},
      // An OR written in a qualifier or in an external link's joins stays inside its own
      // parentheses: the tracked rows stay excluded and, on Oracle, no (+) join ends up
      // inside the OR.
      {.name = "an OR in the qualifier", .qualifier = "CLIENT.CLIENT_ID = 'C0001' OR "
       "CLIENT.CLIENT_ID = 'C0002'", .setup = {TrackC0001("CLIENTS")},
       .query = "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE "
       "C.CLIENT_ID = 'C0002' GROUP BY M.SYSTEM_ID, C.CLIENT_ID"},
      {.name = "an OR in a qualifier with its tables and a leading WHERE",
       .qualifier = "CLIENT | WHERE [OWNER].CLIENT.CLIENT_ID = 'C0003' OR [OWNER].CLIENT.CLIENT_ID "
       "= 'C0001'", .setup = {TrackC0001("CLIENTS")}, .query = "SELECT C.CLIENT_ID FROM MATTER M "
       "JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE C.CLIENT_ID = 'C0003' GROUP BY "
       "M.SYSTEM_ID, C.CLIENT_ID"},
      {.name = "an OR in an external link's joins", .template_text = "%MATTER.MATTER_ID% %\\% "
       "%<CLIENT.CLIENT_ID|[OWNER].CLIENT|CLIENT.SYSTEM_ID=MATTER.CLIENT_ID>% "
       "%<*NONE*||MATTER.MATTER_ID = '0001' OR CLIENT.CLIENT_ID = 'C0002'>%",
       .setup = {TrackC0001("CLIENTS")}, .query = "SELECT M.MATTER_ID, C.CLIENT_ID FROM MATTER M "
       "JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE (M.MATTER_ID = '0001' OR C.CLIENT_ID = "
       "'C0002') AND M.SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH WHERE RULE_NAME = "
       "'CLIENTS' AND TABLE_NAME = 'MATTER')", .columns = {1, 3}},
      // The default rule's parameters, parenthesised and nested, select the documents the
      // hand-written condition selects; a path the data dictionary cannot follow is dropped
      // with a warning, as if the condition were absent.
      {.name = "a group of ORs and an AND", .rule = "CLIENT MATTERS",
       .values = "(%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001' OR %MATTER.CLIENT_ID.CLIENT_ID% = "
       "'C0002') AND %MATTER.MATTER_ID% = '0001'", .query = Documents("C.CLIENT_ID IN ('C0001', "
       "'C0002') AND M.MATTER_ID = '0001'")},
      {.name = "an AND and a group of ORs", .rule = "CLIENT MATTERS",
       .values = "%MATTER.MATTER_ID% = '0002' AND (%MATTER.CLIENT_ID.CLIENT_ID% = 'c0003' OR "
       "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0004')", .query = Documents("M.MATTER_ID = '0002' AND "
       "C.CLIENT_ID IN ('C0003', 'C0004')")},
      {.name = "nested groups", .rule = "CLIENT MATTERS", .values = "((%MATTER.CLIENT_ID.CLIENT_ID%"
       " = 'C0001' AND %MATTER.MATTER_ID% = '0002') OR (%MATTER.CLIENT_ID.CLIENT_ID% = 'C0003' AND "
       "(%MATTER.MATTER_ID% = '0001' OR %MATTER.MATTER_ID% = '0002'))) AND %DOCUMENTTYPE.TYPE_ID% "
       "<> 'NONE'", .query = Documents("((C.CLIENT_ID = 'C0001' AND M.MATTER_ID = '0002') OR "
       "C.CLIENT_ID = 'C0003')")},
      // A value list keeps its parentheses; a group keeps what its dropped member leaves.
      {.name = "a value list", .rule = "CLIENT MATTERS", .values = "%MATTER.MATTER_ID% IN ('0001', "
       "'0002') AND (%MATTER.CLIENT_ID.CLIENT_ID% = 'C0002' OR %MATTER.CLIENT_ID.CLIENT_ID% = "
       "'C0004')", .query = Documents("C.CLIENT_ID IN ('C0002', 'C0004')")},
      {.name = "a group with a member outside the template", .rule = "CLIENT MATTERS",
       .values = "(%APPLICATION.APPLICATION% = 'FOLDER' OR %MATTER.MATTER_ID% = '0002') AND "
       "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001'", .query = Documents("M.MATTER_ID = '0002' AND "
       "C.CLIENT_ID = 'C0001'")},
      {.name = "an unknown second hop", .rule = "CLIENT MATTERS",
       .values = "%MATTER.BOGUS.X% = 'Y' AND %MATTER.CLIENT_ID.CLIENT_ID% = 'C0002'",
       .query = Documents("C.CLIENT_ID = 'C0002'"), .unknown_paths = 1},
      {.name = "an unknown third hop", .rule = "CLIENT MATTERS",
       .values = "%MATTER.CLIENT_ID.BOGUS.X% = 'Y' OR %MATTER.CLIENT_ID.CLIENT_ID% = 'C0003'",
       .query = Documents("C.CLIENT_ID = 'C0003'"), .unknown_paths = 1},
      {.name = "a group of unknown paths", .rule = "CLIENT MATTERS",
       .values = "(%MATTER.BOGUS.X% = 'Y' OR %MATTER.BOGUS.Z% = 'Y')", .query = Documents("1 = 1"),
       .unknown_paths = 2},
      // A table is joined along a foreign key or a condition of the rule that names it; a
      // table that nothing joins makes the rule incomplete instead of a cross join.
      {.name = "a table nothing joins", .template_text = kTwoLinks, .outcome = Outcome::kIncomplete,
       .matched = 0, .log = {{kNotJoined, 1}, {"SELECT DISTINCT", 0}, {"joined through the rule's "
       "own conditions", 0}}},
      {.name = "a table joined by the qualifier", .template_text = kTwoLinks,
       .qualifier = "MATTER.CLIENT_ID = CLIENT.SYSTEM_ID", .query = "SELECT C.CLIENT_ID, "
       "M.MATTER_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID", .columns = {1, 3},
       .log = {{kNotJoined, 0}}},
      {.name = "a table joined by the external link", .template_text = "%<CLIENT.CLIENT_ID>% %\\% "
       "%<MATTER.MATTER_ID|[OWNER].MATTER|MATTER.CLIENT_ID = CLIENT.SYSTEM_ID>%",
       .query = "SELECT C.CLIENT_ID, M.MATTER_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = "
       "M.CLIENT_ID", .columns = {1, 3}, .log = {{kNotJoined, 0}}},
      // PROFILE and DOCUMENTTYPES join the statement when the template's items select from
      // them, along the template's foreign keys; a literal folder name holding the word adds
      // nothing.
      {.name = "items of PROFILE", .template_text = "%<MATTER.MATTER_NAME>% %\\% "
       "%MATTER.MATTER_ID% %\\% %<PROFILE.DOCNUMBER>%", .query = "SELECT M.MATTER_NAME, "
       "M.MATTER_ID, P.DOCNUMBER FROM PROFILE P JOIN MATTER M ON M.SYSTEM_ID = P.MATTER WHERE NOT "
       "EXISTS (SELECT * FROM APPS A WHERE A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION = "
       "'FOLDER')", .columns = {1, 3, 5}},
      {.name = "PROFILE in a literal", .template_text = "%CLIENT PROFILES% %\\% "
       "%MATTER.CLIENT_ID.CLIENT_ID%", .query = kMattersClients},
      {.name = "DOCUMENTTYPE in a literal", .template_text = "%DOCUMENTTYPE LIST% %\\% "
       "%MATTER.CLIENT_ID.CLIENT_ID%", .query = kMattersClients},
      // Abandoned rules: reported, and nothing is run.
      {.name = "a blank template", .template_text = "   ", .outcome = Outcome::kTemplateFailed},
      {.name = "a template of another library", .template_text = "{ELSEWHERE} %CLIENTS%",
       .outcome = Outcome::kTemplateFailed, .log = {{"Library ELSEWHERE named in the rule template "
       "is not a library of this DM session", 1}}},
      // Literals only: no table to select from.
      {.name = "literals only", .template_text = "%FIRM MATTERS% %\\% %DATE%",
       .outcome = Outcome::kIncomplete, .log = {{"Executing ", 0}}},
      {.name = "an unclosed item", .template_text = "%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID",
       .outcome = Outcome::kIncomplete, .log = {{"Executing ", 0}}},
      // Initialize mode deletes the bottom table's rows of this rule only and selects every
      // document again, clients tracked or not.
      {.name = "initialize mode of the default rule", .flavours = kMicrosoft,
       .rule = "CLIENT MATTERS", .setup = {"INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, "
       "RULE_NAME, STATUS, LOCKED_BY) SELECT SYSTEM_ID, 'DOCUMENTTYPES', RULE, 0, '' FROM "
       "DOCUMENTTYPES, (SELECT 'CLIENT MATTERS' AS RULE UNION SELECT 'OTHER RULE')",
       "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) SELECT "
       "SYSTEM_ID, 'CLIENT', 'CLIENT MATTERS', 0, '' FROM CLIENT"}, .initialize = 1,
       .statement = "SELECT DISTINCT " + kDefaultHead + "\r\n" + kDefaultJoins + " AND (" +
       NotTracked("CLIENT", "CLIENT MATTERS") + " OR " + NotTracked("MATTER", "CLIENT MATTERS") +
       " OR " + NotTracked("DOCUMENTTYPES", "CLIENT MATTERS") + ")" + kDefaultOrder, .row_limit = 0,
       .query = kDocuments, .log = {{"Initializing folder column item DOCUMENTTYPES", 1}},
       .after = {{"SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'DOCUMENTTYPES' AND "
       "RULE_NAME = 'OTHER RULE'", "4"}}},
      // The default rule selects the document rows, in its order; a folder profile on a
      // matter and a matter without documents add no row.
      {.name = "the default rule", .rule = "CLIENT MATTERS", .setup = {"INSERT INTO PROFILE "
       "(SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, MATTER, DOCUMENTTYPE) SELECT 90001, 90001, 'A "
       "folder', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'), MIN(SYSTEM_ID), "
       "(SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID = 'FOLDER') FROM MATTER",
       "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT 90002, "
       "MIN(SYSTEM_ID), '9999', 'No documents yet' FROM CLIENT"},
       .query = "SELECT DISTINCT 'FIRM MATTERS', '\\', C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM "
       "PROFILE P JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = "
       "M.CLIENT_ID JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE JOIN APPS A ON "
       "A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER' ORDER BY 3, 4, 5",
       .columns = {1, 2, 3, 5, 7}, .matched = 8, .log = {{"8 SQL value(s) match the folder template"
       "", 1}}},
      // Folder profiles stay out of a rule that selects documents, however the library's APPS
      // table reads: a document without an application is selected, a second FOLDER
      // application is a folder's too, and a library without one has documents only.
      {.name = "a folder profile", .rule = "CLIENT MATTERS", .setup = ProfileOnNewMatter(90100,
       "(SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER')"), .query = kAllDocuments,
       .matched = 8},
      {.name = "a document without an application", .rule = "CLIENT MATTERS",
       .setup = ProfileOnNewMatter(90200, "NULL"), .query = kAllDocuments, .matched = 9},
      // The stand-in's APPS keeps its names unique; a real library need not.
      {.name = "a second FOLDER application", .rule = "CLIENT MATTERS",
       .setup = ProfileOnNewMatter(90310, "90300", {"CREATE TABLE APPS_COPY AS SELECT * FROM APPS",
       "DROP TABLE APPS", "ALTER TABLE APPS_COPY RENAME TO APPS", "INSERT INTO APPS (SYSTEM_ID, "
       "APPLICATION) VALUES (90300, 'FOLDER')"}), .query = kAllDocuments, .matched = 9},
      {.name = "no FOLDER application", .rule = "CLIENT MATTERS",
       .setup = {"UPDATE APPS SET APPLICATION = 'NOT A FOLDER' WHERE APPLICATION = 'FOLDER'"},
       .query = kAllDocuments, .matched = 12},
      // A bottom table with a DISABLED column counts only its enabled rows.
      {.name = "row limit from the enabled document types", .flavours = kMicrosoft,
       .rule = "CLIENT MATTERS", .setup = {"ALTER TABLE DOCUMENTTYPES ADD DISABLED VARCHAR(1)",
       "UPDATE DOCUMENTTYPES SET DISABLED = 'Y' WHERE TYPE_ID = 'FOLDER'",
       "INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME) VALUES (99001, 'DOCUMENTTYPES', "
       "'DISABLED')"}, .row_limit = 30000},
      // clang-format on
  };
  // A rule's tracking rows are its own: "_", "%", "[" and "'" in a name match only
  // themselves, when the selection leaves tracked rows out and when initialize mode
  // deletes them. Each name against the other rule's name: {what, rename, other}.
  const char* const names[][3] = {
      {"_", "ABC_D", "ABCXD"}, {"_ and letter case", "ABC_D", "abcxd"},
      {"%", "A%B", "AXYZB"},   {"[", "[A]B", "AB"},
      {"_%", "A_%", "AB"},     {"' [ and %", "O'BRIEN [OLD] 100%", "O'BRIEN O 1000"}};
  for (const auto& [what, rename, other] : names) {
    cases.push_back({.name = std::string(what) + " in the exclusion",
                     .rename = rename,
                     .other = other,
                     .query = kUntrackedMattersClients});
    cases.push_back({.name = std::string(what) + " in initialize mode",
                     .rename = rename,
                     .other = other,
                     .initialize = 1,
                     .log = {{"Initializing folder column item MATTER", 1}}});
  }
  return cases;
}

class SelectionTest : public testing::CompileSession {
 protected:
  void SetUp() override {
    std::vector<sproutsmith::testing::LibrarySpec> specs;
    for (const Flavour& f : kFlavours) {
      specs.push_back({.name = f.library, .engine_code = f.engine});
    }
    Start(specs);
  }

  // Columns `columns` (1-based) of every row read.
  static Rows Values(const Intake& intake, const std::vector<int>& columns) {
    Rows rows;
    for (int r = 1; r <= intake.rows_read; ++r) {
      std::vector<std::string> row;
      for (int c : columns) row.push_back(intake.result.Cell(r, c));
      rows.push_back(row);
    }
    return rows;
  }

  long long Count(const std::string& library, const std::string& sql) {
    return std::stoll(install_.Scalar(library, "SELECT COUNT(*) FROM (" + sql + ")"));
  }
};

TEST_F(SelectionTest, RulesSelectWhatTheirStatementsAndHandWrittenQueriesSay) {
  for (const Case& c : Cases()) {
    for (const Flavour& f : kFlavours) {
      if ((c.flavours & f.flavour) == 0) continue;
      SCOPED_TRACE(std::string(f.library) + ": " + c.name);
      ASSERT_TRUE(connection_->ConnectLibrary(f.library));
      install_.Exec(f.library, "DELETE FROM QUIL_SPROUTSMITH");
      std::string other_rows;
      if (*c.other) {
        for (const char* table : {"CLIENT", "MATTER"}) {
          install_.Exec(f.library,
                        std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, "
                                    "STATUS, LOCKED_BY) SELECT SYSTEM_ID, '") +
                            table + "', '" + QuotesDoubled(c.other) + "', 0, '' FROM " + table);
        }
        install_.Exec(f.library, TrackC0001(c.rename));
        other_rows =
            "SELECT SID FROM QUIL_SPROUTSMITH WHERE RULE_NAME = '" + QuotesDoubled(c.other) + "'";
      }
      const long long others = other_rows.empty() ? 0 : Count(f.library, other_rows);
      for (const std::string& sql : c.setup) install_.Exec(f.library, sql);
      rules::RuleRecord rule = Rule(c.rule);
      if (*c.rename) rule.Set(rules::RuleKey::kName, c.rename);
      if (*c.template_text) rule.Set(rules::RuleKey::kTemplate, c.template_text);
      rule.Set(rules::RuleKey::kSproutsmithText, c.qualifier);
      if (c.values) rule.Set(rules::RuleKey::kValues, c.values);
      install_.state.SiteName = c.site;
      install_.options.CheckInitialize = c.initialize;
      install_.options.TextMaxFolders = c.max_folders;
      install_.options.ListResults.push_back(
          {std::string(f.library) + " - " + rule.Name(), "", "Working..."});
      Rows expected;
      const bool ordered = c.query.find("ORDER BY") != std::string::npos;
      if (!c.query.empty()) {
        expected = Query(c.query);
        ASSERT_FALSE(expected.empty());
        if (!ordered) std::sort(expected.begin(), expected.end());
      }

      testing::LogWindow window(install_);
      // The cycle's option is 0 in initialize mode.
      const CompiledRule run = Compile(rule, c.initialize ? 0 : c.row_limit_option);
      EXPECT_EQ(run.outcome, c.outcome) << window.Dump();
      if (c.outcome == Outcome::kTemplateFailed) {
        EXPECT_EQ(window.Count("Executing "), 0) << window.Dump();
      }
      EXPECT_EQ(window.Count("Notice: Unable to parse template string - cannot continue"),
                c.outcome == Outcome::kTemplateFailed ? 1 : 0);
      EXPECT_EQ(window.Count("Notice: SQL incomplete - check rule syntax. Unable to process rule " +
                             rule.Name()),
                c.outcome == Outcome::kIncomplete ? 1 : 0);
      if (c.outcome == Outcome::kIncomplete) {
        EXPECT_EQ(install_.options.ListResults.back().state, "Syntax Error");
      }
      const std::string& statement = f.flavour == kOracle ? c.oracle_statement : c.statement;
      if (!statement.empty()) {
        EXPECT_EQ(run.selection.statement, statement);
      }
      if (c.row_limit >= 0) {
        EXPECT_EQ(run.selection.row_limit, c.row_limit);
      }
      if (c.row_limit > 0 && f.flavour == kMicrosoft) {
        EXPECT_NE(run.selection.statement.find(" TOP " + std::to_string(c.row_limit) + " "),
                  std::string::npos);
      }
      if (!c.query.empty()) {
        std::vector<int> columns = c.columns;
        if (columns.empty()) {
          columns = std::string(c.rule) == "CLIENT MATTERS" ? std::vector<int>{3, 5, 7}
                                                            : std::vector<int>{3};
        }
        Rows selected = Values(run.intake, columns);
        if (!ordered) std::sort(selected.begin(), selected.end());
        EXPECT_EQ(selected, expected) << run.selection.statement;
      }
      if (c.matched >= 0) {
        EXPECT_EQ(run.intake.matched, c.matched);
      }
      EXPECT_EQ(window.Count("is not known to the data dictionary - the condition is ignored"),
                c.unknown_paths);
      for (const auto& [line, count] : c.log) {
        EXPECT_EQ(window.Count(line), count) << line;
      }
      EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
      for (const auto& [sql, answer] : c.after) {
        EXPECT_EQ(install_.Scalar(f.library, sql), answer) << sql;
      }
      if (c.initialize && run.outcome == Outcome::kSelected) {
        // This rule's rows of the bottom table are gone.
        EXPECT_EQ(install_.Scalar(f.library,
                                  "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE "
                                  "TABLE_NAME = '" +
                                      run.selection.sid_table + "' AND RULE_NAME = '" +
                                      QuotesDoubled(rule.Name()) + "'"),
                  "0");
      }
      if (!other_rows.empty()) {
        EXPECT_EQ(Count(f.library, other_rows), others);
      }
    }
  }
}

// What a selection's rows become: read up to the limit, trimmed, with their e-mail text.
TEST(FillEmailTemplateTest, PlaceholdersTakeTheRowsValues) {
  const std::vector<std::string> headings = {"", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID",
                                             "CLIENT_NAME"};
  const std::vector<std::string> values = {"FIRM", "  C0001 ", "0001", "Acme"};
  // An e-mail template and what the row makes of it.
  const std::pair<const char*, const char*> cases[] = {
      // Blanks next to a filled placeholder go.
      {"Client %CLIENT.CLIENT_ID% matter %MATTER.MATTER_ID%", "ClientC0001matter0001"},
      {"  %MATTER.MATTER_ID%@example.com  ", "0001@example.com"},
      // Another table's column of the same name takes the value.
      {"%X.CLIENT_ID%@example.com", "C0001@example.com"},
      {"%CLIENT_NAME% and %OTHER.CLIENT_NAME%", "Acmeand %OTHER.CLIENT_NAME%"},
      {"Dear %TABLE.CLIENT_NAME%", "DearAcme"},
      // Only the first occurrence, and only as written.
      {"%MATTER.MATTER_ID% %MATTER.MATTER_ID%", "0001%MATTER.MATTER_ID%"},
      {"%client.client_id%", "%client.client_id%"},
      // A constant column has no name to be found by.
      {"100%% sure", "100%% sure"},
      {"", ""},
  };
  for (const auto& [email, expected] : cases) {
    EXPECT_EQ(FillEmailTemplate(email, headings, values), expected) << email;
  }
}

class RowIntakeTest : public testing::CompileSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "ORA", .engine_code = 2}});
    // 250 clients in all.
    install_.Exec("DEMO",
                  "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 246) "
                  "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) SELECT 80000 + I, "
                  "printf('X%04d', I), 'Client ' || I FROM N");
    rule_ = Rule("CLIENTS");
  }
  Intake Read(const std::string& statement, long row_limit, const std::string& saved = "",
              int saved_index = 0) {
    window_ = std::make_unique<testing::LogWindow>(install_);
    return RunSelection({statement, row_limit, saved, saved_index}, rule_, install_.context,
                        *connection_, *store_);
  }
  std::vector<bool> Flags() {
    std::vector<bool> flags;
    for (int i = 1; i <= connection_->libraries()->Count(); ++i) {
      flags.push_back(connection_->libraries()->SearchFlag(i));
    }
    return flags;
  }

  rules::RuleRecord rule_;
  std::unique_ptr<testing::LogWindow> window_;
};

constexpr char kClients[] =
    "SELECT CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\" FROM [OWNER].CLIENT ORDER BY "
    "CLIENT.CLIENT_ID";
constexpr char kSavedWithTop[] = "SELECT DISTINCT TOP 100 CLIENT.CLIENT_ID FROM [OWNER].CLIENT";

TEST_F(RowIntakeTest, OnlyASavedStatementWithTopCapsTheRowsRead) {
  const std::tuple<long, const char*, int, int> cases[] = {
      {100, kSavedWithTop, 0, 100}, {100, "", 0, 250},
      {100, kSavedWithTop, 1, 250}, {0, kSavedWithTop, 0, 250},
      {300, kSavedWithTop, 0, 250},
  };
  for (const auto& [row_limit, saved, reuse, read] : cases) {
    install_.options.CheckReUseSQL = reuse;
    const Intake intake = Read(kClients, row_limit, saved);
    SCOPED_TRACE(std::string(saved) + " limit " + std::to_string(row_limit));
    EXPECT_EQ(intake.matched, 250);
    EXPECT_EQ(intake.rows_read, read);
    EXPECT_EQ(intake.result.RowCount(), read);
    EXPECT_EQ(intake.result.Cell(read, 1), read == 100 ? "X0096" : "X0246");
    EXPECT_EQ(install_.options.LabelTotal, std::to_string(read));
    EXPECT_EQ(window_->Count("Only the first 100 item(s) will be processed in this cycle"),
              read == 100 ? 1 : 0);
    EXPECT_EQ(window_->Count("250 SQL value(s) match the folder template"), 1);
    EXPECT_EQ(window_->Count("Reading 250 SQL rows for rule CLIENTS"), 1);
    EXPECT_EQ(window_->Count(std::to_string(read) +
                             " new folder(s) with 1 SQL item(s) will be processed."),
              1);
  }
}

TEST_F(RowIntakeTest, TableColumnsAreTrimmedAndConstantsKeptAsReturned) {
  install_.Exec("DEMO",
                "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (90001, '  C9  ', "
                "'  Ninth  ')");
  const Intake intake = Read(
      "SELECT 'LEVEL  ', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", CLIENT.CLIENT_NAME AS \"A "
      "B\", CLIENT.CLIENT_NAME AS \".NAME\" FROM [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID = 90001",
      0);
  ASSERT_EQ(intake.rows_read, 1) << window_->Dump();
  EXPECT_EQ(intake.columns, 4);
  EXPECT_EQ(intake.result.Heading(2), "CLIENT.CLIENT_ID");
  EXPECT_EQ(intake.result.Cell(1, 1), "LEVEL  ");
  EXPECT_EQ(intake.result.Cell(1, 2), "C9");
  EXPECT_EQ(intake.result.Cell(1, 3), "  Ninth  ");
  EXPECT_EQ(intake.result.Cell(1, 4), "  Ninth  ");
}

TEST_F(RowIntakeTest, RowsGetTheirEmailTextAndTheSavedEntryItsCount) {
  rule_.Set(rules::RuleKey::kEmailTemplate, "%CLIENT.CLIENT_ID%@clients.example.com");
  const int entry = store_->SaveStatement("DEMO", "CLIENTS", kClients);
  store_->Saved(entry).pending = "x";
  const Intake intake = Read(kClients, 0, "", entry);
  ASSERT_EQ(intake.rows_read, 250);
  ASSERT_EQ(intake.emails.size(), 251u);
  EXPECT_EQ(intake.emails[1], "C0001@clients.example.com");
  EXPECT_EQ(intake.emails[250], "X0246@clients.example.com");
  EXPECT_EQ(store_->Saved(entry).row_count, "250");
  EXPECT_EQ(store_->Saved(entry).pending, "");
}

TEST_F(RowIntakeTest, TheConnectedAndTheMasterFolderLibrariesAreSearched) {
  rule_.Set(rules::RuleKey::kMasterfolderLibrary, " archive ");
  Read(kClients, 0);
  EXPECT_EQ(Flags(), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(window_->Count("Setting DEMO as a Search Library"), 1);
  EXPECT_EQ(window_->Count("Setting ARCHIVE as a Search Library"), 1);
  EXPECT_EQ(window_->Count("Setting ORA"), 0);
  // No rows (or a failed statement): nothing read, no flag touched.
  for (int i = 1; i <= 3; ++i) connection_->libraries()->SetSearchFlag(i, i == 3);
  for (const char* statement : {"SELECT CLIENT.CLIENT_ID FROM [OWNER].CLIENT WHERE 1 = 0",
                                "SELECT NOTHING FROM [OWNER].CLIENT"}) {
    const Intake intake = Read(statement, 0);
    EXPECT_EQ(intake.matched, 0) << statement;
    EXPECT_EQ(intake.rows_read, 0);
    EXPECT_EQ(window_->Count("0 SQL value(s) match the folder template"), 1) << statement;
    EXPECT_EQ(window_->Count("new folder(s)"), 0);
    EXPECT_EQ(Flags(), (std::vector<bool>{false, false, true}));
  }
}

TEST_F(RowIntakeTest, ACancelDuringIntakeHandsNoRowOver) {
  install_.ui.on_yield = [&] {
    if (install_.options.LabelTotal == "100") install_.state.CancelRequested = true;
  };
  const Intake intake = Read(kClients, 0);
  EXPECT_TRUE(intake.cancelled);
  EXPECT_EQ(intake.rows_read, 0);
  EXPECT_EQ(intake.result.RowCount(), 100);
  EXPECT_EQ(window_->Count("new folder(s)"), 0);
}

}  // namespace
}  // namespace sproutsmith::templ
