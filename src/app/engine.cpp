#include "app/engine.h"

#include "app/exit_control.h"
#include "app/saved_options.h"
#include "log/error_trap.h"
#include "text/text.h"

#if !defined(SPROUTSMITH_VERSION_YEAR) || !defined(SPROUTSMITH_VERSION_MONTH) || \
    !defined(SPROUTSMITH_VERSION_DAY)
#error "The build passes the product version (year, month, day) as compile definitions."
#endif

namespace sproutsmith::app {

using runtime::MessageStyle;

Engine::Engine(EngineParts parts)
    : parts_(std::move(parts)),
      identity_(runtime::Identity::ForVersion(SPROUTSMITH_VERSION_YEAR, SPROUTSMITH_VERSION_MONTH,
                                              SPROUTSMITH_VERSION_DAY)),
      log_(*parts_.clock, state_, options_, *parts_.ui),
      context_{*parts_.clock, *parts_.settings, *parts_.ui, state_, options_, identity_, log_},
      log_commands_(context_, *parts_.launcher) {
  if (!parts_.dm && parts_.make_dm) parts_.dm = parts_.make_dm(context_);
  parts_.dm->AttachHost({window_, [this] { os::LockWorkstation(*parts_.launcher); },
                         [this] { EndProgramWhenIdle(); }});
}

int Engine::Run(const std::vector<std::string>& args) {
  if (!StartUp(args)) return kExitFailed;
  // A console has no window to wait in: once start-up (and with "/G" its cycle) is done,
  // the program ends the way closing the window would end it.
  ProgramEnd();
  return cycle_failed_ ? kExitFailed : kExitFinished;
}

bool Engine::StartUp(const std::vector<std::string>& args) {
  if (started_) return !ended_;
  started_ = true;
  std::string unexpected;
  // An end asked for while start-up works (the "exit now?" answer of a failed object check)
  // waits until start-up has returned, like one asked for during a cycle.
  ++cycle_depth_;
  const bool ok = log::Trap(log_, "Form_Load", false, [&] {
    try {
      return StartUpSteps(args);
    } catch (const std::exception& e) {
      unexpected = e.what();
      throw;
    }
  });
  --cycle_depth_;
  if (!ok) {
    if (!unexpected.empty()) failure_message_ = "Error: " + unexpected;
    FailureEnd();
    return false;
  }
  if (end_after_cycle_) {
    // Only a failed object check asks for that during start-up: the run did not do its job.
    cycle_failed_ = true;
    if (failure_message_.empty()) failure_message_ = "Error: The program ended during start-up";
    ProgramEnd();
    return true;
  }
  if (state_.HasSwitch("/G")) Go();
  return true;
}

void Engine::FailureEnd() {
  log_.Separator();
  if (!fusion_failure_shown_) {
    std::string message = options_.LabelStatus;
    if (text::Trim(message).empty()) message = "Starting " + identity_.product_name;
    const bool shown = ShowFailure(message, MessageStyle::kCritical);
    if (failure_message_.empty()) {
      failure_message_ = message;
      failure_message_shown_ = shown;
    }
  }
  ProgramEnd();
}

bool Engine::ShowFailure(const std::string& message, MessageStyle style) {
  context_.ShowMessage(message, style);
  return !state_.Unattended();
}

void Engine::Go() {
  ++cycle_depth_;
  std::string unexpected;
  bool finished = true;
  const bool ok = log::Trap(log_, "Button_Go_Click", false, [&] {
    try {
      finished = parts_.dm->Go();
    } catch (const std::exception& e) {
      unexpected = e.what();
      throw;
    }
    return true;
  });
  --cycle_depth_;
  if (!ok) {
    cycle_failed_ = true;
    if (failure_message_.empty()) failure_message_ = "Error: " + unexpected;
  } else if (!finished) {
    // The cycle reported the error itself; the console still has to say that it broke off.
    cycle_failed_ = true;
    if (failure_message_.empty()) failure_message_ = "Error: Unable to complete this process";
  }
  if (end_after_cycle_ && cycle_depth_ == 0) ProgramEnd();
}

void Engine::ClickExit() {
  ExitButtonClick(context_, window_, [this] { EndProgramWhenIdle(); });
}

void Engine::RequestClose() {
  WindowCloseRequest(context_, window_, [this] { EndProgramWhenIdle(); });
}

void Engine::EndProgramWhenIdle() {
  // A cancelled cycle may still be on its way out: the DM objects it uses are released only
  // after it has returned.
  if (cycle_depth_ > 0) {
    end_after_cycle_ = true;
  } else {
    ProgramEnd();
  }
}

void Engine::ProgramEnd() {
  if (ended_) return;
  ended_ = true;
  const std::string& product = identity_.product_name;
  Caption("Ending program - please wait...");
  log::TrapVoid(log_, "Form_Unload", [&] { parts_.dm->ActiveStatus(-1, ""); });
  if (!SaveProgramEndSettings(*parts_.settings, product, options_, state_.LogFile, window_)) {
    log_.AddLog("Warning: Unable to save the settings in " + parts_.settings->FilePath(product));
  }
  log::TrapVoid(log_, "Form_Unload", [&] { parts_.dm->ReleaseObjects(); });
  const text::DateTime now = parts_.clock->Now();
  log_.SetStatus(identity_.BuildLine() + " Ended on " + text::LongDate(now) + " at " +
                 text::LongTime(now));
  log_.Separator();
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
