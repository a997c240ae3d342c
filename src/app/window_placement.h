#pragma once
// Where the main window opens (all sizes in twips): the saved position unless it would put
// the window off the usable screen, then the window's fixed width and minimum height.

#include <optional>

namespace sproutsmith::app {

struct WindowRect {
  long left = 0;
  long top = 0;
  long width = 4830;
  long height = 9135;
};

struct ScreenSize {
  long width = 28800;  // 1920 x 1080 pixels at 15 twips a pixel
  long height = 16200;
};

inline constexpr long kWindowWidth = 4830;
inline constexpr long kWindowMinHeight = 9135;

// A saved coordinate below 1000 twips, or at or beyond three quarters of the screen, is
// re-centred; an absent one is centred. `window` gives the size before placement.
WindowRect PlaceWindow(std::optional<long> saved_left, std::optional<long> saved_top,
                       ScreenSize screen, WindowRect window);

}  // namespace sproutsmith::app
