#include "security/add_security.h"

namespace sproutsmith::security {

bool AddSecurity(Context&, dm::Connection&, long long, const std::string&,
                 const rules::RuleRecord&, const std::string&, const std::string&,
                 const std::string&) {
  return false;
}

}  // namespace sproutsmith::security
