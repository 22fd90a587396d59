#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {
const std::string WorkedRunReport = ReadFile(std::string(VARNOLT_TEST_DATA) + "/reports/worked-run-seed1-one-palm.dat");
}

TEST(Runner, PrintsTheWorkedRunWithDrawsToStandardOutput) {
  ASSERT_GT(WorkedRunReport.size(), 1000u);
  CliSandbox sandbox;
  const CliResult result = sandbox.Run({"run", "--seed", "1", "--set", "palmCount=1", "--output", "-"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, WorkedRunReport);
  EXPECT_THAT(result.err, HasSubstr("Ran 100 cycles of 1 palm from the start-up defaults, seed 1;"));
  EXPECT_EQ(sandbox.WorkEntries(), 0u) << "nothing is written beside";
}

TEST(Runner, WritesOutputDatInTheCurrentFolderByDefault) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run({"run", "--seed=1", "--set=palmCount=1"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "output.dat"), WorkedRunReport);
  EXPECT_THAT(result.out, HasSubstr("report written to output.dat"));
  EXPECT_THAT(result.err, HasSubstr("Seed 1 (repeat this run with --seed 1)"));
  EXPECT_EQ(sandbox.WorkEntries(), 1u);

  const CliResult elsewhere = sandbox.Run({"run", "--seed", "1", "--set", "palmCount=1", "--set",
                                           "outputPath=set.dat", "--output", "trial 4.dat"});
  EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "trial 4.dat"), WorkedRunReport);
  EXPECT_FALSE(fs::exists(sandbox.Work() / "set.dat")) << "--output wins over outputPath";
}

TEST(Runner, TheThreadCountDoesNotChangeTheReport) {
  CliSandbox sandbox;
  const std::vector<std::string> run = {"run", "--seed", "5", "--set", "cycleCount=300", "--set", "palmCount=1001",
                                        "--set", "trendCycles=1", "--set", "trendAmplitude=4", "--output", "-"};
  // The most threads this machine admits, as the help tells them.
  std::smatch most;
  const std::string help = sandbox.Run({"help", "run"}).out;
  ASSERT_TRUE(std::regex_search(help, most, std::regex("\\(([0-9]+) here;"))) << help;
  std::vector<std::string> one = run, all = run;
  one.insert(one.end(), {"--threads", "1"});
  all.insert(all.end(), {"--threads=" + most[1].str()});
  const CliResult byOne = sandbox.Run(one);
  const CliResult byAll = sandbox.Run(all);
  ASSERT_EQ(byOne.status, 0) << byOne.err;
  ASSERT_EQ(byAll.status, 0) << byAll.err;
  EXPECT_EQ(byOne.out, byAll.out);
  EXPECT_EQ(byOne.out, sandbox.Run(run).out);
  EXPECT_EQ(byAll.err.find("TBB"), std::string::npos) << byAll.err;

  // More threads than the machine runs at once are refused, never passed on
  // to the thread library (which would warn on the terminal and use fewer).
  const std::string beyond = std::to_string(std::stoi(most[1].str()) + 1);
  const CliResult tooMany = sandbox.Run({"run", "--threads", beyond});
  EXPECT_EQ(tooMany.status, 2);
  const std::string refusal = most[1].str() == "1"
                                  ? std::string("1 worker thread at a time; give 1, or leave it out")
                                  : "at most " + most[1].str() + " worker threads at once; give a number from 1 to " +
                                        most[1].str();
  EXPECT_EQ(tooMany.err, "varnolt-cli: --threads " + beyond + ": this machine runs " + refusal +
                             "\nTry 'varnolt-cli --help' for the usage.\n");
  EXPECT_EQ(sandbox.Run({"sweep", "--vary", "palmCount=1:2", "--csv", "-", "--threads", beyond}).err, tooMany.err);
}

TEST(Runner, AClockSeededRunCanBeRepeatedWithTheSeedItTells) {
  CliSandbox sandbox;
  const CliResult first = sandbox.Run({"run", "--set", "cycleCount=60", "--output", "first.dat"});
  ASSERT_EQ(first.status, 0) << first.err;
  std::smatch seed;
  ASSERT_TRUE(std::regex_search(first.err, seed, std::regex("Seed ([0-9]+) ")));
  const CliResult again = sandbox.Run({"run", "--set", "cycleCount=60", "--seed", seed[1], "--output", "again.dat"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "first.dat"), ReadFile(sandbox.Work() / "again.dat"));
}

TEST(Runner, EveryTreatmentReachesTheReport) {
  CliSandbox sandbox;
  const CliResult result =
      sandbox.Run({"run", "--seed", "9", "--output", "-", "--set", "runNotes=Trial 4 \u2013 caf\u00e9", "--set",
                   "leafPruning=1", "--set", "leafPruneCycle=5", "--set", "pruneStress=2", "--set", "trendCycles=1",
                   "--set", "trendAmplitude=10", "--set", "irrigation=1", "--set", "irrigationStart=10", "--set",
                   "irrigationEnd=12", "--set", "flowerPruning=1", "--set", "flowerPruneStart=25", "--set",
                   "flowerPruneEnd=27", "--set", "sexStageStartFrond=-2147483648"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, StartsWith("Programme: VARNOLT_WIN.exe (MODIFIED FROM TORBISKA5.bas)\r\n"
                                     "RUN NAME/NOTES: Trial 4 \x96 caf\xe9\r\n"));
  EXPECT_THAT(result.out, HasSubstr("FROND marking start of sex determining stage    -2147483648\r\n"));
  EXPECT_THAT(result.out, HasSubstr("Leaf pruning at leaf initiation cycle number 5\r\n"
                                    "Stress value for pruning stress (maximum is 10) 2\r\n"
                                    "Annual trend cycles applied\r\n"
                                    "Trend cycle amplitude = 10\r\n"
                                    "Irrigation used to remove some annual trend cycles\r\n"
                                    "Irrigation applied from cycle number 10 to 12\r\n"
                                    "Flower pruning applied (100%) from cycle number 25 to 27\r\n\r\n"));
  // Flower pruning aborts the nodes recorded one cycle later in every palm.
  EXPECT_THAT(result.out, HasSubstr("\r\n26            0             0             0             100           100"));
}

TEST(Runner, RefusesBadUsageWithStatusTwo) {
  CliSandbox sandbox;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "Try 'varnolt-cli --help'"},
      {{"frob"}, "unknown command \"frob\""},
      {{"run", "--set", "palmcount=5"}, "unknown setting \"palmcount\""},
      {{"run", "--set", "palmCount=1.5"}, "palmCount takes a whole number from -2147483648 to 2147483647, not \"1.5\""},
      {{"run", "--set", "palmCount=2147483648"}, "not \"2147483648\""},
      {{"run", "--set", "palmCount= 5"}, "not \" 5\""},
      {{"run", "--set", "trendCycles=2"}, "trendCycles is a switch and takes 0 (off) or 1 (on)"},
      {{"run", "--seed", "4294967296"}, "the seed must be a whole number from 0 to 4294967295"},
      {{"run", "--output"}, "--output needs a value"},
      {{"run", "--threads", "0"}, "--threads 0: the number of worker threads must be a whole number from 1 to "},
      {{"run", "--threads=two"}, "--threads two: the number of worker threads must be a whole number from 1 to "},
      {{"run", "--threads", "0x2"}, "--threads 0x2: the number of worker threads"},
      {{"run", "--frob"}, "unknown option \"--frob\" for run"},
      {{"batch", "--seed", "1", "--set"}, "--set needs a value"},
      {{"run", "--quiet=loud"}, "varnolt-cli: --quiet takes no value, not \"loud\"\n"},
      {{"run", "a.dat", "b.dat"}, "run takes at most one settings file, not also \"b.dat\""},
      {{"--version", "run"}, "--version takes no arguments"},
  };
  for (const auto& [args, says] : cases) {
    std::string command = "varnolt-cli";
    for (const std::string& arg : args) command += " " + arg;
    const CliResult result = sandbox.Run(args);
    EXPECT_EQ(result.status, 2) << command;
    EXPECT_THAT(result.err, HasSubstr(says)) << command;
  }
  const CliResult unknown = sandbox.Run({"run", "--set", "palmcount=5"});
  EXPECT_THAT(unknown.err, HasSubstr("runNotes, cycleCount, palmCount,")) << "the accepted names are listed";
  EXPECT_THAT(unknown.err, HasSubstr("initialNodeSex, outputPath."));
  EXPECT_EQ(sandbox.WorkEntries(), 0u);

  const CliResult bare = sandbox.Run({});
  EXPECT_EQ(bare.err, "Usage: varnolt-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
                      "Try 'varnolt-cli --help' for the commands, or 'varnolt-cli help COMMAND'.\n");
  EXPECT_EQ(bare.out, "");
}

TEST(Runner, TellsItsVersionForBugReports) {
  CliSandbox sandbox;
  const CliResult version = sandbox.Run({"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_TRUE(std::regex_match(version.out, std::regex("VARNOLT 1\\.[0-9]+\\.[0-9]+( \\(commit [0-9a-f]{12}(, modified)?\\))?\n")))
      << version.out;
  EXPECT_EQ(version.err, "");
}

TEST(Runner, TheFirstFailedRuleStopsTheRunWithStatusTwo) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run({"run", "--set", "maleThreshold=16", "--set", "abortThreshold=0"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            "varnolt-cli: abortThreshold 0 must be from 1 to 40 (rule 3)\n"
            "Nothing was run.\n");
  const CliResult male = sandbox.Run({"run", "--set", "maleThreshold=16"});
  EXPECT_EQ(male.status, 2);
  EXPECT_THAT(male.err, HasSubstr("varnolt-cli: femaleThreshold 16 must be below maleThreshold 16 (rule 5)\n"));
  const CliResult prune = sandbox.Run({"run", "--set", "leafPruning=1", "--set", "leafPruneCycle=100"});
  EXPECT_THAT(prune.err, HasSubstr("varnolt-cli: pruneStress 0 must be from 1 to 10 while leafPruning is on (rule 8)\n"));
  EXPECT_TRUE(result.out.empty());
  EXPECT_EQ(sandbox.WorkEntries(), 0u) << "nothing is written";

  const CliResult edge = sandbox.Run({"run", "--set", "cycleCount=1", "--set", "leafPruning=1", "--set",
                                      "leafPruneCycle=1", "--set", "pruneStress=10", "--output", "-"});
  EXPECT_EQ(edge.status, 0) << edge.err;
}

TEST(Runner, AFrondOutsideTheNodesFailsWithStatusOneAndKeepsTheOldReport) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "output.dat", "old report");
  const CliResult result = sandbox.Run({"run", "--set", "sexStressLastFrond=170", "--seed", "1"});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, AllOf(HasSubstr("varnolt-cli: sexStressLastFrond 170: "), HasSubstr("-30 to 169"),
                                HasSubstr("No report was written.")));
  EXPECT_EQ(ReadFile(sandbox.Work() / "output.dat"), "old report");
  EXPECT_EQ(sandbox.WorkEntries(), 1u);
}

TEST(Runner, AReportThatCannotBeWrittenFailsWithStatusOne) {
  CliSandbox sandbox;
  const CliResult missing = sandbox.Run({"run", "--output", "no-such-folder/output.dat"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err,
              HasSubstr("varnolt-cli: cannot write the report to no-such-folder/output.dat: no such file or directory\n"));
  EXPECT_TRUE(missing.out.empty());
}

TEST(Runner, AWriteCutShortLeavesThePreviousReportWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "a file size limit (ulimit -f) needs POSIX";
#endif
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "output.dat", "old report");
  // A file size limit of 4 KiB stops the 100-cycle report part-way, as a full disk would.
  const CliResult result = sandbox.Run({"run", "--seed", "1"}, "trap '' XFSZ; ulimit -f 4 && ");
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_THAT(result.err, HasSubstr("varnolt-cli: cannot write the report to output.dat: file too large\n"));
  EXPECT_EQ(ReadFile(sandbox.Work() / "output.dat"), "old report");
  EXPECT_EQ(sandbox.WorkEntries(), 1u) << "the temporary file is removed";
}

}  // namespace varnolt
