#pragma once
// The parts of the main window that start-up and program end fill and save, beyond the
// options model: caption, splash, placement, the pause-day list, the library/rule tree
// marks and the enabled states. Plain data; a desktop window binds to it, headless runs
// keep it in memory only. Rule loading on expansion and the other tree commands are in
// library_tree.h.

#include <string>
#include <vector>

#include "app/window_placement.h"

namespace sproutsmith::app {

struct CheckNode {
  std::string text;
  bool checked = false;
};

// A library node of TVRules and its rule nodes. A library whose rules were never loaded
// has the single placeholder child kRulePlaceholder.
struct LibraryNode {
  std::string text;
  bool checked = false;
  std::vector<CheckNode> rules;
};

inline constexpr const char* kRulePlaceholder = "[]";

// The status label's colour while idle or after a cancel (blue 192, as the window system
// stores it).
inline constexpr long kStatusDarkBlue = 0xC00000;
// The status label's colour while a cycle runs (red 192).
inline constexpr long kStatusRed = 0x0000C0;

struct MainWindowModel {
  std::string caption;
  std::string splash_text;
  bool splash_visible = false;
  WindowRect window;               // twips
  // A window really stood on a screen (not just one computed for a console): only then are
  // its place and size worth saving.
  bool window_on_screen = false;
  std::vector<CheckNode> TVPause;  // "Sunday" ... "Saturday"
  std::vector<LibraryNode> TVRules;
  std::string ButtonLogDirToolTip;
  bool LabelLockedVisible = false;
  bool OptionsEnabled = true;  // tab strip, FrameOptions and TVRules
  bool MNHelpReadmeVisible = true;
  bool ButtonExitEnabled = true;
  std::string ButtonExitCaption = "Exit";
  std::string ButtonExitToolTip;
  bool ButtonGoEnabled = true;
  bool TextPauseEnabled = true;  // TextPauseStart and TextPauseEnd
  long LabelStatusColour = kStatusDarkBlue;
  int ListResultsFontSize = 8;  // points
};

}  // namespace sproutsmith::app
