#include "tools/node_cleanup.h"

#include "dm/reconnect.h"
#include "log/error_trap.h"

namespace sproutsmith::tools {

std::vector<std::string> ClearComputerNodes(Context& context, dm::Connection& connection,
                                            rules::RunningNodes& nodes,
                                            const std::vector<std::string>& libraries) {
  std::vector<std::string> cleared;
  log::TrapVoid(context.log, "ClearComputerNodes", [&] {
    dm::Reconnect back(connection);
    for (const std::string& library : libraries) {
      if (!connection.ConnectLibrary(library)) continue;
      nodes.ActiveStatus(rules::kCleanUpOnly, "");
      cleared.push_back(connection.LibraryName());
    }
  });
  return cleared;
}

}  // namespace sproutsmith::tools
