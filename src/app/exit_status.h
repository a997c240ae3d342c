#pragma once
// The exit status of a run, for whoever started it (cron, a service manager, a script), and
// the program's --help text that documents it.

#include <string>

namespace sproutsmith::app {

// Every checked rule ran to its end without an error (nothing new to build counts too).
inline constexpr int kExitFinished = 0;
// Start-up failed: no DM session, no rights, a broken installation.
inline constexpr int kExitFailed = 1;
// The cycle finished, but a rule had failed rows or errors, broke off, or was skipped
// (missing tables, an SQL or syntax error, an improper configuration); a checked library
// could not be used; or the run's log or report could not be written.
inline constexpr int kExitRuleFailed = 2;
// Nothing to do: no library or rule checked.
inline constexpr int kExitNothingToDo = 3;
// The cycle was broken off by an unexpected error or a lost DM session.
inline constexpr int kExitBrokenOff = 4;
// Cancelled (a signal or Exit) before the cycle ended.
inline constexpr int kExitCancelled = 5;
// Another run on this DM installation and computer was under way: this one did nothing.
inline constexpr int kExitAlreadyRunning = 6;

// One word per status, for the outcome line: "finished", "failed-start", "rule-failures",
// "nothing-to-do", "broken-off", "cancelled", "already-running"; "unknown" otherwise.
const char* OutcomeWord(int status);
// Of two cycles' statuses, the one that says more is wrong (broken off, then rule failures,
// then nothing to do, then finished).
int WorseExitStatus(int a, int b);

// A run's exit status, gathered as the run goes: a failed start, then a cancel before the
// cycle ended, then a cycle broken off, else the worst of the cycles' statuses (finished when
// no cycle ran).
class RunExitStatus {
 public:
  void StartFailed() { start_failed_ = true; }
  void Cancelled() { cancelled_ = true; }
  void BrokenOff() { broken_off_ = true; }
  // A cycle ended with `status` (finished, rule failures or nothing to do).
  void CycleEnded(int status);
  bool WasCancelled() const { return cancelled_; }
  // `narration_lost`: the run's log or report could not be written, so a run that finished
  // did not, as far as anyone can tell.
  int Value(bool narration_lost) const;

 private:
  bool start_failed_ = false;
  bool cancelled_ = false;
  bool broken_off_ = false;
  bool cycle_ended_ = false;
  int cycles_ = kExitFinished;
};

// Whether the arguments ask for the help text (--help, -h, /?); nothing else is started.
bool HelpRequested(int argc, const char* const* argv);
// The switches the program knows, where the log and report go, and the exit statuses.
std::string HelpText(const std::string& program);

}  // namespace sproutsmith::app
