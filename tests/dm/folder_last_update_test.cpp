// The FOLDER.LAST_UPDATE repair: the dictionary row is written only for a column that is
// really there, and each flavour's server gets a type it knows.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "dm/connection.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/dm_installation.h"
#include "support/fault_opener.h"

namespace sproutsmith::dm {
namespace {

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
