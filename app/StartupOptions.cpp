#include "app/StartupOptions.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace varnolt {

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

std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args) {
  // Qt's application options (QGuiApplication, QApplication, the X11 ones).
  static constexpr std::array<std::string_view, 16> withValue = {
      "platform", "platformpluginpath", "platformtheme", "plugin",       "qwindowgeometry", "geometry",
      "qwindowicon", "icon",            "qwindowtitle",  "title",        "session",         "display",
      "name",     "visual",             "style",         "stylesheet"};
  static constexpr std::array<std::string_view, 7> flags = {"reverse", "widgetcount", "nograb",       "dograb",
                                                            "sync",    "testability", "qmljsdebugger"};
  const auto has = [](const auto& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      kept.insert(kept.end(), args.begin() + std::ptrdiff_t(i), args.end());
      break;
    }
    std::string_view name = arg;
    if (name.size() < 2 || name[0] != '-') {
      kept.push_back(arg);
      continue;
    }
    name.remove_prefix(name.substr(0, 2) == "--" ? 2 : 1);
    const std::size_t equals = name.find('=');
    const bool inline_value = equals != std::string_view::npos;
    if (inline_value) name = name.substr(0, equals);
    if (has(withValue, name)) {
      if (!inline_value) ++i;  // the value follows
    } else if (!has(flags, name)) {
      kept.push_back(arg);
    }
  }
  return kept;
}

}  // namespace varnolt
