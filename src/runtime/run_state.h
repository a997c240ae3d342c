#pragma once
// Run state shared by every subsystem: the command line and the flags through which a click
// reaches the running cycle. One instance per engine; no globals.

#include <string>
#include <string_view>

namespace sproutsmith::runtime {

struct RunState {
  std::string CommandLine;  // trimmed, upper-cased; switches are substring tests
  std::string TempDir;
  std::string LogFile;
  std::string ReadmePath;
  std::string ProgramFolder;
  std::string SiteName;  // empty: every site-specific shape off
  bool Locked = false;
  bool CycleRunning = false;
  bool CancelRequested = false;
  bool InLoopDelay = false;
  bool Paused = false;

  // Substring test on CommandLine (so "/XR" also counts as "/X").
  bool HasSwitch(std::string_view s) const { return CommandLine.find(s) != std::string::npos; }
  // Both "/G" and "/X": no message boxes, questions answer Yes.
  bool Unattended() const { return HasSwitch("/G") && HasSwitch("/X"); }
};

}  // namespace sproutsmith::runtime
