#pragma once
// What an unattended run tells its caller when it ends: one line per rule run (rows selected,
// folders created, rows failed), the log's path, and an exit status that tells a finished
// cycle from one in which a rule failed.

#include <string>

#include "runtime/options.h"

namespace sproutsmith::app {

// The cycle finished, but at least one rule broke off or had rows whose folders failed.
inline constexpr int kExitRuleFailed = 2;

std::string RunSummary(const runtime::Options& options, const std::string& log_path);

// `engine_code`: what Engine::Run returned.
int RunExitCode(int engine_code, const runtime::Options& options);

}  // namespace sproutsmith::app
