#pragma once
// The statements both security operations write trustees with. Every id is quoted and
// compared exactly, so an apostrophe or a wildcard in a name neither breaks the statement
// nor reaches another trustee.

#include <string>

#include "dm/connection.h"

namespace sproutsmith::security {

// "PEOPLE WHERE USER_ID = 'id'" or "GROUPS WHERE GROUP_ID = 'id'" (a user when user_id is
// not empty).
std::string TrusteeLookup(const std::string& user_id, const std::string& group_id);

std::string DeleteTrusteeSql(long long thing, const std::string& lookup);
std::string InsertTrusteeSql(long long thing, const std::string& rights, const std::string& lookup);
std::string UpdateTrusteeSql(long long thing, const std::string& rights, const std::string& lookup);

// "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = n", with the security link and reason when
// the connected library has both, followed by `where`.
std::string ProfileRightsSql(dm::Connection& connection, int default_rights,
                             const std::string& where);

// Runs one statement and releases its result. True when it reached the database and
// succeeded; `affected` gets the rows it changed.
bool RunStatement(dm::Connection& connection, const std::string& sql,
                  long long* affected = nullptr);

}  // namespace sproutsmith::security
