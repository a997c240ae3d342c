#include "app/exit_status.h"

#include <string_view>

namespace sproutsmith::app {

const char* OutcomeWord(int status) {
  switch (status) {
    case kExitFinished:
      return "finished";
    case kExitFailed:
      return "failed-start";
    case kExitRuleFailed:
      return "rule-failures";
    case kExitNothingToDo:
      return "nothing-to-do";
    case kExitBrokenOff:
      return "broken-off";
    case kExitCancelled:
      return "cancelled";
    case kExitAlreadyRunning:
      return "already-running";
    default:
      return "unknown";
  }
}

int WorseExitStatus(int a, int b) {
  auto rank = [](int status) {
    switch (status) {
      case kExitFinished:
        return 0;
      case kExitNothingToDo:
        return 1;
      case kExitRuleFailed:
        return 2;
      default:
        return 3;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

void RunExitStatus::CycleEnded(int status) {
  cycles_ = cycle_ended_ ? WorseExitStatus(cycles_, status) : status;
  cycle_ended_ = true;
}

int RunExitStatus::Value(bool narration_lost) const {
  if (start_failed_) return kExitFailed;
  if (cancelled_) return kExitCancelled;
  if (broken_off_) return kExitBrokenOff;
  if (narration_lost && (cycles_ == kExitFinished || cycles_ == kExitNothingToDo)) {
    return kExitRuleFailed;
  }
  return cycles_;
}

bool HelpRequested(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") return true;
  }
  return false;
}

std::string HelpText(const std::string& program) {
  return "Usage: " + program + " [switches]\n" +
         R"(Builds DM folders from the rules of the checked libraries. Switches are tested as
substrings of the whole command line, in any case and order (so /XR also counts as /X).

  /G      run one processing cycle when start-up is done
  /X      with /G: show no messages and end the program when the cycle is done
  /L /NL  repeat cycles after the loop delay / do not
  /V /NV  verbose log / errors and warnings only
  /W /NW  lock the workstation while cycles run / do not
  /E      show errors (not with /G)
  /ADNF   queue the documents of new folders for filing
  /K /KX  lock / unlock the options
  /P      purge: delete the configured log file and today's dated log and reports
  /XR     do not ask the DM client to refresh its views after folder changes
  /RV     do not ask it after adding folder items and sorting
  -h, --help  this text; nothing is started
  --version   the version and the commit it was built from; nothing is started

The DM installation comes from the file named by SPROUTSMITH_DM, else
$XDG_CONFIG_HOME/sproutsmith/dm.conf, else /etc/sproutsmith/dm.conf. When none exists,
a start that is not unattended makes a demo installation in the per-user folder; an
unattended run (/G /X) fails instead (sproutsmith-dm init-demo makes a trial one).
The options, library and rule marks and SiteName are in the per-user folder
($XDG_CONFIG_HOME/sproutsmith). Switches given to an unattended run are not saved.

The log is one file per day: the configured log file (setting LogFile, by default
$LOGS_DIRECTORY, else $TEMP, else $TMPDIR, else the program's folder, with the name
"Arborline Sproutsmith for OpenText eDOCS.LOG") with "_YYYYMMDD" before the extension of
its file name. Each run writes its own JSON report beside it, after every cycle and at
its end: the dated log's name with "_HHMMSS" (when the run started) and ".json" in place
of its extension (start and end times; errors and warnings; per library and rule of the
last cycle: outcome, first error, rows selected, folders created, rows failed, errors,
warnings, seconds; the libraries that failed and the unchecked ones with the reason; the
exit status). Logs and reports older than the KeepLogDays setting (default 30 days, 0
keeps all) are removed at start-up. Every run ends with one line on stderr:
"Outcome: WORD (exit N). Log: PATH. Report: PATH"; an unattended run (/G /X) first
prints one line per rule and each unchecked library. A run that stops with status 6
writes no log and no report (the other run's are left alone).

A first SIGTERM, SIGINT or SIGHUP cancels the run as the Exit button does (the cycle
stops at its next check, the options are saved, this computer's running-node rows are
removed); in the loop delay it just ends the run. A second one ends the process at once.

One run at a time per DM installation and computer: a run that finds another one under
way (a timer's run and a manual one) stops at once with status 6. Its lock file lies
beside the DM configuration file ("<file>.<COMPUTERNAME>.lock").

Exit status (the worst of the run's cycles):
  0  finished: every checked rule ran to its end without an error (nothing new is
     fine; a rule held by another computer is that computer's work)
  1  failed start: no DM session, no rights, a broken installation
  2  rule failures: a rule had failed rows or errors, broke off, or was skipped
     (missing tables, an SQL or syntax error, an improper configuration), or its
     library was busy: another program held a write lock on it for longer than the
     library's busy_wait (the rule stops; the next cycle tries again); or a checked
     library could not be opened or used (it is unchecked); or the log or the report
     could not be written
  3  nothing to do: no library or rule checked
  4  broken off: the cycle was broken off by an unexpected error
  5  cancelled: a signal or Exit stopped the run before its cycle ended
  6  already running: another run on the same DM installation and computer (the
     same COMPUTERNAME) was under way, so this one stopped at once without doing
     anything; the error line names that run's process
)";
}

}  // namespace sproutsmith::app
