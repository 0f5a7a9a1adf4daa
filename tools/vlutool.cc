// vlutool: a command-line tool for Vellum data files (see README.md).
#include <iostream>
#include <string>
#include <vector>

#include "tools/vlutool/vlutool_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return ck::vlutool::RunVlutool(args, std::cout, std::cerr);
}
