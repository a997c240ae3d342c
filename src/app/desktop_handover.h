#pragma once
// `sproutsmith` itself never links the window toolkit, so that scheduled runs work on any
// machine. Started without /G on a desktop, it hands over to the window program beside it:
// without a cycle to run, the window is the only thing such a start can be for.

#include <string>
#include <vector>

#include "platform/os/environment.h"

namespace sproutsmith::app {

inline constexpr char kWindowProgram[] = "sproutsmith-window";

// The window program to run in place of this one with the same arguments, or "" to go on
// headless: when "/G" is asked for, when no display is set (DISPLAY, WAYLAND_DISPLAY), or
// when no executable window program lies in the program's folder.
std::string WindowProgramFor(const std::vector<std::string>& args, const os::Environment& env);

}  // namespace sproutsmith::app
