#include "cli/Help.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

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

// The examples that end each command's help. Each command's examples run in that
// order in an empty folder (the documentation's test runs them), so an example
// makes the files the later ones read.
const std::map<std::string, std::vector<std::string>>& Examples() {
  static const std::map<std::string, std::vector<std::string>> examples{
      {"run",
       {"varnolt-cli run --seed 1",
        "varnolt-cli run --seed 1 --set cycleCount=770 --set palmCount=1000 --output large.dat --csv large.csv",
        "varnolt-cli run --seed 1 --set palmCount=1 --output -",
        "varnolt-cli run --seed 1 --set cycleCount=300 --replicates 3 --csv replicates.csv --output replicate1.dat",
        "varnolt-cli run --seed 1 --set cycleCount=770 --set palmCount=1000 --output window.dat --stat sexRatio,period "
        "--cycles-window 400:700 --quiet"}},
      {"show",
       {"varnolt-cli set trial.dat cycleCount=770 palmCount=1000", "varnolt-cli show trial.dat"}},
      {"set",
       {"varnolt-cli set trial4.dat \"runNotes=Trial 4\" cycleCount=770 palmCount=1000",
        "varnolt-cli set trial4.dat irrigation=1 irrigationStart=200 irrigationEnd=400"}},
      {"plot",
       {"varnolt-cli run --seed 1 --set cycleCount=770 --set palmCount=1000 --output run.dat",
        "varnolt-cli plot run.dat -o run.png",
        "varnolt-cli sweep --vary randomPercent=0:50:25 --set cycleCount=300 --seed 7 --csv sweep.csv --cycles cycles.csv",
        "varnolt-cli plot sweep.csv --stat period -o period.svg --plot-size 960x540",
        "varnolt-cli plot cycles.csv --point 2 -o point2.png"}},
      {"analyse",
       {"varnolt-cli run --seed 1 --set cycleCount=770 --set palmCount=1000 --output run.dat --csv run.csv",
        "varnolt-cli analyse run.dat",
        "varnolt-cli analyse run.csv --stat sexRatio,femaleAmplitude --cycles-window 400:700",
        "varnolt-cli sweep --vary randomPercent=0:50:25 --set cycleCount=300 --seed 7 --csv sweep.csv --cycles cycles.csv",
        "varnolt-cli analyse cycles.csv --point 3"}},
      {"sweep",
       {"varnolt-cli sweep --vary randomPercent=0:100:25 --set cycleCount=770 --set palmCount=1000 --seed 1 "
        "--csv random.csv",
        "varnolt-cli sweep --vary maleThreshold=17:24 --vary abortThreshold=20:30:5 --set cycleCount=300 --replicates 3 "
        "--seed 1 --csv grid.csv --cycles grid-cycles.csv",
        "varnolt-cli sweep --vary femaleThreshold=0:38 --set cycleCount=770 --set palmCount=1000 --seed 1 --csv big.csv "
        "--dry-run"}},
      {"batch",
       {"printf 'maleThreshold,randomPercent,seed\\n17,25,1\\n20,10,11\\n' > design.csv",
        "varnolt-cli batch design.csv --set cycleCount=300 --csv design-results.csv",
        "varnolt-cli set base.dat cycleCount=300 palmCount=50",
        "varnolt-cli batch design.csv --settings base.dat --replicates 3 --stat sexRatio,period --csv replicates.csv"}},
      {"sensitivity",
       {"varnolt-cli sensitivity --method morris --factor maleThreshold=17:39 --factor randomPercent=0:50 "
        "--set cycleCount=300 --seed 1 --csv morris.csv",
        "varnolt-cli sensitivity --method sobol --samples 64 --factor sexStressFirstFrond=15:25 "
        "--factor abortThreshold=18:30 --set cycleCount=300 --seed 1 --csv sobol.csv --points sobol-runs.csv",
        "varnolt-cli sensitivity --method sobol --samples 64 --factor sexStressFirstFrond=15:25 "
        "--factor abortThreshold=18:30 --set cycleCount=300 --seed 1 --from-points sobol-runs.csv"}},
      {"calibrate",
       {"varnolt-cli run --seed 7 --set cycleCount=200 --set palmCount=300 --set maleThreshold=19 --csv census.csv "
        "--output plantation.dat",
        "varnolt-cli calibrate census.csv --set cycleCount=200 --fit maleThreshold=16:22 --fit abortThreshold=21:27 "
        "--seed 1 -o best.dat --csv evaluations.csv",
        "varnolt-cli calibrate census.csv --set cycleCount=200 --fit maleThreshold=16:22 --fit randomPercent=0:100 "
        "--dry-run"}},
      {"merge",
       {"varnolt-cli sweep --vary randomPercent=0:50:10 --seed 7 --shard 1/2 --csv part-1.csv",
        "varnolt-cli sweep --vary randomPercent=0:50:10 --seed 7 --shard 2/2 --csv part-2.csv",
        "varnolt-cli merge part-1.csv part-2.csv -o all.csv"}},
      {"help", {"varnolt-cli help run", "varnolt-cli help"}},
  };
  return examples;
}

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

// An example as the shell takes it: a line too long for the help goes on, after a
// backslash, on lines indented further; words in quotes, and an option and its
// value, are never split.
std::string ExampleText(const std::string& example) {
  std::vector<std::string> words;
  std::string word;
  char quote = 0;
  for (const char c : example) {
    if (quote == 0 && c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      continue;
    }
    if (quote == 0 && (c == '\'' || c == '"')) quote = c;
    else if (c == quote) quote = 0;
    word += c;
  }
  if (!word.empty()) words.push_back(word);
  // An option and its value stay on one line.
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i].size() > 1 && words[i][0] == '-' && words[i + 1][0] != '-' && words[i + 1][0] != '>') {
      words[i] += " " + words[i + 1];
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
  }
  std::string text;
  std::string line = "  ";
  bool empty = true;  // no word on the line yet
  for (const std::string& next : words) {
    if (!empty && line.size() + 1 + next.size() + 2 > HelpWidth) {
      text += line + " \\\n";
      line = "      ";
      empty = true;
    }
    line += (empty ? "" : " ") + next;
    empty = false;
  }
  return text + line + "\n";
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
  const auto examples = Examples().find(command.get_name());
  if (examples != Examples().end()) {
    out << "\nExamples:\n";
    for (const std::string& example : examples->second) out << ExampleText(example);
  }
}

}  // namespace varnolt
