// Start-up and program end over a real DM installation (SQLite libraries in a temp folder).

#include <gtest/gtest.h>

#include "installed_engine.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/test_data.h"

namespace sproutsmith::app {
namespace {

class RealSessionTest : public InstalledEngineTest {
 protected:
  Engine& BuildReal() {
    install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
    return InstalledEngineTest::BuildReal();
  }
  // The log lines from the first holding `from` to the next holding `to`.
  std::vector<std::string> Section(const std::string& from, const std::string& to) {
    std::vector<std::string> out;
    for (const auto& l : LogLines()) {
      if (out.empty() && l.find(from) == std::string::npos) continue;
      out.push_back(l);
      if (out.size() > 1 && l.find(to) != std::string::npos) break;
    }
    return out;
  }
  static int Lines(const std::vector<std::string>& lines, const std::string& fragment,
                   bool at_start = false) {
    int n = 0;
    for (const auto& l : lines) {
      const size_t at = l.find(fragment);
      n += at != std::string::npos && (!at_start || at == 0);
    }
    return n;
  }
};

TEST_F(RealSessionTest, AStartWithoutGoReachesTheWaitingStateAndEndsCleanly) {
  EXPECT_EQ(BuildReal().Run({"/X"}), kExitFinished);
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object DEMO."), 1);
  EXPECT_EQ(Count("2 rule(s) identified"), 1);
  EXPECT_EQ(Count("Waiting for user input"), 0);  // a caption, not a log line
  EXPECT_EQ(Count(") Started on Sunday, December 6, 2026 at 9:04:29 AM"), 1);
  EXPECT_EQ(Count(") Ended on Sunday, December 6, 2026 at 9:04:29 AM"), 1);
  EXPECT_EQ(Count("SQL Error"), 0);
  EXPECT_EQ(Count("Error:"), 0);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(engine_->window().TVRules.size(), 2u);
}

TEST_F(RealSessionTest, AnUnattendedCycleBuildsAndRecordsEveryRulesRows) {
  BuildReal();
  // Counted by hand over the library files: the rows each rule's template stands for.
  const std::string per_matter = install_.Scalar(
      "DEMO", "SELECT COUNT(*) FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID");
  const std::string per_document_type = install_.Scalar(
      "DEMO",
      "SELECT COUNT(*) FROM (SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
      "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
      "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
      "JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER')");
  ASSERT_NE(per_matter, "0");
  ASSERT_NE(per_document_type, "0");

  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFinished);
  struct Rule {
    const char* name;
    const char* folder_template;
    std::string rows;
  };
  const Rule rules[] = {{schema::kClientMattersRule, schema::kMatterTemplate, per_document_type},
                        {schema::kClientsRule, schema::kClientsTemplate, per_matter}};
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    for (const Rule& rule : rules) {
      SCOPED_TRACE(std::string(library) + " " + rule.name);
      const auto section =
          Section(std::string("Processing library ") + library + " rule " + rule.name,
                  std::string("Finished with library ") + library);
      ASSERT_FALSE(section.empty());
      EXPECT_EQ(Lines(section, "Rule Parameters:", true), 1);
      EXPECT_EQ(Lines(section, std::string("Rule Template: ") + rule.folder_template, true), 1);
      EXPECT_EQ(Lines(section, "Rule Security: %AUTHOR.PRIMARY_GROUP% = 127", true), 1);
      EXPECT_EQ(Lines(section, "Rule Form: ", true), 1);
      EXPECT_EQ(Lines(section, "SELECT DISTINCT ", true), 1);
      EXPECT_EQ(Lines(section, rule.rows + " SQL value(s) match the folder template", true), 1);
    }
  }
  EXPECT_EQ(Count("Finished processing."), 1);
  EXPECT_EQ(Count("Error:"), 0);
  EXPECT_TRUE(ui_->messages.empty());
  // Every row is recorded, and no rule stays held.
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    EXPECT_NE(install_.Scalar(library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "0") << library;
    EXPECT_EQ(install_.Scalar(library,
                              "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"),
              "0")
        << library;
  }
  std::vector<std::string> results;
  for (const auto& row : engine_->options().ListResults) {
    results.push_back(row.text);
    EXPECT_EQ(row.state, std::to_string(row.folders_added) + " folder(s) added") << row.text;
    EXPECT_GT(row.folders_added, 0) << row.text;
    EXPECT_EQ(row.rows_failed, 0) << row.text;
  }
  EXPECT_EQ(results, (std::vector<std::string>{"DEMO - CLIENT MATTERS", "DEMO - CLIENTS",
                                               "ARCHIVE - CLIENT MATTERS", "ARCHIVE - CLIENTS"}));
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_EQ(Saved("Rules", "ARCHIVE:CLIENTS"), "-1");
  EXPECT_TRUE(engine_->Ended());
}

TEST_F(RealSessionTest, ABrokenInstallationFailsTheStartWithItsReason) {
  InstalledEngineTest::BuildReal([](EngineParts& parts) {
    parts.make_dm = [](Context& context) -> std::unique_ptr<DmSeam> {
      return std::make_unique<DmSessionSeam>(context, nullptr,
                                             "/x/dm.conf:3: unknown back end 'foo'", "PC1");
    };
  });
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFailed);
  EXPECT_EQ(Count("/x/dm.conf:3: unknown back end 'foo'"), 1);
  EXPECT_EQ(Count("Unable to start the DM"), 1);
  EXPECT_NE(engine_->FailureMessage().find("Unable to start the DM"), std::string::npos);
  EXPECT_FALSE(engine_->FailureMessageShown());
}

}  // namespace
}  // namespace sproutsmith::app
