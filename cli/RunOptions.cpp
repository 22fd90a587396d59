#include "cli/RunOptions.h"

namespace {

// "--name VALUE" or "--name=VALUE"; advances index past what it took.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& index,
                                       const std::string& name, std::string& error) {
  const std::string& arg = args[index];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    return arg.substr(name.size() + 1);
  }
  if (index + 1 >= args.size()) {
    error = name + " needs a value";
    return std::nullopt;
  }
  return args[++index];
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

// The options that take a path or text as it stands.
const char* TextOption(const std::string& arg) {
  for (const char* name : {"--csv", "--json", "--plot-size", "--plot"}) {
    if (IsOption(arg, name)) return name;
  }
  return nullptr;
}

std::optional<std::string> RunOptions::*TextOptionField(const std::string& name) {
  if (name == "--csv") return &RunOptions::csv;
  if (name == "--json") return &RunOptions::json;
  if (name == "--plot") return &RunOptions::plot;
  return &RunOptions::plotSize;
}

}  // namespace

std::string SettingNames() {
  std::string names;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (!names.empty()) names += ", ";
    names += field.name;
  }
  return names;
}

std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args, std::string& error) {
  RunOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsOption(arg, "--set")) {
      std::optional<std::string> value = OptionValue(args, i, "--set", error);
      if (!value) return std::nullopt;
      options.assignments.push_back(*value);
    } else if (IsOption(arg, "--seed")) {
      std::optional<std::string> value = OptionValue(args, i, "--seed", error);
      if (!value) return std::nullopt;
      options.seed = ReadWholeNumber<std::uint32_t>(*value);
      if (!options.seed) {
        error = "--seed " + *value + ": the seed must be a whole number from 0 to 4294967295";
        return std::nullopt;
      }
    } else if (IsOption(arg, "--replicates")) {
      std::optional<std::string> value = OptionValue(args, i, "--replicates", error);
      if (!value) return std::nullopt;
      const std::optional<std::int32_t> count = ReadWholeNumber<std::int32_t>(*value);
      if (!count || *count < 1 || *count > 100000) {
        error = "--replicates " + *value + ": give the number of replicates, a whole number from 1 to 100000";
        return std::nullopt;
      }
      options.replicates = *count;
    } else if (IsOption(arg, "--threads")) {
      std::optional<std::string> value = OptionValue(args, i, "--threads", error);
      if (!value) return std::nullopt;
      options.threads = ReadWholeNumber<int>(*value);
      if (!options.threads || *options.threads < 1 || *options.threads > MaxThreads) {
        error = "--threads " + *value + ": the number of threads must be a whole number from 1 to " +
                std::to_string(MaxThreads);
        return std::nullopt;
      }
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (IsOption(arg, "--output")) {
      std::optional<std::string> value = OptionValue(args, i, "--output", error);
      if (!value) return std::nullopt;
      options.output = *value;
    } else if (const char* name = TextOption(arg)) {
      std::optional<std::string> value = OptionValue(args, i, name, error);
      if (!value) return std::nullopt;
      options.*TextOptionField(name) = *value;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      error = "unknown option \"" + arg +
              "\" (run accepts --set, --seed, --threads, --quiet, --replicates, --output, --csv, --json, --plot "
              "and --plot-size)";
      return std::nullopt;
    } else {
      options.positional.push_back(arg);
    }
  }
  return options;
}

std::optional<std::string> ApplyAssignment(RunSettings& settings, const std::string& assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) {
    return "\"" + assignment + "\" is not NAME=VALUE (for example palmCount=50)";
  }
  const std::string name = assignment.substr(0, equals);
  const std::string value = assignment.substr(equals + 1);
  const FieldInfo* field = FindField(name);
  if (field == nullptr) {
    return "unknown setting \"" + name + "\" in " + assignment + "\nThe settings are: " + SettingNames() + ".";
  }
  if (field->kind == FieldKind::Text) {
    settings.*(field->text) = value;
    return std::nullopt;
  }
  const std::optional<std::int32_t> number = ReadWholeNumber<std::int32_t>(value, Sign::Allowed);
  if (field->kind == FieldKind::Switch && !(number && (*number == 0 || *number == 1))) {
    return assignment + ": " + name + " is a switch and takes 0 (off) or 1 (on)";
  }
  if (!number) {
    return assignment + ": " + name + " takes a whole number from -2147483648 to 2147483647, not \"" + value + "\"";
  }
  settings.*(field->integer) = *number;
  return std::nullopt;
}
