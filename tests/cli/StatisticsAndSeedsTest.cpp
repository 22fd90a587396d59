// What the runner publishes for a modeller: runs without a regular cycle told
// as such from end to end, percentages as count x 100 / palms, seeds of their
// own, replicate seeds within the seeds there are.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include <nlohmann/json.hpp>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

// Small runs; a randomPercent of 90 drowns the cycle in noise.
const std::vector<std::string> SmallRun = {"--set", "cycleCount=300", "--set", "palmCount=300", "--set",
                                           "abortThreshold=10"};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == separator) parts.emplace_back();
    else parts.back() += c;
  }
  if (separator == '\n' && parts.back().empty()) parts.pop_back();
  return parts;
}

TEST(NoRegularCycle, IsAnEmptyCellNullAndWordsAndIsLeftOutOfMeansAndIndicesWithACount) {
  CliSandbox sandbox;
  // The table: the noisy point's period cell is empty, never 0.
  const CliResult sweep =
      sandbox.Run(With({"sweep", "--vary", "randomPercent=0:90:90", "--seed", "1", "--csv", "s.csv"}, SmallRun));
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const std::vector<std::string> rows = Split(ReadFile(sandbox.Work() / "s.csv"), '\n');
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(Split(rows[0], ',')[9], "period");
  EXPECT_NE(Split(rows[1], ',')[9], "");
  EXPECT_EQ(Split(rows[2], ',')[9], "");

  // A single run: words in its summary, null in its JSON record.
  const CliResult run = sandbox.Run(
      With({"run", "--set", "randomPercent=90", "--seed", "1", "--output", "r.dat", "--csv", "r.csv"}, SmallRun));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("No regular cycle; mean female"));
  const auto record = nlohmann::json::parse(ReadFile(sandbox.Work() / "r.json"));
  EXPECT_TRUE(record["analysis"]["period"].is_null());
  EXPECT_TRUE(record["analysis"]["femaleAmplitude"].is_null());

  // Replicates: the mean period is of the runs that have one, and says how many had none.
  const CliResult replicates = sandbox.Run(
      With(With({"run", "--set", "randomPercent=90", "--seed", "1", "--replicates", "4", "--output", "r.dat"}, SmallRun),
           {"--set", "abortThreshold=20"}));
  ASSERT_EQ(replicates.status, 0) << replicates.err;
  std::smatch counted;
  ASSERT_TRUE(std::regex_search(replicates.out, counted,
                                std::regex("period ([0-9.]+) \\([^)]*\\) cycles, ([0-9]) of 4 runs without one left out")))
      << replicates.out;
  const std::vector<std::string> lines = Split(replicates.out, '\n');
  const auto withoutCycle = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("): No regular cycle;") != std::string::npos;
  });
  EXPECT_EQ(std::stoi(counted[2]), withoutCycle);
  EXPECT_GT(std::stod(counted[1]), 0.0);

  // Indices: the runs without a period are counted and left out of its effects.
  const CliResult morris = sandbox.Run(With({"sensitivity", "--factor", "randomPercent=0:90", "--factor",
                                             "femaleThreshold=10:16", "--method", "morris", "--trajectories", "6",
                                             "--seed", "2", "--csv", "m.csv"},
                                            SmallRun));
  ASSERT_EQ(morris.status, 0) << morris.err;
  std::smatch left;
  ASSERT_TRUE(std::regex_search(morris.out, left,
                                std::regex("period:\n  ([0-9]+) of 18 runs have no period \\(no regular cycle\\)")))
      << morris.out;
  EXPECT_GT(std::stoi(left[1]), 0);
  for (const std::string& row : Split(ReadFile(sandbox.Work() / "m.csv"), '\n')) {
    EXPECT_EQ(row.find("nan"), std::string::npos) << row;
  }
}

TEST(Sensitivity, AnOutputThatDoesNotVaryGetsALineAndNoIndices) {
  CliSandbox sandbox;
  // femaleThreshold changes nothing here: every run is the same run.
  const CliResult sobol = sandbox.Run({"sensitivity", "--set", "cycleCount=300", "--set", "palmCount=200",
                                       "--method", "sobol", "--samples", "8", "--factor", "femaleThreshold=10:16",
                                       "--seed", "1", "--csv", "s.csv"});
  ASSERT_EQ(sobol.status, 0) << sobol.err;
  EXPECT_THAT(sobol.out, HasSubstr("meanFemale does not vary over this design; no indices."));
  EXPECT_THAT(sobol.out, HasSubstr("meanHerm does not vary over this design; no indices."));
  EXPECT_EQ(sobol.out.find("1.000"), std::string::npos) << sobol.out;
  EXPECT_EQ(sobol.out.find("nan"), std::string::npos) << sobol.out;
  const std::vector<std::string> rows = Split(ReadFile(sandbox.Work() / "s.csv"), '\n');
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1], "meanFemale,femaleThreshold,,,,,,,8");
}

TEST(Percentages, TheCsvHoldsCountTimes100OverPalmsAndAnalyseAgreesWithTheRun) {
  CliSandbox sandbox;
  // 1,000 palms: every percentage has at most one decimal, as the report shows it.
  const CliResult run = sandbox.Run({"run", "--set", "cycleCount=400", "--set", "palmCount=1000", "--seed", "3",
                                     "--output", "r.dat", "--csv", "r.csv"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> rows = Split(ReadFile(sandbox.Work() / "r.csv"), '\n');
  ASSERT_EQ(rows.size(), 401u);
  for (std::size_t r = 1; r < rows.size(); ++r) {
    for (const std::string& cell : Split(rows[r], ',')) {
      const std::size_t point = cell.find('.');
      ASSERT_TRUE(point == std::string::npos || cell.size() - point == 2) << rows[r];
    }
  }
  const CliResult analyse = sandbox.Run({"analyse", "r.csv"});
  ASSERT_EQ(analyse.status, 0) << analyse.err;
  EXPECT_THAT(run.out, HasSubstr(analyse.out.substr(0, analyse.out.size() - 1)));
}

TEST(Seeds, RunsStartedTogetherWithoutASeedGetDifferentOnes) {
  CliSandbox first, second;
  CliResult a, b;
  const std::vector<std::string> args = {"run", "--set", "cycleCount=30", "--set", "palmCount=10", "--output", "x.dat"};
  std::thread one([&] { a = first.Run(args); });
  std::thread two([&] { b = second.Run(args); });
  one.join();
  two.join();
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  std::smatch seedA, seedB;
  ASSERT_TRUE(std::regex_search(a.err, seedA, std::regex("Seed ([0-9]+) ")));
  ASSERT_TRUE(std::regex_search(b.err, seedB, std::regex("Seed ([0-9]+) ")));
  EXPECT_NE(seedA[1].str(), seedB[1].str());
}

TEST(Seeds, ReplicateSeedsNeverPassTheLastSeed) {
  CliSandbox sandbox;
  const CliResult run =
      sandbox.Run(With({"run", "--seed", "4294967294", "--replicates", "3", "--output", "r.dat"}, SmallRun));
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.err, HasSubstr("seeds 4294967294 to 4294967296 would pass 4294967295"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "r.dat"));
  const CliResult last =
      sandbox.Run(With({"run", "--seed", "4294967293", "--replicates", "3", "--output", "r.dat"}, SmallRun));
  ASSERT_EQ(last.status, 0) << last.err;
  EXPECT_THAT(last.out, HasSubstr("seeds 4294967293 to 4294967295"));

  const CliResult sweep = sandbox.Run(With({"sweep", "--vary", "femaleThreshold=10:12", "--seed", "4294967295",
                                            "--replicates", "2", "--csv", "s.csv"},
                                           SmallRun));
  EXPECT_EQ(sweep.status, 2);
  EXPECT_THAT(sweep.err, HasSubstr("would pass 4294967295"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "s.csv"));
}

TEST(Seeds, ABatchSeedColumnGivesEachRowItsOwnConsecutiveSeeds) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "own.csv", "femaleThreshold,seed\n12,1\n14,3\n16,1\n");
  const CliResult own = sandbox.Run(With({"batch", "own.csv", "--replicates", "2", "--csv", "out.csv"}, SmallRun));
  ASSERT_EQ(own.status, 0) << own.err;
  std::vector<std::string> seeds;
  for (const std::string& row : Split(ReadFile(sandbox.Work() / "out.csv"), '\n')) seeds.push_back(Split(row, ',')[3]);
  // Rows 1 and 3 share seeds on purpose (the same seed in the column); row 2 has its own.
  EXPECT_EQ(seeds, (std::vector<std::string>{"seed", "1", "2", "3", "4", "1", "2"}));

  WriteFile(sandbox.Work() / "overlap.csv", "femaleThreshold,seed\n12,1\n14,2\n");
  const CliResult overlap =
      sandbox.Run(With({"batch", "overlap.csv", "--replicates", "2", "--csv", "bad.csv"}, SmallRun));
  EXPECT_EQ(overlap.status, 2);
  EXPECT_THAT(overlap.err, HasSubstr("overlap.csv line 3, column 2: seeds 2 to 3 of line 3 overlap seeds 1 to 2 of "
                                     "line 2; with --replicates 2 give rows seeds at least 2 apart"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "bad.csv"));

  WriteFile(sandbox.Work() / "last.csv", "femaleThreshold,seed\n12,4294967295\n");
  const CliResult last = sandbox.Run(With({"batch", "last.csv", "--replicates", "2", "--csv", "bad.csv"}, SmallRun));
  EXPECT_EQ(last.status, 2);
  EXPECT_THAT(last.err, HasSubstr("line 2, column 2: seeds 4294967295 to 4294967296 would pass"));
}

}  // namespace

namespace {

TEST(ChosenStatistics, StatAndCyclesWindowChooseTheColumnsAndTheCyclesOfEveryCommand) {
  CliSandbox sandbox;
  // run prints the chosen statistics over the chosen cycles, and analyse of its
  // CSV prints the same.
  const CliResult run = sandbox.Run(With({"run", "--seed", "1", "--output", "r.dat", "--csv", "r.csv", "--stat",
                                          "sexRatio,period", "--stat", "femaleAmplitude", "--cycles-window",
                                          "151:300"},
                                         SmallRun));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Split(run.out, '\n');
  ASSERT_GE(lines.size(), 3u);
  EXPECT_THAT(lines[1], HasSubstr("over cycles 151 to 300"));
  // No males at this abortion threshold: every sexed inflorescence is female.
  EXPECT_THAT(lines[2], ::testing::StartsWith("sexRatio 1.000, period 42 cycles, femaleAmplitude "));
  const auto record = nlohmann::json::parse(ReadFile(sandbox.Work() / "r.json"));
  EXPECT_EQ(record["analysis"]["firstCycle"], 151);
  const double female = record["analysis"]["meanFemale"], male = record["analysis"]["meanMale"];
  EXPECT_DOUBLE_EQ(record["analysis"]["sexRatio"].get<double>(), female / (female + male));
  const CliResult analyse =
      sandbox.Run({"analyse", "r.csv", "--stat", "sexRatio,period,femaleAmplitude", "--cycles-window", "151:300"});
  ASSERT_EQ(analyse.status, 0) << analyse.err;
  EXPECT_EQ(analyse.out, lines[1] + "\n" + lines[2] + "\n");

  // A sweep's columns follow --stat; a point whose run is shorter than the
  // window fails with the reason, the others run.
  const CliResult sweep =
      sandbox.Run(With({"sweep", "--vary", "cycleCount=200:300:100", "--seed", "1", "--stat", "period,sexRatio",
                        "--cycles-window", "151:250", "--csv", "s.csv"},
                       SmallRun));
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const std::vector<std::string> rows = Split(ReadFile(sandbox.Work() / "s.csv"), '\n');
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "point,cycleCount,replicate,seed,status,period,sexRatio,message");
  EXPECT_EQ(rows[1], "1,200,1,1,failed,,,\"the cycles window 151:250 goes past the run's last cycle, 200\"");
  EXPECT_THAT(rows[2], ::testing::StartsWith("2,300,1,1,ok,"));

  // Mistakes are refused before anything runs, with the names there are.
  const CliResult unknown = sandbox.Run(With({"sweep", "--vary", "femaleThreshold=10:12", "--stat", "perod",
                                              "--csv", "bad.csv"},
                                             SmallRun));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("unknown statistic \"perod\""));
  EXPECT_THAT(unknown.err, HasSubstr("meanFemale, meanHerm, meanMale, meanAborted, sexRatio"));
  const CliResult past =
      sandbox.Run(With({"run", "--seed", "1", "--output", "past.dat", "--cycles-window", "101:800"}, SmallRun));
  EXPECT_EQ(past.status, 2);
  EXPECT_THAT(past.err, HasSubstr("101:800 goes past the run's last cycle, 300"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "past.dat"));
  const CliResult backwards = sandbox.Run({"analyse", "r.csv", "--cycles-window", "300:200"});
  EXPECT_EQ(backwards.status, 2);
  EXPECT_THAT(backwards.err, HasSubstr("the last cycle comes before the first"));
}

TEST(Sensitivity, TheDesignHasItsOwnSeedAndPointsAverageTheirReplicates) {
  CliSandbox sandbox;
  const std::vector<std::string> morris = With({"sensitivity", "--factor", "randomPercent=0:50", "--factor",
                                                "abortThreshold=18:30", "--method", "morris", "--trajectories", "4",
                                                "--design-seed", "7"},
                                               SmallRun);
  ASSERT_EQ(sandbox.Run(With(morris, {"--seed", "1", "--points", "a.csv"})).status, 0);
  ASSERT_EQ(sandbox.Run(With(morris, {"--seed", "2", "--points", "b.csv"})).status, 0);
  const std::vector<std::string> a = Split(ReadFile(sandbox.Work() / "a.csv"), '\n');
  const std::vector<std::string> b = Split(ReadFile(sandbox.Work() / "b.csv"), '\n');
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t r = 1; r < a.size(); ++r) {
    // The same points of the design, run with the other seed.
    EXPECT_EQ(Split(a[r], ',')[1] + "," + Split(a[r], ',')[2], Split(b[r], ',')[1] + "," + Split(b[r], ',')[2]);
    EXPECT_EQ(Split(a[r], ',')[4], "1");
    EXPECT_EQ(Split(b[r], ',')[4], "2");
  }

  // Three replicates: seeds 5 to 7 at every point, their mean the output, and
  // the indices again from the table of runs.
  const std::vector<std::string> sobol = With({"sensitivity", "--factor", "randomPercent=0:50", "--method", "sobol",
                                               "--samples", "4", "--seed", "5", "--replicates", "3", "--stat",
                                               "meanFemale"},
                                              SmallRun);
  const CliResult replicated = sandbox.Run(With(sobol, {"--points", "runs.csv", "--csv", "indices.csv"}));
  ASSERT_EQ(replicated.status, 0) << replicated.err;
  EXPECT_THAT(replicated.out, HasSubstr("from 36 runs (seed 5); each point's output is the mean of its 3 "
                                        "replicates, seeds 5 to 7"));
  EXPECT_THAT(replicated.out, HasSubstr("Between replicates of a point, sd "));
  const std::vector<std::string> runs = Split(ReadFile(sandbox.Work() / "runs.csv"), '\n');
  ASSERT_EQ(runs.size(), 1u + 12u * 3u);
  EXPECT_EQ(runs[0], "point,randomPercent,replicate,seed,status,meanFemale,message");
  EXPECT_THAT(runs[3], ::testing::StartsWith("1,"));
  EXPECT_EQ(Split(runs[3], ',')[2] + "," + Split(runs[3], ',')[3], "3,7");
  const CliResult again = sandbox.Run(With(sobol, {"--from-points", "runs.csv", "--csv", "again.csv"}));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "again.csv"), ReadFile(sandbox.Work() / "indices.csv"));
}

}  // namespace

}  // namespace varnolt
