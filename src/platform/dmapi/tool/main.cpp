// sproutsmith-dm: sets up and inspects the DM server stand-in's libraries.

#include <iostream>
#include <string>
#include <vector>

#include "platform/dmapi/dm_tool.h"
#include "platform/os/build_version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (sproutsmith::os::VersionRequested(args)) {
    std::cout << sproutsmith::os::VersionLine("sproutsmith-dm") << std::endl;
    return 0;
  }
  return sproutsmith::dmapi::RunDmTool(args, std::cout, std::cerr,
                                       sproutsmith::os::SystemEnvironment());
}
