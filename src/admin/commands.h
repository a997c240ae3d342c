#pragma once
// sproutsmith-admin's commands: parsing, running them over the engine's code and printing.
// Exit status: 0 done, 1 failure (a one-line reason on stderr), 2 usage error.

#include <iosfwd>
#include <string>
#include <vector>

namespace sproutsmith::admin {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// `args` without the program name. Questions are asked on `in` only when `in_is_terminal`.
int RunAdmin(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err, bool in_is_terminal);

// The --help text.
std::string Usage();

}  // namespace sproutsmith::admin
