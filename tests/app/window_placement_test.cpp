#include "app/window_placement.h"

#include <gtest/gtest.h>

namespace sproutsmith::app {
namespace {

TEST(WindowPlacementTest, SavedPositionsOffTheUsableScreenAreRecentred) {
  const ScreenSize screen{20000, 12000};
  const WindowRect start{0, 0, 4000, 8000};
  // Centred: left (20000 - 4000) / 2 = 8000, top (12000 - 8000) / 2 = 2000.
  struct Case {
    std::optional<long> left, top;
    long want_left, want_top;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, 8000, 2000},
      {5000, 3000, 5000, 3000},
      {999, 3000, 8000, 3000},   // the very left edge
      {1000, 1000, 1000, 1000},  // 1000 itself is kept
      {-200, 999, 8000, 2000},
      {14999, 8999, 14999, 8999},  // just above three quarters
      {15000, 9000, 8000, 2000},   // at three quarters
      {40000, 50000, 8000, 2000},  // a screen that has since shrunk
  };
  for (const Case& c : cases) {
    const WindowRect placed = PlaceWindow(c.left, c.top, screen, start);
    EXPECT_EQ(placed.left, c.want_left) << c.left.value_or(-1);
    EXPECT_EQ(placed.top, c.want_top) << c.top.value_or(-1);
    EXPECT_EQ(placed.width, 4830);
    EXPECT_EQ(placed.height, 9135);  // raised to the minimum
  }
  EXPECT_EQ(PlaceWindow(5000, 3000, screen, {0, 0, 4000, 10000}).height, 10000);
}

}  // namespace
}  // namespace sproutsmith::app
