// sproutsmith-dm: sets up and inspects the DM server stand-in's libraries.

#include <iostream>
#include <string>
#include <vector>

#include "platform/dmapi/dm_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return sproutsmith::dmapi::RunDmTool(args, std::cout, std::cerr,
                                       sproutsmith::os::SystemEnvironment());
}
