#include "security/trustee_sql.h"

#include <cmath>
#include <cstdint>

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::security {

using text::Number;

std::string TrusteeLookup(const std::string& user_id, const std::string& group_id) {
  if (!user_id.empty()) return "PEOPLE WHERE USER_ID = '" + dm::SqlQuote(user_id) + "'";
  return "GROUPS WHERE GROUP_ID = '" + dm::SqlQuote(group_id) + "'";
}

std::string TrusteesOfDocumentSql(const std::string& number) {
  return "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM [OWNER].SECURITY S "
         "LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
         "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
         "LEFT OUTER JOIN [OWNER].PROFILE R ON R.SYSTEM_ID = S.THING "
         "WHERE R.DOCNUMBER = " +
         number;
}

std::string DeleteTrusteeSql(long long thing, const std::string& lookup) {
  return "DELETE FROM [OWNER].SECURITY WHERE THING = " + Number(thing) +
         " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER]." + lookup + ")";
}

std::string InsertTrusteeSql(long long thing, const std::string& rights,
                             const std::string& lookup) {
  return "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, " +
         rights + ", " + Number(thing) + " FROM [OWNER]." + lookup;
}

std::string UpdateTrusteeSql(long long thing, const std::string& rights,
                             const std::string& lookup) {
  return "UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = " + rights +
         " WHERE THING = " + Number(thing) +
         " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER]." + lookup + ")";
}

std::string ProfileRightsSql(dm::Connection& connection, int default_rights,
                             const std::string& where) {
  const dm::LibraryState& state = connection.library_state();
  // The link names the reason code 98, which only a library with both can hold.
  const bool linked = state.HasSecReason && state.HasSecurityLink;
  return "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = " + Number(default_rights) +
         (linked ? ", SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98" : "") + " WHERE " + where;
}

bool DeniesOnly(double rights) {
  if (!(rights > 0) || rights >= 9.2e18) return false;
  // The low 16 bits grant; the byte above them denies.
  const auto bits = static_cast<std::int64_t>(std::llround(rights));
  return (bits & 0xFFFF) == 0 && ((bits >> 16) & 0xFF) != 0;
}

std::string SecurityFailureLine(long long doc_number, const std::string& library, bool secured) {
  return "Error: Unable to set security for document #" + Number(doc_number) + " in library " +
         library +
         (secured ? " - it is secured with only the trustees written so far"
                  : " - its security was not changed");
}

SecurityResult ConnectBack(log::Log& log, dm::Connection& connection, const std::string& home,
                           long long doc_number, const std::string& item_library,
                           SecurityResult result) {
  if (connection.ConnectLibrary(home)) return result;
  log.AddLogAndSeparator("Error: Unable to connect to library " + home +
                         " again after setting security for " + "document #" + Number(doc_number) +
                         " in library " + item_library);
  return SecurityResult::kFailed;
}

}  // namespace sproutsmith::security
