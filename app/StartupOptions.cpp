#include "app/StartupOptions.h"

StartupRequest ParseStartupArguments(const std::vector<std::string>& args) {
  StartupRequest request;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && (arg == "--help" || arg == "-h")) return {StartupRequest::Action::PrintHelp, {}, {}};
    if (!optionsEnded && arg == "--version") return {StartupRequest::Action::PrintVersion, {}, {}};
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (request.error.empty()) request.error = "unknown option \"" + arg + "\"";
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() > 1 && request.error.empty()) {
    request.error = "VARNOLT opens one settings file at a time, not also \"" + files[1] + "\"";
  }
  if (!request.error.empty()) {
    request.action = StartupRequest::Action::Refuse;
  } else if (!files.empty()) {
    request.settingsFile = files[0];
  }
  return request;
}

std::string StartupHelp() {
  return "Usage: varnolt [FILE.dat]\n"
         "\n"
         "Opens the VARNOLT window, which simulates the flowering cycles of oil palms.\n"
         "With FILE.dat, the window starts with the settings of that file, as File >\n"
         "Open would open it; a file that cannot be read is reported and the window\n"
         "starts untitled.\n"
         "\n"
         "  -h, --help   print this help and exit\n"
         "  --version    print the version and exit\n"
         "  --           take every later argument as a file name\n"
         "\n"
         "Qt's own options (for example -platform offscreen) are accepted too.\n"
         "To run the model without a window, see 'varnolt-cli help'.\n";
}
