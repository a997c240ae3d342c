#include "log/log_commands.h"

#include <filesystem>

#include "log/error_trap.h"
#include "log/unexpected_error.h"
#include "text/text.h"

namespace sproutsmith::log {
namespace {

using runtime::Answer;
using runtime::MessageStyle;

// The number the product's runtime gave a program it could not find.
constexpr long kFileNotFound = 53;

}  // namespace

void LogCommands::SetCaption(const std::string& caption) {
  context_.options.LabelStatus = caption;
  context_.ui.StatusChanged(caption);
}

void LogCommands::StartViewer(const std::string& program, const std::string& path) {
  if (!launcher_.StartProgram(program, {path})) {
    throw UnexpectedError(kFileNotFound, "Sproutsmith", "File not found: " + program);
  }
}

void LogCommands::ViewFile(const std::string& path) {
  // The viewer must show every line logged so far.
  context_.log.Flush();
  if (!context_.log.files().Exists(path)) return;
  const std::string remembered = context_.options.LabelStatus;
  context_.ui.SetBusy(true);
  TrapVoid(context_.log, "ViewFile", [&] {
    if (text::EndsWith(text::UCase(path), ".HTM")) {
      const std::string browser = launcher_.DefaultViewer();
      if (browser.empty()) {
        context_.ShowMessage("Unable to locate your Internet Explorer program",
                             MessageStyle::kExclamation);
        return;
      }
      SetCaption("Viewing File " + path + " using " + browser);
      StartViewer(browser, path);
    } else {
      SetCaption("Viewing File " + path + " using Notepad");
      StartViewer("NotePad.exe", path);
    }
  });
  context_.ui.SetBusy(false);
  SetCaption(remembered);
}

void LogCommands::PurgeFile(const std::string& path) {
  // Lines logged before the purge go with the file, not into a new one after it.
  context_.log.Flush();
  TrapVoid(context_.log, "PurgeFile", [&] {
    if (!context_.log.files().Exists(path)) return;
    if (context_.ShowMessage("Are you sure you want to purge the file " + path + "?",
                             MessageStyle::kYesNo) != Answer::kYes) {
      return;
    }
    // A file still there is what the user is told about.
    (void)context_.log.files().Remove(path);
    if (context_.log.files().Exists(path)) {
      context_.ShowMessage("File " + path + " has NOT been removed.", MessageStyle::kExclamation);
    }
  });
}

std::string LogCommands::LogToView() {
  return Trap(context_.log, "MNLogView_Click", std::string(), [&] {
    std::string dated = context_.log.DatedLogFile();
    const std::string& configured = context_.state.LogFile;
    if (dated.empty() && !configured.empty()) {
      const text::DateTime today = context_.clock.Now();
      dated = Log::DatedName(configured, today, /*split_at_first_dot=*/true);
      // A file name with two dots is written at its last one: show the day's real file
      // rather than report it missing.
      const std::string written = Log::DatedName(configured, today);
      if (!context_.log.files().Exists(dated) && context_.log.files().Exists(written))
        dated = written;
    }
    // The viewer must show every line logged so far.
    context_.log.Flush();
    if (dated.empty()) {
      context_.ShowMessage("Log file not defined", MessageStyle::kInformation);
      return std::string();
    }
    if (!context_.log.files().Exists(dated)) {
      context_.ShowMessage(dated + " not found", MessageStyle::kInformation);
      return std::string();
    }
    return dated;
  });
}

void LogCommands::MNLogView() {
  const std::string path = LogToView();
  if (!path.empty()) ViewFile(path);
}

void LogCommands::MNLogPurge() { PurgeFile(context_.log.DatedLogFile()); }

void LogCommands::MNHelpReadme() {
  const std::string& readme = context_.state.ReadmePath;
  if (!context_.log.files().Exists(readme)) return;
  const std::string remembered = context_.options.LabelStatus;
  context_.ui.SetBusy(true);
  TrapVoid(context_.log, "MNHelpReadme_Click", [&] {
    SetCaption("Viewing File " + readme + " using Notepad");
    StartViewer("NotePad.exe", readme);
  });
  context_.ui.SetBusy(false);
  SetCaption(remembered);
}

void LogCommands::MNTimeStampLogFile() {
  // Someone switching stamps is about to look at the file: it gets every line so far.
  context_.log.Flush();
  context_.options.MNTimeStampLogFile = !context_.options.MNTimeStampLogFile;
}

bool LogCommands::ButtonLogDir() {
  return Trap(context_.log, "ButtonLogDir_Click", false, [&] {
    const std::string& product = context_.identity.product_name;
    const std::string saved = context_.settings.Get(product, "General", "LogFile");
    const std::filesystem::path source(saved.empty() ? context_.state.LogFile : saved);
    const std::filesystem::path saved_folder = std::filesystem::path(saved).parent_path();
    const std::string folder =
        saved_folder.empty() ? context_.state.ProgramFolder : saved_folder.string();
    const std::string chosen =
        context_.ui.ChooseSaveFile("Select location for log file:", "LOG",
                                   "Log files (*.log)|*.log", folder, source.filename().string());
    if (chosen.empty()) return false;
    // The old file gets its lines now, not whenever the next one is written.
    context_.log.Flush();
    context_.state.LogFile = chosen;
    context_.settings.Save(product, "General", "LogFile", chosen);
    return true;
  });
}

}  // namespace sproutsmith::log
