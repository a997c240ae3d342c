#pragma once
// The product's name as users meet it: the settings file and its application name, the log
// file's stem. Written out once here, not read from the code, so a changed name shows.

namespace sproutsmith::testing {

inline constexpr char kProductName[] = "Arborline Sproutsmith for OpenText eDOCS";

}  // namespace sproutsmith::testing
