#pragma once
// Pieces both sorting entry points share.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::sorting {

// Shows a progress text in the status label without logging it or yielding.
void ShowStatus(Context& context, const std::string& text);

// CheckFusion for `caller`, then the connected library object; logs its absence.
bool LibraryObjectSet(Context& context, dm::Connection& connection, const char* caller);

}  // namespace sproutsmith::sorting
