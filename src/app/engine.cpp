#include "app/engine.h"

#include <unistd.h>

#include <csignal>

#include "app/exit_control.h"
#include "app/saved_options.h"
#include "log/error_trap.h"
#include "platform/os/build_version.h"
#include "platform/os/cancel_signal.h"
#include "text/text.h"

namespace sproutsmith::app {

using runtime::MessageStyle;

namespace {

// The window as the engine sees it: once an outside stop can arrive, every yield point and
// every one-second wait also polls for the stop; before every one-second wait the log is
// written, since the waits (the loop delay, the pause) may go on for minutes.
class EngineUi final : public runtime::Ui {
 public:
  EngineUi(std::unique_ptr<runtime::Ui> inner, std::function<void()> before_sleep,
           std::function<void()> poll)
      : inner_(std::move(inner)), before_sleep_(std::move(before_sleep)), poll_(std::move(poll)) {}
  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle style,
                             const std::string& title) override {
    return inner_->MessageBox(text, style, title);
  }
  void Yield() override {
    inner_->Yield();
    if (poll_) poll_();
  }
  void StatusChanged(const std::string& text) override { inner_->StatusChanged(text); }
  void SetBusy(bool busy) override { inner_->SetBusy(busy); }
  void Notice(const std::string& text) override { inner_->Notice(text); }
  void SleepOneSecond() override {
    before_sleep_();
    inner_->SleepOneSecond();
    if (poll_) poll_();
  }
  std::string ChooseSaveFile(const std::string& title, const std::string& default_ext,
                             const std::string& filter, const std::string& folder,
                             const std::string& file) override {
    return inner_->ChooseSaveFile(title, default_ext, filter, folder, file);
  }
  std::string ChooseLibrary(const std::vector<std::string>& libraries) override {
    return inner_->ChooseLibrary(libraries);
  }
  void Progress(const runtime::CycleProgress& progress) override { inner_->Progress(progress); }

 private:
  std::unique_ptr<runtime::Ui> inner_;
  std::function<void()> before_sleep_;
  std::function<void()> poll_;  // empty when no stop can arrive from outside
};

// How the end of the log names a stop from outside: the signal when one came.
std::string StopText(bool cycle_cut_short) {
  const int number = os::CancelSignal::Number();
  std::string by = "from outside";
  if (number == SIGTERM) by = "by signal SIGTERM";
  if (number == SIGINT) by = "by signal SIGINT";
  if (number == SIGHUP) by = "by signal SIGHUP";
  if (number != 0 && by == "from outside") by = "by signal " + std::to_string(number);
  return "Warning: The run was stopped " + by +
         (cycle_cut_short ? " before its work was done" : " after its cycle had finished");
}

EngineParts WithEngineUi(EngineParts parts, std::function<void()> before_sleep,
                         std::function<void()> poll) {
  if (!parts.stop_requested) poll = nullptr;
  parts.ui =
      std::make_unique<EngineUi>(std::move(parts.ui), std::move(before_sleep), std::move(poll));
  // Most callers leave the files to the system.
  if (!parts.files) parts.files = std::make_unique<os::SystemFileSystem>();
  return parts;
}

}  // namespace

Engine::Engine(EngineParts parts)
    : parts_(WithEngineUi(
          std::move(parts), [this] { log_.Flush(); }, [this] { PollStop(); })),
      identity_(runtime::Identity::ForVersion(os::ThisBuild().year, os::ThisBuild().month,
                                              os::ThisBuild().day)),
      log_(*parts_.clock, state_, options_, *parts_.ui, *parts_.files),
      context_{*parts_.clock, *parts_.settings, *parts_.ui, state_, options_, identity_, log_},
      log_commands_(context_, *parts_.launcher) {
  run_started_ = parts_.clock->Now();
  session_ = std::make_unique<Session>(
      context_, window_, std::move(parts_.installation), parts_.computer_name,
      SessionHost{[this] { os::LockWorkstation(*parts_.launcher); },
                  [this] { EndProgramWhenIdle(); },
                  [this](const CycleReport& report) { CycleEnded(report); }});
}

int Engine::Run(const std::vector<std::string>& args) {
  // A console has no window to wait in: once start-up (and with "/G" its cycle) is done,
  // the program ends the way closing the window would end it.
  if (StartUp(args)) ProgramEnd();
  WriteRunReport();
  return ExitStatus();
}

int Engine::ExitStatus() const {
  return exit_status_.Value(!log_.WriteFailure().empty() || !report_failure_.empty());
}

void Engine::CycleEnded(const CycleReport& report) {
  last_cycle_ = report;
  const std::string when = " (" + text::Format(parts_.clock->Now(), "YYYY-MM-DD HH:MM") + ")";
  for (const LibraryProblem& failed : report.failed_libraries) {
    unchecked_reasons_[failed.library] = failed.reason + when;
  }
  for (const RuleReport& rule : report.rules) {
    if (rule.outcome == rule_outcome::kLibraryFailed) {
      unchecked_reasons_[rule.library] = rule.reason + when;
    }
  }
  exit_status_.CycleEnded(CycleExitStatus(report));
  ++cycles_;
  WriteRunReport();
}

std::vector<LibraryProblem> Engine::UncheckedLibraries() const {
  std::vector<LibraryProblem> unchecked;
  for (const LibraryNode& node : window_.TVRules) {
    if (node.checked) continue;
    const auto reason = unchecked_reasons_.find(node.text);
    unchecked.push_back({node.text, reason != unchecked_reasons_.end() && !reason->second.empty()
                                        ? reason->second
                                        : "unchecked in the settings"});
  }
  return unchecked;
}

std::string Engine::LogPath() {
  const std::string& written = log_.DatedLogFile();
  return written.empty() ? log_.CurrentDatedLogFile() : written;
}

std::string Engine::ReportPath() {
  if (!report_path_.empty()) return report_path_;
  const std::string first =
      log::Log::ReportName(log::Log::DatedName(state_.LogFile, run_started_), run_started_);
  // Two runs started within one second each keep their own.
  std::string path = first;
  for (int n = 2; parts_.files->Exists(path); ++n) {
    path = first.substr(0, first.size() - 5) + "-" + std::to_string(n) + ".json";
  }
  return path;
}

void Engine::WriteRunReport() {
  // The report follows the log: its lines, and any failure to write them, come first.
  log_.Flush();
  if (state_.LogFile.empty()) return;  // start-up never got as far as the log's name
  RunReport report;
  report.program = identity_.BuildLine();
  report.computer = parts_.computer_name;
  report.process = static_cast<long>(::getpid());
  report.log_file = LogPath();
  report.started =
      text::Format(run_started_, "YYYY-MM-DD") + "T" + text::Format(run_started_, "HH:MM:SS");
  report.ended = ended_at_;
  report.cycles = cycles_;
  report.errors = log_.ErrorCount();
  report.warnings = log_.WarningCount();
  report.last = LastCycle();
  report.unchecked_libraries = UncheckedLibraries();
  report.exit_status = ExitStatus();
  const std::string path = ReportPath();
  report_failure_ = parts_.files->Replace(path, RunReportJson(report)).text;
  if (report_failure_.empty()) report_path_ = path;
}

void Engine::PollStop() {
  if (stop_.polling) return;
  if (!stop_.asked) {
    if (!parts_.stop_requested || !parts_.stop_requested()) return;
    stop_.asked = true;
    stop_.pause_timer = options_.CheckPauseTime;
    log_.AddLog("Warning: Stop requested - the run ends at the next point where it can stop");
  }
  stop_.polling = true;
  if (state_.CancelRequested || stop_.ended_delay) {
    // The cancel, or the end of the loop delay, is on its way out of the cycle.
    if (!state_.CycleRunning) stop_.ended_delay = false;
  } else if (state_.CycleRunning && !state_.InLoopDelay) {
    exit_status_.Cancelled();
    ClickExit();
  } else if (state_.InLoopDelay) {
    // Between passes the work is done: ending the delay ends the run as finished.
    state_.InLoopDelay = false;
    stop_.ended_delay = true;
  } else if (!stop_.closing) {
    stop_.closing = true;
    // Before a cycle began (start-up): the run never gets to its work.
    if (!cycle_begun_) exit_status_.Cancelled();
    EndProgramWhenIdle();
  }
  stop_.polling = false;
}

bool Engine::StartUp(const std::vector<std::string>& args) {
  if (phase_ != Phase::kNew) return phase_ != Phase::kEnded;
  phase_ = Phase::kStartingUp;
  log::TrappedError trapped;
  // An end asked for while start-up works (the "exit now?" answer of a failed object check)
  // waits until start-up has returned, like one asked for during a cycle.
  ++busy_depth_;
  const bool ok = log::Trap(
      log_, "Form_Load", false, [&] { return StartUpSteps(args); }, &trapped);
  --busy_depth_;
  // Start-up's lines: the window may now wait long for a click.
  log_.Flush();
  if (!ok) {
    exit_status_.StartFailed();
    if (!trapped.description.empty()) failure_.message = "Error: " + trapped.description;
    FailureEnd();
    return false;
  }
  if (end_when_idle_) {
    // Stopped from outside before the cycle: a cancel, not a failure. Otherwise only a
    // failed object check asks for an end during start-up: the start did not complete.
    if (!stop_.asked) {
      exit_status_.StartFailed();
      if (failure_.message.empty()) failure_.message = "Error: The program ended during start-up";
    }
    ProgramEnd();
    return true;
  }
  phase_ = Phase::kStarted;
  if (state_.HasSwitch("/G")) Go();
  return true;
}

void Engine::FailureEnd() {
  log_.Separator();
  if (!failure_.fusion_shown) {
    std::string message = options_.LabelStatus;
    if (text::Trim(message).empty()) message = "Starting " + identity_.product_name;
    const bool shown = ShowFailure(message, MessageStyle::kCritical);
    if (failure_.message.empty()) {
      failure_.message = message;
      failure_.shown = shown;
    }
  }
  ProgramEnd();
}

bool Engine::ShowFailure(const std::string& message, MessageStyle style) {
  context_.ShowMessage(message, style);
  return !state_.Unattended();
}

void Engine::Go() {
  cycle_begun_ = true;
  ++busy_depth_;
  log::TrappedError trapped;
  bool finished = true;
  const bool ok = log::Trap(
      log_, "Button_Go_Click", false,
      [&] {
        finished = session_->Go();
        return true;
      },
      &trapped);
  --busy_depth_;
  // The cycle's closing lines: the window may now wait long for the next Go.
  log_.Flush();
  if (!ok || !finished) {
    exit_status_.BrokenOff();
    // When not trapped, the cycle reported the error itself; the console still has to say
    // that it broke off.
    if (failure_.message.empty()) {
      failure_.message =
          !ok ? "Error: " + trapped.description : "Error: Unable to complete this process";
    }
  }
  if (end_when_idle_ && busy_depth_ == 0) ProgramEnd();
}

void Engine::ClickExit() {
  if (ExitButtonClick(context_, window_, [this] { EndProgramWhenIdle(); }) ==
      ExitAction::kCancelCycle) {
    exit_status_.Cancelled();
  }
}

void Engine::RequestClose() {
  if (WindowCloseRequest(context_, window_, [this] { EndProgramWhenIdle(); }) ==
      CloseAction::kCancelCycle) {
    exit_status_.Cancelled();
  }
}

void Engine::EndProgramWhenIdle() {
  // A cancelled cycle may still be on its way out: the DM objects it uses are released only
  // after it has returned.
  if (busy_depth_ > 0) {
    end_when_idle_ = true;
  } else {
    ProgramEnd();
  }
}

void Engine::ProgramEnd() {
  if (phase_ == Phase::kEnded) return;
  phase_ = Phase::kEnded;
  const std::string& product = identity_.product_name;
  Caption("Ending program - please wait...");
  // A stop that cancels a pause switches the pause timer off, as the Exit button does; a
  // service stopped during its pause window must not lose the window for every later run.
  if (stop_.asked) options_.CheckPauseTime = stop_.pause_timer;
  log::TrapVoid(log_, "Form_Unload", [&] { session_->ActiveStatus(-1, ""); });
  // A switch sets an option for its own run only when nobody is there to see it: a timer's
  // "/L" saved as Loop would make every later one-cycle run loop forever, and a log folder
  // chosen from one run's environment would bind all later ones.
  runtime::Options to_save = options_;
  std::string log_file = state_.LogFile;
  if (state_.Unattended()) {
    to_save.CheckLoop = saved_options_.CheckLoop;
    to_save.CheckLogMethod = saved_options_.CheckLogMethod;
    to_save.CheckLockWorkstation = saved_options_.CheckLockWorkstation;
    to_save.CheckDisplayErrors = saved_options_.CheckDisplayErrors;
    to_save.CheckAddNewDocs = saved_options_.CheckAddNewDocs;
    log_file = Setting("LogFile", "");
  }
  if (!SaveProgramEndSettings(*parts_.settings, product, to_save, log_file, window_)) {
    log_.AddLog("Warning: Unable to save the settings in " + parts_.settings->FilePath(product));
  }
  SaveUncheckedReasons();
  log::TrapVoid(log_, "Form_Unload", [&] { session_->ReleaseObjects(); });
  // "Finished processing." is all the cycle says of a stop; the log must say who ended it.
  if (stop_.asked) log_.AddLog(StopText(exit_status_.WasCancelled()));
  const text::DateTime now = parts_.clock->Now();
  ended_at_ = text::Format(now, "YYYY-MM-DD") + "T" + text::Format(now, "HH:MM:SS");
  log_.SetStatus(identity_.BuildLine() + " Ended on " + text::LongDate(now) + " at " +
                 text::LongTime(now));
  log_.Separator();
  log_.Flush();
}

void Engine::SaveUncheckedReasons() {
  // A checked library needs no reason; one checked again elsewhere (the admin tool, the
  // window) is never shown a stale one, since only unchecked libraries are reported.
  std::vector<os::Setting> values;
  for (const LibraryNode& node : window_.TVRules) {
    const auto reason = unchecked_reasons_.find(node.text);
    const std::string text =
        !node.checked && reason != unchecked_reasons_.end() ? reason->second : "";
    values.push_back({kUncheckedReasons, node.text, text});
  }
  (void)parts_.settings->SaveAll(identity_.product_name, values);
}

void Engine::Caption(const std::string& text) {
  options_.LabelStatus = text;
  parts_.ui->StatusChanged(text);
  parts_.ui->Yield();
}

std::string Engine::Setting(const std::string& key, const std::string& fallback) const {
  return parts_.settings->Get(identity_.product_name, kGeneral, key, fallback);
}

}  // namespace sproutsmith::app
