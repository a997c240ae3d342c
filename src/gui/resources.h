#pragma once
// The window's compiled-in resources (the icon, the README). They live in a static library, so they are
// registered by a call rather than by a static initialiser the linker may drop.

namespace sproutsmith::gui {

void RegisterResources();

}  // namespace sproutsmith::gui
