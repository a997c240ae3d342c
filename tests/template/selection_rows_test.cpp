// Rules written the way administrators write them, compiled and run on generated libraries
// of both flavours, each result against a hand-written query over the same data.

#include <gtest/gtest.h>

#include <functional>

#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Flavour {
  const char* library;
  int engine;
};
constexpr Flavour kFlavours[] = {{"DEMO", 10}, {"ORA", 2}};

class SelectionRowsTest : public testing::CompileSession {
 protected:
  void StartBoth() {
    std::vector<sproutsmith::testing::LibrarySpec> specs;
    for (const Flavour& f : kFlavours)
      specs.push_back({.name = f.library, .engine_code = f.engine});
    Start(specs);
  }

  // Columns `columns` (1-based) of every row read.
  static Rows Values(const Intake& intake, const std::vector<int>& columns) {
    Rows rows;
    for (int r = 1; r <= intake.rows_read; ++r) {
      std::vector<std::string> row;
      for (int c : columns) row.push_back(intake.result.Cell(r, c));
      rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  Rows Sorted(const std::string& sql) {
    Rows rows = Query(sql);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  long long Count(const std::string& library, const std::string& sql) {
    return std::stoll(install_.Scalar(library, "SELECT COUNT(*) FROM (" + sql + ")"));
  }
};

// A rule's tracking rows are its own: "_", "%", "[" and "'" in a name match only
// themselves, both when the selection leaves tracked rows out and when initialize mode
// deletes them.
TEST_F(SelectionRowsTest, RuleNamesMatchExactlyInTheExclusionAndInInitializeMode) {
  StartBoth();
  struct Case {
    const char* name;
    const char* other;  // a rule whose rows a pattern match would take for this rule's
  };
  const Case cases[] = {
      {"ABC_D", "ABCXD"}, {"ABC_D", "abcxd"}, {"A%B", "AXYZB"},
      {"[A]B", "AB"},     {"A_%", "AB"},      {"O'BRIEN [OLD] 100%", "O'BRIEN O 1000"},
  };
  const auto quoted = sproutsmith::testing::QuotesDoubled;
  for (const Flavour& f : kFlavours) {
    ASSERT_TRUE(connection_->ConnectLibrary(f.library));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.library) + " " + c.name + " / " + c.other);
      install_.options.CheckInitialize = 0;
      install_.Exec(f.library, "DELETE FROM QUIL_SPROUTSMITH");
      // The other rule has seen every client and matter; this rule only client C0001's.
      for (const char* table : {"CLIENT", "MATTER"}) {
        install_.Exec(f.library,
                      std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, "
                                  "STATUS, LOCKED_BY) SELECT SYSTEM_ID, '") +
                          table + "', '" + quoted(c.other) + "', 0, '' FROM " + table);
      }
      install_.Exec(f.library,
                    std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, "
                                "STATUS, LOCKED_BY) SELECT C.SYSTEM_ID, 'CLIENT', '") +
                        quoted(c.name) +
                        "', 0, '' FROM CLIENT C WHERE C.CLIENT_ID = 'C0001' UNION SELECT "
                        "M.SYSTEM_ID, 'MATTER', '" +
                        quoted(c.name) +
                        "', 0, '' FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
                        "WHERE C.CLIENT_ID = 'C0001'");
      const Rows expected = Sorted(
          "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
          "WHERE C.CLIENT_ID <> 'C0001' GROUP BY M.SYSTEM_ID, C.CLIENT_ID");
      ASSERT_GT(expected.size(), 0u);
      rules::RuleRecord rule = Rule("CLIENTS");
      rule.Set(rules::RuleKey::kName, c.name);
      const CompiledRule run = Compile(rule);
      ASSERT_TRUE(run.selection.complete) << Dump();
      EXPECT_EQ(Values(run.intake, {3}), expected);

      const long long others = Count(f.library, std::string("SELECT SID FROM QUIL_SPROUTSMITH "
                                                            "WHERE RULE_NAME = '") +
                                                    quoted(c.other) + "'");
      install_.options.CheckInitialize = 1;
      const CompiledRule init = Compile(rule, 0);
      ASSERT_TRUE(init.selection.complete) << Dump();
      EXPECT_EQ(init.selection.sid_table, "MATTER");
      EXPECT_EQ(Count(f.library, std::string("SELECT SID FROM QUIL_SPROUTSMITH WHERE "
                                             "TABLE_NAME = 'MATTER' AND RULE_NAME = '") +
                                     quoted(c.name) + "'"),
                0);
      EXPECT_EQ(Count(f.library, std::string("SELECT SID FROM QUIL_SPROUTSMITH WHERE "
                                             "RULE_NAME = '") +
                                     quoted(c.other) + "'"),
                others);
    }
  }
  install_.options.CheckInitialize = 0;
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

// Client C0001's folders are recorded for `rule`: its client and its matters.
void TrackClientC0001(sproutsmith::testing::DmInstallation& install, const std::string& library,
                      const std::string& rule) {
  install.Exec(library, "DELETE FROM QUIL_SPROUTSMITH");
  install.Exec(library,
               "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
               "SELECT C.SYSTEM_ID, 'CLIENT', '" +
                   rule +
                   "', 0, '' FROM CLIENT C WHERE C.CLIENT_ID = 'C0001' UNION SELECT M.SYSTEM_ID, "
                   "'MATTER', '" +
                   rule +
                   "', 0, '' FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE "
                   "C.CLIENT_ID = 'C0001'");
}

// An OR written in a qualifier or in an external link's joins stays inside its own
// parentheses: the tracked rows stay excluded and, on Oracle, no (+) join ends up inside
// the OR.
TEST_F(SelectionRowsTest, AnOrInAQualifierOrAJoinDoesNotEscapeTheWhereClause) {
  StartBoth();
  constexpr char kUntrackedMatters[] =
      " AND M.SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH WHERE RULE_NAME = 'CLIENTS' AND "
      "TABLE_NAME = 'MATTER')";
  struct Case {
    const char* name;
    const char* template_text;  // "" keeps the rule's own
    const char* sproutsmith_text;
    std::vector<int> columns;  // the columns compared with the query's
    std::string query;
  };
  const Case cases[] = {
      {"qualifier",
       "",
       "CLIENT.CLIENT_ID = 'C0001' OR CLIENT.CLIENT_ID = 'C0002'",
       {3},
       "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE "
       "C.CLIENT_ID IN ('C0001', 'C0002') AND C.CLIENT_ID <> 'C0001' GROUP BY M.SYSTEM_ID, "
       "C.CLIENT_ID"},
      {"qualifier with its tables and a leading WHERE",
       "",
       "CLIENT | WHERE [OWNER].CLIENT.CLIENT_ID = 'C0003' OR [OWNER].CLIENT.CLIENT_ID = 'C0001'",
       {3},
       "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE "
       "C.CLIENT_ID = 'C0003' GROUP BY M.SYSTEM_ID, C.CLIENT_ID"},
      {"external link joins",
       "%MATTER.MATTER_ID% %\\% %<CLIENT.CLIENT_ID|[OWNER].CLIENT|CLIENT.SYSTEM_ID="
       "MATTER.CLIENT_ID>% %<*NONE*||MATTER.MATTER_ID = '0001' OR CLIENT.CLIENT_ID = 'C0002'>%",
       "",
       {1, 3},
       std::string("SELECT M.MATTER_ID, C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = "
                   "M.CLIENT_ID WHERE (M.MATTER_ID = '0001' OR C.CLIENT_ID = 'C0002')") +
           kUntrackedMatters},
  };
  for (const Flavour& f : kFlavours) {
    ASSERT_TRUE(connection_->ConnectLibrary(f.library));
    TrackClientC0001(install_, f.library, "CLIENTS");
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.library) + ": " + c.name);
      testing::LogWindow window(install_);
      rules::RuleRecord rule = Rule("CLIENTS");
      if (*c.template_text) rule.Set(rules::RuleKey::kTemplate, c.template_text);
      rule.Set(rules::RuleKey::kSproutsmithText, c.sproutsmith_text);
      const Rows expected = Sorted(c.query);
      ASSERT_GT(expected.size(), 0u);
      const CompiledRule run = Compile(rule);
      ASSERT_TRUE(run.selection.complete) << window.Dump();
      EXPECT_EQ(Values(run.intake, c.columns), expected) << run.selection.statement;
      EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
    }
  }
}

// Client, matter and document type of every document (folder profiles left out).
constexpr char kDocuments[] =
    "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
    "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
    "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
    "JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER'";

struct ParameterCase {
  const char* values;
  const char* condition;  // on the documents query's C, M and D
  int warnings;           // "not known to the data dictionary" lines
};

// The default rule with each case's parameters selects the documents the hand-written
// condition selects, on both flavours.
class RuleParameterRowsTest : public SelectionRowsTest {
 protected:
  void Check(const std::vector<ParameterCase>& cases) {
    StartBoth();
    for (const Flavour& f : kFlavours) {
      ASSERT_TRUE(connection_->ConnectLibrary(f.library));
      for (const ParameterCase& c : cases) {
        SCOPED_TRACE(std::string(f.library) + ": " + c.values);
        testing::LogWindow window(install_);
        rules::RuleRecord rule = Rule("CLIENT MATTERS");
        rule.Set(rules::RuleKey::kValues, c.values);
        const Rows expected = Sorted(std::string(kDocuments) + " AND " + c.condition);
        ASSERT_GT(expected.size(), 0u);
        const CompiledRule run = Compile(rule);
        ASSERT_TRUE(run.selection.complete) << window.Dump();
        EXPECT_EQ(Values(run.intake, {3, 5, 7}), expected) << run.selection.statement;
        EXPECT_EQ(window.Count("is not known to the data dictionary - the condition is ignored"),
                  c.warnings);
        EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
      }
    }
  }
};

TEST_F(RuleParameterRowsTest, ParenthesisedAndNestedGroupsSelectTheRightRows) {
  Check({
      {"(%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001' OR %MATTER.CLIENT_ID.CLIENT_ID% = 'C0002') AND "
       "%MATTER.MATTER_ID% = '0001'",
       "C.CLIENT_ID IN ('C0001', 'C0002') AND M.MATTER_ID = '0001'", 0},
      {"%MATTER.MATTER_ID% = '0002' AND (%MATTER.CLIENT_ID.CLIENT_ID% = 'c0003' OR "
       "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0004')",
       "M.MATTER_ID = '0002' AND C.CLIENT_ID IN ('C0003', 'C0004')", 0},
      {"((%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001' AND %MATTER.MATTER_ID% = '0002') OR "
       "(%MATTER.CLIENT_ID.CLIENT_ID% = 'C0003' AND (%MATTER.MATTER_ID% = '0001' OR "
       "%MATTER.MATTER_ID% = '0002'))) AND %DOCUMENTTYPE.TYPE_ID% <> 'NONE'",
       "((C.CLIENT_ID = 'C0001' AND M.MATTER_ID = '0002') OR C.CLIENT_ID = 'C0003')", 0},
      // A value list keeps its parentheses; a group keeps what its dropped member leaves.
      {"%MATTER.MATTER_ID% IN ('0001', '0002') AND (%MATTER.CLIENT_ID.CLIENT_ID% = 'C0002' OR "
       "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0004')",
       "C.CLIENT_ID IN ('C0002', 'C0004')", 0},
      {"(%APPLICATION.APPLICATION% = 'FOLDER' OR %MATTER.MATTER_ID% = '0002') AND "
       "%MATTER.CLIENT_ID.CLIENT_ID% = 'C0001'",
       "M.MATTER_ID = '0002' AND C.CLIENT_ID = 'C0001'", 0},
  });
}

// A path the data dictionary cannot follow is dropped with a warning; the rule selects as
// if the condition were absent.
TEST_F(RuleParameterRowsTest, AnUnknownPathIsDroppedWithAWarning) {
  Check({
      {"%MATTER.BOGUS.X% = 'Y' AND %MATTER.CLIENT_ID.CLIENT_ID% = 'C0002'", "C.CLIENT_ID = 'C0002'",
       1},
      {"%MATTER.CLIENT_ID.BOGUS.X% = 'Y' OR %MATTER.CLIENT_ID.CLIENT_ID% = 'C0003'",
       "C.CLIENT_ID = 'C0003'", 1},
      {"(%MATTER.BOGUS.X% = 'Y' OR %MATTER.BOGUS.Z% = 'Y')", "1 = 1", 2},
  });
}

// Folder profiles stay out of a rule that selects documents, however the library's APPS
// table reads: a document without an application is selected, a second FOLDER application
// is a folder's too, and a library without one has documents only.
TEST_F(SelectionRowsTest, TheDocumentsOnlyFilterIsNullSafe) {
  StartBoth();
  constexpr char kAllDocuments[] =
      "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
      "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
      "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
      "LEFT JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
      "WHERE A.APPLICATION IS NULL OR A.APPLICATION <> 'FOLDER'";
  // A matter of client C0001 whose only profile has `application`.
  auto profile_on_new_matter = [&](const std::string& library, int key,
                                   const std::string& application) {
    install_.Exec(library,
                  "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) "
                  "SELECT " +
                      std::to_string(key) + ", SYSTEM_ID, '" + std::to_string(key) +
                      "', 'New' FROM CLIENT WHERE CLIENT_ID = 'C0001'");
    install_.Exec(library,
                  "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, MATTER, "
                  "DOCUMENTTYPE) SELECT " +
                      std::to_string(key + 1) + ", " + std::to_string(key + 1) + ", 'P', " +
                      application + ", " + std::to_string(key) +
                      ", MIN(SYSTEM_ID) FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER'");
  };
  struct Case {
    const char* name;
    std::function<void(const std::string&)> change;
    int new_rows;  // rows the change adds to the selection
  };
  const Case cases[] = {
      {"a folder profile",
       [&](const std::string& l) {
         profile_on_new_matter(l, 90100,
                               "(SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = "
                               "'FOLDER')");
       },
       0},
      {"a document without an application",
       [&](const std::string& l) { profile_on_new_matter(l, 90200, "NULL"); }, 1},
      {"a second FOLDER application",
       [&](const std::string& l) {
         // The stand-in's APPS keeps its names unique; a real library need not.
         install_.Exec(l, "CREATE TABLE APPS_COPY AS SELECT * FROM APPS");
         install_.Exec(l, "DROP TABLE APPS");
         install_.Exec(l, "ALTER TABLE APPS_COPY RENAME TO APPS");
         install_.Exec(l, "INSERT INTO APPS (SYSTEM_ID, APPLICATION) VALUES (90300, 'FOLDER')");
         profile_on_new_matter(l, 90310, "90300");
       },
       0},
      {"no FOLDER application",
       [&](const std::string& l) {
         install_.Exec(l,
                       "UPDATE APPS SET APPLICATION = 'NOT A FOLDER' WHERE APPLICATION = "
                       "'FOLDER'");
       },
       2},
  };
  for (const Flavour& f : kFlavours) {
    ASSERT_TRUE(connection_->ConnectLibrary(f.library));
    size_t before = Sorted(kAllDocuments).size();
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.library) + ": " + c.name);
      c.change(f.library);
      testing::LogWindow window(install_);
      const Rows expected = Sorted(kAllDocuments);
      EXPECT_EQ(expected.size(), before + static_cast<size_t>(c.new_rows));
      before = expected.size();
      const CompiledRule run = Compile(Rule("CLIENT MATTERS"));
      ASSERT_TRUE(run.selection.complete) << window.Dump();
      EXPECT_EQ(Values(run.intake, {3, 5, 7}), expected) << run.selection.statement;
      EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
    }
  }
}

// A table is joined along a foreign key or a condition of the rule that names it; a table
// that nothing joins makes the rule incomplete instead of a cross join.
TEST_F(SelectionRowsTest, ATableNothingJoinsMakesTheRuleIncomplete) {
  StartBoth();
  constexpr char kTwoLinks[] = "%<CLIENT.CLIENT_ID>% %\\% %<MATTER.MATTER_ID>%";
  constexpr char kPairs[] =
      "SELECT C.CLIENT_ID, M.MATTER_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID";
  struct Case {
    const char* name;
    const char* template_text;
    const char* sproutsmith_text;
    bool complete;
  };
  const Case cases[] = {
      {"no link, no condition", kTwoLinks, "", false},
      {"joined by the qualifier", kTwoLinks, "MATTER.CLIENT_ID = CLIENT.SYSTEM_ID", true},
      {"joined by the external link",
       "%<CLIENT.CLIENT_ID>% %\\% %<MATTER.MATTER_ID|[OWNER].MATTER|MATTER.CLIENT_ID = "
       "CLIENT.SYSTEM_ID>%",
       "", true},
  };
  for (const Flavour& f : kFlavours) {
    ASSERT_TRUE(connection_->ConnectLibrary(f.library));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.library) + ": " + c.name);
      testing::LogWindow window(install_);
      rules::RuleRecord rule = Rule("CLIENTS");
      rule.Set(rules::RuleKey::kTemplate, c.template_text);
      rule.Set(rules::RuleKey::kSproutsmithText, c.sproutsmith_text);
      const CompiledRule run = Compile(rule);
      EXPECT_EQ(run.selection.complete, c.complete) << window.Dump();
      EXPECT_EQ(window.Count("Notice: SQL incomplete - check rule syntax. Unable to process rule "
                             "CLIENTS"),
                c.complete ? 0 : 1);
      EXPECT_EQ(window.Count("Note: Neither a foreign key nor a condition of the rule joins "
                             "MATTER"),
                c.complete ? 0 : 1);
      if (c.complete) {
        EXPECT_EQ(Values(run.intake, {1, 3}), Sorted(kPairs)) << run.selection.statement;
      } else {
        EXPECT_EQ(window.Count("SELECT DISTINCT"), 0);
        EXPECT_EQ(run.intake.matched, 0);
        EXPECT_EQ(window.Count("joined through the rule's own conditions"), 0);
      }
      EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
    }
  }
}

// PROFILE and DOCUMENTTYPES join the statement when the template's items select from them,
// along the template's foreign keys; a literal folder name holding the word adds nothing.
TEST_F(SelectionRowsTest, ProfileAndDocumentTypesJoinOnlyWhenTheItemsSelectFromThem) {
  StartBoth();
  constexpr char kMattersClients[] =
      "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID GROUP BY "
      "M.SYSTEM_ID, C.CLIENT_ID";
  struct Case {
    const char* template_text;
    std::vector<int> columns;
    const char* query;
  };
  const Case cases[] = {
      {"%<MATTER.MATTER_NAME>% %\\% %MATTER.MATTER_ID% %\\% %<PROFILE.DOCNUMBER>%",
       {1, 3, 5},
       "SELECT M.MATTER_NAME, M.MATTER_ID, P.DOCNUMBER FROM PROFILE P JOIN MATTER M ON "
       "M.SYSTEM_ID = P.MATTER WHERE NOT EXISTS (SELECT * FROM APPS A WHERE A.SYSTEM_ID = "
       "P.APPLICATION AND A.APPLICATION = 'FOLDER')"},
      {"%CLIENT PROFILES% %\\% %MATTER.CLIENT_ID.CLIENT_ID%", {3}, kMattersClients},
      {"%DOCUMENTTYPE LIST% %\\% %MATTER.CLIENT_ID.CLIENT_ID%", {3}, kMattersClients},
  };
  for (const Flavour& f : kFlavours) {
    ASSERT_TRUE(connection_->ConnectLibrary(f.library));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.library) + ": " + c.template_text);
      testing::LogWindow window(install_);
      rules::RuleRecord rule = Rule("CLIENTS");
      rule.Set(rules::RuleKey::kTemplate, c.template_text);
      const Rows expected = Sorted(c.query);
      ASSERT_GT(expected.size(), 0u);
      const CompiledRule run = Compile(rule);
      ASSERT_TRUE(run.selection.complete) << window.Dump();
      EXPECT_EQ(Values(run.intake, c.columns), expected) << run.selection.statement;
      EXPECT_EQ(window.Count("SQL Error"), 0) << window.Dump();
    }
  }
}

}  // namespace
}  // namespace sproutsmith::templ
