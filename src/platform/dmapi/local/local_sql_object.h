#pragma once
// The SQL pass-through object over the stand-in's library databases.

#include <memory>

#include "platform/dmapi/local/server.h"
#include "platform/dmapi/sql_object.h"

namespace sproutsmith::dmapi::local {

std::unique_ptr<SqlObject> MakeSqlObject(std::shared_ptr<Server> server);

}  // namespace sproutsmith::dmapi::local
