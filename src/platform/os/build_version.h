#pragma once
// The executable's version record. The product version is a date, year.month.day, set once
// by the build (project(VERSION) in the top CMakeLists.txt); the commit is the git commit the
// build was made from, "unknown" when it was built outside git.

#include <string>
#include <vector>

namespace sproutsmith::os {

struct BuildVersion {
  int year = 0;
  int month = 0;
  int day = 0;
  const char* version = "";  // "2026.12.6"
  const char* commit = "";   // abbreviated hash, "-dirty" after it when the tree had changes
};

const BuildVersion& ThisBuild();

// "PROGRAM VERSION (commit COMMIT)", the line --version prints.
std::string VersionLine(const std::string& program);

// Whether the arguments (without the program name) ask for the version: --version.
bool VersionRequested(const std::vector<std::string>& args);

}  // namespace sproutsmith::os
