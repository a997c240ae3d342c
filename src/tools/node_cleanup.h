#pragma once
// Clearing this computer's running-node rows (and every broken one) in chosen libraries,
// as the program does at start and end, for a computer whose run was killed.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/running_nodes.h"

namespace sproutsmith::tools {

// Runs the running-node clean-up in each library of `libraries` and connects the library
// that was connected on entry again. Returns the libraries that could be connected.
std::vector<std::string> ClearComputerNodes(Context& context, dm::Connection& connection,
                                            rules::RunningNodes& nodes,
                                            const std::vector<std::string>& libraries);

}  // namespace sproutsmith::tools
