#pragma once
// SQL Server's CAST for the types rule texts use, on values as SQLite holds them. SQLite's
// own CAST turns 'abc' into 0 and '2020-11-14' AS DATE into 2020; the engine's texts expect
// NULL from TRY_CAST and a date from a date cast.

#include <string_view>

#include "platform/sql/database.h"

namespace sproutsmith::sql {

// Converts `value` to `type` ("INT", "VARCHAR(10)", "DECIMAL(10,2)", "DATE", ...; letter
// case ignored). Returns false when SQL Server would refuse the value (CAST fails, TRY_CAST
// answers NULL) or the type is not one of those modelled. NULL converts to NULL. Dates come
// back as 'YYYY-MM-DD', date-times as 'YYYY-MM-DD HH:MM:SS', times as 'HH:MM:SS'.
bool SqlServerConvert(const Value& value, std::string_view type, Value* out);

}  // namespace sproutsmith::sql
