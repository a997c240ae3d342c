// Cutting a selected row into levels: cleaning, trimming, separators, the auto-folder level and
// what the row's identifying columns add to the folder's profile and the queue.

#include "folders/row_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/dm_installation.h"

namespace sproutsmith::folders {
namespace {

// "A|B||C" as {"A", "B", "", "C"}; "" as no item at all.
std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> items;
  for (size_t from = 0; !text.empty(); ++from) {
    const size_t bar = text.find('|', from);
    items.push_back(text.substr(from, bar - from));
    if (bar == std::string::npos) break;
    from = bar;
  }
  return items;
}

class RowPlanTest : public ::testing::Test {
 protected:
  RowPlan Plan(std::vector<std::string> headings, std::vector<std::string> values, long autofolder,
               const std::vector<templ::TemplateItem>& items = {}) {
    headings.insert(headings.begin(), "");
    values.insert(values.begin(), "");
    values_ = values;
    templ::ParsedTemplate parsed;
    parsed.items = items;
    return PlanRow(install_.log, headings, values_, 1, 1, parsed, selection_, autofolder);
  }
  int Count(const std::string& line) const { return install_.CountLogLines(line); }

  testing::DmInstallation install_;
  templ::Selection selection_;
  std::vector<std::string> values_;
};

TEST_F(RowPlanTest, LevelsFromTheColumnWalk) {
  // What; headings, values; the auto-folder level; levels; lines each logged once. Each list
  // "|"-separated.
  using Case = std::tuple<const char*, const char*, const char*, long, const char*, const char*>;
  const Case cases[] = {
      {"two levels", "CLIENT.CLIENT_ID|X.S|MATTER.MATTER_ID", "ACME|\\|M1", 0, "ACME|M1",
       "Level 1:ACME (a)|Level 2:M1 (b)"},
      {"values are concatenated within a level", "C.ID|C.NAME|X.S|M.ID", "C1| Harbour|/|M1", 0,
       "C1 Harbour|M1", ""},
      {"percent signs and an APPS. prefix are cleaned", "A.X|X.S|B.Y", "%APPS.X%|\\|50%", 0,
       "APPSX|50", "01: A.X=APPSX|03: B.Y=50"},
      {"a blank middle level stays in the list", "A.X|S.1|B.Y|S.2|C.Z", "A|\\||\\|C", 0, "A||C",
       ""},
      {"the auto-folder level cuts the walk", "A.X|S.1|B.Y|S.2|C.Z|S.3|D.W", "A|\\|B|\\|C|\\|D", 2,
       "A|B", "Rule_AutoFolder_Level 2 reached"},
      {"a separator in the last column opens no level", "A.X|S.1", "A|\\", 0, "A", ""},
      // LEFT n keeps the first n characters of the column before it, RIGHT the last; the
      // instruction keeps its own value, so it is part of the level's name.
      {"trimming", "C.ID|T.1|S.1|M.ID|T.2", "C0001|left3|\\|M0042|RIGHT2", 0, "C00left3|42RIGHT2",
       "Trimming SQL column #1 \"C0001\" to first 3 character(s)|Trimming SQL column #4 "
       "\"M0042\" to right-most 2 character(s)"},
      // LEFT0 and a LEFT without digits change nothing but are still logged.
      {"LEFT0", "A.X|T.1|B.Y", "ABCDEF|LEFT0|Z", 0, "ABCDEFLEFT0Z",
       "Trimming SQL column #1 \"ABCDEF\" to first 0 character(s)"},
      {"a row of exactly two columns is never trimmed", "A.X|T.1", "ABCDEF|LEFT3", 0, "ABCDEFLEFT3",
       ""},
  };
  for (const auto& [what, headings, values, autofolder, levels, log_lines] : cases) {
    SCOPED_TRACE(what);
    const RowPlan plan = Plan(Split(headings), Split(values), autofolder);
    EXPECT_EQ(plan.level_names, Split(levels));
    for (const std::string& line : Split(log_lines)) EXPECT_EQ(Count(line), 1) << line;
  }
}

TEST_F(RowPlanTest, IdentifyingColumnsFeedTheProfileAndTheQueue) {
  templ::TemplateItem matter;
  matter.ProfileAssignment = "MATTER = MATTER.SYSTEM_ID";
  templ::TemplateItem type;
  type.ProfileAssignment = "DOCUMENTTYPE = DOCUMENTTYPES.SYSTEM_ID";
  templ::TemplateItem app;
  app.ProfileAssignment = "APPLICATION = APPS.SYSTEM_ID";
  const RowPlan plan = Plan({"MATTER.MATTER_ID", "MATTER.SYSTEM_ID", "X.S", "PROFILE.TYPE",
                             "DOCUMENTTYPES.SYSTEM_ID", "APPS.SYSTEM_ID", "PROFILE.SYSTEM_ID"},
                            {"M1", "42", "\\", "MEMO", "7", "3", "900"}, 0, {matter, type, app});
  EXPECT_EQ(plan.level_names, (std::vector<std::string>{"M1", "MEMO"}));
  EXPECT_EQ(plan.source_profile_id, 900);
  EXPECT_EQ(plan.profile_workspace_level, 2);
  EXPECT_EQ(plan.folder_metadata_set, "MATTER = 42");
  EXPECT_EQ(plan.document_type_clause, "DOCUMENTTYPE = 7");
  EXPECT_EQ(plan.queue_conditions, "PROFILE.SYSTEM_ID = 900 AND MATTER = 42 AND APPLICATION = 3");
  EXPECT_EQ(Count("Adding SQL for setting folder metadata: MATTER = 42"), 1);
}

TEST_F(RowPlanTest, WorkspaceLinkValuesComeFromTheirKeyColumns) {
  selection_.group_link = {"PRACTICE", "GROUP_SYSTEM_ID", "PRACTICE_ID"};
  selection_.people_link = {"CLIENT", "PARTNER", "CLIENT_ID"};
  const RowPlan plan = Plan({"CLIENT.CLIENT_ID", "PRACTICE.PRACTICE_ID"}, {"C1", "LIT"}, 0);
  EXPECT_EQ(plan.people_link_value, "C1");
  EXPECT_EQ(plan.group_link_value, "LIT");
  EXPECT_EQ(Count("Group Link Value for workspace is LIT"), 1);
}

}  // namespace
}  // namespace sproutsmith::folders
