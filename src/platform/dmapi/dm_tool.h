#pragma once
// The sproutsmith-dm command line: set up and inspect DM libraries of the stand-in.
// Kept in the library (the executable only forwards its arguments) so tests run it in
// process.

#include <ostream>
#include <string>
#include <vector>

namespace sproutsmith::dmapi {

// args excludes the program name. Returns the exit status: 0 done, 1 failed, 2 bad usage.
int RunDmTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sproutsmith::dmapi
