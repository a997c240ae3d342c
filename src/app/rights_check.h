#pragma once
// The start-up rights check: the logged-on user must belong to a group with universal
// access 191 or higher.

#include <string>

namespace sproutsmith::app {

// The count statement over PEOPLEGROUPS for the user (upper-cased, quoted as a literal).
std::string RightsCheckSql(const std::string& user_id);
// The refusal shown when the count is 0.
std::string RightsRefusal(const std::string& product_name);

}  // namespace sproutsmith::app
