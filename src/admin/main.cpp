// sproutsmith-admin: the maintenance tasks of the program from a shell.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "admin/commands.h"

int main(int argc, char** argv) {
  return sproutsmith::admin::RunAdmin(std::vector<std::string>(argv + 1, argv + argc), std::cin,
                                      std::cout, std::cerr, isatty(STDIN_FILENO) != 0);
}
