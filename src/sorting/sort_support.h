#pragma once
// Pieces both sorting entry points share.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::sorting {

// Shows a progress text in the status label without logging it or yielding.
void ShowStatus(Context& context, const std::string& text);

}  // namespace sproutsmith::sorting
