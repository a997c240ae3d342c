#pragma once
// The connection's facts and library checks as one comparable line each.

#include <string>

#include "dm/connection.h"

namespace sproutsmith::testing {

// "<engine name> (<code>) <owner> <version> level <level> join '<op>' concat '<op>' <next>",
// then " connected" when the library is.
inline std::string Describe(const dm::ConnectionFacts& f) {
  return f.EngineName + " (" + std::to_string(f.DatabaseEngine) + ") " + f.LibraryOwner + " " +
         f.DatabaseVersion + " level " + f.CompatibilityLevel + " join '" + f.OuterJoinEquals +
         "' concat '" + f.ConcatOperator + "' " + f.NextColumn +
         (f.LibraryConnected ? " connected" : "");
}

// The tables the library checks found, by name.
inline std::string Describe(const dm::LibraryState& s) {
  std::string out;
  for (const auto& [has, table] : {std::pair{s.HasQuilSettings, "QUIL_SETTINGS"},
                                   {s.HasQuilSproutsmith, "QUIL_SPROUTSMITH"},
                                   {s.HasNeedsFoldering, "NEEDS_FOLDERING"},
                                   {s.HasSecReason, "SEC_REASON"},
                                   {s.HasFolderLastUpdate, "FOLDER.LAST_UPDATE"}}) {
    if (has) out += out.empty() ? table : std::string(" ") + table;
  }
  return out;
}

}  // namespace sproutsmith::testing
