// The HOLLOWBRINK site's profile update of a new top folder, run by the folder builder on
// libraries of both flavours.

#include <gtest/gtest.h>

#include "folders/folder_builder.h"
#include "template/compiler.h"
#include "template/template_test_support.h"

namespace sproutsmith::folders {
namespace {

class FolderBuilderSiteTest : public templ::testing::CompileSession {};

// A top folder named by its client gets the client's first matter, as SQL Server picks it
// with TOP 1 ... ORDER BY SYSTEM_ID; Oracle, which has no TOP, must pick the same one.
TEST_F(FolderBuilderSiteTest, ANewClientFolderGetsTheClientsFirstMatterOnBothFlavours) {
  Start({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
  install_.state.SiteName = "HOLLOWBRINK";
  // A lookup without a key column sets nothing, but switches the site's update on.
  const std::vector<SiteLookup> lookups = {{"DIVISION", "DIVISIONS", "", "", ""}};
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    rules::RuleRecord rule = Rule("CLIENTS");
    rule.Set(rules::RuleKey::kTemplate, "%MATTER.CLIENT_ID.CLIENT_ID%");
    templ::TemplateCompiler compiler(install_.context, *connection_, *store_);
    const templ::CompiledRule compiled = compiler.Compile(rule, {library, 10000, "", ""});
    // The last row is the last client's last matter: the folder's metadata names that one.
    const int row = compiled.intake.rows_read;
    ASSERT_GT(row, 1) << Dump();
    FolderBuilder builder(install_.context, *connection_);
    const RuleRun run{rule, library, compiled, ErrorMode::kSilent, lookups, {}, row};
    rules::PendingRow work;
    for (int c = 1; c <= compiled.intake.result.ColumnCount(); ++c) {
      work.row.headings.push_back(compiled.intake.result.Heading(c));
      work.row.values.push_back(compiled.intake.result.Cell(row, c));
    }
    const RowOutcome outcome = builder.ProcessFolderItem(run, work, row);
    ASSERT_GT(outcome.first_level_folder, 0) << Dump();
    const auto rows = install_.Query(
        library,
        "SELECT P.MATTER, (SELECT MIN(M.SYSTEM_ID) FROM MATTER M, CLIENT C WHERE M.CLIENT_ID = "
        "C.SYSTEM_ID AND C.CLIENT_ID = P.DOCNAME), (SELECT MAX(M.SYSTEM_ID) FROM MATTER M, "
        "CLIENT C WHERE M.CLIENT_ID = C.SYSTEM_ID AND C.CLIENT_ID = P.DOCNAME) FROM PROFILE P "
        "WHERE P.DOCNUMBER = " +
            std::to_string(outcome.first_level_folder));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0][1], rows[0][2]) << "the client needs two matters";
    EXPECT_EQ(rows[0][0], rows[0][1]);
  }
  EXPECT_EQ(install_.CountLogLines("UPDATE DOCSADM.PROFILE SET MATTER = (SELECT TOP 1 SYSTEM_ID "),
            1);
  EXPECT_EQ(install_.CountLogLines("UPDATE DOCSADM.PROFILE SET MATTER = (SELECT MIN(SYSTEM_ID) "),
            1);
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::folders
