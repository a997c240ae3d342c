#include "app/rights_check.h"

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::app {

std::string RightsCheckSql(const std::string& user_id) {
  return std::string("SELECT COUNT(*) FROM ") + "[OWNER]" + "." +
         "PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = " + "(SELECT SYSTEM_ID FROM " + "[OWNER]" + "." +
         "PEOPLE WHERE UPPER(USER_ID) = '" + dm::SqlQuote(text::UCase(user_id)) +
         "') AND GROUPS_SYSTEM_ID IN " + "(SELECT SYSTEM_ID FROM " + "[OWNER]" + "." +
         "GROUPS WHERE UNIV_ACCESS >= 191)";
}

std::string RightsRefusal(const std::string& product_name) {
  return "Error: You are not a member of any groups with Universal Access >= 191. " +
         std::string("This is a requirement for running ") + product_name;
}

}  // namespace sproutsmith::app
