#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

const std::vector<std::string> Commands = {"run",         "show",  "set",  "plot", "analyse", "sweep",
                                           "batch",       "sensitivity", "merge", "help"};

std::vector<std::string> LongLines(const std::string& text) {
  std::vector<std::string> longer;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 80) longer.push_back(line);
  }
  return longer;
}

TEST(Help, EveryCommandHasItsHelpAskedForAnyWay) {
  CliSandbox sandbox;
  const CliResult overview = sandbox.Run({"--help"});
  EXPECT_EQ(overview.status, 0);
  EXPECT_EQ(sandbox.Run({"help"}).out, overview.out);
  EXPECT_EQ(sandbox.Run({"-h"}).out, overview.out);
  EXPECT_THAT(LongLines(overview.out), testing::IsEmpty());
  for (const std::string& command : Commands) {
    EXPECT_THAT(overview.out, HasSubstr("\n  " + command + " ")) << command;
    const CliResult help = sandbox.Run({"help", command});
    EXPECT_EQ(help.status, 0) << command << help.err;
    EXPECT_THAT(help.out, testing::StartsWith("Usage: varnolt-cli " + command)) << command;
    EXPECT_THAT(help.out, HasSubstr("  -h, --help")) << command;
    EXPECT_THAT(LongLines(help.out), testing::IsEmpty()) << command;
    EXPECT_EQ(sandbox.Run({command, "--help"}).out, help.out) << command;
    EXPECT_EQ(sandbox.Run({command, "-h"}).out, help.out) << command;
    EXPECT_EQ(help.err, "") << command;
  }
  // --help anywhere on the line, even after options and arguments, and
  // nothing is run or written.
  const std::string runHelp = sandbox.Run({"help", "run"}).out;
  EXPECT_EQ(sandbox.Run({"run", "trial.dat", "--seed", "1", "--help", "--set", "palmCount=5"}).out, runHelp);
  EXPECT_EQ(sandbox.Run({"--help", "run"}).out, runHelp);
  EXPECT_EQ(sandbox.WorkEntries(), 0u);
  // Each option with its meaning.
  EXPECT_THAT(runHelp, HasSubstr("  --threads N           the worker threads, from 1 to the number this machine"));
  EXPECT_THAT(runHelp, HasSubstr("  -o, --output PATH|-   write the report to PATH"));
  EXPECT_THAT(runHelp, HasSubstr("Settings (NAME):\n  runNotes, cycleCount, palmCount,"));
  const std::string sweepHelp = sandbox.Run({"help", "sweep"}).out;
  EXPECT_THAT(sweepHelp, HasSubstr("  --vary NAME=FROM:TO[:STEP]\n                        vary a numeric setting"));
  EXPECT_THAT(sweepHelp, HasSubstr("  --resume              continue the table of --csv"));

  const CliResult unknown = sandbox.Run({"help", "frob"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("varnolt-cli: unknown command \"frob\"\n"));
}

TEST(Help, DoubleDashEndsTheOptions) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run({"set", "--", "-odd.dat", "palmCount=7"}).status, 0);
  const CliResult shown = sandbox.Run({"show", "--", "-odd.dat"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_THAT(shown.out, HasSubstr("\npalmCount=7\n"));
  // Without the double dash the name reads as an option.
  const CliResult refused = sandbox.Run({"show", "-odd.dat"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, HasSubstr("unknown option \"-odd.dat\" for show"));
  // After it, even --help is an argument, wherever the arguments stand.
  const CliResult notHelp = sandbox.Run({"set", "x.dat", "palmCount=7", "--", "-h"});
  EXPECT_EQ(notHelp.status, 2);
  EXPECT_THAT(notHelp.err, HasSubstr("varnolt-cli: \"-h\" is not NAME=VALUE"));
  EXPECT_EQ(sandbox.Run({"show", "--", "--help"}).status, 1);
  // A file named as a command is an argument, not a second command.
  ASSERT_EQ(sandbox.Run({"set", "run", "palmCount=8"}).status, 0);
  EXPECT_THAT(sandbox.Run({"show", "run"}).out, HasSubstr("\npalmCount=8\n"));
}

TEST(Help, OutputAndItsShortFormMeanTheSameEverywhere) {
  CliSandbox sandbox;
  const std::vector<std::string> small = {"--seed", "2", "--set", "palmCount=5", "--set", "cycleCount=60"};
  std::vector<std::string> longForm = {"run", "--output", "long.dat"}, shortForm = {"run", "-o", "short.dat"};
  longForm.insert(longForm.end(), small.begin(), small.end());
  shortForm.insert(shortForm.end(), small.begin(), small.end());
  ASSERT_EQ(sandbox.Run(longForm).status, 0);
  ASSERT_EQ(sandbox.Run(shortForm).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "long.dat"), ReadFile(sandbox.Work() / "short.dat"));
  // plot and merge take both spellings too (plot where the runner draws).
#ifdef VARNOLT_RUNNER_DRAWS
  EXPECT_EQ(sandbox.Run({"plot", "long.dat", "--output", "a.svg", "--plot-size=200x150"}).status, 0);
  EXPECT_EQ(sandbox.Run({"plot", "long.dat", "-o", "b.svg"}).status, 0);
  EXPECT_TRUE(fs::exists(sandbox.Work() / "a.svg"));
#endif
  const std::vector<std::string> sweep = {"sweep", "--vary", "femaleThreshold=12:13", "--seed", "3",
                                          "--set",  "palmCount=5", "--set", "cycleCount=60"};
  std::vector<std::string> part1 = sweep, part2 = sweep;
  part1.insert(part1.end(), {"--shard", "1/2", "--csv", "p1.csv"});
  part2.insert(part2.end(), {"--shard", "2/2", "--csv", "p2.csv"});
  ASSERT_EQ(sandbox.Run(part1).status, 0);
  ASSERT_EQ(sandbox.Run(part2).status, 0);
  EXPECT_EQ(sandbox.Run({"merge", "p1.csv", "p2.csv", "--output", "all1.csv"}).status, 0);
  EXPECT_EQ(sandbox.Run({"merge", "p1.csv", "p2.csv", "-o", "all2.csv"}).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "all1.csv"), ReadFile(sandbox.Work() / "all2.csv"));
  EXPECT_FALSE(ReadFile(sandbox.Work() / "all1.csv").empty());
}

}  // namespace

namespace {

// Every problem the runner reports is one line: "varnolt-cli: ", what went
// wrong, the file as it was typed, the cause, and no final period.
TEST(Messages, EveryProblemHasOneForm) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "notes.txt", "not results\n");
  fs::create_directory(sandbox.Work() / "folder.csv");
  const std::vector<std::vector<std::string>> cases = {
      {"show", "missing.dat"},
      {"run", "missing.dat"},
      {"set", "no-folder/a.dat", "palmCount=5"},
      {"analyse", "missing.csv"},
      {"analyse", "notes.txt"},
      {"plot", "notes.txt", "-o", "p.svg"},
      {"batch", "missing.csv", "--csv", "out.csv"},
      {"merge", "missing.csv", "-o", "all.csv"},
      {"run", "--set", "femaleThreshold=30", "--set", "maleThreshold=20"},
      {"run", "--set", "sexStressFirstFrond=-40", "--seed", "1"},
      {"run", "--seed", "1", "--set", "palmCount=2", "--output", "no-folder/r.dat"},
      {"run", "--seed", "1", "--set", "palmCount=2", "--csv", "folder.csv"},
      {"sweep", "--vary", "palmCount=1:2", "--seed", "1", "--csv", "folder.csv"},
      {"run", "--seed", "x"},
      {"frob"},
  };
  for (const std::vector<std::string>& args : cases) {
    const CliResult result = sandbox.Run(args);
    std::string command;
    for (const std::string& arg : args) command += " " + arg;
    EXPECT_NE(result.status, 0) << command;
    EXPECT_THAT(result.err, testing::StartsWith("varnolt-cli: ")) << command;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("varnolt-cli: ", 0) != 0) continue;
      EXPECT_NE(line.back(), '.') << command << ": " << line;
      EXPECT_EQ(line.find(sandbox.Work().string()), std::string::npos) << command << ": " << line;
      EXPECT_FALSE(line[13] >= 'A' && line[13] <= 'Z') << command << ": " << line;
    }
  }
  EXPECT_EQ(sandbox.Run({"run", "--set", "femaleThreshold=30", "--set", "maleThreshold=20"}).err,
            "varnolt-cli: femaleThreshold 30 must be below maleThreshold 20 (rule 5)\nNothing was run.\n");
  // One text for one system error, whichever road the file took.
  EXPECT_THAT(sandbox.Run({"show", "missing.dat"}).err, HasSubstr("missing.dat: no such file or directory\n"));
  EXPECT_THAT(sandbox.Run({"analyse", "missing.csv"}).err, HasSubstr("missing.csv: no such file or directory\n"));
  EXPECT_THAT(sandbox.Run({"run", "--seed", "1", "--output", "no-folder/r.dat"}).err,
              HasSubstr("no-folder/r.dat: no such file or directory\n"));
}

}  // namespace

}  // namespace varnolt
