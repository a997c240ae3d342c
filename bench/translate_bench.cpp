// What translation adds to each engine statement on SQLite: Translate + Execute against
// Execute of the already translated text, for a mix of the engine's statement shapes on a
// small library; and the same through the cache of shapes the gateway uses (one translation
// per shape, the literals bound to a statement kept prepared). All are measured in the same
// process, alternating rounds; the report is the median round of each and their ratios.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sql/dialect/translation_cache.h"
#include "platform/sql/dialect/translator.h"
#include "platform/sql/sqlite_database.h"

namespace {

using sproutsmith::sql::ExecResult;
using sproutsmith::sql::Flavour;
using sproutsmith::sql::SqliteDatabase;
using sproutsmith::sql::TranslateOptions;
using sproutsmith::sql::TranslationCache;

constexpr int kRounds = 9;
constexpr int kPassesPerRound = 40;

const char* const kSchema = R"(
CREATE TABLE CLIENT (SYSTEM_ID INTEGER PRIMARY KEY, CLIENT_ID VARCHAR(32) COLLATE NOCASE);
CREATE TABLE MATTER (SYSTEM_ID INTEGER PRIMARY KEY, CLIENT_ID INTEGER, MATTER_ID VARCHAR(32));
CREATE TABLE DOCUMENTTYPES (SYSTEM_ID INTEGER PRIMARY KEY, TYPE_ID VARCHAR(32));
CREATE TABLE PEOPLE (SYSTEM_ID INTEGER PRIMARY KEY, USER_ID VARCHAR(64) COLLATE NOCASE,
  PRIMARY_GROUP INTEGER);
CREATE TABLE GROUPS (SYSTEM_ID INTEGER PRIMARY KEY, GROUP_ID VARCHAR(64), UNIV_ACCESS INTEGER);
CREATE TABLE PROFILE (SYSTEM_ID INTEGER PRIMARY KEY, DOCNUMBER INTEGER, DOCNAME VARCHAR(240),
  AUTHOR INTEGER, TYPIST INTEGER, MATTER INTEGER, DEFAULT_RIGHTS INTEGER);
CREATE TABLE FOLDER (DOCNUMBER INTEGER PRIMARY KEY, PATH VARCHAR(255), LAST_UPDATE DATETIME);
CREATE TABLE FOLDER_ITEM (SYSTEM_ID INTEGER PRIMARY KEY, PARENT INTEGER, DOCNUMBER INTEGER,
  DISPLAYNAME VARCHAR(255), NEXT INTEGER, ISFIRST VARCHAR(1));
CREATE INDEX IX_FI_PARENT ON FOLDER_ITEM (PARENT);
CREATE TABLE DOCSCOLUMN (SYSTEM_ID INTEGER PRIMARY KEY, TBNAME VARCHAR(64), COLNAME VARCHAR(64),
  FTBNAME VARCHAR(64), FCOLNAME VARCHAR(64), MULTI_VALUE VARCHAR(1));
CREATE TABLE QUIL_SETTINGS (MASTER_KEY VARCHAR(64), SECTION_KEY VARCHAR(64), SUB_KEY VARCHAR(255),
  CHAR_VAL VARCHAR(4000), INT_VAL NUMERIC, DATE_VAL DATETIME);
CREATE TABLE QUIL_SPROUTSMITH (SID INTEGER NOT NULL, TABLE_NAME VARCHAR(64), RULE_NAME VARCHAR(255));
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
INSERT INTO PROFILE SELECT 10000 + i, i, 'Document ' || i, 1 + i % 20, 1 + i % 7, 100 + i % 600, 0 FROM n;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)
INSERT INTO MATTER SELECT 100 + i, 1000 + i % 200, printf('%04d', i / 200 + 1) FROM n;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 199)
INSERT INTO CLIENT SELECT 1000 + i, printf('C%04d', i) FROM n;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)
INSERT INTO PEOPLE SELECT i, 'USER' || i, 500 + i % 3 FROM n;
INSERT INTO GROUPS VALUES (500, 'DOCS_USERS', 63), (501, 'LIT', 191), (502, 'TAX', 127);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO FOLDER_ITEM SELECT 20000 + i, 1 + i % 10, i, 'Item ' || i, 0, 'N' FROM n;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50)
INSERT INTO FOLDER SELECT i, 'ARBORLINE R1', NULL FROM n;
INSERT INTO DOCSCOLUMN VALUES (1, 'PROFILE', 'MATTER', 'MATTER', 'SYSTEM_ID', 'N'),
  (2, 'MATTER', 'CLIENT_ID', 'CLIENT', 'SYSTEM_ID', 'N');
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO QUIL_SPROUTSMITH SELECT 100 + i, 'MATTER', 'R1' FROM n;
)";

struct Statement {
  Flavour flavour;
  const char* sql;
};

// Shapes as the gateway hands them over, in rough proportion to how often a cycle sends them.
const Statement kMix[] = {
    {Flavour::kMicrosoft,
     "SELECT DISTINCT TOP 100 'FIRM MATTERS', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", "
     "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", "
     "MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"\r\n FROM DOCSADM.MATTER LEFT OUTER JOIN "
     "DOCSADM.CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE (MATTER.SYSTEM_ID NOT IN "
     "(SELECT SID FROM DOCSADM.QUIL_SPROUTSMITH WHERE UPPER(TABLE_NAME) = 'MATTER' AND "
     "UPPER(RULE_NAME) LIKE 'R1')) ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC OPTION "
     "(MAXDOP 1)"},
    {Flavour::kMicrosoft,
     "SELECT FTBNAME, FCOLNAME, MULTI_VALUE FROM DOCSADM.DOCSCOLUMN WHERE COLNAME = 'MATTER' AND "
     "TBNAME = 'PROFILE' OPTION (MAXDOP 1)"},
    {Flavour::kMicrosoft,
     "select count(*) from sysobjects \r\nwhere id = object_id('DOCSADM.QUIL_SETTINGS') \r\nand "
     "sysstat & 0xf = 3  OPTION (MAXDOP 1)"},
    {Flavour::kMicrosoft,
     "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM "
     "DOCSADM.PROFILE P LEFT OUTER JOIN DOCSADM.PEOPLE A ON A.SYSTEM_ID = P.AUTHOR LEFT OUTER "
     "JOIN DOCSADM.PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER JOIN DOCSADM.GROUPS AG ON "
     "AG.SYSTEM_ID = A.PRIMARY_GROUP LEFT OUTER JOIN DOCSADM.GROUPS TG ON TG.SYSTEM_ID = "
     "T.PRIMARY_GROUP WHERE P.DOCNUMBER = 123 OPTION (MAXDOP 1)"},
    {Flavour::kMicrosoft,
     "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.[NEXT], FI.ISFIRST FROM DOCSADM.FOLDER_ITEM FI "
     "WHERE FI.PARENT = 3 ORDER BY FI.DISPLAYNAME OPTION (MAXDOP 1)"},
    {Flavour::kMicrosoft,
     "UPDATE DOCSADM.FOLDER SET LAST_UPDATE = GETUTCDATE(), PATH = 'ARBORLINE R1' WHERE "
     "DOCNUMBER = 7"},
    {Flavour::kMicrosoft,
     "UPDATE DOCSADM.PROFILE SET MATTER = (SELECT TOP 1 SYSTEM_ID FROM DOCSADM.MATTER WHERE "
     "CLIENT_ID = (SELECT SYSTEM_ID FROM DOCSADM.CLIENT WHERE CLIENT_ID = 'C0001') ORDER BY "
     "SYSTEM_ID) WHERE DOCNUMBER = 123"},
    {Flavour::kMicrosoft,
     "INSERT INTO DOCSADM.QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
     "VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', 'PC1:R1', GETDATE())"},
    {Flavour::kMicrosoft,
     "DELETE FROM DOCSADM.QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = "
     "'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' AND ((CHAR_VAL LIKE 'PC1:%' OR CHAR_VAL IS "
     "NULL) OR DATE_VAL IS NULL)"},
    {Flavour::kOracle,
     "SELECT P.DOCNUMBER, A.USER_ID FROM DOCSADM.PROFILE P, DOCSADM.PEOPLE A WHERE A.SYSTEM_ID "
     "(+) = P.AUTHOR AND P.DOCNUMBER = 124 AND ROWNUM <= 10"},
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("sproutsmith-translate-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string error;
  auto db = SqliteDatabase::Open((dir / "bench.db").string(), true, &error);
  if (!db) {
    std::fprintf(stderr, "cannot open the bench library: %s\n", error.c_str());
    return 1;
  }
  const ExecResult schema = db->ExecuteScript(kSchema);
  if (!schema.ok()) {
    std::fprintf(stderr, "cannot build the bench library: %s\n", schema.status.text.c_str());
    return 1;
  }

  std::vector<TranslateOptions> options;
  std::vector<std::string> translated;
  for (const Statement& s : kMix) {
    TranslateOptions o;
    o.flavour = s.flavour;
    o.owners = {"DOCSADM", "dbo"};
    options.push_back(o);
    translated.push_back(sproutsmith::sql::Translate(s.sql, o));
    const ExecResult r = db->Execute(translated.back());
    if (!r.ok()) {
      std::fprintf(stderr, "statement fails: %s\n  %s\n", r.status.text.c_str(),
                   translated.back().c_str());
      return 1;
    }
  }
  const size_t n = translated.size();
  std::vector<std::unique_ptr<TranslationCache>> caches;
  for (const TranslateOptions& o : options) caches.push_back(std::make_unique<TranslationCache>(o));
  std::vector<double> direct, through, alone, shaped, shaped_alone;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < kPassesPerRound; ++pass) {
      for (size_t i = 0; i < n; ++i) db->Execute(translated[i]);
    }
    direct.push_back(Seconds(std::chrono::steady_clock::now() - start));

    start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < kPassesPerRound; ++pass) {
      for (size_t i = 0; i < n; ++i)
        db->Execute(sproutsmith::sql::Translate(kMix[i].sql, options[i]));
    }
    through.push_back(Seconds(std::chrono::steady_clock::now() - start));

    start = std::chrono::steady_clock::now();
    size_t sink = 0;
    for (int pass = 0; pass < kPassesPerRound; ++pass) {
      for (size_t i = 0; i < n; ++i)
        sink += sproutsmith::sql::Translate(kMix[i].sql, options[i]).size();
    }
    alone.push_back(Seconds(std::chrono::steady_clock::now() - start));

    start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < kPassesPerRound; ++pass) {
      for (size_t i = 0; i < n; ++i) caches[i]->Execute(*db, kMix[i].sql);
    }
    shaped.push_back(Seconds(std::chrono::steady_clock::now() - start));

    start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < kPassesPerRound; ++pass) {
      for (size_t i = 0; i < n; ++i) sink += caches[i]->Translate(kMix[i].sql).text.size();
    }
    shaped_alone.push_back(Seconds(std::chrono::steady_clock::now() - start));
    if (sink == 0) return 1;
  }
  const double statements = static_cast<double>(kPassesPerRound) * static_cast<double>(n);
  const double base = Median(direct) / statements * 1e6;
  const double with = Median(through) / statements * 1e6;
  const double translate = Median(alone) / statements * 1e6;
  std::printf("statement mix: %zu shapes, %d rounds of %d passes\n", n, kRounds, kPassesPerRound);
  std::printf("Execute of translated text:  %8.1f us/statement (baseline)\n", base);
  std::printf("Translate + Execute:         %8.1f us/statement\n", with);
  std::printf("Translate alone:             %8.1f us/statement\n", translate);
  const double cached = Median(shaped) / statements * 1e6;
  const double cached_alone = Median(shaped_alone) / statements * 1e6;
  std::printf("shape cache + Execute:       %8.1f us/statement\n", cached);
  std::printf("shape cache alone:           %8.1f us/statement\n", cached_alone);
  std::printf("ratio Translate+Execute / Execute: %.3f\n", with / base);
  std::printf("ratio shape cache+Execute / Execute: %.3f\n", cached / base);
  db.reset();
  std::filesystem::remove_all(dir);
  return 0;
}
