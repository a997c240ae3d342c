#include "app/command_line.h"

#include "text/text.h"

namespace sproutsmith::app {
namespace {

// Checks on the first switch, unchecks on the second; neither leaves the option alone.
void ApplyPair(const runtime::RunState& state, const char* on, const char* off, int& check) {
  if (state.HasSwitch(on)) {
    check = 1;
  } else if (state.HasSwitch(off)) {
    check = 0;
  }
}

}  // namespace

std::string BuildCommandLine(const std::vector<std::string>& args) {
  std::string joined;
  for (const std::string& arg : args) {
    if (!joined.empty()) joined += ' ';
    joined += arg;
  }
  return text::UCase(text::Trim(joined));
}

bool UnattendedArguments(const std::vector<std::string>& args) {
  runtime::RunState state;
  state.CommandLine = BuildCommandLine(args);
  return state.Unattended();
}

bool PurgeRequested(const runtime::RunState& state) { return state.HasSwitch("/P"); }

void ApplySessionSwitches(runtime::RunState& state, runtime::Options& options) {
  if (state.HasSwitch("/ADNF")) options.CheckAddNewDocs = 1;
  if (state.HasSwitch("/E")) options.CheckDisplayErrors = 1;
  if (state.HasSwitch("/KX")) {
    state.Locked = false;
  } else if (state.HasSwitch("/K")) {
    state.Locked = true;
  }
}

void ApplyRunSwitches(const runtime::RunState& state, runtime::Options& options) {
  ApplyPair(state, "/L", "/NL", options.CheckLoop);
  ApplyPair(state, "/V", "/NV", options.CheckLogMethod);
  ApplyPair(state, "/W", "/NW", options.CheckLockWorkstation);
}

bool GoRequested(const runtime::RunState& state) { return state.HasSwitch("/G"); }

}  // namespace sproutsmith::app
