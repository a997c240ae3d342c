#pragma once
// The DM's database engine codes (REMOTE_LIBRARIES.DATABASE_ENGINE) as the engine reads them.

namespace sproutsmith::dmapi {

// Codes 2 and 5 are Oracle; every other code speaks the Microsoft SQL Server flavour.
inline bool IsOracleEngine(int engine_code) { return engine_code == 2 || engine_code == 5; }

}  // namespace sproutsmith::dmapi
