#pragma once
// The statements both security operations write trustees with, and how both report a
// failure. Every id is quoted and compared exactly, so an apostrophe or a wildcard in a name
// neither breaks the statement nor reaches another trustee.

#include <string>

#include "dm/connection.h"
#include "log/log.h"
#include "security/security_result.h"

namespace sproutsmith::security {

// "PEOPLE WHERE USER_ID = 'id'" or "GROUPS WHERE GROUP_ID = 'id'" (a user when user_id is
// not empty).
std::string TrusteeLookup(const std::string& user_id, const std::string& group_id);

// A document's trustee rows by ids (user, group, rights), for the document numbered `number`.
std::string TrusteesOfDocumentSql(const std::string& number);

std::string DeleteTrusteeSql(long long thing, const std::string& lookup);
std::string InsertTrusteeSql(long long thing, const std::string& rights, const std::string& lookup);
std::string UpdateTrusteeSql(long long thing, const std::string& rights, const std::string& lookup);

// "UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = n", with the security link and reason when
// the connected library has both, followed by `where`.
std::string ProfileRightsSql(dm::Connection& connection, int default_rights,
                             const std::string& where);

// Rights that deny and grant nothing, as a template's 0 (written 16711680). Such rows are
// written before every row that grants, so an operation stopped part-way never grants
// what the finished one denies.
bool DeniesOnly(double rights);

// The "Error: " line of a failed statement: the item, its library, and whether the profile
// was already secured (and so holds the trustees written so far) or was left untouched.
std::string SecurityFailureLine(long long doc_number, const std::string& library, bool secured);

// Connects `home` again before `result` goes to a caller that goes on working there: a
// switch back that fails makes the result a failure (the caller's dm::Reconnect guard tries
// once more on its way out).
SecurityResult ConnectBack(log::Log& log, dm::Connection& connection, const std::string& home,
                           long long doc_number, const std::string& item_library,
                           SecurityResult result);

}  // namespace sproutsmith::security
