#include "workspaces/workspaces.h"

namespace sproutsmith::workspaces {

Workspaces::Workspaces(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

bool Workspaces::AddToWorkspace(const std::string&, long long, const std::string&,
                                const std::string&, const std::string&) {
  return false;
}

}  // namespace sproutsmith::workspaces
