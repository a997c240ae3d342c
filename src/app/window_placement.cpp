#include "app/window_placement.h"

#include <algorithm>

namespace sproutsmith::app {
namespace {

long Place(std::optional<long> saved, long screen, long window) {
  const long centred = (screen - window) / 2;
  const long position = saved.value_or(centred);
  // Compared as screen * 3/4 without rounding it first.
  if (position * 4 >= screen * 3 || position < 1000) return centred;
  return position;
}

}  // namespace

WindowRect PlaceWindow(std::optional<long> saved_left, std::optional<long> saved_top,
                       ScreenSize screen, WindowRect window) {
  WindowRect placed = window;
  placed.top = Place(saved_top, screen.height, window.height);
  placed.left = Place(saved_left, screen.width, window.width);
  placed.width = kWindowWidth;
  placed.height = std::max(window.height, kWindowMinHeight);
  return placed;
}

}  // namespace sproutsmith::app
