#pragma once
// The DM session of one running program, made once and used by the engine, the window and the
// admin tool: the installation's client, the connected library, the rule store (reloaded on
// every connection), the running-node rows, the template compiler (its caches kept for the
// program run), the folder builder, the library/rule tree over the window's model and the
// processing cycle that Go runs.
//
// Every member reports its own failures in the log and throws only for the unexpected (the
// caller's trap reports it). Without an installation the session never starts: StartFusion
// logs why and fails, and the members that end a program (ActiveStatus, ReleaseObjects) do
// nothing.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/installation_choice.h"
#include "app/library_tree.h"
#include "app/main_window_model.h"
#include "app/processing_cycle.h"
#include "app/run_report.h"
#include "dm/connection.h"
#include "folders/folder_builder.h"
#include "log/context.h"
#include "rules/rule_store.h"
#include "rules/running_nodes.h"
#include "template/compiler.h"

namespace sproutsmith::app {

// What the owner of the session lends the processing cycle. Each may be empty.
struct SessionHost {
  std::function<void()> lock_workstation;
  // Ends the program; while a cycle runs, only once it has returned.
  std::function<void()> end_program;
  // Told what each pass of the cycle did when it ends.
  std::function<void(const CycleReport&)> cycle_ended;
};

class Session {
 public:
  // `window` must outlive the session. A read-only session writes nothing to any library.
  Session(Context& context, MainWindowModel& window, InstallationChoice installation,
          std::string computer_name, SessionHost host = {}, bool read_only = false);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Logs on and connects the current library. False: the session cannot be used (logged).
  bool StartFusion();
  // False without an installation: nothing below may then be used but the program end.
  bool Available() const { return connection_ != nullptr; }
  // The names of the libraries of the session, in the session's order.
  std::vector<std::string> LibraryNames() const;
  // The logged-on user's DM user id and the connected library ("" before a start).
  std::string UserId() const;
  std::string CurrentLibraryName() const;
  // Whether the logged-on user may run the program at all (a group with universal access 191
  // or more); false also when the check could not run.
  bool UserMayRunProgram();
  // The running-node bookkeeping: mode -1 with an empty rule clears this computer's rows.
  void ActiveStatus(int mode, const std::string& rule);
  // Releases the DM objects; later calls do nothing.
  void ReleaseObjects();
  // One press of Go: the processing cycle over the checked libraries and rules. Returns after
  // the cycle's own ending. False when an unexpected error broke the cycle off (logged).
  bool Go();

  // REQUIRES: Available().
  dm::Connection& connection() { return *connection_; }
  rules::RuleStore& rules() { return *rules_; }
  rules::RunningNodes& nodes() { return *nodes_; }
  templ::TemplateCompiler& compiler() { return *compiler_; }
  LibraryTree& tree() { return *tree_; }
  ProcessingCycle& cycle() { return *cycle_; }

 private:
  Context& context_;
  std::unique_ptr<dmapi::Client> client_;
  std::string problem_;
  std::unique_ptr<dm::Connection> connection_;
  std::unique_ptr<rules::RuleStore> rules_;
  std::unique_ptr<rules::RunningNodes> nodes_;
  std::unique_ptr<templ::TemplateCompiler> compiler_;
  std::unique_ptr<folders::FolderBuilder> builder_;
  std::unique_ptr<LibraryTree> tree_;
  std::unique_ptr<ProcessingCycle> cycle_;
};

}  // namespace sproutsmith::app
