#include "tools/tracking_viewer.h"

#include <gtest/gtest.h>

#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

using runtime::Answer;

using TrackingViewerTest = ToolsSession;

TEST_F(TrackingViewerTest, ListsEveryRowInOrderWithTheTotalInTheCaption) {
  TrackingViewer viewer(context(), connection());
  ASSERT_TRUE(viewer.Open(Choose("DEMO")));
  EXPECT_EQ(viewer.caption(), "Quil_Sproutsmith contents in library DEMO (Total: 0)");
  EXPECT_TRUE(viewer.rows().empty());

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
