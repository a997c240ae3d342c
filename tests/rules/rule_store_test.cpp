#include "rules/rule_store.h"

#include <gtest/gtest.h>

#include "platform/schema/rule_rows.h"
#include "rules/rules_session.h"
#include "text/text.h"

namespace sproutsmith::rules {
namespace {

using testing::LibrarySpec;

class RuleStoreTest : public RulesSession {
 protected:
  // A QUIL_SETTINGS row written as an administrator's tool would; "NULL" values unquoted.
  void Row(const std::string& library, const std::string& section, const std::string& sub_key,
           const std::string& char_val, const std::string& int_val = "NULL") {
    Exec(library,
         "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
         "VALUES ('ARBORLINE', '" +
             section + "', '" + sub_key + "', " + char_val + ", " + int_val + ")");
  }
  std::string Get(const std::string& rule, RuleKey key) const {
    const int index = store_->Find(connection_->LibraryName(), rule);
    EXPECT_NE(index, 0) << rule;
    return store_->Value(index, key);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 1; i <= store_->Count(); ++i) names.push_back(store_->Rule(i).Name());
    return names;
  }
};

// 1,200 characters whose every prefix is distinct, so a cut shows where it was made.
std::string LongValue() {
  std::string s;
  for (int i = 0; s.size() < 1200; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

TEST_F(RuleStoreTest, TheGeneratedLibrarysRulesLoadInNameOrder) {
  Start({{.name = "DEMO"}});
  EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(Count("Retrieving any existing rules for library DEMO"), 1) << Dump();
  EXPECT_EQ(Count("2 rule(s) identified"), 1);
  EXPECT_EQ(Count("SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), INT_VAL, "
                  "SUBSTRING(CHAR_VAL, 255, 254), SUBSTRING(CHAR_VAL, 509, 254), "
                  "SUBSTRING(CHAR_VAL, 763, 254) FROM DOCSADM.QUIL_SETTINGS WHERE MASTER_KEY = "
                  "'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') "
                  "ORDER BY SUB_KEY, SECTION_KEY"),
            1);
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();

  EXPECT_EQ(store_->Rule(1).Library(), "DEMO");
  EXPECT_EQ(store_->Rule(1).Get(44), "");
  EXPECT_EQ(store_->Find("DEMO", "clients"), 2);
  // The library is compared exactly, the rule name in upper case.
  EXPECT_EQ(store_->Find("demo", "CLIENTS"), 0);
  EXPECT_EQ(store_->Value(3, RuleKey::kName), "");

  EXPECT_EQ(install_.options.MNRuleMenu1, (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(install_.options.MNRuleMenu2, install_.options.MNRuleMenu1);
}

TEST_F(RuleStoreTest, RowsAreReadAsTheRowFormatSays) {
  Start({{.name = "DEMO", .with_rules = false}});
  const std::string long_value = LongValue();
  const std::string quoted_long = "'" + long_value + "'";
  // Sub keys differing in case feed one rule.
  Row("DEMO", "RULE_TEMPLATE", "Mixed", "'%T%'");
  Row("DEMO", "RULE_FORM", "MIXED", "'  F1  '");
  Row("DEMO", "RULE_EMPTY_FOLDERS", "mixed", "NULL", "7");
  // An unknown key makes a rule and sets nothing; so does a key with a trailing blank.
  Row("DEMO", "RULE_NOT_A_KEY", "ODD", "'x'", "3");
  Row("DEMO", "RULE_FORM ", "ODD", "'y'");
  // A NULL integer stays empty.
  Row("DEMO", "RULE_MOVE_INTO", "ODD", "NULL");
  // Root folders: "*none*" is no root, any other is prefixed.
  Row("DEMO", "RULE_ROOT_FOLDER", "ROOTLESS", "'*none*'");
  Row("DEMO", "RULE_TEMPLATE", "ROOTLESS", "'%A% %\\% %B%'");
  Row("DEMO", "RULE_ROOT_FOLDER", "ROOTED", "' %TOP% '");
  Row("DEMO", "RULE_TEMPLATE", "ROOTED", "'%A%'");
  // Long values are cut per key kind.
  Row("DEMO", "RULE_SECURITY", "LONG", quoted_long);
  Row("DEMO", "RULE_EMAIL_NAME", "LONG", quoted_long);
  Row("DEMO", "RULE_EMAIL_LIBRARY", "LONG", quoted_long);
  Row("DEMO", "RULE_ROOT_FOLDER", "LONGROOT", quoted_long);
  // Untrimmed keys keep their blanks; an integer is held without fraction digits.
  Row("DEMO", "RULE_EMAIL_NAME", "RAW", "'  mail  '");
  Row("DEMO", "RULE_SPROUTSMITH_SQL_1", "RAW", "'SELECT<SPC>A '");
  Row("DEMO", "RULE_SPROUTSMITH_SQL_2", "RAW", "'FROM<SPC>B<SPC>'");
  Row("DEMO", "RULE_AUTOFOLDER_LEVEL", "RAW", "NULL", "2.0");
  // B before A in the table, A first in the list.
  Row("DEMO", "RULE_TEMPLATE", "B", "'%B%'");
  Row("DEMO", "RULE_TEMPLATE", "A", "'%A%'");
  // Rows of other kinds are no rules.
  Row("DEMO", "SPROUTSMITH", "RUNNING_NODES", "'PC:A'");
  Row("DEMO", "RULE_TEMPLATE", "   ", "'%BLANK%'");
  store_->LoadRules();

  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B", "LONG", "LONGROOT", "MIXED", "ODD", "RAW",
                                               "ROOTED", "ROOTLESS"}))
      << Dump();
  EXPECT_EQ(Count("9 rule(s) identified"), 1);

  EXPECT_EQ(Get("Mixed", RuleKey::kTemplate), "%T%");
  EXPECT_EQ(Get("mixed", RuleKey::kForm), "F1");
  EXPECT_EQ(Get("MIXED", RuleKey::kEmptyFolders), "7");

  for (int order = 3; order <= kRuleKeyCount; ++order) {
    EXPECT_EQ(store_->Rule(store_->Find("DEMO", "ODD")).Get(order), "") << "order " << order;
  }

  EXPECT_EQ(Get("ROOTLESS", RuleKey::kTemplate), "%A% %\\% %B%");
  EXPECT_EQ(Get("ROOTLESS", RuleKey::kRootFolder), "");
  EXPECT_EQ(Get("ROOTED", RuleKey::kTemplate), "%TOP% %\\% %A%");
  EXPECT_EQ(Get("ROOTED", RuleKey::kRootFolder), "%TOP%");

  EXPECT_EQ(Get("LONG", RuleKey::kSecurity), long_value.substr(0, 1016));
  EXPECT_EQ(Get("LONG", RuleKey::kEmailName), long_value.substr(0, 254));
  EXPECT_EQ(Get("LONG", RuleKey::kEmailLibrary), long_value.substr(0, 254));
  EXPECT_EQ(Get("LONGROOT", RuleKey::kRootFolder), long_value.substr(0, 762));
  EXPECT_EQ(Get("LONGROOT", RuleKey::kTemplate), long_value.substr(0, 762) + " %\\% ");

  EXPECT_EQ(Get("RAW", RuleKey::kEmailName), "  mail  ");
  EXPECT_EQ(Get("RAW", RuleKey::kSproutsmithSql1), "SELECT<SPC>A ");
  EXPECT_EQ(Get("RAW", RuleKey::kAutofolderLevel), "2");
  EXPECT_EQ(store_->SavedStatementFor("DEMO", "raw"), "SELECT A FROM B");
  EXPECT_EQ(store_->Saved(store_->FindSaved("DEMO", "RAW")).rule, "RAW");
  EXPECT_EQ(store_->SavedCount(), 1) << "rules without saved parts add no entry";
}

TEST_F(RuleStoreTest, LibrarySettingsAndTheMasterLibraryDefault) {
  Start({{.name = "DEMO", .with_rules = false}, {.name = "ARCHIVE"}});
  Row("DEMO", "SETTINGS", "PROFILE_EXCLUDE_COLUMN", "' ABSTRACT '");
  Row("DEMO", "SETTINGS", "default_workspace", "'My Work'");
  Row("DEMO", "SETTINGS", "TOPLEVELWARNING", "NULL", "25");
  Row("DEMO", "SETTINGS", "MASTER_LIBRARY", "'ARCHIVE'");
  Row("DEMO", "RULE_MASTER_LIBRARY", "FOLLOWS", "NULL", "1");
  Row("DEMO", "RULE_MASTER_LIBRARY", "OWN", "NULL", "1");
  Row("DEMO", "RULE_MASTERFOLDER_LIBRARY", "OWN", "'ELSEWHERE'");
  Row("DEMO", "RULE_MASTER_LIBRARY", "NOT", "NULL", "0");
  store_->LoadRules();

  const auto& settings = connection_->library_state().settings;
  EXPECT_EQ(settings.ProfileExcludeColumn, "ABSTRACT");
  EXPECT_EQ(settings.DefaultWorkspace, "My Work");
  EXPECT_EQ(settings.TopLevelWarning, 25);
  EXPECT_EQ(store_->MasterLibrary(), "ARCHIVE");
  EXPECT_EQ(Get("FOLLOWS", RuleKey::kMasterfolderLibrary), "ARCHIVE");
  EXPECT_EQ(Get("OWN", RuleKey::kMasterfolderLibrary), "ELSEWHERE");
  EXPECT_EQ(Get("NOT", RuleKey::kMasterfolderLibrary), "");
  // The setting belongs to its library: ARCHIVE has none.
  ASSERT_TRUE(connection_->ConnectLibrary("ARCHIVE"));
  EXPECT_EQ(store_->MasterLibrary(), "");
  EXPECT_EQ(store_->Count(), 2);
  EXPECT_EQ(store_->Rule(1).Library(), "ARCHIVE");
}

TEST_F(RuleStoreTest, ALibraryWithOnlySettingsGetsTheDefaultRule) {
  Start({{.name = "DEMO"}, {.name = "BARE", .with_quil_tables = false}});
  Exec("DEMO", "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY LIKE 'RULE%'");
  store_->LoadRules();
  ASSERT_EQ(store_->Count(), 1);
  const RuleRecord& rule = store_->Rule(1);
  EXPECT_EQ(rule.Name(), kDefaultRuleName);
  EXPECT_EQ(rule.Library(), "DEMO");
  EXPECT_EQ(rule[RuleKey::kTemplate], schema::kMatterTemplate);
  EXPECT_EQ(Count("0 rule(s) identified"), 1) << Dump();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM DOCSADM.DOCSCOLUMN WHERE COLNAME = 'MATTER' AND "
                  "TBNAME = 'PROFILE'"),
            1);
  EXPECT_EQ(install_.options.MNRuleMenu1, std::vector<std::string>{kDefaultRuleName});
  // Without a matter column of PROFILE, the author template.
  Exec("DEMO", "DELETE FROM DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'");
  store_->LoadRules();
  ASSERT_EQ(store_->Count(), 1);
  EXPECT_EQ(store_->Rule(1)[RuleKey::kTemplate], schema::kAuthorTemplate);
  // No settings table: no rules at all, and the menus keep what they showed.
  ASSERT_TRUE(connection_->ConnectLibrary("BARE")) << Dump();
  EXPECT_EQ(store_->Count(), 0);
  EXPECT_EQ(Count("Retrieving any existing rules for library BARE"), 0);
  EXPECT_EQ(install_.options.MNRuleMenu1, std::vector<std::string>{kDefaultRuleName});
}

TEST_F(RuleStoreTest, SavedStatementsOfEveryConnectedLibraryAreKept) {
  Start({{.name = "X"}, {.name = "Y"}});
  EXPECT_EQ(store_->SavedCount(), 0);
  Row("X", "RULE_SPROUTSMITH_SQL_1", "CLIENTS", "'SELECT<SPC>1'");
  Row("Y", "RULE_SPROUTSMITH_SQL_1", "CLIENTS", "'SELECT<SPC>2'");
  store_->LoadRules();
  ASSERT_TRUE(connection_->ConnectLibrary("Y"));
  EXPECT_EQ(store_->SavedStatementFor("X", "clients"), "SELECT 1");
  EXPECT_EQ(store_->SavedStatementFor("Y", "CLIENTS"), "SELECT 2");
  EXPECT_EQ(store_->Find("X", "CLIENTS"), 0) << "the rule list holds Y's rules only";
  // Reconnecting replaces an entry's text instead of adding a second entry.
  Exec("X",
       "UPDATE QUIL_SETTINGS SET CHAR_VAL = 'SELECT<SPC>3' WHERE SECTION_KEY = "
       "'RULE_SPROUTSMITH_SQL_1'");
  ASSERT_TRUE(connection_->ConnectLibrary("X"));
  EXPECT_EQ(store_->SavedCount(), 2);
  EXPECT_EQ(store_->SavedStatementFor("X", "CLIENTS"), "SELECT 3");
  // Add or replace by hand, as the selection builder does.
  const int index = store_->SaveStatement("Y", "clients", "  SELECT 4  ");
  EXPECT_EQ(index, store_->FindSaved("Y", "CLIENTS"));
  EXPECT_EQ(store_->Saved(index).statement, "SELECT 4");
  EXPECT_EQ(store_->SaveStatement("Y", "NEW RULE", "SELECT 5"), 3);
  EXPECT_EQ(store_->SavedStatementFor("y", "NEW RULE"), "") << "libraries compare exactly";
}

// A template longer than the four pieces is read cut short; the log says so, on both
// flavours, and a template that just fills the pieces is not taken for a cut one.
TEST_F(RuleStoreTest, ATemplateLongerThanThePiecesIsReportedAsCut) {
  Start({{.name = "DEMO", .with_rules = false},
         {.name = "ORA", .engine_code = 2, .with_rules = false}});
  const std::string long_value = LongValue();
  for (const char* library : {"DEMO", "ORA"}) {
    Row(library, "RULE_TEMPLATE", "Long One", "'" + long_value + "'");
    Row(library, "RULE_TEMPLATE", "EXACT", "'" + long_value.substr(0, 1016) + "'");
  }
  ASSERT_TRUE(connection_->ConnectLibrary("ORA"));
  EXPECT_EQ(Get("LONG ONE", RuleKey::kTemplate), long_value.substr(0, 1016));
  // Oracle's pieces are read with SUBSTR.
  EXPECT_EQ(Count("SELECT SECTION_KEY, SUB_KEY, SUBSTR(CHAR_VAL, 1, 254), INT_VAL, "
                  "SUBSTR(CHAR_VAL, 255, 254), SUBSTR(CHAR_VAL, 509, 254), "
                  "SUBSTR(CHAR_VAL, 763, 254) FROM DOCSADM.QUIL_SETTINGS"),
            1)
      << Dump();
  ASSERT_TRUE(connection_->ConnectLibrary("DEMO"));
  EXPECT_EQ(Get("LONG ONE", RuleKey::kTemplate), long_value.substr(0, 1016));
  EXPECT_EQ(Count("Warning: "), 2) << Dump();
  EXPECT_EQ(Count(" The template of rule LONG ONE is 1200 characters long; only the first 1016 "
                  "are read, so the template is cut short"),
            2)
      << Dump();
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::rules
