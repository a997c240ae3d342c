// Start-up, from the window's first line to "Waiting for user input".

#include "app/command_line.h"
#include "app/engine.h"
#include "app/log_housekeeping.h"
#include "app/program_paths.h"
#include "app/rights_check.h"
#include "app/saved_options.h"
#include "text/text.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

constexpr const char* kPowerDocsKey = "HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\";
constexpr const char* kExtensionsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\Hummingbird DM Extensions API\\";

std::string DmClientValue(const os::Environment& env, const std::string& name) {
  std::string value = env.RegistryValue(kPowerDocsKey + name);
  if (value.empty()) value = env.RegistryValue(kExtensionsKey + name);
  return value;
}

}  // namespace

bool Engine::StartUpSteps(const std::vector<std::string>& args) {
  ShowSplash();
  Caption("Getting Command Line Parameters");
  ChooseLogFile(args);
  const int keep_days =
      static_cast<int>(text::Val(Setting("KeepLogDays", std::to_string(kDefaultKeepLogDays))));
  const std::vector<std::string> removed =
      RemoveOldLogs(state_.LogFile, keep_days, parts_.clock->Now());

  Caption("Retrieving basic configuration settings");
  ReadGeneralOptions(*parts_.settings, identity_.product_name, options_);
  saved_options_ = options_;
  // Set by the administrator for the installation; program end never writes it back.
  state_.SiteName = Setting("SiteName", "");

  if (!ConnectSession(removed.size(), keep_days)) return false;
  ListLibraries();

  Caption("Retrieving Session information");
  ApplySessionSwitches(state_, options_);

  Caption("Checking Lock Status");
  window_.LabelLockedVisible = state_.Locked;
  window_.OptionsEnabled = !state_.Locked;

  Caption("Verifying rights for " + session_->UserId() + " in library " +
          session_->CurrentLibraryName());
  if (!session_->UserMayRunProgram()) {
    failure_.message = RightsRefusal(identity_.product_name);
    log_.AddLog(failure_.message);
    failure_.shown = ShowFailure(failure_.message, MessageStyle::kExclamation);
    return false;
  }

  session_->ActiveStatus(-1, "");
  Caption("Activating the main form");
  parts_.settings->Save(identity_.product_name, kGeneral, "IsRunning", "0");
  window_.splash_visible = false;
  window_.MNHelpReadmeVisible = parts_.files->Exists(state_.ReadmePath);
  options_.ListResults.clear();

  Caption("Waiting for user input");
  parts_.ui->SetBusy(false);
  const text::DateTime started = parts_.clock->Now();
  log_.AddLogAndSeparator(identity_.BuildLine() + " Started on " + text::LongDate(started) +
                          " at " + text::LongTime(started));
  ApplyRunSwitches(state_, options_);
  return true;
}

void Engine::ShowSplash() {
  os::SettingsStore& settings = *parts_.settings;
  const os::Environment& env = *parts_.environment;
  const std::string& product = identity_.product_name;

  window_.caption = identity_.window_caption;
  options_.MNTimeStampLogFile = CheckValue(Setting("TimeStampLogFile", "0")) != 0;

  state_.ProgramFolder = env.ProgramFolder();
  state_.ReadmePath = JoinPath(state_.ProgramFolder, kReadmeName);
  settings.Save(product, kGeneral, "Path", JoinPath(state_.ProgramFolder, env.ExecutableName()));

  // Both companion components are Windows COM libraries that cannot be present on this
  // platform: there is nothing to register and no reason to ask about them at every start,
  // so each is marked as dealt with.
  for (const char* mark : {"RegisterAPI", "RegisterQuilClasses"}) {
    if (text::Val(settings.Get(kQuilApplication, kGeneral, mark, "0")) != -1) {
      settings.Save(kQuilApplication, kGeneral, mark, "-1");
    }
  }

  identity_.dm_version = DmClientValue(env, "CurrentVersion");
  identity_.dm_patch_level = DmClientValue(env, "PatchLevel");

  window_.splash_text = "Build " + identity_.build_number + " - " + identity_.version_text;
  window_.splash_visible = true;
  Caption("One moment...");

  window_.window = PlaceWindow(ReadWindowCoordinate(settings, product, "Screen.Left"),
                               ReadWindowCoordinate(settings, product, "Screen.Top"), parts_.screen,
                               window_.window);
}

void Engine::ChooseLogFile(const std::vector<std::string>& args) {
  state_.CommandLine = BuildCommandLine(args);
  state_.TempDir = TempFolder(*parts_.environment, state_.ProgramFolder);
  state_.LogFile = Setting("LogFile", "");
  if (state_.LogFile.empty())
    state_.LogFile = DefaultLogFile(state_.TempDir, identity_.product_name);
  window_.ButtonLogDirToolTip = state_.LogFile;
  if (!PurgeRequested(state_)) return;
  // The configured name itself is never written (lines go to the dated file): today's dated
  // log and its report are what a purge is expected to remove.
  const std::string dated = log::Log::DatedName(state_.LogFile, parts_.clock->Now());
  std::vector<std::string> purged = ReportsOfDay(dated);
  purged.insert(purged.begin(), {state_.LogFile, dated});
  for (const std::string& file : purged) {
    if (!parts_.files->Exists(file)) continue;
    log_.Flush();                      // lines held for the file are purged with it
    (void)parts_.files->Remove(file);  // one left behind only keeps its old lines
  }
}

bool Engine::ConnectSession(size_t logs_removed, int keep_days) {
  const std::string& dm_version = identity_.dm_version;
  const std::string& dm_patch = identity_.dm_patch_level;
  // Without a DM client's version record the fields would read "  patch ": left out.
  const bool known = !dm_version.empty() || !dm_patch.empty();
  Caption("Connecting to OpenText eDOCS" +
          (known ? " " + dm_version + " patch " + dm_patch : std::string()));
  parts_.ui->SetBusy(true);
  const text::DateTime start = parts_.clock->Now();
  log_.AddLogAndSeparator(
      identity_.BuildLine() + " initiating startup on " + text::LongDate(start) + " at " +
      text::LongTime(start) +
      (known ? " using DM " + dm_version + " patch " + dm_patch : std::string()));
  if (logs_removed > 0) {
    log_.AddLogAndSeparator("Removed " + text::Number(logs_removed) +
                            " log and report file(s) older than " + text::Number(keep_days) +
                            " days (setting KeepLogDays)");
  }
  if (session_->StartFusion()) return true;
  failure_.message = "Error: Unable to start the DM " +
                     (known ? dm_version + " (patch " + dm_patch + ") " : std::string()) +
                     "application (" + options_.LabelStatus + ") - I will end the program now";
  // Also logged: in an unattended run the box is silent and the log is all that is read.
  log_.AddLog(failure_.message);
  failure_.shown = ShowFailure(failure_.message, MessageStyle::kCritical);
  failure_.fusion_shown = true;
  return false;
}

void Engine::ListLibraries() {
  os::SettingsStore& settings = *parts_.settings;
  const std::string& product = identity_.product_name;
  window_.TVPause = ReadPauseDays(settings, product);

  Caption("Setting Libraries");
  // The session marked the connected library before these entries existed: the entry of
  // the connected library carries the mark.
  std::vector<runtime::MenuEntry> menu;
  window_.TVRules.clear();
  const std::string connected = session_->CurrentLibraryName();
  for (const std::string& library : session_->LibraryNames()) {
    menu.push_back({library, library == connected});
    window_.TVRules.push_back(ReadLibraryNode(settings, product, library));
    unchecked_reasons_[library] = settings.Get(product, kUncheckedReasons, library, "");
  }
  options_.MNLibList = std::move(menu);
}

}  // namespace sproutsmith::app
