#include "security/inherit_security.h"

namespace sproutsmith::security {

bool InheritSecurity(Context&, dm::Connection&, long long, long long, const std::string&) {
  return false;
}

}  // namespace sproutsmith::security
