#pragma once
// How a maintenance command gets the library it works in: the operator's choice, connected.
// The window passes its library chooser; the admin tool answers it from the command line.

#include <functional>

namespace sproutsmith::tools {

// Connects the library the operator chose. False when none was chosen or it could not be
// connected; the chooser has already told the operator, and the connected library is
// unchanged.
using LibraryChooser = std::function<bool()>;

}  // namespace sproutsmith::tools
