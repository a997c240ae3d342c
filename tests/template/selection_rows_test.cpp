// Rules written the way administrators write them, compiled and run on generated libraries
// of both flavours, each result against a hand-written query over the same data.

#include <gtest/gtest.h>

#include "template/compiler.h"
#include "template/template_levels.h"
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

  CompiledRule Compile(rules::RuleRecord rule, long row_limit_option = 10000) {
    if (!compiler_)
      compiler_ = std::make_unique<TemplateCompiler>(install_.context, *connection_, *store_);
    rule.Set(rules::RuleKey::kTemplate,
             CutTemplateLevels(rule[rules::RuleKey::kTemplate],
                               static_cast<long>(rule.Number(rules::RuleKey::kAutofolderLevel))));
    return compiler_->Compile(rule, {connection_->LibraryName(), row_limit_option, "", ""});
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

  std::unique_ptr<TemplateCompiler> compiler_;
};

// A rule's tracking rows are its own: "_", "%" and "[" in a name match only themselves,
// both when the selection leaves tracked rows out and when initialize mode deletes them.
TEST_F(SelectionRowsTest, RuleNamesMatchExactlyInTheExclusionAndInInitializeMode) {
  StartBoth();
  struct Case {
    const char* name;
    const char* other;  // a rule whose rows a pattern match would take for this rule's
  };
  const Case cases[] = {
      {"ABC_D", "ABCXD"}, {"ABC_D", "abcxd"}, {"A%B", "AXYZB"}, {"[A]B", "AB"}, {"A_%", "AB"},
  };
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
                          table + "', '" + c.other + "', 0, '' FROM " + table);
      }
      install_.Exec(f.library,
                    std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, "
                                "STATUS, LOCKED_BY) SELECT C.SYSTEM_ID, 'CLIENT', '") +
                        c.name +
                        "', 0, '' FROM CLIENT C WHERE C.CLIENT_ID = 'C0001' UNION SELECT "
                        "M.SYSTEM_ID, 'MATTER', '" +
                        c.name +
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
                                                    c.other + "'");
      install_.options.CheckInitialize = 1;
      const CompiledRule init = Compile(rule, 0);
      ASSERT_TRUE(init.selection.complete) << Dump();
      EXPECT_EQ(init.selection.sid_table, "MATTER");
      EXPECT_EQ(Count(f.library, std::string("SELECT SID FROM QUIL_SPROUTSMITH WHERE "
                                             "TABLE_NAME = 'MATTER' AND RULE_NAME = '") +
                                     c.name + "'"),
                0);
      EXPECT_EQ(Count(f.library, std::string("SELECT SID FROM QUIL_SPROUTSMITH WHERE "
                                             "RULE_NAME = '") +
                                     c.other + "'"),
                others);
    }
  }
  install_.options.CheckInitialize = 0;
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::templ
