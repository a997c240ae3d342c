#include "tools/rule_baseline.h"

#include <gtest/gtest.h>

#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

using runtime::Answer;

class RuleBaselineTest : public ToolsSession {
 protected:
  void SetUp() override {
    ToolsSession::SetUp();
    baseline_ = std::make_unique<RuleBaseline>(context(), connection(), *store_);
  }
  std::unique_ptr<RuleBaseline> baseline_;
};

TEST_F(RuleBaselineTest, ResetAsksFirstAndRemovesOnlyTheRuleItNames) {
  // LIKE would let "_" and "%" match the other rules' rows.
  const std::string rule = "O'NEIL_1%";
  Track("DEMO", rule, "CLIENT", 1);
  Track("DEMO", "o'neil_1%", "MATTER", 2);  // the same rule in other letters
  Track("DEMO", "O'NEILX1%", "CLIENT", 3);
  Track("DEMO", "O'NEIL_1%ANY", "CLIENT", 4);
  const Rows all = Tracked("DEMO");
  Reply(Answer::kNo);
  EXPECT_EQ(baseline_->ResetRule(rule, Choose("DEMO")).status, BaselineStatus::kDeclined);
  EXPECT_EQ(LastShown(), "Wise choice");
  EXPECT_NE(Shown().front().text.find(
                "Warning: This option will remove all information about 2 rule item(s) "
                "previously processed by Arborline Sproutsmith for OpenText eDOCS for rule "
                "O'NEIL_1% in library DEMO. After this, "),
            std::string::npos)
      << Shown().front().text;
  EXPECT_NE(Shown().front().text.find("when running this procedure.\r\n\r\nARE YOU ABSOLUTELY"),
            std::string::npos);
  EXPECT_EQ(Tracked("DEMO"), all);

  Reply(Answer::kYes);
  const BaselineOutcome outcome = baseline_->ResetRule(rule, Choose("DEMO"));
  EXPECT_EQ(outcome.status, BaselineStatus::kCompleted) << Dump();
  EXPECT_EQ(outcome.removed, 2);
  EXPECT_EQ(LastShown(), "Procedure complete with 2 row(s) removed.");
  EXPECT_EQ(Count("Procedure complete with 2 row(s) removed."), 1);
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"O'NEIL_1%ANY", "CLIENT", "4"}, {"O'NEILX1%", "CLIENT", "3"}}));
}

TEST_F(RuleBaselineTest, SetToCurrentRecordsEveryRowOfASingleTableTemplate) {
  const std::string rule = "MATTER'S_%";
  AddRule("DEMO", rule, "%MATTERS% %\\% %MATTER.MATTER_ID%");
  Track("DEMO", rule, "MATTER", 999);        // an old row: replaced
  Track("DEMO", "MATTERXS_X", "MATTER", 1);  // another rule: kept
  Reply(Answer::kYes);
  const BaselineOutcome outcome = baseline_->SetRuleToCurrent(rule, Choose("DEMO"));
  ASSERT_EQ(outcome.status, BaselineStatus::kCompleted) << Dump();
  const std::string matters = Scalar("DEMO", "SELECT COUNT(*) FROM MATTER");
  EXPECT_EQ(std::to_string(outcome.added), matters);
  EXPECT_EQ(outcome.removed, 1);
  EXPECT_EQ(LastShown(),
            "Procedure complete with " + matters + " row(s) added and 1 row(s) removed.");
  // One row per source row, under the rule's name, with STATUS 0 and an empty LOCKED_BY.
  EXPECT_EQ(Query("DEMO",
                  "SELECT COUNT(*), COUNT(DISTINCT SID), MIN(STATUS), MAX(STATUS), "
                  "MAX(LENGTH(LOCKED_BY)), MIN(TABLE_NAME) FROM QUIL_SPROUTSMITH WHERE RULE_NAME = "
                  "'MATTER''S_%'"),
            (Rows{{matters, matters, "0", "0", "0", "MATTER"}}));
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM MATTER WHERE SYSTEM_ID NOT IN (SELECT SID FROM "
                   "QUIL_SPROUTSMITH WHERE RULE_NAME = 'MATTER''S_%')"),
            "0");
  EXPECT_EQ(TrackedCount("DEMO", "RULE_NAME = 'MATTERXS_X'"), "1");
  EXPECT_GE(Count("Processing QUIL_SETTINGS table system_ids for library DEMO"), 1);
  EXPECT_GE(Count("Parsing Rule Template %MATTERS% %\\% %MATTER.MATTER_ID%"), 1);
  EXPECT_GE(Count("Processing MATTER"), 1);
}

TEST_F(RuleBaselineTest, SetToCurrentCoversTheTablesTheCycleTracks) {
  // CLIENTS reaches CLIENT through MATTER; the cycle records both tables' SYSTEM_IDs, and
  // DOCUMENTTYPE.TYPE_ID reads DOCUMENTTYPES.
  Reply(Answer::kYes);
  BaselineOutcome outcome = baseline_->SetRuleToCurrent("clients", Choose("DEMO"));
  ASSERT_EQ(outcome.status, BaselineStatus::kCompleted) << Dump();
  EXPECT_EQ(Query("DEMO",
                  "SELECT TABLE_NAME, COUNT(*) FROM QUIL_SPROUTSMITH WHERE RULE_NAME = 'CLIENTS' "
                  "GROUP BY TABLE_NAME ORDER BY TABLE_NAME"),
            (Rows{{"CLIENT", Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT")},
                  {"MATTER", Scalar("DEMO", "SELECT COUNT(*) FROM MATTER")}}));
  EXPECT_LT(LineOf("Processing CLIENT"), LineOf("Processing MATTER"));

  Reply(Answer::kYes);
  outcome = baseline_->SetRuleToCurrent("CLIENT MATTERS", Choose("DEMO"));
  ASSERT_EQ(outcome.status, BaselineStatus::kCompleted) << Dump();
  EXPECT_EQ(Query("DEMO",
                  "SELECT DISTINCT TABLE_NAME FROM QUIL_SPROUTSMITH WHERE RULE_NAME = 'CLIENT "
                  "MATTERS' ORDER BY TABLE_NAME"),
            (Rows{{"CLIENT"}, {"DOCUMENTTYPES"}, {"MATTER"}}));
}

TEST_F(RuleBaselineTest, EveryEndReconnectsTheLibraryConnectedBefore) {
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  struct Case {
    const char* what;
    LibraryChooser choose;
    const char* rule;
    Answer answer;
    BaselineStatus status;
    const char* shown;  // "" when nothing is shown after the question
  };
  const Case cases[] = {
      {"no library chosen", Cancelled(), "CLIENTS", Answer::kYes, BaselineStatus::kNoLibrary, ""},
      {"no settings table", Choose("BARE"), "CLIENTS", Answer::kYes,
       BaselineStatus::kNoSettingsTable,
       "You must create the QUIL_SETTINGS table in library BARE before you can manage Arborline"},
      {"unknown rule", Choose("DEMO"), "NOPE", Answer::kYes, BaselineStatus::kRuleNotFound, ""},
      {"done", Choose("DEMO"), "CLIENTS", Answer::kYes, BaselineStatus::kCompleted, ""},
  };
  for (const Case& c : cases) {
    install_.ui.messages.clear();
    Reply(c.answer);
    const std::string status_before = context().options.LabelStatus;
    EXPECT_EQ(baseline_->SetRuleToCurrent(c.rule, c.choose).status, c.status) << c.what;
    EXPECT_EQ(connection().LibraryName(), "ARCHIVE") << c.what;
    EXPECT_EQ(context().options.LabelStatus, status_before) << c.what;
    if (*c.shown != '\0') {
      EXPECT_EQ(LastShown(), c.shown) << c.what;
    }
    install_.ui.answers.clear();
  }
  EXPECT_EQ(Count("Rule NOPE not found in library DEMO"), 1) << Dump();
  EXPECT_EQ(TrackedCount("ARCHIVE"), "0");
}

TEST_F(RuleBaselineTest, ATemplateWithoutItemsCannotBeSet) {
  AddRule("DEMO", "EMPTY", "   ");
  Track("DEMO", "EMPTY", "CLIENT", 5);
  Reply(Answer::kYes);
  EXPECT_EQ(baseline_->SetRuleToCurrent("EMPTY", Choose("DEMO")).status,
            BaselineStatus::kUnparsable);
  EXPECT_EQ(Count("Notice: Unable to parse template string - cannot continue"), 1) << Dump();
  EXPECT_EQ(TrackedCount("DEMO"), "1");
}

}  // namespace
}  // namespace sproutsmith::tools
