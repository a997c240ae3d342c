// The maintenance tools over a started DM session with the rule store hooked into every
// connection; library files are read and written behind their back with plain SQL.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "rules/rule_store.h"
#include "support/engine_session.h"
#include "tools/library_choice.h"
#include "tools/node_cleanup.h"
#include "tools/rule_baseline.h"
#include "tools/saved_sql.h"
#include "tools/tracking_viewer.h"

namespace sproutsmith::tools {
namespace {

using runtime::Answer;

class ToolsSession : public testing::EngineSession {
 protected:
  // DEMO (current), ARCHIVE and BARE, a library without the system's tables.
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "BARE", .with_quil_tables = false}});
    store_ = std::make_unique<rules::RuleStore>(context(), connection());
    store_->Attach();
    store_->LoadRules();
  }

  // The operator's choice of library, as the window's chooser makes it.
  LibraryChooser Choose(const std::string& library) {
    return [this, library] { return connection().ConnectLibrary(library); };
  }
  static LibraryChooser Cancelled() {
    return [] { return false; };
  }

  void Reply(runtime::Answer a) { install_.ui.answers.push_back(a); }
  const std::vector<testing::ShownMessage>& Shown() const { return install_.ui.messages; }
  std::string LastShown() const { return Shown().empty() ? "" : Shown().back().text; }

  // A rule written straight into QUIL_SETTINGS, then the connected library's rules reloaded.
  void AddRule(const std::string& library, const std::string& rule, const std::string& tmpl) {
    Exec(library,
         "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, KEY_TYPE) "
         "VALUES ('ARBORLINE', 'RULE_TEMPLATE', '" +
             testing::QuotesDoubled(rule) + "', '" + testing::QuotesDoubled(tmpl) + "', 1)");
    store_->LoadRules();
  }
  void Track(const std::string& library, const std::string& rule, const std::string& table,
             long long sid) {
    Exec(library,
         "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" +
             std::to_string(sid) + ", '" + testing::QuotesDoubled(table) + "', '" +
             testing::QuotesDoubled(rule) + "', 0, '')");
  }
  Rows Tracked(const std::string& library) {
    return Query(library,
                 "SELECT RULE_NAME, TABLE_NAME, SID FROM QUIL_SPROUTSMITH ORDER BY RULE_NAME, "
                 "TABLE_NAME, SID");
  }
  std::string TrackedCount(const std::string& library, const std::string& where = "1 = 1") {
    return Scalar(library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE " + where);
  }

  std::unique_ptr<rules::RuleStore> store_;
};

using NodeCleanupTest = ToolsSession;
using TrackingViewerTest = ToolsSession;

TEST_F(NodeCleanupTest, ClearsThisComputersRowsInEachLibraryAndKeepsOthers) {
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    for (const char* node : {"PC-ONE:CLIENTS", "pc-one:CLIENT MATTERS", "PC-TWO:CLIENTS"}) {
      install_.AddRunningNode(library, node);
    }
  }
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  rules::RunningNodes nodes(context(), connection(), "PC-ONE");
  const std::vector<std::string> cleared =
      ClearComputerNodes(context(), connection(), nodes, {"DEMO", "NOWHERE", "ARCHIVE"});
  EXPECT_EQ(cleared, (std::vector<std::string>{"DEMO", "ARCHIVE"}));
  EXPECT_EQ(install_.RunningNodes("DEMO"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(install_.RunningNodes("ARCHIVE"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
}

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
    BaselineStatus status;
    const char* shown;  // "" when nothing is shown after the question
  };
  const Case cases[] = {
      {"no library chosen", Cancelled(), "CLIENTS", BaselineStatus::kNoLibrary, ""},
      {"no settings table", Choose("BARE"), "CLIENTS", BaselineStatus::kNoSettingsTable,
       "You must create the QUIL_SETTINGS table in library BARE before you can manage Arborline"},
      {"unknown rule", Choose("DEMO"), "NOPE", BaselineStatus::kRuleNotFound, ""},
      {"done", Choose("DEMO"), "CLIENTS", BaselineStatus::kCompleted, ""},
  };
  for (const Case& c : cases) {
    install_.ui.messages.clear();
    Reply(Answer::kYes);
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

// The stored form: one marker per run of blanks, in parts of at most 1,000 characters.
TEST(SavedSqlFormat, BlanksBecomeOneMarkerPerRunAndBlankEndsMakeNoPart) {
  // A text and its encoding.
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT * FROM X", "SELECT<SPC>*<SPC>FROM<SPC>X"},
      {"SELECT    *  FROM X", "SELECT<SPC>*<SPC>FROM<SPC>X"},
      {"A ", "A<SPC>"},
      {"A   ", "A<SPC>"},
      {"  A", "<SPC>A"},
      {"SELECT *\r\nFROM X\n  WHERE 1", "SELECT<SPC>*<SPC>FROM<SPC>X<SPC>WHERE<SPC>1"},
      {"'O''B'", "'O''B'"},
      {"", ""},
  };
  for (const auto& [text, encoded] : cases) EXPECT_EQ(EncodeSpaces(text), encoded) << text;
  EXPECT_EQ(SplitParts(std::string(1000, 'a')).size(), 1u);
  EXPECT_EQ(SplitParts("abc   "), std::vector<std::string>{"abc"});
  EXPECT_TRUE(SplitParts("").empty());
  EXPECT_TRUE(SplitParts("    ").empty());
}

class SavedSqlTest : public ToolsSession {
 protected:
  SavedSqlEditor Editor(const std::string& rule = "CLIENTS", const std::string& library = "DEMO") {
    return SavedSqlEditor(context(), connection(), *store_, library, rule);
  }
  Rows StoredRows(const std::string& rule) {
    return Query("DEMO",
                 "SELECT SECTION_KEY, LENGTH(CHAR_VAL), INT_VAL, KEY_TYPE FROM QUIL_SETTINGS "
                 "WHERE SUB_KEY = '" +
                     testing::QuotesDoubled(rule) +
                     "' AND SECTION_KEY LIKE 'RULE_SPROUTSMITH_SQL%' ORDER BY "
                     "SECTION_KEY");
  }
  // The statement as a new run of the rule store reads it.
  std::string ReadBack(const std::string& rule) {
    store_->LoadRules();
    return store_->SavedStatementFor(connection().LibraryName(), rule);
  }
};

TEST_F(SavedSqlTest, ALongStatementIsStoredInPartsWithOneMarkerPerRunOfBlanks) {
  // Words apart by three blanks (one marker each), up to 2,500 encoded characters.
  std::string statement = "SELECT";
  std::string single = "SELECT";
  auto add = [&](size_t length) {
    const std::string word = "W'" + std::string(length - 2, 'x');
    statement += "   " + word;
    single += " " + word;
  };
  while (EncodeSpaces(statement).size() + 25 <= 2500) add(20);
  add(2500 - EncodeSpaces(statement).size() - 5);
  ASSERT_EQ(EncodeSpaces(statement).size(), 2500u);

  SavedSqlEditor editor = Editor();
  EXPECT_EQ(editor.Open(), "");
  Reply(Answer::kNo);  // no test before saving
  std::string text = " \r\n " + statement + " \n";
  EXPECT_EQ(editor.Save(text), SaveResult::kSaved) << Dump();
  EXPECT_EQ(text, statement);  // trimmed in place
  EXPECT_EQ(StoredRows("CLIENTS"), (Rows{{"RULE_SPROUTSMITH_SQL_1", "1000", "NULL", "1"},
                                         {"RULE_SPROUTSMITH_SQL_2", "1000", "NULL", "1"},
                                         {"RULE_SPROUTSMITH_SQL_3", "500", "NULL", "1"}}));
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT SUBSTR(CHAR_VAL, 1, 21) FROM QUIL_SETTINGS WHERE SECTION_KEY = "
                   "'RULE_SPROUTSMITH_SQL_1' AND SUB_KEY = 'CLIENTS'"),
            "SELECT<SPC>W'xxxxxxxx");
  // In memory at once, and for the next run.
  EXPECT_EQ(store_->SavedStatementFor("DEMO", "CLIENTS"), statement);
  const rules::RuleRecord& record = store_->Rule(store_->Find("DEMO", "CLIENTS"));
  EXPECT_EQ(record[rules::RuleKey::kSproutsmithSql1] + record[rules::RuleKey::kSproutsmithSql2] +
                record[rules::RuleKey::kSproutsmithSql3],
            statement);
  EXPECT_EQ(ReadBack("CLIENTS"), single);

  // Saving again replaces the parts.
  std::string shorter = "SELECT  SYSTEM_ID FROM CLIENT";
  Reply(Answer::kNo);
  EXPECT_EQ(Editor().Save(shorter), SaveResult::kSaved);
  EXPECT_EQ(StoredRows("CLIENTS").size(), 1u);
  EXPECT_EQ(ReadBack("CLIENTS"), "SELECT SYSTEM_ID FROM CLIENT");
}

TEST_F(SavedSqlTest, AnEmptyTextClearsEveryPartOnlyAfterConfirming) {
  std::string text = "SELECT SYSTEM_ID FROM [OWNER].CLIENT";
  const std::string rule = "O'NEIL_1%";
  AddRule("DEMO", rule, "%CLIENTS%");
  Reply(Answer::kNo);
  ASSERT_EQ(Editor(rule).Save(text), SaveResult::kSaved);
  ASSERT_EQ(StoredRows(rule).size(), 1u);

  std::string empty = "   ";
  Reply(Answer::kNo);
  EXPECT_EQ(Editor(rule).Save(empty), SaveResult::kNotSaved);
  EXPECT_EQ(StoredRows(rule).size(), 1u);

  Reply(Answer::kYes);
  EXPECT_EQ(Editor(rule).Save(empty), SaveResult::kCleared);
  EXPECT_TRUE(StoredRows(rule).empty());
  EXPECT_EQ(ReadBack(rule), "");
}

TEST_F(SavedSqlTest, TestRunsInTheEditorsLibraryAndAnEmptyTextAsksNothing) {
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  SavedSqlEditor editor = Editor();
  EXPECT_EQ(editor.Test("  "), TestResult::kEmpty);
  EXPECT_TRUE(editor.Cancel(""));  // nothing to lose: no question
  EXPECT_TRUE(Shown().empty());

  const std::string clients = Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT");
  EXPECT_EQ(editor.Test("SELECT SYSTEM_ID FROM [OWNER].CLIENT"), TestResult::kPassed);
  EXPECT_EQ(LastShown(), "Results: " + clients + " item(s) returned from test on DEMO");
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");

  EXPECT_EQ(editor.Test("SELECT NOPE FROM [OWNER].NOWHERE"), TestResult::kFailed);
  EXPECT_EQ(LastShown().rfind("SQL Error: ", 0), 0u) << LastShown();
  EXPECT_NE(LastShown().find(")\r\n occurred trying to run test on DEMO"), std::string::npos)
      << LastShown();
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");

  // "Test first?" Yes and a passing test: saved in DEMO, ARCHIVE connected again.
  std::string good = "SELECT SYSTEM_ID FROM [OWNER].CLIENT";
  Reply(Answer::kYes);
  EXPECT_EQ(editor.Save(good), SaveResult::kSaved);
  EXPECT_EQ(StoredRows("CLIENTS").size(), 1u);
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_EQ(store_->SavedStatementFor("DEMO", "CLIENTS"), good);
}

TEST_F(TrackingViewerTest, ListsEveryRowInOrderWithTheTotalInTheCaption) {
  TrackingViewer viewer(context(), connection());
  ASSERT_TRUE(viewer.Open(Choose("DEMO")));
  EXPECT_EQ(viewer.caption(), "Quil_Sproutsmith contents in library DEMO (Total: 0)");

  Track("DEMO", "CLIENTS", "MATTER", 12);
  Track("DEMO", "CLIENTS", "CLIENT", 3);
  Track("DEMO", "ALPHA", "CLIENT", 9);
  Track("DEMO", "CLIENTS", "CLIENT", 1);
  viewer.Refresh();
  EXPECT_EQ(viewer.caption(), "Quil_Sproutsmith contents in library DEMO (Total: 4)");
  EXPECT_EQ(viewer.rows(), (std::vector<TrackingRow>{{"ALPHA", "CLIENT", "9"},
                                                     {"CLIENTS", "CLIENT", "1"},
                                                     {"CLIENTS", "CLIENT", "3"},
                                                     {"CLIENTS", "MATTER", "12"}}));
  const std::vector<TrackingCount> counts = CountByRuleAndTable(viewer.rows());
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_EQ(counts[1].rule + "/" + counts[1].table + "/" + std::to_string(counts[1].rows),
            "CLIENTS/CLIENT/2");
  EXPECT_GE(Count("Displaying QUIL_SPROUTSMITH rows in library DEMO"), 1);
}

TEST_F(TrackingViewerTest, RemovesOnlyTheSelectedTriples) {
  const std::string rule = "O'BRIEN_%";
  Track("DEMO", rule, "CLIENT", 1);
  Track("DEMO", rule, "CLIENT", 2);
  Track("DEMO", rule, "MATTER", 1);
  Track("DEMO", "O'BRIENX%", "CLIENT", 1);  // "_" and "%" are no wildcards here
  TrackingViewer viewer(context(), connection());
  ASSERT_TRUE(viewer.Open(Choose("DEMO")));

  // No answer: nothing goes.
  Reply(Answer::kNo);
  EXPECT_FALSE(viewer.Remove({{rule, "CLIENT", "1"}}));
  EXPECT_EQ(TrackedCount("DEMO"), "4");
  EXPECT_FALSE(viewer.Remove({}));  // none selected: not even a question
  EXPECT_EQ(Shown().size(), 1u);

  Reply(Answer::kYes);
  const std::optional<long long> removed =
      viewer.Remove({{rule, "CLIENT", "1"}, {rule, "MATTER", "1"}, {rule, "TABLE", "1"}});
  ASSERT_TRUE(removed);
  EXPECT_EQ(*removed, 2);
  EXPECT_EQ(Shown()[1].text,
            "Are you sure you want to remove 3 selected row(s) from QUIL_SPROUTSMITH in library "
            "DEMO?");
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"O'BRIEN_%", "CLIENT", "2"}, {"O'BRIENX%", "CLIENT", "1"}}));
  EXPECT_EQ(viewer.caption(), "Quil_Sproutsmith contents in library DEMO (Total: 2)");
}

TEST_F(TrackingViewerTest, ClosingOrFailingToOpenReconnectsTheLibraryConnectedBefore) {
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  Track("DEMO", "CLIENTS", "CLIENT", 1);
  {
    TrackingViewer viewer(context(), connection());
    ASSERT_TRUE(viewer.Open(Choose("DEMO")));
    EXPECT_EQ(connection().LibraryName(), "DEMO");
    EXPECT_EQ(viewer.rows().size(), 1u);
  }
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");

  TrackingViewer viewer(context(), connection());
  EXPECT_FALSE(viewer.Open(Choose("BARE")));
  EXPECT_EQ(LastShown(), "QUIL_SPROUTSMITH does not exist in library BARE");
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_FALSE(viewer.Open(Cancelled()));
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_FALSE(viewer.is_open());
}

}  // namespace
}  // namespace sproutsmith::tools
