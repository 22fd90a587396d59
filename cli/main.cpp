#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "platform/SystemResources.h"

int main(int argc, char** argv) {
  UseBinaryStandardOutput();  // a report on standard output keeps its CR LF
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunCommandLine(args, CliStreams{std::cout, std::cerr});
}
