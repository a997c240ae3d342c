#pragma once
// What start-up, the Go button and program end need from the DM session, and nothing more.
// The engine reaches the DM session only through this seam; the session's implementation
// (login, libraries, SQL pass-through, the processing cycle) lives below it.
//
// Contract for implementers:
// - AttachHost is called once, first. StartFusion is called once, before any other member
//   except ActiveStatus and ReleaseObjects (program end calls those also after a failed
//   start, so they must tolerate a session that never came up).
// - Every member reports its own failures in the log; none may throw for an expected
//   failure. An exception that escapes is an unexpected error: the engine traps it.

#include <functional>
#include <string>
#include <vector>

#include "app/main_window_model.h"
#include "app/run_report.h"

namespace sproutsmith::app {

// What the engine lends the seam for the processing cycle. Lives as long as the engine.
struct SeamHost {
  MainWindowModel& window;
  std::function<void()> lock_workstation;
  // Ends the program; while a cycle runs, only once it has returned.
  std::function<void()> end_program;
  // Told what each pass of the cycle did when it ends; may be empty.
  std::function<void(const CycleReport&)> cycle_ended;
};

class DmSeam {
 public:
  virtual ~DmSeam() = default;
  // Called once by the engine that owns the seam, before StartFusion.
  virtual void AttachHost(const SeamHost&) {}
  // Logs on and connects the current library. False: start-up fails.
  virtual bool StartFusion() = 0;
  // The names of the libraries of the session, in the session's order.
  virtual std::vector<std::string> LibraryNames() = 0;
  // The logged-on user's DM user id.
  virtual std::string UserId() = 0;
  // The name of the connected library.
  virtual std::string CurrentLibraryName() = 0;
  // Runs a statement (Microsoft SQL Server flavour with "[OWNER]") in the connected library;
  // column 1 of row 1 as text, "" when there is no row or the statement failed.
  virtual std::string RunScalar(const std::string& sql) = 0;
  // The running-node bookkeeping: mode -1 with an empty rule clears this computer's rows.
  virtual void ActiveStatus(int mode, const std::string& rule) = 0;
  // Releases the DM objects at program end; later calls do nothing.
  virtual void ReleaseObjects() = 0;
  // One press of Go: the processing cycle over the checked libraries and rules. Returns
  // after the cycle's own ending (which, after "/X", asks the host to end the program).
  // False when an unexpected error broke the cycle off (reported in the log).
  virtual bool Go() = 0;
};

// The session of a machine without a DM installation: it never starts, so start-up ends
// with its "Unable to start the DM" message. Nothing pretends to work.
class NoDmSession final : public DmSeam {
 public:
  bool StartFusion() override { return false; }
  std::vector<std::string> LibraryNames() override { return {}; }
  std::string UserId() override { return ""; }
  std::string CurrentLibraryName() override { return ""; }
  std::string RunScalar(const std::string&) override { return ""; }
  void ActiveStatus(int, const std::string&) override {}
  void ReleaseObjects() override {}
  bool Go() override { return true; }
};

}  // namespace sproutsmith::app
