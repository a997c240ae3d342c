#pragma once
// Names the rewrites put into the text and the back end provides: SqliteDatabase registers
// them on every connection, PostgreSQL library provisioning creates them (postgres_helpers),
// so the two sides cannot drift apart.

namespace sproutsmith::sql::dialect {

// GETDATE(): server local time; GETUTCDATE() and SYSDATE: UTC; both 'YYYY-MM-DD HH:MM:SS'.
inline constexpr char kLocalNowFunction[] = "sproutsmith_getdate";
inline constexpr char kUtcNowFunction[] = "sproutsmith_getutcdate";
// @@VERSION: "15 - 0 (Sproutsmith DM stand-in on SQLite <version>)".
inline constexpr char kVersionFunction[] = "sproutsmith_version";
// OWNER of the library's own REMOTE_LIBRARIES row (SYSTEM_ID 0); NULL without one.
inline constexpr char kLibraryOwnerFunction[] = "sproutsmith_library_owner";
// SQL Server conversions: (value, 'TYPE'); CAST fails on a value it cannot convert,
// TRY_CAST answers NULL.
inline constexpr char kCastFunction[] = "sproutsmith_cast";
inline constexpr char kTryCastFunction[] = "sproutsmith_try_cast";
// "a + b": SQL Server's (two strings concatenate; a string beside a number converts or
// fails) and Oracle's (numbers only); NULL when either side is NULL.
inline constexpr char kMicrosoftAddFunction[] = "sproutsmith_add";
inline constexpr char kOracleAddFunction[] = "sproutsmith_oracle_add";
// Oracle's "a || b": NULL reads as '', and an empty result is NULL.
inline constexpr char kOracleConcatFunction[] = "sproutsmith_oracle_concat";
// ('message'): fails the statement with the message; what a construct the flavour's server
// refuses is translated to.
inline constexpr char kRefuseFunction[] = "sproutsmith_refuse";

// PostgreSQL only: the catalog views answering sysobjects, ALL_TABLES and USER_TAB_PRIVS, and
// TRY_CAST to a whole number, a decimal number or a date (NULL when the text does not
// convert).
inline constexpr char kPostgresSysObjectsView[] = "sproutsmith_sysobjects";
inline constexpr char kPostgresAllTablesView[] = "sproutsmith_all_tables";
inline constexpr char kPostgresUserTabPrivsView[] = "sproutsmith_user_tab_privs";
inline constexpr char kPostgresTryIntegerFunction[] = "sproutsmith_try_integer";
inline constexpr char kPostgresTryNumericFunction[] = "sproutsmith_try_numeric";
inline constexpr char kPostgresTryDateFunction[] = "sproutsmith_try_datetime";

// What serverproperty('ProductVersion') and sys.databases report: SQL Server 2019 level.
inline constexpr char kProductVersion[] = "15.0.2000.5";
inline constexpr char kVersionBanner[] = "15 - 0 (Sproutsmith DM stand-in on SQLite ";
inline constexpr char kPostgresVersionBanner[] = "15 - 0 (Sproutsmith DM stand-in on PostgreSQL ";
// The stand-in table that answers for sys.databases (created by library provisioning).
inline constexpr char kSysDatabasesTable[] = "STANDIN_SYS_DATABASES";

}  // namespace sproutsmith::sql::dialect
