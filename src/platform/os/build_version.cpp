#include "platform/os/build_version.h"

#include <algorithm>

// Generated from project(VERSION ...) at configure time.
#include "sproutsmith_version.h"

namespace sproutsmith::os {

// Defined in the file the build writes when the commit changes (cmake/build_commit.cmake).
extern const char kBuildCommit[];

const BuildVersion& ThisBuild() {
  static const BuildVersion build{SPROUTSMITH_VERSION_YEAR, SPROUTSMITH_VERSION_MONTH,
                                  SPROUTSMITH_VERSION_DAY, SPROUTSMITH_VERSION, kBuildCommit};
  return build;
}

std::string VersionLine(const std::string& program) {
  return program + " " + ThisBuild().version + " (commit " + ThisBuild().commit + ")";
}

bool VersionRequested(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--version") != args.end();
}

}  // namespace sproutsmith::os
