// Every statement shape the engine sends, as the gateway hands it over (owner substituted,
// Oracle rewrites applied, the hint appended), translated and run on a real provisioned
// library. One row per shape; the shapes run in order on one library per flavour, so a
// later row sees what an earlier one wrote.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/schema/library_schema.h"
#include "platform/sql/dialect/translator.h"
#include "platform/sql/sqlite_database.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::sql {
namespace {

enum Flavours { kMsOnly = 1, kOracleOnly = 2, kBoth = 3 };

struct Shape {
  const char* id;  // the construct of the DM table inventory it stands for
  int flavours;
  std::string sql;                // with [OWNER], as the engine writes it
  std::vector<std::string> rows;  // "a|b" per row, NULL as "NULL"; unused when `affected` set
  long long affected = -1;
  std::vector<std::string> headings;  // checked when not empty
};

const text::DateTime kLocalNow{2026, 12, 6, 9, 4, 29};
const text::DateTime kUtcNow{2026, 12, 6, 8, 4, 29};

// What the SQL gateway does to a text before the back end sees it.
std::string Gateway(std::string sql, Flavour flavour) {
  if (text::EndsWith(sql, "= '") || text::EndsWith(sql, "='")) sql += "'";
  if (flavour == Flavour::kOracle) {
    sql = text::Replace(sql, " <> ", " != ");
    sql = text::Replace(sql, " '''' ", " '' ");
    sql = text::Replace(sql, " != '' ", " != ' ' ");
    sql = text::Replace(sql, "GETUTCDATE()", "SYSDATE");
    sql = text::Replace(sql, "TO_DATE('',", "TO_DATE(NULL,");
  } else {
    sql = text::Replace(sql, "CAST('' AS ", "CAST(NULL AS ");
    sql = text::Replace(sql, "SYSDATE", "GETUTCDATE()");
  }
  sql = text::ReplaceNoCase(sql, "[OWNER].QZ_", "dbo.QZ_");
  sql = text::ReplaceNoCase(sql, "[OWNER]", "DOCSADM");
  if (flavour != Flavour::kOracle && text::StartsWithNoCase(sql, "SELECT ") &&
      !text::StartsWithNoCase(sql, "SELECT INTO ") &&
      text::InStrNoCase(sql, " OPTION (MAXDOP 1)") == 0) {
    sql += " OPTION (MAXDOP 1)";
  }
  return sql;
}

constexpr char kFixture[] = R"(
CREATE TABLE QZ_TEST (X INTEGER);
INSERT INTO QZ_TEST VALUES (1), (2);
INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES
  (1001, 'C0001', 'Acme'), (1002, 'C0002', 'Bolt'), (1003, 'XYZ', 'Xylo');
INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) VALUES
  (1101, 1001, '0001', 'Acme one'), (1102, 1001, '0002', 'Acme two'), (1103, 1002, '0001', 'Bolt one');
INSERT INTO DOCUMENTTYPES (SYSTEM_ID, TYPE_ID, DESCRIPTION) VALUES
  (1201, 'CORR', 'Correspondence'), (1202, 'MEMO', 'Memo');
INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) VALUES (1401, 'LITIGATION', 'Litigation', 191);
INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP, PRIMARY_LIB) VALUES
  (1301, 'JSMITH', 'John Smith', 1401, 0), (1302, 'ADOE', 'Ann Doe', 0, 0);
INSERT INTO PEOPLEGROUPS VALUES (1301, 1401), (1302, 0);
INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, AUTHOR, TYPIST, MATTER, DOCUMENTTYPE) VALUES
  (1501, 123, 'Acme [UK] Ltd Files', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'), 0, 1301, 1302, 1101, 1201),
  (1502, 124, 'ACME UK LTD', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'), 3, NULL, 1301, 1102, NULL),
  (1503, 125, 'Memo to Bolt', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'MS WORD'), 0, 1302, 1301, 1103, 1202);
INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (123, 'ARBORLINE R1'), (124, NULL);
INSERT INTO ROOT_OBJECT VALUES (123, 'Acme [UK] Ltd Files');
INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST) VALUES
  (1601, 123, 125, 0, 0, 'D', 'beta', 1602, 'Y'), (1602, 123, 124, 0, 0, 'F', 'Alpha', 1603, 'N'),
  (1603, 123, 0, 0, 0, 'F', 'Gamma', 0, 'N');
INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER) VALUES (1702, 123), (1701, 123);
INSERT INTO ACTIVITYLOG VALUES (123, 45, 1302, '2020-11-10 08:00:00'), (123, 10, 1301, '2020-11-14'),
  (123, 10, 1301, '2020-11-13'), (124, 45, 1301, '2020-11-14');
INSERT INTO SECURITY VALUES (1501, 1301, 255), (1501, 0, 63);
INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) VALUES
  ('ARBORLINE', 'RULE_TEMPLATE', 'R1', printf('%.254c%.254c%.254c%.10c', 'A', 'B', 'C', 'D'), NULL),
  ('ARBORLINE', 'SETTINGS', 'MAXITEMSTOSORT', NULL, 500);
INSERT INTO QUIL_SPROUTSMITH VALUES (1001, 'CLIENT', 'R1', 0, '');
INSERT INTO PCDT VALUES (1, 'A', 'a'), (2, 'B', NULL), (3, 'A', 'c');
INSERT INTO SUBTYPES VALUES (1, 'X', 'x', 'Y'), (2, 'Y', 'y', NULL), (3, 'Z', 'z', 'N');
INSERT INTO REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES
  (1801, '', 'PROPERTY', 'USER', 1301, 'Workspaces', 'SubTree');
)";

std::vector<Shape> Corpus() {
  const std::string a(254, 'A'), b(254, 'B'), c(254, 'C'), d(10, 'D');
  const std::string banner =
      std::string("15 - 0 (Sproutsmith DM stand-in on SQLite ") + sqlite3_libversion() + ")";
  const std::string tables_exist =
      "select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].QUIL_SETTINGS') "
      "\r\nand sysstat & 0xf = 3 ";
  return {
      // Placeholders and gateway rewrites.
      {"A1",
       kBoth,
       "SELECT OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'DOCS'",
       {"DOCSADM"}},
      {"A1 QZ", kBoth, "SELECT COUNT(*) FROM [OWNER].QZ_TEST", {"2"}},
      {"A1 literal",
       kBoth,
       "INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, TBNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, "
       "VISIBLEINLIST, USER_MODIFIABLE, USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, "
       "CMSKEY, KEYGROUP, COLNAME, PROMPT, CMSTYPE, COL_LENGTH) VALUES (1901, 'FOLDER',  '', '', "
       "'[OWNER]', 'N', 'Y', 'Y', 'Y', 'N', 'N', 'Y', 'EDIT', 'N', '', 'LAST_UPDATE', "
       "'LAST_UPDATE',8, 0)",
       {},
       1},
      {"A1 literal",
       kBoth,
       "SELECT CREATOR FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'",
       {"DOCSADM"}},
      {"A2",
       kBoth,
       "SELECT CLIENT.CLIENT_ID FROM [OWNER].CLIENT WHERE [OWNER].CLIENT.SYSTEM_ID NOT IN (SELECT "
       "SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND UPPER(RULE_NAME) "
       "LIKE 'R1') ORDER BY CLIENT.CLIENT_ID",
       {"C0002", "XYZ"}},
      {"A2",
       kBoth,
       "SELECT MATTER.MATTER_ID FROM [OWNER].MATTER WHERE [OWNER].MATTER.CLIENT_ID IN (SELECT "
       "SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY MATTER.MATTER_ID",
       {"0001", "0002"}},
      {"A3", kBoth, "SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE CODE = 98", {"0"}},
      {"A3",
       kBoth,
       "INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, SYSTEM_ID) VALUES(98,'ARBORLINE',1902)",
       {},
       1},
      {"A3", kBoth, "SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE CODE = 98", {"1"}},
      {"A4",
       kMsOnly,
       "SELECT CLIENT_ID FROM [OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) "
       "IS NULL",
       {"XYZ"}},
      {"A4",
       kMsOnly,
       "SELECT CLIENT_ID FROM [OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) >= "
       "2",
       {"C0002"}},
      {"A4", kMsOnly, "SELECT COUNT(*) FROM [OWNER].CLIENT WHERE CAST('' AS INT) IS NULL", {"3"}},
      {"A5",
       kBoth,
       "SELECT DOCNUMBER FROM [OWNER].FOLDER WHERE PATH <> 'X' ORDER BY DOCNUMBER",
       {"123"}},
      {"A6", kBoth, "SELECT COUNT(*) FROM [OWNER].CLIENT WHERE CLIENT_ID = '", {"0"}},

      // Date and time.
      {"B6", kMsOnly, "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL", {}, 0},
      {"B6", kOracleOnly, "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATE NULL", {}, 0},
      {"B1",
       kBoth,
       "UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE() WHERE PATH LIKE 'ARBORLINE%'",
       {},
       1},
      {"B1",
       kBoth,
       "UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE(), PATH = 'ARBORLINE R2' WHERE "
       "DOCNUMBER = 124",
       {},
       1},
      {"B1",
       kBoth,
       "SELECT DOCNUMBER, PATH, LAST_UPDATE FROM [OWNER].FOLDER ORDER BY DOCNUMBER",
       {"123|ARBORLINE R1|2026-12-06 08:04:29", "124|ARBORLINE R2|2026-12-06 08:04:29"}},
      {"B2",
       kMsOnly,
       "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
       "VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PC1:R1', GETDATE())",
       {},
       1},
      // The engine registers no running node on Oracle; a row another program wrote.
      {"B2",
       kOracleOnly,
       "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
       "VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PC1:R1', "
       "TO_DATE('2026-12-06 09:04:29', 'YYYY-MM-DD HH24:MI:SS'))",
       {},
       1},
      {"B2",
       kBoth,
       "SELECT CHAR_VAL, DATE_VAL FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
       "SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'",
       {"PC1:R1|2026-12-06 09:04:29"}},
      {"B2 F3",
       kBoth,
       "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = "
       "'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' AND ((CHAR_VAL LIKE 'pc1:%' OR CHAR_VAL IS "
       "NULL) OR DATE_VAL IS NULL)",
       {},
       1},
      {"B7",
       kBoth,
       "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG WHERE START_DATE >= '2020-11-13'",
       {"3"}},
      {"B4",
       kMsOnly,
       "DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = 123 AND (ACTIVITY_TYPE IN (45, 46, 47) "
       "OR "
       "(TYPIST = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') AND START_DATE = "
       "'2020-11-14'))",
       {},
       2},
      {"B4",
       kOracleOnly,
       "DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = 123 AND (ACTIVITY_TYPE IN (45, 46, 47) "
       "OR "
       "(TYPIST = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') AND START_DATE = "
       "TO_DATE('14-NOV-20', 'DD-MON-RR')))",
       {},
       2},
      {"B4", kBoth, "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG", {"2"}},
      {"B5", kMsOnly, "set dateformat mdy", {}, 0},

      // Row limits.
      {"C1 E3 E6 G8 G10",
       kMsOnly,
       "SELECT DISTINCT TOP 2 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", "
       "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", "
       "MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"\r\n FROM [OWNER].MATTER LEFT OUTER JOIN "
       "[OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE ((CLIENT.SYSTEM_ID NOT IN "
       "(SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND "
       "UPPER(RULE_NAME) LIKE 'R2') OR MATTER.SYSTEM_ID NOT IN (SELECT SID FROM "
       "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND UPPER(RULE_NAME) LIKE "
       "'R2'))) ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC",
       {"FIRM MATTERS|\\|C0001|0001|1001|1101", "FIRM MATTERS|\\|C0001|0002|1001|1102"},
       -1,
       {"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID", "CLIENT.SYSTEM_ID", "MATTER.SYSTEM_ID"}},
      {"C1 C3 E4",
       kOracleOnly,
       "SELECT DISTINCT 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID \"CLIENT.CLIENT_ID\", "
       "MATTER.MATTER_ID \"MATTER.MATTER_ID\" FROM [OWNER].MATTER, [OWNER].CLIENT WHERE "
       "CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID AND MATTER.SYSTEM_ID NOT IN (SELECT SID FROM "
       "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND UPPER(RULE_NAME) LIKE "
       "'R2') AND ROWNUM <= 2 ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC",
       {"FIRM MATTERS|\\|C0001|0001", "FIRM MATTERS|\\|C0001|0002"},
       -1,
       {"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID"}},
      {"C2",
       kMsOnly,
       "UPDATE [OWNER].PROFILE SET MATTER = (SELECT TOP 1 SYSTEM_ID FROM [OWNER].MATTER WHERE "
       "CLIENT_ID = (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY "
       "SYSTEM_ID DESC) WHERE DOCNUMBER = 125",
       {},
       1},
      {"C2",
       kOracleOnly,
       "UPDATE [OWNER].PROFILE SET MATTER = (SELECT MAX(SYSTEM_ID) FROM [OWNER].MATTER WHERE "
       "CLIENT_ID = (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = 'C0001')) "
       "WHERE DOCNUMBER = 125",
       {},
       1},
      {"C2", kBoth, "SELECT MATTER FROM [OWNER].PROFILE WHERE DOCNUMBER = 125", {"1102"}},

      // Catalog and server facts.
      {"D1 G10", kMsOnly, tables_exist, {"1"}},
      {"D1", kMsOnly, text::Replace(tables_exist, "QUIL_SETTINGS", "quil_settings"), {"1"}},
      {"D1", kMsOnly, text::Replace(tables_exist, "QUIL_SETTINGS", "QUIL_PROXIES"), {"0"}},
      {"D2",
       kOracleOnly,
       "SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'QUIL_SETTINGS'",
       {"1"}},
      {"D2",
       kOracleOnly,
       "SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'QUIL_PROXIES'",
       {"0"}},
      {"D3",
       kOracleOnly,
       "SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'",
       {"DOCSADM"}},
      {"D4", kMsOnly, "SELECT @@VERSION", {banner}, -1, {""}},
      {"D5", kMsOnly, "select serverproperty('ProductVersion')", {"15.0.2000.5"}},
      {"D6",
       kMsOnly,
       "SELECT DATABASE_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'DOCS'",
       {"DMDB"}},
      {"D6", kMsOnly, "SELECT compatibility_level FROM sys.databases WHERE name = 'DMDB'", {"150"}},
      {"D7 E5",
       kMsOnly,
       "SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = 'DMDB'",
       {"1"}},
      {"D8",
       kBoth,
       "SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE UPPER(TABLE_NAME) = 'QUIL_SETTINGS'",
       {"1"}},
      {"D8",
       kBoth,
       "SELECT TABLE_NAME FROM [OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME",
       {"CLIENT", "DOCUMENTTYPES", "MATTER"}},

      // Identifiers; the display order follows the case-insensitive collation (F5).
      {"E1 F5",
       kMsOnly,
       "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.[NEXT], FI.ISFIRST FROM [OWNER].FOLDER_ITEM FI "
       "WHERE FI.PARENT = 123 ORDER BY FI.DISPLAYNAME",
       {"1602|Alpha|1603|N", "1601|beta|1602|Y", "1603|Gamma|0|N"}},
      {"E1 F5",
       kOracleOnly,
       "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.\"NEXT\", FI.ISFIRST FROM [OWNER].FOLDER_ITEM FI "
       "WHERE FI.PARENT = 123 ORDER BY FI.DISPLAYNAME",
       {"1602|Alpha|1603|N", "1601|beta|1602|Y", "1603|Gamma|0|N"}},
      {"E1",
       kMsOnly,
       "UPDATE [OWNER].FOLDER_ITEM SET [NEXT] = 1601, ISFIRST = 'Y' WHERE SYSTEM_ID = 1602",
       {},
       1},
      {"E1",
       kOracleOnly,
       "UPDATE [OWNER].FOLDER_ITEM SET \"NEXT\" = 1601, ISFIRST = 'Y' WHERE SYSTEM_ID = 1602",
       {},
       1},
      {"E2",
       kBoth,
       "SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE NEXT = 0 AND PARENT = 123",
       {"1603|0"}},
      {"E1 G3",
       kMsOnly,
       "INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
       "ISFIRST, [NEXT], REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, "
       "STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT 1604, 123, 456, PL.SYSTEM_ID, "
       "RL.SYSTEM_ID, 'Y', 0, 1603, 'F', 'Delta', 1701, 'R', 0, 0, 0 FROM "
       "[OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE PL.LIBRARY_NAME = 'DOCS' "
       "AND RL.LIBRARY_NAME = 'OTHER'",
       {},
       1},
      {"E1 G3",
       kOracleOnly,
       "INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
       "ISFIRST, \"NEXT\", REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, "
       "STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT 1604, 123, 456, PL.SYSTEM_ID, "
       "RL.SYSTEM_ID, 'Y', 0, 1603, 'F', 'Delta', 1701, 'R', 0, 0, 0 FROM "
       "[OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE PL.LIBRARY_NAME = 'DOCS' "
       "AND RL.LIBRARY_NAME = 'OTHER'",
       {},
       1},
      {"E1 G3",
       kBoth,
       "SELECT FI.PARENT_LIBRARY, RL.LIBRARY_NAME, FI.DISPLAYNAME FROM [OWNER].FOLDER_ITEM FI, "
       "[OWNER].REMOTE_LIBRARIES RL WHERE RL.SYSTEM_ID = FI.LIBRARY AND FI.SYSTEM_ID = 1604",
       {"0|OTHER|Delta"}},
      {"E5",
       kBoth,
       "SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID "
       "FROM [OWNER].PEOPLE WHERE UPPER(USER_ID) = 'JSMITH') AND GROUPS_SYSTEM_ID IN (SELECT "
       "SYSTEM_ID FROM [OWNER].GROUPS WHERE UNIV_ACCESS >= 191)",
       {"1"}},

      // Strings, patterns and comparisons.
      {"F1",
       kMsOnly,
       "SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), INT_VAL, SUBSTRING(CHAR_VAL, "
       "255, 254), SUBSTRING(CHAR_VAL, 509, 254), SUBSTRING(CHAR_VAL, 763, 254) FROM "
       "[OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' OR "
       "SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, SECTION_KEY",
       {"SETTINGS|MAXITEMSTOSORT|NULL|500|NULL|NULL|NULL",
        "RULE_TEMPLATE|R1|" + a + "|NULL|" + b + "|" + c + "|" + d}},
      {"F1",
       kOracleOnly,
       "SELECT SECTION_KEY, SUB_KEY, SUBSTR(CHAR_VAL, 1, 254), INT_VAL, SUBSTR(CHAR_VAL, "
       "255, 254), SUBSTR(CHAR_VAL, 509, 254), SUBSTR(CHAR_VAL, 763, 254) FROM "
       "[OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' OR "
       "SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, SECTION_KEY",
       {"SETTINGS|MAXITEMSTOSORT|NULL|500|NULL|NULL|NULL",
        "RULE_TEMPLATE|R1|" + a + "|NULL|" + b + "|" + c + "|" + d}},
      {"F2",
       kMsOnly,
       "SELECT PR.DOCNUMBER FROM [OWNER].PROFILE PR WHERE UPPER(PR.DOCNAME) LIKE 'ACME [[]UK] "
       "LTD%'",
       {"123"}},
      // Oracle's LIKE has no classes: a bracket is itself, and the escaped form names nothing.
      {"F2",
       kOracleOnly,
       "SELECT PR.DOCNUMBER FROM [OWNER].PROFILE PR WHERE UPPER(PR.DOCNAME) LIKE 'ACME [UK] LTD%'",
       {"123"}},
      {"F2",
       kOracleOnly,
       "SELECT PR.DOCNUMBER FROM [OWNER].PROFILE PR WHERE UPPER(PR.DOCNAME) LIKE 'ACME [[]UK] "
       "LTD%'",
       {}},
      {"F4", kBoth, "SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith'", {"1301"}},
      {"F8", kBoth, "SELECT CLIENT_ID FROM [OWNER].CLIENT WHERE SYSTEM_ID = '1002'", {"C0002"}},
      {"F8",
       kBoth,
       "SELECT COUNT(*) FROM [OWNER].SUBTYPES WHERE (DISABLED NOT IN ('1', 'Y') OR DISABLED IS "
       "NULL)",
       {"2"}},
      {"F9 G9",
       kBoth,
       "SELECT COUNT(DISTINCT DT_FOLDERNAME) FROM [OWNER].PCDT WHERE (DT_FOLDERNAME <> '' AND "
       "DT_FOLDERNAME IS NOT NULL)",
       {"2"}},
      {"F9 G9",
       kBoth,
       "SELECT COUNT(DISTINCT NAME_EN) FROM [OWNER].SUBTYPES WHERE (NAME_EN <> '' AND NAME_EN IS "
       "NOT NULL) AND (DISABLED <> 'Y' OR DISABLED IS NULL)",
       {"2"}},

      // Shapes found portable.
      {"G1",
       kBoth,
       "SELECT A.USER_ID, T.USER_ID , P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
       "[OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.SYSTEM_ID "
       "= 1501",
       {"JSMITH|ADOE|123"}},
      {"G2",
       kBoth,
       "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM "
       "[OWNER].PROFILE P LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR LEFT OUTER "
       "JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER JOIN [OWNER].GROUPS AG ON "
       "AG.SYSTEM_ID = A.PRIMARY_GROUP LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = "
       "T.PRIMARY_GROUP WHERE P.DOCNUMBER = 124",
       {"1502|NULL|JSMITH|NULL|LITIGATION|0"}},
      {"G2 (+)",
       kOracleOnly,
       "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
       "[OWNER].PEOPLE T WHERE A.SYSTEM_ID (+) = P.AUTHOR AND T.SYSTEM_ID (+) = P.TYPIST AND "
       "P.DOCNUMBER = 124",
       {"1502|NULL|JSMITH"}},
      {"G3",
       kBoth,
       "INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, "
       "TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', "
       "NULL FROM [OWNER].PROFILE WHERE PROFILE.SYSTEM_ID = 1503 AND MATTER = 1102 AND "
       "APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER') AND "
       "DOCNUMBER NOT IN (SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')",
       {},
       1},
      {"G3 again",
       kBoth,
       "INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, "
       "TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', "
       "NULL FROM [OWNER].PROFILE WHERE PROFILE.SYSTEM_ID = 1503 AND MATTER = 1102 AND "
       "APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER') AND "
       "DOCNUMBER NOT IN (SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')",
       {},
       0},
      {"G3",
       kBoth,
       "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 191, "
       "1503 FROM [OWNER].PEOPLE WHERE USER_ID = 'ADOE'",
       {},
       1},
      {"G3",
       kBoth,
       "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT 0, 191, "
       "SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125",
       {},
       1},
      {"G3",
       kBoth,
       "INSERT INTO [OWNER].QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
       "SELECT SYSTEM_ID, 'MATTER', 'R3', 0, '' FROM [OWNER].MATTER ORDER BY SYSTEM_ID",
       {},
       3},
      {"G4",
       kBoth,
       "UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = "
       "'jsmith') WHERE DOCNUMBER = 124",
       {},
       1},
      {"G4",
       kBoth,
       "UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = "
       "'folder_prof') WHERE DOCNUMBER = 124",
       {},
       1},
      {"G4",
       kBoth,
       "SELECT A.USER_ID, F.FORM_NAME FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].FORMS F "
       "WHERE A.SYSTEM_ID = P.AUTHOR AND F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = 124",
       {"JSMITH|FOLDER_PROF"}},
      {"G5",
       kBoth,
       "UPDATE [OWNER].FOLDER_ITEM SET DISPLAYNAME = 'Alpha 2' WHERE DOCNUMBER = 124 AND PARENT = "
       "123 AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
       "LIBRARY_NAME = 'DOCS') AND LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
       "LIBRARY_NAME = 'docs')",
       {},
       1},
      {"G5",
       kBoth,
       "DELETE FROM [OWNER].SECURITY WHERE THING = (SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE "
       "DOCNUMBER = 123) AND PERSONORGROUP = 0",
       {},
       1},
      {"G5 parent rights",
       kBoth,
       "SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND THING = "
       "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125) AND (PERSONORGROUP = (SELECT "
       "SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH') OR PERSONORGROUP IN (SELECT "
       "GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM "
       "[OWNER].PEOPLE WHERE USER_ID = 'ADOE')))",
       {"1"}},
      {"G6", kBoth, "UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE DOCNUMBER = 125", {}, 1},
      {"G6",
       kBoth,
       "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1, SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK "
       "= 98 WHERE SYSTEM_ID = 1503",
       {},
       1},
      {"G6",
       kBoth,
       "SELECT AUTHOR, DEFAULT_RIGHTS, SECURITY_LINK, SEC_REASON_LINK FROM [OWNER].PROFILE WHERE "
       "DOCNUMBER = 125",
       {"1301|1|1503|98"}},
      {"G7",
       kBoth,
       "SELECT MATTER.MATTER_ID FROM [OWNER].MATTER WHERE NOT EXISTS (SELECT * FROM "
       "[OWNER].QUIL_SPROUTSMITH WHERE QUIL_SPROUTSMITH.SID = MATTER.SYSTEM_ID AND TABLE_NAME = "
       "'MATTER' AND RULE_NAME = 'R3')",
       {}},
      {"G11",
       kBoth,
       "SELECT F.DOCNUMBER, P.DOCNAME, 'DOCS', 'DOCS', F.PATH FROM [OWNER].FOLDER F LEFT OUTER "
       "JOIN [OWNER].PROFILE P ON P.DOCNUMBER = F.DOCNUMBER WHERE F.DOCNUMBER IN (SELECT "
       "DOCNUMBER FROM [OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER DESC",
       {"123|Acme [UK] Ltd Files|DOCS|DOCS|ARBORLINE R1"},
       -1,
       {"DOCNUMBER", "DOCNAME", "", "", "PATH"}},
      {"8.1",
       kBoth,
       "SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE DOCNUMBER = 123 ORDER BY VERSION_ID",
       {"1701", "1702"}},
      {"7.1",
       kBoth,
       "SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE UPPER(ENTITYSCOPE) = 'USER' AND ENTITYID = "
       "1301 AND UPPER(NAME) = 'WORKSPACES'",
       {"1801"}},
      {"5.3", kBoth, "DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = 123", {}, 0},
  };
}

std::string Rows(const ResultSet& result) {
  std::string out;
  for (const auto& row : result.rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line += "|";
      line += row[i].IsNull() ? "NULL" : row[i].text;
    }
    out += line + "\n";
  }
  return out;
}

class DialectCorpusTest : public ::testing::TestWithParam<Flavour> {
 protected:
  void SetUp() override {
    std::string error;
    db_ = SqliteDatabase::Open(dir_.File("docs.db"), true, &error);
    ASSERT_TRUE(db_) << error;
    schema::LibraryDefinition def;
    def.name = "DOCS";
    def.owner = "DOCSADM";
    def.database_name = "DMDB";
    def.engine_code = GetParam() == Flavour::kOracle ? 2 : 10;
    def.other_libraries = {{"OTHER", 10}};
    ASSERT_TRUE(schema::ProvisionLibrary(*db_, def, &error)) << error;
    const ExecResult fixture = db_->ExecuteScript(kFixture);
    ASSERT_TRUE(fixture.ok()) << fixture.error_description;
    db_->SetClock([] { return kLocalNow; }, [] { return kUtcNow; });
  }

  testing::TempDir dir_;
  std::unique_ptr<SqliteDatabase> db_;
};

TEST_P(DialectCorpusTest, EveryShapeRunsWithTheRowsTheEngineExpects) {
  const Flavour flavour = GetParam();
  TranslateOptions options;
  options.flavour = flavour;
  options.owners = {"DOCSADM", "dbo"};
  int run = 0;
  for (const Shape& shape : Corpus()) {
    if ((shape.flavours & (flavour == Flavour::kOracle ? kOracleOnly : kMsOnly)) == 0) continue;
    ++run;
    const std::string sent = Gateway(shape.sql, flavour);
    const std::string translated = Translate(sent, options);
    SCOPED_TRACE(std::string(shape.id) + "\n  sent:       " + sent +
                 "\n  translated: " + translated);
    const ExecResult r = db_->Execute(translated);
    ASSERT_TRUE(r.ok()) << r.error_description;
    if (shape.affected >= 0) {
      EXPECT_EQ(r.rows_affected, shape.affected);
      EXPECT_TRUE(r.result.rows.empty());
      continue;
    }
    // A query never reports changed rows (the gateway would not position on row 1).
    EXPECT_EQ(r.rows_affected, 0);
    std::string expected;
    for (const std::string& row : shape.rows) expected += row + "\n";
    EXPECT_EQ(Rows(r.result), expected);
    if (!shape.headings.empty()) {
      EXPECT_EQ(r.result.columns, shape.headings);
    }
  }
  EXPECT_GT(run, 50);
}

INSTANTIATE_TEST_SUITE_P(BothFlavours, DialectCorpusTest,
                         ::testing::Values(Flavour::kMicrosoft, Flavour::kOracle),
                         [](const ::testing::TestParamInfo<Flavour>& param) {
                           return param.param == Flavour::kOracle ? "Oracle" : "Microsoft";
                         });

// The gateway reads the server version from the banner: the text before "(", split at
// " - " into major and minor.
TEST(DialectServerFactsTest, VersionBannerParsesAsTheGatewayReadsIt) {
  testing::TempDir dir;
  auto db = SqliteDatabase::Open(dir.File("v.db"), true);
  ASSERT_TRUE(db);
  const ExecResult r = db->Execute(Translate("SELECT @@VERSION OPTION (MAXDOP 1)", {}));
  ASSERT_TRUE(r.ok()) << r.error_description;
  const std::string banner = r.result.rows.at(0).at(0).text;
  const std::vector<std::string> parts =
      text::Split(text::Trim(banner.substr(0, banner.find('('))), " - ");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(text::Val(parts[0]), 15);
  EXPECT_EQ(text::Val(parts[1]), 0);
}

}  // namespace
}  // namespace sproutsmith::sql
