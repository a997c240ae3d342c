// Every statement shape the engine sends, run through the engine's own gateway (RunSQL: owner
// substitution, Oracle rewrites, the parallelism hint) on a real library of each flavour on
// each back end (a SQLite file, a PostgreSQL database), and read back through the
// connection as the engine reads it. One row per shape; the shapes
// run in order on one library per flavour, so a later row sees what an earlier one wrote.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dm/connection.h"
#include "dm/describe_connection.h"
#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "support/engine_session.h"
#include "support/test_params.h"
#include "text/text.h"

namespace sproutsmith::dm {
namespace {

using testing::Describe;

enum Flavours { kMsOnly = 1, kOracleOnly = 2, kBoth = 3 };

using Edits = std::vector<std::pair<std::string, std::string>>;

struct Shape {
  const char* id;                 // the construct it stands for
  std::string sql;                // as the engine writes it: Microsoft flavour, [OWNER]
  std::vector<std::string> rows;  // "a|b" per row, NULL as "NULL"; unused when `affected` set
  long long affected = -1;
  int flavours = kBoth;
  Edits oracle;                       // what differs on Oracle, in the text and the rows
  std::vector<std::string> headings;  // checked when not empty
};

const std::pair<std::string, std::string> kSysdate = {"GETDATE()", "SYSDATE"};
const std::pair<std::string, std::string> kSubstr = {"SUBSTRING(", "SUBSTR("};
const std::pair<std::string, std::string> kQuotedNext = {"[NEXT]", "\"NEXT\""};

// The server's clock: local time an hour ahead of UTC, so that GETDATE() and GETUTCDATE()
// cannot be mistaken for each other.
const text::DateTime kLocalNow{2026, 12, 6, 9, 4, 29};
const text::DateTime kUtcNow{2026, 12, 6, 8, 4, 29};
class ServerClock final : public os::Clock {
 public:
  text::DateTime Now() const override { return kLocalNow; }
  text::DateTime UtcNow() const override { return kUtcNow; }
};
const ServerClock kServerClock;
constexpr char kOwner[] = "LAWADM";

constexpr char kFixture[] = R"(
UPDATE STANDIN_KEYS SET LAST_KEY = 5000 WHERE KEY_NAME = 'SYSTEMKEY';
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
  ('ARBORLINE', 'RULE_TEMPLATE', 'R1', @LONG_TEXT@, NULL),
  ('ARBORLINE', 'SETTINGS', 'MAXITEMSTOSORT', NULL, 500);
INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES
  ('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PCX1:R1', '2026-12-06 08:00:00');
INSERT INTO QUIL_SPROUTSMITH VALUES (1001, 'CLIENT', 'R1', 0, '');
INSERT INTO PCDT VALUES (1, 'A', 'a'), (2, 'B', NULL), (3, 'A', 'c');
INSERT INTO SUBTYPES VALUES (1, 'X', 'x', 'Y'), (2, 'Y', 'y', NULL), (3, 'Z', 'z', 'N');
INSERT INTO REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES
  (1801, '', 'PROPERTY', 'USER', 1301, 'Workspaces', 'SubTree');
)";

// Start-up prepared the library already; its repairs are taken back so that the corpus
// sends them itself, in the engine's order.
constexpr char kUndoPreparation[] = R"(
DELETE FROM SEC_REASON WHERE CODE = 98;
DELETE FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE';
ALTER TABLE FOLDER DROP COLUMN LAST_UPDATE;
)";

// 254 A, 254 B, 254 C and 10 D: a rule value that spans four of the store's pieces.
std::string LongText(sql::Backend backend) {
  return backend == sql::Backend::kPostgres
             ? "repeat('A', 254) || repeat('B', 254) || repeat('C', 254) || repeat('D', 10)"
             : "printf('%.254c%.254c%.254c%.10c', 'A', 'B', 'C', 'D')";
}

// A query and the rows it must give; a statement and the count of rows it must change.
Shape Read(const char* id, std::vector<std::string> rows, std::string sql) {
  return {.id = id, .sql = std::move(sql), .rows = std::move(rows)};
}
Shape Write(const char* id, long long affected, std::string sql) {
  return {.id = id, .sql = std::move(sql), .affected = affected};
}
Shape Only(int flavours, Shape shape) {
  shape.flavours = flavours;
  return shape;
}
Shape OnOracle(Edits edits, Shape shape) {
  shape.oracle = std::move(edits);
  return shape;
}
Shape Headed(std::vector<std::string> headings, Shape shape) {
  shape.headings = std::move(headings);
  return shape;
}

std::vector<Shape> Corpus(const std::string& banner) {
  const std::string a(254, 'A'), b(254, 'B'), c(254, 'C'), d(10, 'D');
  const std::string tables_exist =
      "select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].QUIL_SETTINGS') \r\nand "
      "sysstat & 0xf = 3 ";
  const std::string folder_lookup =
      "SELECT F.DOCNUMBER, P.DOCNAME, 'DOCS', 'DOCS', F.PATH FROM [OWNER].FOLDER F LEFT OUTER JOIN "
      "[OWNER].PROFILE P ON P.DOCNUMBER = F.DOCNUMBER LEFT OUTER JOIN [OWNER].APPS A ON "
      "A.SYSTEM_ID = P.APPLICATION WHERE UPPER(P.DOCNAME) LIKE ";
  const std::string needs_foldering =
      "INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, "
      "TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', "
      "NULL FROM [OWNER].PROFILE WHERE PROFILE.SYSTEM_ID = 1503 AND MATTER = 1101 AND APPLICATION "
      "<> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER') AND DOCNUMBER NOT IN "
      "(SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')";
  const std::string item_lookup =
      "SELECT FI.DOCNUMBER, PR.DOCNAME, RL.LIBRARY_NAME, PL.LIBRARY_NAME, 'ARBORLINE' FROM "
      "[OWNER].FOLDER_ITEM FI LEFT OUTER JOIN [OWNER].PROFILE PR ON PR.DOCNUMBER = FI.DOCNUMBER "
      "LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN "
      "[OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' "
      "AND FI.PARENT = 123 AND PL.LIBRARY_NAME = 'DOCS' AND RL.LIBRARY_NAME = 'DOCS' AND "
      "UPPER(PR.DOCNAME) LIKE ";
  auto forget = [](const std::string& row) {
    return "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = "
           "'PENDING_ROW 00000000000000" +
           row + "' AND SUB_KEY = 'R1'";
  };
  return {
      // clang-format off
      // Owner placeholders and the gateway's rewrites.
      Read("owner placeholder", {kOwner}, "SELECT OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE "
          "LIBRARY_NAME = 'DOCS'"),
      Read("owner placeholder in lower case", {"3"}, "SELECT COUNT(*) FROM [owner].CLIENT"),
      Read("QZ_ tables belong to dbo", {"2"}, "SELECT COUNT(*) FROM [OWNER].QZ_TEST"),
      Read("tracking exclusion NOT IN", {"C0002", "XYZ"}, "SELECT CLIENT.CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE [OWNER].CLIENT.SYSTEM_ID NOT IN (SELECT SID FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND UPPER(RULE_NAME) LIKE "
          "'R1') ORDER BY CLIENT.CLIENT_ID"),
      Read("tracking exclusion NOT IN, aliases and an OR", {"C0002", "XYZ"},
          "SELECT C.CLIENT_ID FROM [OWNER].CLIENT C WHERE C.SYSTEM_ID NOT IN (SELECT Q.SID FROM "
          "[OWNER].QUIL_SPROUTSMITH Q WHERE Q.TABLE_NAME = 'MATTER' OR UPPER(Q.RULE_NAME) = 'R1') "
          "ORDER BY C.CLIENT_ID"),
      Read("NOT IN a whole table, same column names", {"124"}, "SELECT F.DOCNUMBER FROM "
          "[OWNER].FOLDER F WHERE F.DOCNUMBER NOT IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "
          "ORDER BY F.DOCNUMBER"),
      Read("owner-qualified column in a sub-select", {"0001", "0002"}, "SELECT MATTER.MATTER_ID "
          "FROM [OWNER].MATTER WHERE [OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM "
          "[OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY MATTER.MATTER_ID"),
      Only(kMsOnly, Read("TRY_CAST of a code part, failing", {"XYZ"}, "SELECT CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) IS NULL")),
      Only(kMsOnly, Read("TRY_CAST of a code part, compared", {"C0002"}, "SELECT CLIENT_ID FROM "
          "[OWNER].CLIENT WHERE TRY_CAST(SUBSTRING(CLIENT_ID, 2, 4) AS INT) >= 2")),
      Only(kMsOnly, Read("CAST of an empty text is NULL", {"3"}, "SELECT COUNT(*) FROM "
          "[OWNER].CLIENT WHERE CAST('' AS INT) IS NULL")),
      Read("<> comparison", {"123"}, "SELECT DOCNUMBER FROM [OWNER].FOLDER WHERE PATH <> 'X' ORDER "
          "BY DOCNUMBER"),
      Read("unterminated literal closed", {"0"}, "SELECT COUNT(*) FROM [OWNER].CLIENT WHERE "
          "CLIENT_ID = '"),
      // Library preparation.
      Read("security reason 98 looked up", {"0"}, "SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE "
          "CODE = 98"),
      Write("security reason 98 added", 1, "INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, "
          "SYSTEM_ID) VALUES(98,'ARBORLINE',1902)"),
      OnOracle({{"DATETIME", "DATE"}}, Write("LAST_UPDATE column added as DATETIME, as DATE on "
          "Oracle", 0, "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL")),
      Read("LAST_UPDATE column probed", {"0"}, "SELECT COUNT(*) FROM [OWNER].FOLDER WHERE "
          "LAST_UPDATE IS NULL AND 1 = 0"),
      Write("dictionary row of the column cleared", 0, "DELETE FROM [OWNER].DOCSCOLUMN WHERE "
          "TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"),
      Write("owner placeholder inside a literal", 1, "INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, "
          "TBNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, VISIBLEINLIST, USER_MODIFIABLE, "
          "USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, CMSKEY, KEYGROUP, COLNAME, "
          "PROMPT, CMSTYPE, COL_LENGTH) VALUES (1901, 'FOLDER',  '', '', '[OWNER]', 'N', 'Y', 'Y', "
          "'Y', 'N', 'N', 'Y', 'EDIT', 'N', '', 'LAST_UPDATE', 'LAST_UPDATE',8, 0)"),
      // One dictionary row, naming the real owner.
      Read("owner placeholder inside a literal", {kOwner}, "SELECT CREATOR FROM [OWNER].DOCSCOLUMN "
          "WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"),
      Write("GETUTCDATE stamp of the system's folders", 1, "UPDATE [OWNER].FOLDER SET LAST_UPDATE "
          "= GETUTCDATE() WHERE PATH LIKE 'ARBORLINE%'"),
      Write("GETUTCDATE stamp of an adopted folder", 1, "UPDATE [OWNER].FOLDER SET LAST_UPDATE = "
          "GETUTCDATE(), PATH = 'ARBORLINE R2' WHERE DOCNUMBER = 124"),
      Read("GETUTCDATE stamps read back", {"123|ARBORLINE R1|2026-12-06 08:04:29",
          "124|ARBORLINE R2|2026-12-06 08:04:29"}, "SELECT DOCNUMBER, PATH, LAST_UPDATE FROM "
          "[OWNER].FOLDER ORDER BY DOCNUMBER"),
      OnOracle({{"|10|", "|2|"}}, Read("own library row", {"DOCS|DOCS|10|localhost"},
          "SELECT LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, SERVER_LOCATION FROM "
          "[OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0")),
      Read("connection settings of two libraries", {"DOCS|||LAWADM", "OTHER|||LAWADM"},
          "SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM [OWNER].REMOTE_LIBRARIES "
          "WHERE LIBRARY_NAME IN ('DOCS', 'OTHER')"),
      Read("library settings", {"MAXITEMSTOSORT|NULL|500"}, "SELECT SUB_KEY, CHAR_VAL, INT_VAL "
          "FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SETTINGS'"),
      Read("table listed in the dictionary", {"1"}, "SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE "
          "UPPER(TABLE_NAME) = 'QUIL_SETTINGS'"),
      Read("validation tables", {"CLIENT", "DOCUMENTTYPES", "MATTER"}, "SELECT TABLE_NAME FROM "
          "[OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME"),
      Read("security link column listed", {"1"}, "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE "
          "TBNAME = 'PROFILE' AND COLNAME = 'SECURITY_LINK'"),
      Read("workspace form", {"1"}, "SELECT COUNT(*) FROM [OWNER].FORMS WHERE FORM_NAME = "
          "'WORKSPACE_PROF' AND FORM_TYPE = 'P'"),
      Read("site's profile columns", {}, "SELECT DISTINCT COLNAME, FTBNAME FROM [OWNER].DOCSCOLUMN "
          "WHERE COLNAME IN ('DIVISION', 'ATTY') AND TBNAME = 'PROFILE'"),
      // Catalog and server facts.
      Only(kMsOnly, Read("sysobjects table check", {"1"}, tables_exist)),
      Only(kMsOnly, Read("sysobjects table check in lower case", {"1"}, text::Replace(tables_exist,
          "QUIL_SETTINGS", "quil_settings"))),
      Only(kMsOnly, Read("sysobjects table check, absent", {"0"}, text::Replace(tables_exist,
          "QUIL_SETTINGS", "QUIL_PROXIES"))),
      Only(kOracleOnly, Read("ALL_TABLES table check", {"1"}, "SELECT COUNT(*) FROM ALL_TABLES "
          "WHERE TABLE_NAME = 'QUIL_SETTINGS'")),
      Only(kOracleOnly, Read("ALL_TABLES table check, absent", {"0"}, "SELECT COUNT(*) FROM "
          "ALL_TABLES WHERE TABLE_NAME = 'QUIL_PROXIES'")),
      Only(kOracleOnly, Read("owner from USER_TAB_PRIVS", {kOwner}, "SELECT OWNER FROM "
          "USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'")),
      Only(kMsOnly, Headed({""}, Read("@@VERSION banner", {banner}, "SELECT @@VERSION"))),
      Only(kMsOnly, Read("serverproperty", {"15.0.2000.5"}, "select "
          "serverproperty('ProductVersion')")),
      Only(kMsOnly, Read("database name", {"DOCS"}, "SELECT DATABASE_NAME FROM "
          "[OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'DOCS'")),
      Only(kMsOnly, Read("sys.databases compatibility level", {"150"}, "SELECT compatibility_level "
          "FROM sys.databases WHERE name = 'DOCS'")),
      Only(kMsOnly, Read("sys.databases quoted identifier", {"1"}, "SELECT IS_QUOTED_IDENTIFIER_ON "
          "FROM SYS.DATABASES DB WHERE DB.NAME = 'DOCS'")),
      Only(kMsOnly, Write("set dateformat", 0, "set dateformat mdy")),
      // Running nodes and dates.
      // The engine registers no running node on Oracle; a row another program wrote there.
      OnOracle({{"GETDATE()", "TO_DATE('2026-12-06 09:04:29', 'YYYY-MM-DD HH24:MI:SS')"}},
          Write("running node registered with GETDATE, written with TO_DATE on Oracle", 1,
          "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
          "DATE_VAL) VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PC_1:R1', GETDATE())")),
      Read("running nodes read", {"PCX1:R1|2026-12-06 08:00:00", "PC_1:R1|2026-12-06 09:04:29"},
          "SELECT CHAR_VAL, DATE_VAL FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
          "SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'"),
      // "_" in the computer's name is escaped: PCX1's row stays.
      Write("running node clean-up, escaped LIKE", 1, "DELETE FROM [OWNER].QUIL_SETTINGS WHERE "
          "MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' "
          "AND ((CHAR_VAL LIKE 'pc[_]1:%' OR CHAR_VAL IS NULL OR CHAR_VAL = '') OR DATE_VAL IS "
          "NULL)"),
      Read("running nodes read", {"PCX1:R1"}, "SELECT CHAR_VAL FROM [OWNER].QUIL_SETTINGS WHERE "
          "MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'"),
      // A rule's unfinished rows: text parts, the level being made, read back in pieces.
      OnOracle({kSysdate}, Write("pending row part with GETDATE, SYSDATE on Oracle", 1,
          "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
          "DATE_VAL, KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000A1', 'R1', 'R1\t%25 "
          "it''s [x]\t0\t$', 7, GETDATE(), 1)")),
      OnOracle({kSysdate}, Write("pending row's level noted", 1, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000A1', 'R1', '1 5000', 7, "
          "GETDATE(), 0)")),
      Write("pending row's level moved on", 1, "UPDATE [OWNER].QUIL_SETTINGS SET CHAR_VAL = '2 "
          "5120' WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = 'PENDING_ROW 00000000000000A1' "
          "AND SUB_KEY = 'R1' AND KEY_TYPE = 0"),
      OnOracle({kSubstr}, Read("pending rows read in pieces, SUBSTR on Oracle",
          {"PENDING_ROW 00000000000000A1|7|0|2 5120|||", "PENDING_ROW 00000000000000A1|7|1|R1\t%25 "
          "it's [x]\t0\t$|||"}, "SELECT SECTION_KEY, INT_VAL, KEY_TYPE, SUBSTRING(CHAR_VAL, 1, "
          "254), SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), SUBSTRING(CHAR_VAL, "
          "763, 254) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY "
          "LIKE 'PENDING_ROW %' AND SUB_KEY = 'R1' ORDER BY INT_VAL, SECTION_KEY, KEY_TYPE")),
      Write("pending row forgotten", 2, forget("A1")),
      Only(kMsOnly, Write("pending rows remembered together", 2, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) VALUES('ARBORLINE', 'PENDING_ROW 00000000000000B1', 'R1', 'x', 8, GETDATE(), "
          "1), ('ARBORLINE', 'PENDING_ROW 00000000000000B2', 'R1', 'y', 9, GETDATE(), 1)")),
      Only(kOracleOnly, Write("pending rows remembered together", 2, "INSERT INTO "
          "[OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, DATE_VAL, "
          "KEY_TYPE) SELECT 'ARBORLINE', 'PENDING_ROW 00000000000000B1', 'R1', 'x', 8, SYSDATE, 1 "
          "FROM DUAL UNION ALL SELECT 'ARBORLINE', 'PENDING_ROW 00000000000000B2', 'R1', 'y', 9, "
          "SYSDATE, 1 FROM DUAL")),
      Read("pending rows remembered together", {"PENDING_ROW 00000000000000B1|8|x",
          "PENDING_ROW 00000000000000B2|9|y"}, "SELECT SECTION_KEY, INT_VAL, CHAR_VAL FROM "
          "[OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY LIKE 'PENDING_ROW "
          "%' AND SUB_KEY = 'R1' ORDER BY INT_VAL"),
      Write("pending row forgotten", 1, forget("B1")),
      Read("highest document number", {"125"}, "SELECT MAX(DOCNUMBER) FROM [OWNER].PROFILE"),
      Read("date compared with a text", {"3"}, "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG WHERE "
          "START_DATE >= '2020-11-13'"),
      OnOracle({{"'2020-11-14'", "TO_DATE('14-NOV-20', 'DD-MON-RR')"}},
          Write("activity clean-up, date as text, TO_DATE with DD-MON-RR on Oracle", 2,
          "DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = 123 AND (ACTIVITY_TYPE IN (45, 46, "
          "47) OR (TYPIST = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') AND "
          "START_DATE = '2020-11-14'))")),
      Read("activity clean-up", {"2"}, "SELECT COUNT(*) FROM [OWNER].ACTIVITYLOG"),
      // Row limits and outer joins.
      Only(kMsOnly, Headed({"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID", "CLIENT.SYSTEM_ID",
          "MATTER.SYSTEM_ID"}, Read("selection with DISTINCT TOP, LEFT OUTER JOIN and aliases",
          {"FIRM MATTERS|\\|C0001|0001|1001|1101", "FIRM MATTERS|\\|C0001|0002|1001|1102"},
          "SELECT DISTINCT TOP 2 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", "
          "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", "
          "MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"\r\n FROM [OWNER].MATTER LEFT OUTER JOIN "
          "[OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE ((CLIENT.SYSTEM_ID NOT IN "
          "(SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'CLIENT' AND "
          "UPPER(RULE_NAME) LIKE 'R2') OR MATTER.SYSTEM_ID NOT IN (SELECT SID FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND UPPER(RULE_NAME) LIKE "
          "'R2'))) ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC"))),
      Only(kOracleOnly, Headed({"", "", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID"},
          Read("selection with ROWNUM and outer join (+)", {"FIRM MATTERS|\\|C0001|0001",
          "FIRM MATTERS|\\|C0001|0002"}, "SELECT DISTINCT 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID "
          "\"CLIENT.CLIENT_ID\", MATTER.MATTER_ID \"MATTER.MATTER_ID\" FROM [OWNER].MATTER, "
          "[OWNER].CLIENT WHERE CLIENT.SYSTEM_ID (+) = MATTER.CLIENT_ID AND MATTER.SYSTEM_ID NOT "
          "IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND "
          "UPPER(RULE_NAME) LIKE 'R2') AND ROWNUM <= 2 ORDER BY CLIENT.CLIENT_ID ASC, "
          "MATTER.MATTER_ID ASC"))),
      OnOracle({{"TOP 1 SYSTEM_ID", "MIN(SYSTEM_ID)"}, {" ORDER BY SYSTEM_ID)", ")"}},
          Write("first matter of a client, TOP 1, MIN on Oracle", 1, "UPDATE [OWNER].PROFILE SET "
          "MATTER = (SELECT TOP 1 SYSTEM_ID FROM [OWNER].MATTER WHERE CLIENT_ID = (SELECT "
          "SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY SYSTEM_ID) WHERE "
          "DOCNUMBER = 125")),
      Read("first matter of a client", {"1101"}, "SELECT MATTER FROM [OWNER].PROFILE WHERE "
          "DOCNUMBER = 125"),
      // Quoted identifiers and folder order; names sort without regard to case.
      OnOracle({kQuotedNext}, Read("sort read with [NEXT], \"NEXT\" on Oracle",
          {"1602|Alpha|1603|N|F|DOCS|DOCS|124", "1601|beta|1602|Y|D|DOCS|DOCS|125",
          "1603|Gamma|0|N|F|DOCS|DOCS|0"}, "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.[NEXT], "
          "FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, FI.DOCNUMBER FROM "
          "[OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
          "FI.PARENT_LIBRARY = PL.SYSTEM_ID AND FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = 123 AND "
          "PL.LIBRARY_NAME = 'DOCS' ORDER BY FI.DISPLAYNAME, FI.SYSTEM_ID")),
      OnOracle({kQuotedNext}, Write("chain written with [NEXT], \"NEXT\" on Oracle", 1,
          "UPDATE [OWNER].FOLDER_ITEM SET [NEXT] = 1601, ISFIRST = 'Y' WHERE SYSTEM_ID = 1602")),
      Read("bare NEXT", {"1603|0"}, "SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE "
          "NEXT = 0 AND PARENT = 123"),
      OnOracle({kQuotedNext}, Write("cross-library item insert with [NEXT], \"NEXT\" on Oracle", 1,
          "INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
          "ISFIRST, [NEXT], REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, "
          "VERSION_TYPE, STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT 1604, 123, 456, "
          "PL.SYSTEM_ID, RL.SYSTEM_ID, 'Y', 0, 1603, 'F', 'O''Neill', 1701, 'R', 0, 0, 0 FROM "
          "[OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE PL.LIBRARY_NAME = 'DOCS' "
          "AND RL.LIBRARY_NAME = 'OTHER'")),
      Read("cross-library item read", {"0|OTHER|O'Neill"}, "SELECT FI.PARENT_LIBRARY, "
          "RL.LIBRARY_NAME, FI.DISPLAYNAME FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES "
          "RL WHERE RL.SYSTEM_ID = FI.LIBRARY AND FI.SYSTEM_ID = 1604"),
      Read("document versions", {"1701", "1702"}, "SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE "
          "DOCNUMBER = 123 ORDER BY VERSION_ID"),
      Read("rights of the login user", {"1"}, "SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE "
          "PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE UPPER(USER_ID) = "
          "'JSMITH') AND GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE "
          "UNIV_ACCESS >= 191)"),
      // Texts, patterns and comparisons.
      OnOracle({kSubstr}, Read("rule rows in four pieces, SUBSTR on Oracle",
          {"SETTINGS|MAXITEMSTOSORT|NULL|500|NULL|NULL|NULL", "RULE_TEMPLATE|R1|" + a + "|NULL|" +
          b + "|" + c + "|" + d}, "SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), "
          "INT_VAL, SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), "
          "SUBSTRING(CHAR_VAL, 763, 254) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' "
          "AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, "
          "SECTION_KEY")),
      // A bracket in a name is escaped as "[[]"; on Oracle the gateway writes ESCAPE '\'.
      Headed({"DOCNUMBER", "DOCNAME", "", "", "PATH"}, Read("public folder lookup, escaped bracket",
          {"123|Acme [UK] Ltd Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup +
          "'ACME [[]UK] LTD%' AND A.APPLICATION = 'FOLDER' AND F.DOCNUMBER IN (SELECT DOCNUMBER "
          "FROM [OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER DESC")),
      // A linked folder is not a top-level one.
      Read("top-level folder lookup, NOT IN linked items", {"123|Acme [UK] Ltd "
          "Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup + "'ACME%' AND A.APPLICATION = 'FOLDER' "
          "AND F.DOCNUMBER NOT IN (SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN "
          "[OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN "
          "[OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = "
          "'F' AND RL.LIBRARY_NAME = 'DOCS' AND PL.LIBRARY_NAME = 'DOCS') ORDER BY F.DOCNUMBER DESC"
          ""),
      // "_" escaped as "[_]" stands for itself: the blank of "ACME UK" does not match it.
      Read("folder lookup, escaped underscore", {}, folder_lookup + "'ACME[_]UK%' AND "
          "A.APPLICATION = 'FOLDER' ORDER BY F.DOCNUMBER DESC"),
      Read("folder item lookup under a parent", {"124|ACME UK LTD|DOCS|DOCS|ARBORLINE"},
          item_lookup + "'ACME%'"),
      Read("folder item lookup under a parent, exact name", {"124|ACME UK LTD|DOCS|DOCS|ARBORLINE"},
          item_lookup + "'acme uk ltd'"),
      Read("folder item lookup under a parent, exact name not there", {},
          "SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN [OWNER].PROFILE PR ON "
          "PR.DOCNUMBER = FI.DOCNUMBER WHERE FI.PARENT = 123 AND UPPER(PR.DOCNAME) LIKE 'ACME UK'"),
      Read("public folder lookup, exact name with an escaped bracket", {"123|Acme [UK] Ltd "
          "Files|DOCS|DOCS|ARBORLINE R1"}, folder_lookup + "'ACME [[]UK] LTD FILES' AND "
          "A.APPLICATION = 'FOLDER' AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "
          "ORDER BY F.DOCNUMBER DESC"),
      Read("unlinked folder by exact name", {}, "SELECT F.DOCNUMBER FROM [OWNER].PROFILE P, "
          "[OWNER].FOLDER F WHERE P.DOCNAME = 'ACME UK LTD' AND F.DOCNUMBER = P.DOCNUMBER AND "
          "(F.PATH = 'ARBORLINE R2' OR (F.PATH IS NULL AND P.TYPIST = (SELECT SYSTEM_ID FROM "
          "[OWNER].PEOPLE WHERE USER_ID = 'JSMITH'))) AND F.DOCNUMBER <> 123 AND F.DOCNUMBER NOT "
          "IN (SELECT DOCNUMBER FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT IN (SELECT PARENT "
          "FROM [OWNER].FOLDER_ITEM) AND F.DOCNUMBER NOT IN (SELECT DOCNUMBER FROM "
          "[OWNER].ROOT_OBJECT) ORDER BY F.DOCNUMBER"),
      Read("user id in any letter case", {"1301"}, "SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE "
          "USER_ID = 'jsmith'"),
      Read("number compared with a text", {"C0002"}, "SELECT CLIENT_ID FROM [OWNER].CLIENT WHERE "
          "SYSTEM_ID = '1002'"),
      Read("NOT IN a list of texts, or NULL", {"2"}, "SELECT COUNT(*) FROM [OWNER].SUBTYPES WHERE "
          "(DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)"),
      Read("COUNT DISTINCT of non-empty texts", {"2"}, "SELECT COUNT(DISTINCT DT_FOLDERNAME) FROM "
          "[OWNER].PCDT WHERE (DT_FOLDERNAME <> '' AND DT_FOLDERNAME IS NOT NULL)"),
      Read("COUNT DISTINCT of non-empty, enabled texts", {"2"}, "SELECT COUNT(DISTINCT NAME_EN) "
          "FROM [OWNER].SUBTYPES WHERE (NAME_EN <> '' AND NAME_EN IS NOT NULL) AND (DISABLED <> "
          "'Y' OR DISABLED IS NULL)"),
      Read("foreign key of a template column", {"CLIENT|SYSTEM_ID|N"}, "SELECT FTBNAME, FCOLNAME, "
          "MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'CLIENT_ID' AND TBNAME = 'MATTER'"),
      Read("disabled column of a lookup table", {"0"}, "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN "
          "WHERE COLNAME = 'DISABLED' AND TBNAME = 'DOCUMENTTYPES'"),
      // Folder building: metadata, queue, trustees, tracking.
      Read("author and typist by self-join", {"JSMITH|ADOE|123"}, "SELECT A.USER_ID, T.USER_ID , "
          "P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE P.AUTHOR = "
          "A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.SYSTEM_ID = 1501"),
      Read("client and matter of a profile", {"C0001|0001"}, "SELECT C.CLIENT_ID, M.MATTER_ID FROM "
          "[OWNER].PROFILE P, [OWNER].MATTER M, [OWNER].CLIENT C WHERE P.MATTER = M.SYSTEM_ID AND "
          "M.CLIENT_ID = C.SYSTEM_ID AND P.DOCNUMBER = 123"),
      Read("chained LEFT OUTER JOINs", {"1502|NULL|JSMITH|NULL|LITIGATION|0"},
          "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS "
          "FROM [OWNER].PROFILE P LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR LEFT "
          "OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER JOIN [OWNER].GROUPS AG "
          "ON AG.SYSTEM_ID = A.PRIMARY_GROUP LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = "
          "T.PRIMARY_GROUP WHERE P.DOCNUMBER = 124"),
      Only(kOracleOnly, Read("outer join (+)", {"1502|NULL|JSMITH"}, "SELECT P.SYSTEM_ID, "
          "A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE "
          "A.SYSTEM_ID (+) = P.AUTHOR AND T.SYSTEM_ID (+) = P.TYPIST AND P.DOCNUMBER = 124")),
      Write("document queued by INSERT ... SELECT", 1, needs_foldering),
      Write("document queued once", 0, needs_foldering),
      Write("trustee inserted from PEOPLE", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 191, 1503 FROM [OWNER].PEOPLE WHERE USER_ID = "
          "'ADOE'"),
      Write("trustee inserted from PROFILE", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT 0, 191, SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125"
          ""),
      Write("trustee inserted from GROUPS", 1, "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, "
          "ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 255, 1503 FROM [OWNER].GROUPS WHERE GROUP_ID = "
          "'DOCS_SUPERVISORS'"),
      Write("trustee set to no rights", 1, "UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = 16711680 "
          "WHERE THING = 1503 AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE "
          "GROUP_ID = 'DOCS_SUPERVISORS')"),
      Read("trustees read with people and groups", {"ADOE|NULL|191", "NULL|DOCS_USERS|191",
          "NULL|DOCS_SUPERVISORS|16711680"}, "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM "
          "[OWNER].SECURITY S LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
          "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP LEFT OUTER JOIN "
          "[OWNER].PROFILE R ON R.SYSTEM_ID = S.THING WHERE R.DOCNUMBER = 125"),
      Write("tracking rows by INSERT ... SELECT ... ORDER BY", 3, "INSERT INTO "
          "[OWNER].QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) SELECT "
          "SYSTEM_ID, 'MATTER', 'R3', 0, '' FROM [OWNER].MATTER ORDER BY SYSTEM_ID"),
      Write("profile columns of a new folder", 1, "UPDATE [OWNER].PROFILE SET DOCNAME = 'ACME UK "
          "LTD', FORM = 5, FULLTEXT = 'Y', STORAGETYPE = 'A', PATH = '', RETENTION = 0, EMAIL_SENT "
          "= NULL, EMAIL_RECEIVED = NULL WHERE DOCNUMBER = 124"),
      Write("author set by sub-select", 1, "UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID "
          "FROM [OWNER].PEOPLE WHERE USER_ID = 'jsmith') WHERE DOCNUMBER = 124"),
      Write("form set by sub-select", 1, "UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM "
          "[OWNER].FORMS WHERE FORM_NAME = 'folder_prof') WHERE DOCNUMBER = 124"),
      Read("author and form read back", {"JSMITH|FOLDER_PROF"}, "SELECT A.USER_ID, F.FORM_NAME "
          "FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].FORMS F WHERE A.SYSTEM_ID = P.AUTHOR "
          "AND F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = 124"),
      Write("e-mail address and site columns", 1, "UPDATE [OWNER].PROFILE SET PD_ADDRESSEE = "
          "'x@example.com', DIVISION = NULL, ATTY = NULL WHERE DOCNUMBER = 124"),
      Read("e-mail address in use", {"1"}, "SELECT COUNT(*) FROM [OWNER].PROFILE WHERE "
          "PD_ADDRESSEE = 'x@example.com'"),
      Write("public folder's display name", 1, "UPDATE [OWNER].ROOT_OBJECT SET DISPLAYNAME = 'Acme "
          "[UK] Ltd Files' WHERE DOCNUMBER = 123"),
      Write("root object removed", 0, "DELETE FROM [OWNER].ROOT_OBJECT WHERE DOCNUMBER = 124"),
      Write("profile status", 1, "UPDATE [OWNER].PROFILE SET STATUS = 0 WHERE DOCNUMBER = 124"),
      Write("item renamed, libraries by sub-select", 1, "UPDATE [OWNER].FOLDER_ITEM SET "
          "DISPLAYNAME = 'Alpha 2' WHERE DOCNUMBER = 124 AND PARENT = 123 AND PARENT_LIBRARY = "
          "(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'DOCS') AND "
          "LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'docs')"),
      Write("everyone's trustee removed", 1, "DELETE FROM [OWNER].SECURITY WHERE THING = (SELECT "
          "SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 123) AND PERSONORGROUP = 0"),
      Read("rights on the parent folder, BETWEEN and nested sub-selects", {"1"},
          "SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND THING = "
          "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = 125) AND (PERSONORGROUP = "
          "(SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH') OR PERSONORGROUP IN "
          "(SELECT GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT "
          "SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'ADOE')))"),
      Write("column copied within a row", 1, "UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE "
          "DOCNUMBER = 125"),
      Write("security link to the row itself", 1, "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1, "
          "SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98 WHERE SYSTEM_ID = 1503"),
      Read("security link to the row itself", {"1301|1|1503|98"}, "SELECT AUTHOR, DEFAULT_RIGHTS, "
          "SECURITY_LINK, SEC_REASON_LINK FROM [OWNER].PROFILE WHERE DOCNUMBER = 125"),
      Write("default rights put back", 1, "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 0 WHERE "
          "SYSTEM_ID = 1503"),
      Read("tracking exclusion NOT EXISTS", {}, "SELECT MATTER.MATTER_ID FROM [OWNER].MATTER WHERE "
          "NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE QUIL_SPROUTSMITH.SID = "
          "MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = 'R3')"),
      Write("security queue cleared", 0, "DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = 123"),
      // Workspaces.
      Read("user's primary library", {"DOCS"}, "SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES "
          "WHERE SYSTEM_ID = (SELECT PRIMARY_LIB FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH')"),
      Read("user's address and primary library", {"NULL|0"}, "SELECT EMAIL_ADDRESS, PRIMARY_LIB "
          "FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH'"),
      Read("user's workspaces", {"1801"}, "SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE "
          "UPPER(ENTITYSCOPE) = 'USER' AND ENTITYID = 1301 AND UPPER(NAME) = 'WORKSPACES'"),
      Write("workspace entry", 1, "INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, "
          "ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(1802, 'Acme', 'PROPERTY', 'REGISTRY', "
          "1801, 'WMAcme', 'String')"),
      Write("workspace entry property", 1, "INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, "
          "DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) VALUES('PROPERTY', 'REGISTRY', 'String', "
          "'ORDERNUMBER', '1', 1802, 1803)"),
      Read("highest order number", {"1"}, "SELECT DATA FROM [OWNER].REGISTRY WHERE UPPER(NAME) = "
          "'ORDERNUMBER' AND ENTITYID IN (SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = "
          "1801)"),
      // Maintenance tools.
      Read("tracking rows listed", {"R1|CLIENT|1001", "R3|MATTER|1101", "R3|MATTER|1102",
          "R3|MATTER|1103"}, "SELECT RULE_NAME, TABLE_NAME, SID FROM [OWNER].QUIL_SPROUTSMITH "
          "ORDER BY RULE_NAME, TABLE_NAME, SID"),
      Read("tracking rows of a rule counted", {"3"}, "SELECT COUNT(*) FROM "
          "[OWNER].QUIL_SPROUTSMITH WHERE UPPER(RULE_NAME) = 'R3'"),
      Write("tracking rows of a rule reset", 3, "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE "
          "UPPER(RULE_NAME) = 'R3'"),
      Write("one tracking row removed", 1, "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE SID = 1001 "
          "AND TABLE_NAME = 'CLIENT' AND RULE_NAME = 'R1'"),
      Write("saved rule statement cleared", 0, "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY "
          "= 'ARBORLINE' AND SECTION_KEY LIKE 'RULE_SPROUTSMITH_SQL%' AND SUB_KEY = 'R1'"),
      Write("saved rule statement written", 1, "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, "
          "SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE) VALUES('ARBORLINE', "
          "'RULE_SPROUTSMITH_SQL_1', 'R1', 'SELECT 1', NULL, 1)"),
      // clang-format on
  };
}

class StatementCorpusTest : public testing::EngineSession,
                            public ::testing::WithParamInterface<testing::FlavourOnBackEnd> {
 protected:
  int Engine() const { return std::get<0>(GetParam()); }
  bool Oracle() const { return Engine() == 2; }
  sql::Backend Backend() const { return std::get<1>(GetParam()); }

  void SetUp() override {
    install_.backend = Backend();
    install_.Create({{.name = "DOCS", .engine_code = Engine(), .owner = kOwner, .generate = false},
                     {.name = "OTHER", .owner = kOwner, .generate = false}},
                    "JSMITH");
    const sql::ExecResult fixture = install_.OpenLibrary("DOCS")->ExecuteScript(
        text::Replace(kFixture, "@LONG_TEXT@", LongText(Backend())));
    ASSERT_TRUE(fixture.ok()) << fixture.status.text;
    // The client hands the server's clock to every library database it opens.
    client_ = dmapi::OpenInstallation(install_.config, &kServerClock);
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    // The statements start-up sent itself ran as well.
    EXPECT_GT(Count("Executing "), 10);
    EXPECT_EQ(Count("SQL Error #"), 0) << Dump();
    const sql::ExecResult undone = install_.OpenLibrary("DOCS")->ExecuteScript(kUndoPreparation);
    ASSERT_TRUE(undone.ok()) << undone.status.text;
  }

  // The shapes this flavour is sent, each in the text the engine writes for it.
  std::vector<Shape> Shapes() {
    std::vector<Shape> out;
    for (Shape shape : Corpus(Banner())) {
      if ((shape.flavours & (Oracle() ? kOracleOnly : kMsOnly)) == 0) continue;
      for (const auto& [from, to] : Oracle() ? shape.oracle : Edits()) {
        shape.sql = text::Replace(shape.sql, from, to);
        for (std::string& row : shape.rows) row = text::Replace(row, from, to);
      }
      out.push_back(shape);
    }
    return out;
  }

  // What @@VERSION answers on the back end.
  std::string Banner() {
    if (Backend() == sql::Backend::kSqlite) {
      return std::string("15 - 0 (Sproutsmith DM stand-in on SQLite ") + sqlite3_libversion() + ")";
    }
    return "15 - 0 (Sproutsmith DM stand-in on PostgreSQL " +
           testing::FirstValue(install_.Query("DOCS", "SHOW server_version")) + ")";
  }

  // The rows of the last statement as the engine reads them.
  std::vector<std::string> Rows() {
    dmapi::SqlObject& sql = *connection().sql();
    std::vector<std::string> out;
    connection().ForEachRow([&] {
      std::string row;
      for (int n = 1; n <= sql.ColumnCount(); ++n) {
        const sql::Value v = sql.ColumnValue(n);
        row += (n > 1 ? "|" : "") + (v.IsNull() ? std::string("NULL") : v.text);
      }
      out.push_back(row);
      return true;
    });
    return out;
  }
  std::vector<std::string> Headings() {
    std::vector<std::string> out;
    for (int n = 1; n <= connection().sql()->ColumnCount(); ++n) {
      out.push_back(connection().sql()->ColumnName(n));
    }
    return out;
  }
};

// Without ORDER BY the server promises no order.
bool Ordered(const Shape& shape) { return text::InStrNoCase(shape.sql, "ORDER BY") != 0; }

TEST_P(StatementCorpusTest, EveryShapeRunsWithTheRowsTheEngineExpects) {
  // The facts the texts are prepared with are the server's own: a current SQL Server keeps
  // TRY_CAST, and the owner is the library's, not the default.
  // The major version comes from the @@VERSION banner, read as far as its "(".
  EXPECT_EQ(Describe(connection().facts()),
            Oracle() ? "Oracle (2) LAWADM  level  join ' (+) = ' concat ' || ' \"NEXT\" connected"
                     : "MSSQL 15 (10) LAWADM 15.0.2000.5 level 150 join ' = ' concat ' + ' [NEXT] "
                       "connected");
  const std::vector<Shape> shapes = Shapes();
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(std::string(shape.id) + "\n  sent: " + connection().PrepareSql(shape.sql));
    ASSERT_TRUE(connection().RunSQL(shape.sql));
    ASSERT_TRUE(connection().LastSucceeded()) << connection().sql()->ErrDescription();
    if (shape.affected >= 0) {
      EXPECT_EQ(connection().RowsAffected(), shape.affected);
      EXPECT_EQ(connection().sql()->GetRowCount(), 0);
    } else {
      // A query never reports changed rows (the gateway would not position on row 1).
      EXPECT_EQ(connection().RowsAffected(), 0);
      std::vector<std::string> rows = Rows();
      std::vector<std::string> expected = shape.rows;
      if (!Ordered(shape)) {
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
      }
      EXPECT_EQ(rows, expected);
      if (!shape.headings.empty()) {
        EXPECT_EQ(Headings(), shape.headings);
      }
    }
    connection().Release();
  }
}

INSTANTIATE_TEST_SUITE_P(BothFlavoursOnBothBackEnds, StatementCorpusTest,
                         testing::BothFlavoursOnBothBackEnds(), testing::FlavourOnBackEndName);

}  // namespace
}  // namespace sproutsmith::dm
