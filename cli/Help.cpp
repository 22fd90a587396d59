#include "cli/Help.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <map>

#include "cli/RunOptions.h"

namespace varnolt {

namespace {

struct CommandTexts {
  std::string usage;
  std::string notes;
};

// The texts of each command by name; the parser keeps the rest.
std::map<std::string, CommandTexts>& Texts() {
  static std::map<std::string, CommandTexts> texts;
  return texts;
}

constexpr std::size_t OptionColumn = 24;  // where an option's meaning starts

// "--set NAME=VALUE", "-o, --output PATH|-", "FILE.dat".
std::string OptionTitle(const CLI::Option& option) {
  if (option.get_positional()) return option.get_name(true);
  std::string title;
  for (const std::string& name : option.get_snames()) title += "-" + name + ", ";
  for (const std::string& name : option.get_lnames()) title += "--" + name + ", ";
  title.resize(title.size() - 2);
  const std::string type = option.get_type_name();
  if (option.get_expected_max() > 0 && !type.empty()) title += " " + type;
  return title;
}

void PrintEntry(const std::string& title, const std::string& meaning, std::ostream& out) {
  const std::string indent(OptionColumn, ' ');
  std::string first = "  " + title;
  if (first.size() + 2 > OptionColumn) {
    out << first << "\n";
    first = indent;
  } else {
    first += std::string(OptionColumn - first.size(), ' ');
  }
  out << Wrapped(meaning, indent, first);
}

}  // namespace

std::string Wrapped(const std::string& text, const std::string& indent, const std::string& first) {
  std::string result;
  std::string line = first;
  std::size_t start = 0;
  std::size_t lead = first.size();  // the line's indent, which is no word
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(" \n", start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (line.size() > lead && line.size() + 1 + word.size() > HelpWidth) {
      result += line + "\n";
      line = indent;
      lead = indent.size();
    }
    if (!word.empty()) line += (line.size() > lead ? " " : "") + word;
    if (end < text.size() && text[end] == '\n') {
      result += line + "\n";
      line = indent;
      lead = indent.size();
    }
    start = end + 1;
  }
  return result + line + "\n";
}

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& summary,
                     const std::string& usage, const std::string& notes) {
  Texts()[name] = {usage, notes};
  CLI::App* command = parent.add_subcommand(name, summary);
  // Unknown options are told by the runner in its own words, naming the command.
  command->allow_extras();
  // On Windows CLI11 would take "/path" for an option; a path is an argument there too.
  command->allow_windows_style_options(false);
  return command;
}

void PrintShortUsage(std::ostream& out) {
  out << "Usage: varnolt-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
         "Try 'varnolt-cli --help' for the commands, or 'varnolt-cli help COMMAND'.\n";
}

std::string SettingsNotes() {
  return "Settings (NAME):\n" + Wrapped(SettingNames() + ".", "  ", "  ") +
         Wrapped("Numbers are whole numbers; the switches leafPruning, trendCycles, irrigation and flowerPruning "
                 "take 0 (off) or 1 (on); frond positions count from the spear leaf, negative before it.",
                 "", "");
}

void PrintOverview(const CLI::App& runner, std::ostream& out) {
  out << "varnolt-cli runs the VARNOLT flowering model of oil palms without a window\n"
         "and writes the same report as the desktop program.\n\n"
         "Usage: varnolt-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
         "       varnolt-cli help [COMMAND]\n"
         "       varnolt-cli --version\n\n"
         "Commands:\n";
  for (const CLI::App* command : runner.get_subcommands([](const CLI::App*) { return true; })) {
    PrintEntry(command->get_name(), command->get_description(), out);
  }
  out << "\nOptions:\n";
  PrintEntry("-h, --help", "show this help; after a command, or as 'help COMMAND', that command's help", out);
  PrintEntry("--version", "print the version, for bug reports", out);
  PrintEntry("--", "end the options: what follows is an argument, even if it starts with -", out);
  out << "\n"
      << Wrapped("Each command's arguments and options, with their meaning, are in 'varnolt-cli help COMMAND'. "
                 "Options go anywhere after the command, as --name VALUE or --name=VALUE.",
                 "", "")
      << "\n"
      << SettingsNotes() << "\n"
      << "Exit status: 0 done; 1 the run or a file failed; 2 bad usage, or settings\n"
         "that fail a rule; 128 + the signal when stopped by one (130 for Ctrl+C).\n"
         "\nExamples:\n"
         "  varnolt-cli run\n"
         "  varnolt-cli run --set cycleCount=770 --set palmCount=1000 --output large.dat\n"
         "  varnolt-cli run --seed 1 --set palmCount=1 --output -\n"
         "  varnolt-cli set trial4.dat palmCount=50 \"runNotes=Trial 4\"\n"
         "  varnolt-cli show trial4.dat\n"
         "  varnolt-cli run trial4.dat --seed 7\n"
         "  varnolt-cli help sweep\n";
}

void PrintCommandHelp(const CLI::App& command, std::ostream& out) {
  const CommandTexts& texts = Texts()[command.get_name()];
  // An option and its value stay on one line: the blank between them is held
  // by a mark while the usage is wrapped.
  std::string usage = "varnolt-cli " + command.get_name() + (texts.usage.empty() ? "" : " " + texts.usage);
  for (std::size_t at = usage.find(" --"); at != std::string::npos; at = usage.find(" --", at + 1)) {
    const std::size_t blank = usage.find(' ', at + 1);
    if (blank != std::string::npos && blank + 1 < usage.size() && usage[blank + 1] != '[' && usage[blank + 1] != '-') {
      usage[blank] = '\x01';
    }
  }
  std::string wrapped = Wrapped(usage, std::string(7 + 12 + command.get_name().size() + 1, ' '), "Usage: ");
  std::replace(wrapped.begin(), wrapped.end(), '\x01', ' ');
  out << wrapped << "\n"
      << Wrapped(command.get_description(), "", "");
  const std::vector<const CLI::Option*> options = command.get_options([](const CLI::Option*) { return true; });
  bool any = false;
  for (const CLI::Option* option : options) {
    if (!option->get_positional()) continue;
    if (!any) out << "\nArguments:\n";
    any = true;
    PrintEntry(OptionTitle(*option), option->get_description(), out);
  }
  // Options by group, the groups in the order their first option was declared;
  // CLI11's own group, which holds --help, comes last.
  std::vector<std::string> groups;
  for (const CLI::Option* option : options) {
    if (option->get_positional() || option->get_group() == "Options") continue;
    if (std::find(groups.begin(), groups.end(), option->get_group()) == groups.end()) {
      groups.push_back(option->get_group());
    }
  }
  groups.push_back("Options");
  for (const std::string& group : groups) {
    out << "\n" << (group == "Options" && groups.size() > 1 ? std::string("Other options") : group) << ":\n";
    for (const CLI::Option* option : options) {
      if (!option->get_positional() && option->get_group() == group) {
        PrintEntry(OptionTitle(*option), option->get_description(), out);
      }
    }
  }
  if (!texts.notes.empty()) out << "\n" << texts.notes;
}

}  // namespace varnolt
