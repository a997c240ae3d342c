#pragma once
// Whole-outcome views for the engine's tests: what a connection learnt as one text, and log
// lines counted per fragment, so that one comparison shows every field that differs.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

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

using LogCounts = std::map<std::string, int>;

// Expects each fragment to stand in that many of `lines`.
inline void ExpectCounts(const std::vector<std::string>& lines, const LogCounts& expected) {
  LogCounts counted;
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  for (const auto& [fragment, n] : expected) {
    counted[fragment] = static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](auto& l) {
      return l.find(fragment) != std::string::npos;
    }));
  }
  EXPECT_EQ(counted, expected) << text;
}

// Expects each fragment in `times` of `lines`.
inline void ExpectLogged(const std::vector<std::string>& lines,
                         const std::vector<std::string>& fragments, int times = 1) {
  LogCounts expected;
  for (const std::string& fragment : fragments) expected[fragment] = times;
  ExpectCounts(lines, expected);
}

}  // namespace sproutsmith::testing
