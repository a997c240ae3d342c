#include "admin/admin_session.h"

#include "app/program_paths.h"
#include "app/rights_check.h"
#include "app/saved_options.h"
#include "app/session.h"
#include "platform/dmapi/library_probe.h"
#include "platform/os/build_version.h"
#include "platform/os/environment.h"
#include "text/text.h"

namespace sproutsmith::admin {

AdminSession::AdminSession(AdminUi& ui)
    : ui_(ui),
      settings_(os::SettingsStore::DefaultFolder(os::SystemEnvironment())),
      identity_(runtime::Identity::ForVersion(os::ThisBuild().year, os::ThisBuild().month,
                                              os::ThisBuild().day)),
      log_(clock_, state_, options_, ui_),
      context_{clock_, settings_, ui_, state_, options_, identity_, log_} {
  // The same files as the program: its log, its options.
  const os::SystemEnvironment env;
  state_.ProgramFolder = env.ProgramFolder();
  state_.TempDir = app::TempFolder(env, state_.ProgramFolder);
  state_.LogFile = settings_.Get(product(), app::kGeneral, "LogFile", "");
  if (state_.LogFile.empty()) state_.LogFile = app::DefaultLogFile(state_.TempDir, product());
  state_.SiteName = text::Trim(settings_.Get(product(), app::kGeneral, "SiteName", ""));
  app::ReadGeneralOptions(settings_, product(), options_);
}

AdminSession::~AdminSession() = default;

Status AdminSession::StartDm(bool read_only) {
  if (session_) return Status::Ok();
  app::InstallationChoice installation =
      app::OpenDmInstallation(clock_, os::SystemEnvironment(), true,
                              read_only ? dmapi::ReadOnlyOpener() : dmapi::DatabaseOpener{});
  if (!installation.client) return Status::Error(installation.problem);
  session_ = std::make_unique<app::Session>(context_, window_, std::move(installation),
                                            os::ComputerName(), app::SessionHost{}, read_only);
  if (!session_->StartFusion()) {
    return Status::Error("Unable to start the DM session (see " + LogFile() + ")");
  }
  // The maintenance tools are the program's: the same users may use them.
  if (!session_->UserMayRunProgram()) {
    const std::string refusal = app::RightsRefusal(product());
    log_.AddLog(refusal);
    return Status::Error(refusal);
  }
  return Status::Ok();
}

std::vector<std::string> AdminSession::Libraries() const {
  return session_ ? session_->LibraryNames() : std::vector<std::string>{};
}

std::string AdminSession::FindLibrary(const std::string& name) const {
  for (const std::string& library : Libraries()) {
    if (text::EqualsNoCase(library, text::Trim(name))) return library;
  }
  return "";
}

std::string AdminSession::WhyUnreachable(const std::string& library) {
  if (!config_) {
    dmapi::InstallationConfig config;
    const std::string path = dmapi::DefaultConfigPath(os::SystemEnvironment());
    if (Status loaded = dmapi::LoadInstallationConfig(path, &config); !loaded.ok()) {
      return loaded.text;
    }
    config_ = std::move(config);
  }
  const int index = config_->Find(library);
  if (index < 0) return "not in " + config_->path;
  std::string reason;
  return dmapi::OpenLibraryForUser(*config_, config_->libraries[static_cast<size_t>(index)],
                                   &reason)
             ? ""
             : reason;
}

}  // namespace sproutsmith::admin
