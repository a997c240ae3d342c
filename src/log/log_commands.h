#pragma once
// The log menu and button commands: view or purge the day's log, view the read-me, toggle
// time stamps, choose the log location. Viewers are started through the ProgramLauncher and
// never waited for. Each command traps unexpected errors under its handler's name.

#include <string>

#include "log/context.h"
#include "platform/os/program_launcher.h"

namespace sproutsmith::log {

class LogCommands {
 public:
  LogCommands(Context& context, os::ProgramLauncher& launcher)
      : context_(context), launcher_(launcher) {}

  // Opens the file in the default viewer (a ".HTM" file in the browser); a missing file
  // does nothing. The status caption is restored afterwards.
  void ViewFile(const std::string& path);
  // Asks, then deletes the file; an empty path or a missing file asks nothing.
  void PurgeFile(const std::string& path);

  // View Log: the file written last, or before any line of this run, today's file.
  void MNLogView();
  // View Log's file with every line logged so far in it; "" once the user was told there is
  // none ("Log file not defined", "<file> not found"). For a window that shows it itself.
  std::string LogToView();
  // Whether the desktop has a default viewer for ViewFile and the read-me to start.
  bool HasDesktopViewer() const { return !launcher_.DefaultViewer().empty(); }
  // Purge Log: the file written last in this run.
  void MNLogPurge();
  // Shows the read-me (RunState::ReadmePath) when it exists.
  void MNHelpReadme();
  // Inverts the time-stamp option; it is saved at program end.
  void MNTimeStampLogFile();
  // Asks for the log file's location. A chosen name becomes LogFile and is saved at once;
  // returns true then (the caller shows it as the button's tool tip). Cancel changes nothing.
  bool ButtonLogDir();

 private:
  void SetCaption(const std::string& caption);
  void StartViewer(const std::string& program, const std::string& path);

  Context& context_;
  os::ProgramLauncher& launcher_;
};

}  // namespace sproutsmith::log
