#pragma once
// ShowMessage: the message box that stays silent in unattended runs (both "/G" and "/X"),
// where questions answer Yes.

#include <string>

#include "runtime/identity.h"
#include "runtime/run_state.h"
#include "runtime/ui.h"

namespace sproutsmith::runtime {

Answer ShowMessage(Ui& ui, const RunState& state, const Identity& identity, const std::string& text,
                   MessageStyle style);
// The same with a title of its own.
Answer ShowMessage(Ui& ui, const RunState& state, const std::string& title, const std::string& text,
                   MessageStyle style);

}  // namespace sproutsmith::runtime
