#pragma once
// Names the SQLite rewrites put into the text and SqliteDatabase registers on every
// connection, so the two sides cannot drift apart.

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

// What serverproperty('ProductVersion') and sys.databases report: SQL Server 2019 level.
inline constexpr char kProductVersion[] = "15.0.2000.5";
inline constexpr char kVersionBanner[] = "15 - 0 (Sproutsmith DM stand-in on SQLite ";
// The stand-in table that answers for sys.databases (created by library provisioning).
inline constexpr char kSysDatabasesTable[] = "STANDIN_SYS_DATABASES";

}  // namespace sproutsmith::sql::dialect
