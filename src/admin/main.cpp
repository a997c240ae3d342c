// sproutsmith-admin: the maintenance tasks of the program from a shell.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "admin/commands.h"
#include "platform/os/build_version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (sproutsmith::os::VersionRequested(args)) {
    std::cout << sproutsmith::os::VersionLine("sproutsmith-admin") << std::endl;
    return 0;
  }
  return sproutsmith::admin::RunAdmin(args, std::cin, std::cout, std::cerr,
                                      isatty(STDIN_FILENO) != 0);
}
