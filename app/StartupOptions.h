#pragma once
// The command line of the desktop program: `varnolt [FILE.dat]`, plus --help
// and --version, which print and end before any window is made (so they work
// on a machine without a display).

#include <string>
#include <vector>

namespace varnolt {

struct StartupRequest {
  enum class Action { OpenWindow, PrintHelp, PrintVersion, Refuse };
  Action action = Action::OpenWindow;
  std::string settingsFile;  // opened at start-up as File > Open would; empty: untitled
  std::string error;         // what is wrong, for Refuse
};

// The arguments without the program's name. --help (-h) and --version win
// wherever they stand before "--"; after "--" every argument is a file name.
StartupRequest ParseStartupArguments(const std::vector<std::string>& args);

std::string StartupHelp();

// The arguments without the options Qt takes for itself (-platform NAME,
// -style=NAME, --reverse...; with one dash or two, values included), up to
// "--". Lets bad usage be refused before Qt starts and looks for a display.
std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args);

}  // namespace varnolt
