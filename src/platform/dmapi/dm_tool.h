#pragma once
// The sproutsmith-dm command line: set up and inspect DM libraries of the stand-in.
// Kept in the library (the executable only forwards its arguments) so tests run it in
// process.

#include <ostream>
#include <string>
#include <vector>

#include "platform/os/environment.h"

namespace sproutsmith::dmapi {

// args excludes the program name; `env` names the installation (SPROUTSMITH_DM, else the
// per-user one). Returns the exit status: 0 done, 1 failed, 2 bad usage.
int RunDmTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const os::Environment& env);

}  // namespace sproutsmith::dmapi
