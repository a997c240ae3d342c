#include "security/trustee_sql.h"

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::security {

using text::Format;

std::string TrusteeLookup(const std::string& user_id, const std::string& group_id) {
  if (!user_id.empty()) return "PEOPLE WHERE USER_ID = '" + dm::SqlQuote(user_id) + "'";
  return "GROUPS WHERE GROUP_ID = '" + dm::SqlQuote(group_id) + "'";
}

std::string DeleteTrusteeSql(long long thing, const std::string& lookup) {
  return "DELETE FROM [OWNER].SECURITY WHERE THING = " + Format(thing, "#0") +
         " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER]." + lookup + ")";
}

std::string InsertTrusteeSql(long long thing, const std::string& rights,
                             const std::string& lookup) {
  return "INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, " +
         rights + ", " + Format(thing, "#0") + " FROM [OWNER]." + lookup;
}

std::string UpdateTrusteeSql(long long thing, const std::string& rights,
                             const std::string& lookup) {
  return "UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = " + rights +
         " WHERE THING = " + Format(thing, "#0") +
         " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER]." + lookup + ")";
}

std::string ProfileRightsSql(dm::Connection& connection, int default_rights,
                             const std::string& where) {
  const dm::LibraryState& state = connection.library_state();
  // The link names the reason code 98, which only a library with both can hold.
  const bool linked = state.HasSecReason && state.HasSecurityLink;
  return "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = " + Format(default_rights, "#0") +
         (linked ? ", SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98" : "") + " WHERE " + where;
}

bool RunStatement(dm::Connection& connection, const std::string& sql, long long* affected) {
  const bool ok = connection.RunSQL(sql) && connection.LastSucceeded();
  if (affected) *affected = ok ? connection.RowsAffected() : 0;
  connection.Release();
  return ok;
}

}  // namespace sproutsmith::security
