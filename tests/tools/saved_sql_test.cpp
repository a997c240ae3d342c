#include "tools/saved_sql.h"

#include <gtest/gtest.h>

#include "dm/sql_text.h"
#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

using runtime::Answer;

TEST(SavedSqlFormat, BlanksBecomeOneMarkerPerRun) {
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
  for (const auto& [text, encoded] : cases) {
    EXPECT_EQ(EncodeSpaces(text), encoded) << text;
    // The rule store's reading gives the text back with single blanks.
    EXPECT_EQ(dm::ExpandSpaces(EncodeSpaces(text)), dm::ExpandSpaces(encoded));
  }
}

TEST(SavedSqlFormat, PartsAreThousandCharactersAndTheLastIsTheRest) {
  const std::string encoded =
      std::string(1000, 'a') + std::string(1000, 'b') + std::string(500, 'c');
  EXPECT_EQ(SplitParts(encoded),
            (std::vector<std::string>{std::string(1000, 'a'), std::string(1000, 'b'),
                                      std::string(500, 'c')}));
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
  EXPECT_EQ(LastShown(), "Rule Sproutsmith SQL text saved for the rule CLIENTS in library DEMO");
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
  EXPECT_EQ(record[rules::RuleKey::kSproutsmithSql1].size(), 1024u);
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

}  // namespace
}  // namespace sproutsmith::tools
