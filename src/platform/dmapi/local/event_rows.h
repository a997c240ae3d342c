#pragma once
// The stand-in's event rows (STANDIN_EVENTS), which let a test see what the client was asked
// to do ("DOCSOPEN.RefreshAllViews").

#include <optional>
#include <string>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi::local {

// Writes one event row under the next EVENT_ID in one statement, atomic on its own. The next
// id is kept in *next_id after one read of the highest; when another client took that id
// meanwhile the insert writes nothing, and the highest is read again.
Status RecordEvent(sql::Database& db, std::optional<long long>* next_id, const std::string& name,
                   const std::string& detail, const std::string& time);

}  // namespace sproutsmith::dmapi::local
