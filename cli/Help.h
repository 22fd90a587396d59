#pragma once
// The runner's help: the overview that `varnolt-cli --help` prints, and each
// command's usage with every argument and option and its meaning, as
// `varnolt-cli COMMAND --help` and `varnolt-cli help COMMAND` print it. Every
// line fits 80 columns.

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace varnolt {

inline constexpr std::size_t HelpWidth = 80;

// Adds a command to the parser with what its help says besides its options:
// the usage after "varnolt-cli NAME", the summary in a sentence, and notes
// printed after the options.
CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& summary,
                     const std::string& usage, const std::string& notes = {});

// The help of the whole runner.
void PrintOverview(const CLI::App& runner, std::ostream& out);

// The help of one command.
void PrintCommandHelp(const CLI::App& command, std::ostream& out);

// The short usage a bare `varnolt-cli` prints.
void PrintShortUsage(std::ostream& out);

// The settings a NAME may be, and how their values read, as the help of every
// command that takes --set ends.
std::string SettingsNotes();

// `text` broken into lines of at most HelpWidth characters, each begun with
// `indent` (the first with `first` when given).
std::string Wrapped(const std::string& text, const std::string& indent, const std::string& first);

}  // namespace varnolt
