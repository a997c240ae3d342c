#include "gui/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitGuiResources() { Q_INIT_RESOURCE(sproutsmith_gui); }

namespace sproutsmith::gui {

void RegisterResources() { InitGuiResources(); }

}  // namespace sproutsmith::gui
