// What connecting a library learns, repairs and warns about: the unique-document-names
// warning, the DM validation tables, the target library's row in the connected library's
// REMOTE_LIBRARIES, and the FOLDER.LAST_UPDATE repair (the dictionary row is written only for a
// column that is really there, and each flavour's server gets a type it knows).

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/sql/fault_injecting_database.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"
#include "support/product_name.h"

namespace sproutsmith::dm {
namespace {

const std::string kRule(70, '-');
constexpr const char* kProduct = testing::kProductName;

class LibraryPreparationTest : public testing::EngineSession {
 protected:
  // The line after the first one since the last Mark() equal to `line` ("<none>": none).
  std::string After(const std::string& line) const {
    const auto lines = LinesSince();
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i] == line) return lines[i + 1];
    }
    return "<none>";
  }
  std::string Setting(const std::string& section, const std::string& key) {
    return install_.settings.Get(kProduct, section, key, "<absent>");
  }
};

std::string UniqueNamesWarning(const std::string& library) {
  return "The library setting Unique Document Names is enabled. This will require you to have "
         "unique folder names in order to use Arborline in library " +
         library + ".";
}

// One run of the program after another over the same libraries and user settings.
struct UniqueNamesRun {
  const char* parameter;  // DOCSParms.UniqueDocNames of DEMO for this run
  int display_errors;
  const char* command_line;
  bool warned;
  bool shown;
  const char* saved;  // UniqueNameWarning of DEMO afterwards
};

TEST_F(LibraryPreparationTest, TheUniqueNamesWarningComesOnceEachTimeTheParameterIsSwitchedOn) {
  install_.Create({{.name = "DEMO", .with_rules = false}, {.name = "OTHER", .with_rules = false}});
  const UniqueNamesRun runs[] = {
      {"-1", 1, "", true, true, "-1"},        // first found on: warned and shown
      {"-1", 1, "", false, false, "-1"},      // still on: already warned
      {"0", 1, "", false, false, "0"},        // switched off
      {"-1", 0, "", true, false, "-1"},       // on again: warned, not shown without display errors
      {"", 1, "", false, false, "0"},         // not set at all counts as off
      {"-1", 1, "/G /X", true, false, "-1"},  // an unattended run logs it only
  };
  for (size_t run = 0; run < std::size(runs); ++run) {
    const UniqueNamesRun& r = runs[run];
    SCOPED_TRACE("run " + std::to_string(run + 1));
    install_.Exec("DEMO", std::string("UPDATE STANDIN_PARAMETERS SET PARAM_VALUE = '") +
                              r.parameter + "' WHERE PARAM_NAME = 'DOCSParms.UniqueDocNames'");
    install_.options.CheckDisplayErrors = r.display_errors;
    install_.state.CommandLine = r.command_line;
    install_.ui.messages.clear();
    Mark();
    ASSERT_TRUE(Restart()) << Dump();
    // Connecting it again in the same run learns nothing new and warns no more.
    ASSERT_TRUE(connection().ConnectLibrary("OTHER"));
    ASSERT_TRUE(connection().ConnectLibrary("DEMO"));

    const std::string line = Stamped("Warning: ", UniqueNamesWarning("DEMO"));
    EXPECT_EQ(Since(line), r.warned ? 1 : 0) << Dump();
    if (r.warned) {
      EXPECT_EQ(After(line), kRule);
    }
    ASSERT_EQ(install_.ui.messages.size(), r.shown ? 1u : 0u);
    if (r.shown) {
      EXPECT_EQ(install_.ui.messages[0].text, "Warning: " + UniqueNamesWarning("DEMO"));
      EXPECT_EQ(install_.ui.messages[0].title, "WARNING!");
      EXPECT_EQ(install_.ui.messages[0].style, runtime::MessageStyle::kExclamation);
    }
    EXPECT_EQ(Setting("DEMO", "UniqueNameWarning"), r.saved);
    // Each library keeps its own setting.
    EXPECT_EQ(Setting("OTHER", "UniqueNameWarning"), "0");
    EXPECT_EQ(Since(UniqueNamesWarning("OTHER")), 0);
  }
}

constexpr char kValidationQuery[] =
    "SELECT TABLE_NAME, SYSTEM_ID FROM DOCSADM.DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY "
    "TABLE_NAME OPTION (MAXDOP 1)";

using ValidationTables = std::vector<std::pair<std::string, long long>>;

TEST_F(LibraryPreparationTest, ValidationTablesAreReadInNameOrderWhenLookupSecurityExists) {
  install_.Create({{.name = "DEMO", .with_rules = false},
                   {.name = "BARE", .with_rules = false, .with_optional_tables = false}});
  // A validation table of the site's own, named to sort first.
  install_.Exec("DEMO",
                "INSERT INTO DOCSTABLE (SYSTEM_ID, TABLE_NAME, VALIDATION_TABLE) "
                "VALUES (90001, 'AREA', 'Y')");
  ASSERT_TRUE(Restart()) << Dump();

  ValidationTables expected;
  for (const auto& row : Query("DEMO",
                               "SELECT TABLE_NAME, SYSTEM_ID FROM DOCSTABLE WHERE "
                               "VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME")) {
    expected.emplace_back(row[0], std::stoll(row[1]));
  }
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(expected.front().first, "AREA");
  EXPECT_EQ(connection().library_state().ValidationTables, expected);
  EXPECT_EQ(After(kValidationQuery),
            "SQL Instruction Executed Successfully on DEMO with 4 row(s) returned.")
      << Dump();
  EXPECT_EQ(Count("Checking for LOOKUP_SECURITY Table in library DEMO"), 1);
  // Without LOOKUP_SECURITY nothing is read, and the other library's list does not linger.
  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("BARE")) << Dump();
  EXPECT_TRUE(connection().library_state().ValidationTables.empty());
  EXPECT_EQ(Since("LOOKUP_SECURITY not found in library BARE"), 1) << Dump();
  EXPECT_EQ(Since("FROM DOCSADM.DOCSTABLE WHERE VALIDATION_TABLE"), 0);
  // Back in DEMO the list comes from what was learnt, without asking again.
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  EXPECT_EQ(connection().library_state().ValidationTables, expected);
  EXPECT_EQ(Count(kValidationQuery), 1);
}

// CheckSQLSettings: the target's row in the connected library's REMOTE_LIBRARIES names the
// target's owner. A missing or unusable row is logged and the connection goes on; the owner
// is then learnt from the target library itself.
struct RemoteRowCase {
  const char* name;
  const char* change;   // SQL on DEMO before the switch ("" none)
  const char* refused;  // statement fragment DEMO's server refuses ("" none)
  const char* error;    // the "Error: " line logged, without its prefix ("" none)
  bool owner_from_row;  // the owner came from the row, so no detection runs for OTHER
  friend void PrintTo(const RemoteRowCase& c, std::ostream* os) { *os << c.name; }
};

constexpr char kNotConfigured[] =
    "The library you are attempting to connect to (OTHER) is not properly configured in the "
    "REMOTE_LIBRARIES table in your current library (DEMO)";
const RemoteRowCase kRemoteRowCases[] = {
    // clang-format off
    {"RowPresent", "", "", "", true},
    {"OwnerPaddedWithBlanks", "UPDATE REMOTE_LIBRARIES SET OWNER = '  OTHEROWN  ' WHERE "
        "LIBRARY_NAME = 'OTHER'", "", "", true},
    {"RowMissing", "DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'", "", kNotConfigured,
        false},
    {"RowNamesAnotherLibrary", "UPDATE REMOTE_LIBRARIES SET LIBRARY_NAME = 'OTHERS' WHERE "
        "LIBRARY_NAME = 'OTHER'", "", kNotConfigured, false},
    {"RowWithoutOwner", "UPDATE REMOTE_LIBRARIES SET OWNER = '' WHERE LIBRARY_NAME = 'OTHER'", "",
        "", false},
    {"StatementRefused", "", "LIB_LOGIN_UNAME", "Unable to obtain results from SQL statement in "
        "library DEMO", false},
    // clang-format on
};

class RemoteRowTest : public LibraryPreparationTest,
                      public ::testing::WithParamInterface<RemoteRowCase> {};

TEST_P(RemoteRowTest, TheTargetsOwnerIsLearntOrTheRowIsReportedAndTheConnectionGoesOn) {
  const RemoteRowCase& c = GetParam();
  install_.Create({{.name = "DEMO", .with_rules = false},
                   {.name = "OTHER", .owner = "OTHEROWN", .with_rules = false}});
  const std::string refused = c.refused;
  ASSERT_TRUE(Restart(testing::FaultInjectingOpener(
      [refused](const std::string&, sql::FaultInjectingDatabase& db) {
        db.FailStatementsContaining(refused);
      },
      "DEMO")))
      << Dump();
  if (*c.change) install_.Exec("DEMO", c.change);

  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("OTHER")) << Dump();
  const std::string checking = "Checking SQL connection settings in DEMO to OTHER";
  EXPECT_EQ(Since(checking), 1);
  EXPECT_EQ(After(checking), kRule);
  EXPECT_EQ(Since("SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM "
                  "DOCSADM.REMOTE_LIBRARIES WHERE LIBRARY_NAME IN ('DEMO', 'OTHER') "
                  "OPTION (MAXDOP 1)"),
            1)
      << Dump();
  EXPECT_EQ(Since("Error: "), *c.error ? 1 : 0) << Dump();
  if (*c.error) {
    const std::string line = Stamped("Error: ", c.error);
    EXPECT_EQ(Since(line), 1) << Dump();
    EXPECT_EQ(After(line), kRule);
  }
  if (c.owner_from_row) {
    EXPECT_EQ(Since("Identifying database owner using SQL"), 0) << Dump();
  } else {
    // Asked of the target itself, without an owner prefix.
    EXPECT_EQ(Since("SELECT OWNER FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER' "
                    "OPTION (MAXDOP 1)"),
              1)
        << Dump();
    EXPECT_EQ(After("SQL Database_Engine value is 10"), kRule);
    EXPECT_EQ(Since("SQL Database Owner is OTHEROWN"), 1) << Dump();
  }

  EXPECT_EQ(connection().LibraryName(), "OTHER");
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
  EXPECT_TRUE(connection().facts().LibraryConnected);
  EXPECT_EQ(Since("Connected to MSSQL 15 Library Object OTHER."), 1);
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].PROFILE");
  EXPECT_TRUE(connection().LastSucceeded()) << Dump();
  connection().Release();
  // The owner is learnt once: the next switch asks nothing about it.
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  Mark();
  ASSERT_TRUE(connection().ConnectLibrary("OTHER"));
  EXPECT_EQ(Since("Checking SQL connection settings"), 0);
  EXPECT_EQ(Since("Executing "), 0) << Dump();
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoteRowTest, ::testing::ValuesIn(kRemoteRowCases),
                         [](const auto& p) { return std::string(p.param.name); });

using testing::DmInstallation;

constexpr char kDictionaryRows[] =
    "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'";
constexpr char kColumns[] =
    "SELECT COUNT(*) FROM pragma_table_info('FOLDER') WHERE name = 'LAST_UPDATE'";

// One process start over the installation; `refused` statements fail as the server
// refuses them.
struct Start {
  Start(DmInstallation& install, const std::string& refused) {
    client = install.OpenClient(testing::FaultInjectingOpener(
        [refused](const std::string&, sql::FaultInjectingDatabase& db) {
          db.FailStatementsContaining(refused);
        }));
    connection = std::make_unique<Connection>(install.context, *client);
    started = connection->StartFusion();
  }
  std::unique_ptr<dmapi::Client> client;
  std::unique_ptr<Connection> connection;
  bool started = false;
};

TEST(FolderLastUpdateTest, TheDictionaryRowFollowsTheColumnOnBothFlavours) {
  struct Case {
    int engine;
    const char* alter;
  };
  for (const Case c : {Case{10, "ALTER TABLE DOCSADM.FOLDER ADD LAST_UPDATE DATETIME NULL"},
                       Case{2, "ALTER TABLE DOCSADM.FOLDER ADD LAST_UPDATE DATE NULL"}}) {
    SCOPED_TRACE(c.engine);
    DmInstallation install;
    install.Create({{.name = "LIB", .engine_code = c.engine, .with_rules = false}});
    install.options.CheckLogMethod = 1;
    {
      // The server refuses the ALTER: no dictionary row, no stamp, the flag stays false.
      Start refused(install, "ADD LAST_UPDATE");
      ASSERT_TRUE(refused.started) << install.LogText();
      EXPECT_FALSE(refused.connection->library_state().HasFolderLastUpdate);
      EXPECT_EQ(install.CountLogLines(c.alter), 1) << install.LogText();
      EXPECT_EQ(install.CountLogLines(
                    "Unable to add the LAST_UPDATE column to the FOLDER table in library "
                    "LIB"),
                1);
      EXPECT_EQ(install.CountLogLines("SET LAST_UPDATE"), 0);
      EXPECT_EQ(install.Scalar("LIB", kDictionaryRows), "0");
      EXPECT_EQ(install.Scalar("LIB", kColumns), "0");
    }
    {
      // The next start tries again and succeeds.
      Start accepted(install, "");
      ASSERT_TRUE(accepted.started) << install.LogText();
      EXPECT_TRUE(accepted.connection->library_state().HasFolderLastUpdate);
      EXPECT_EQ(install.CountLogLines(c.alter), 2);
      EXPECT_EQ(install.Scalar("LIB", kDictionaryRows), "1");
      EXPECT_EQ(install.Scalar("LIB", kColumns), "1");
    }
    {
      Start again(install, "");
      ASSERT_TRUE(again.started);
      EXPECT_TRUE(again.connection->library_state().HasFolderLastUpdate);
      EXPECT_EQ(install.CountLogLines(c.alter), 2) << "added once";
      EXPECT_EQ(install.CountLogLines("Adding LAST_UPDATE column to FOLDER table in library LIB"),
                2);
      EXPECT_EQ(install.Scalar("LIB", kDictionaryRows), "1");
      EXPECT_EQ(install.Scalar("LIB", "SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98"), "1");
    }
  }
}

// A dictionary row without its column, or the column without its row: the start completes
// the repair without a second row.
TEST(FolderLastUpdateTest, AHalfMadeRepairIsCompleted) {
  for (const char* half : {"INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME) VALUES (999999, "
                           "'FOLDER', 'LAST_UPDATE')",
                           "ALTER TABLE FOLDER ADD LAST_UPDATE DATETIME NULL"}) {
    SCOPED_TRACE(half);
    DmInstallation install;
    install.Create({{.name = "LIB", .with_rules = false}});
    install.Exec("LIB", half);
    Start run(install, "");
    ASSERT_TRUE(run.started) << install.LogText();
    EXPECT_TRUE(run.connection->library_state().HasFolderLastUpdate);
    EXPECT_EQ(install.Scalar("LIB", kColumns), "1");
    EXPECT_EQ(install.Scalar("LIB", kDictionaryRows), "1");
    EXPECT_EQ(install.Scalar("LIB",
                             "SELECT CREATOR FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = "
                             "'LAST_UPDATE'"),
              "DOCSADM");
  }
}

}  // namespace
}  // namespace sproutsmith::dm
