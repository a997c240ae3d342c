#pragma once
// One running program: its clock, settings, window (Ui), DM session, run state, options,
// identity, log and the Context handed to every subsystem. Nothing is global, so two
// engines in one process play two computers.
//
// Headless runs call Run. A desktop window drives the same steps itself: StartUp when it
// loads, Go from its button, ClickExit and RequestClose from its Exit button and close box.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/main_window_model.h"
#include "app/run_report.h"
#include "app/session.h"
#include "app/window_placement.h"
#include "log/context.h"
#include "log/log.h"
#include "log/log_commands.h"
#include "platform/os/clock.h"
#include "platform/os/environment.h"
#include "platform/os/file_system.h"
#include "platform/os/program_launcher.h"
#include "platform/os/settings_store.h"
#include "runtime/identity.h"
#include "runtime/options.h"
#include "runtime/run_state.h"
#include "runtime/ui.h"

namespace sproutsmith::app {

// What the engine is built from; it takes ownership of all of it.
struct EngineParts {
  std::unique_ptr<os::Clock> clock;
  std::unique_ptr<os::SettingsStore> settings;
  std::unique_ptr<runtime::Ui> ui;
  // The DM installation the session logs on to; without a client start-up fails and says why.
  InstallationChoice installation;
  std::unique_ptr<os::ProgramLauncher> launcher;
  std::unique_ptr<os::Environment> environment;
  // The log's file operations and start-up's purge; the system's when not set.
  std::unique_ptr<os::FileSystem> files;
  ScreenSize screen;  // twips; a console has no screen and keeps the default
  // Polled at every yield point and one-second wait; true once someone outside asks the run
  // to stop (a signal). The stop then works as the Exit button does. May be empty.
  std::function<bool()> stop_requested;
  // This computer's name, for the running-node rows and the run report.
  std::string computer_name;
};

class Engine {
 public:
  // REQUIRES: every part is set but `installation`, `files` and `stop_requested`.
  explicit Engine(EngineParts parts);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Start-up, with "/G" one processing cycle, then program end (a console has no window to
  // wait in). Returns ExitStatus(); the run report has been written for it.
  int Run(const std::vector<std::string>& args);
  // The run's exit status so far (see exit_status.h): a failed start, a cancel before the
  // cycle ended, a cycle broken off, else the worst of the cycles' statuses (finished when
  // no cycle ran).
  int ExitStatus() const;

  // Start-up; with "/G" the cycle runs before it returns. False: start-up failed and the
  // failure end, program end included, has run. Runs once per engine.
  bool StartUp(const std::vector<std::string>& args);
  // One press of Go. A program end requested while the cycle runs waits until it returns.
  void Go();
  void ClickExit();
  void RequestClose();
  // Saves the options and releases the DM session; runs once, later calls do nothing.
  void ProgramEnd();

  // Why the start failed ("" when it did not), and whether a message box already showed
  // that text (unattended runs show none: the caller must report it).
  const std::string& FailureMessage() const { return failure_.message; }
  bool FailureMessageShown() const { return failure_.shown; }
  bool Ended() const { return phase_ == Phase::kEnded; }
  // The last cycle's report (null before the first cycle ended) and how many cycles ended.
  const CycleReport* LastCycle() const { return cycles_ > 0 ? &last_cycle_ : nullptr; }
  int Cycles() const { return cycles_; }
  // The library nodes that are unchecked (saved so at program end), each with why: the
  // failure that unchecked it, in this run or an earlier one, else an operator's choice.
  std::vector<LibraryProblem> UncheckedLibraries() const;
  // The dated log file of this run (the one written last, else today's), holding every line
  // logged so far.
  std::string LogPath();
  // This run's JSON report beside it (named with the day and time the run started), and why
  // it could not be written ("" when it was).
  std::string ReportPath();
  const std::string& ReportFailure() const { return report_failure_; }
  // Writes the run report for the current exit status; called after every cycle and at
  // the end of Run.
  void WriteRunReport();

  Context& context() { return context_; }
  runtime::RunState& state() { return state_; }
  runtime::Options& options() { return options_; }
  const runtime::Identity& identity() const { return identity_; }
  MainWindowModel& window() { return window_; }
  log::Log& log() { return log_; }
  log::LogCommands& log_commands() { return log_commands_; }
  os::SettingsStore& settings() { return *parts_.settings; }
  Session& session() { return *session_; }

 private:
  bool StartUpSteps(const std::vector<std::string>& args);
  // The steps of start-up, in their order.
  void ShowSplash();
  void ChooseLogFile(const std::vector<std::string>& args);
  // The banner, then the session's log-on; false (with the failure shown) when it fails.
  bool ConnectSession(size_t logs_removed, int keep_days);
  void ListLibraries();
  void FailureEnd();
  void EndProgramWhenIdle();
  // A start-up caption: the status label only, not the log.
  void Caption(const std::string& text);
  bool ShowFailure(const std::string& message, runtime::MessageStyle style);
  void CycleEnded(const CycleReport& report);
  void SaveUncheckedReasons();
  // At every yield point once a stop was requested: cancels as Exit does, whatever the
  // run is doing then (start-up, a pass, the pause, the loop delay).
  void PollStop();
  std::string Setting(const std::string& key, const std::string& fallback) const;

  EngineParts parts_;
  runtime::RunState state_;
  runtime::Options options_;
  runtime::Identity identity_;
  MainWindowModel window_;
  log::Log log_;
  Context context_;
  log::LogCommands log_commands_;
  std::unique_ptr<Session> session_;

  enum class Phase { kNew, kStartingUp, kStarted, kEnded };
  Phase phase_ = Phase::kNew;
  // Start-up's failure: the message, and whether a box showed it (the failure end then
  // shows no second one).
  struct Failure {
    std::string message;
    bool shown = false;
    bool fusion_shown = false;
  } failure_;
  // A stop asked for from outside (a signal), worked off at the yield points.
  struct OutsideStop {
    bool asked = false;
    bool closing = false;      // the program end is on its way
    bool ended_delay = false;  // the loop delay was ended for it
    bool polling = false;
    int pause_timer = 0;  // the pause timer's check box when the stop arrived
  } stop_;
  RunExitStatus exit_status_;
  // Start-up or a cycle is under way: a program end asked for meanwhile waits for it.
  int busy_depth_ = 0;
  bool end_when_idle_ = false;
  bool cycle_begun_ = false;
  int cycles_ = 0;
  // Why each library was unchecked by a failure (settings section kUncheckedReasons).
  std::map<std::string, std::string> unchecked_reasons_;
  text::DateTime run_started_;
  std::string ended_at_;     // the report's "ended"
  std::string report_path_;  // chosen at the first write, kept for the whole run
  // The General options as the settings held them, before any switch: what an unattended
  // run saves back.
  runtime::Options saved_options_;
  CycleReport last_cycle_;
  std::string report_failure_;
};

}  // namespace sproutsmith::app
