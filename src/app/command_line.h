#pragma once
// The start-up switches. The command line is one trimmed, upper-cased text and every switch
// is a substring test, so case and order do not matter, "/KX" also contains "/K" (hence
// tested first) and "/XR" also counts as "/X". Unknown switches are ignored. Paths never
// travel on the command line: a path holding "/g" would press Go.

#include <string>
#include <vector>

#include "runtime/options.h"
#include "runtime/run_state.h"

namespace sproutsmith::app {

// The arguments (without the program name) joined with blanks, trimmed and upper-cased.
std::string BuildCommandLine(const std::vector<std::string>& args);

// "/G" with "/X", read straight from the arguments: for what must be decided before start-up
// (an unattended run never makes a demo installation).
bool UnattendedArguments(const std::vector<std::string>& args);

// "/P": delete the configured log file at start.
bool PurgeRequested(const runtime::RunState& state);
// "/ADNF", "/E", "/KX" before "/K": applied while reading the session information.
void ApplySessionSwitches(runtime::RunState& state, runtime::Options& options);
// "/L" before "/NL", "/V" before "/NV", "/W" before "/NW": applied when start-up completes.
void ApplyRunSwitches(const runtime::RunState& state, runtime::Options& options);
// "/G": press Go when start-up completes.
bool GoRequested(const runtime::RunState& state);

}  // namespace sproutsmith::app
