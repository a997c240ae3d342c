#pragma once
// What sproutsmith-admin runs on: the engine's runtime (clock, per-user settings, run
// state, options, identity, the daily log) read as the program reads it at start, and on
// request the DM session of the same installation, with the rule store, the library tree
// and the running-node rows over it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "admin/admin_ui.h"
#include "app/main_window_model.h"
#include "app/session.h"
#include "log/context.h"
#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "platform/os/settings_store.h"
#include "platform/os/status.h"

namespace sproutsmith::admin {

class AdminSession {
 public:
  // Reads the General options and the log file setting from the per-user store.
  explicit AdminSession(AdminUi& ui);
  ~AdminSession();
  AdminSession(const AdminSession&) = delete;
  AdminSession& operator=(const AdminSession&) = delete;

  // Opens the installation (SPROUTSMITH_DM, else the per-user one, a demo made on first
  // use), starts the DM session and checks the user's rights as start-up does. A failure
  // says why. A read-only session writes nothing to any library: every write fails.
  Status StartDm(bool read_only = false);

  Context& context() { return context_; }
  os::SettingsStore& settings() { return settings_; }
  const std::string& product() const { return identity_.product_name; }
  // The LogFile setting as the program resolves it (its default when empty).
  const std::string& ConfiguredLogFile() const { return state_.LogFile; }
  // The day's log file (where the reasons of failures are narrated).
  std::string LogFile() const { return log_.CurrentDatedLogFile(); }

  // Valid after StartDm.
  app::Session& session() { return *session_; }
  dm::Connection& connection() { return session_->connection(); }
  rules::RuleStore& rules() { return session_->rules(); }
  rules::RunningNodes& nodes() { return session_->nodes(); }
  app::LibraryTree& tree() { return session_->tree(); }
  std::vector<std::string> Libraries() const;
  // The session's spelling of a library name given in any letter case; "" when unknown.
  std::string FindLibrary(const std::string& name) const;
  // Why the installation's user cannot work in `library` ("" when they can): its database
  // is missing, unreadable or no DM library, or the user is not one of its people.
  std::string WhyUnreachable(const std::string& library);

 private:
  AdminUi& ui_;
  os::SystemClock clock_;
  os::SettingsStore settings_;
  runtime::RunState state_;
  runtime::Options options_;
  runtime::Identity identity_;
  log::Log log_;
  Context context_;
  app::MainWindowModel window_;
  std::unique_ptr<app::Session> session_;
  std::optional<dmapi::InstallationConfig> config_;
};

}  // namespace sproutsmith::admin
