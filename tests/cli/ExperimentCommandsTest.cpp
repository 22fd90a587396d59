#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

const std::vector<std::string> SmallRun = {"--set", "cycleCount=300", "--set", "palmCount=300"};

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells(1);
  for (char c : line) {
    if (c == ',') cells.emplace_back();
    else cells.back() += c;
  }
  return cells;
}

// Runs a shell script in the sandbox's work folder with varnolt-cli on the PATH;
// answers its exit status.
int Shell(const CliSandbox& sandbox, const std::string& script) {
#ifdef _WIN32
  (void)sandbox;
  (void)script;
  return -1;  // the tests that need a shell skip on Windows
#else
  const std::string command = "cd " + Quoted(sandbox.Work().string()) + " && PATH=" + Quoted(VARNOLT_BIN_DIR) +
                              ":$PATH && " + script;
  const int wait = std::system(("sh -c " + Quoted(command)).c_str());
  return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
#endif
}

TEST(Sweep, RowsEqualSingleRunsOfTheSameSettingsAndSeed) {
  CliSandbox sandbox;
  const CliResult sweep = sandbox.Run(With({"sweep", "--vary", "femaleThreshold=12:16:2", "--vary",
                                            "maleThreshold=15:17", "--seed", "5", "--csv", "s.csv", "--cycles",
                                            "c.csv"},
                                           SmallRun));
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  EXPECT_THAT(sweep.out, HasSubstr("sweep: 9 runs; 7 completed, 2 refused by a rule, 0 failed."));
  const std::vector<std::string> rows = Lines(ReadFile(sandbox.Work() / "s.csv"));
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[0],
            "point,femaleThreshold,maleThreshold,replicate,seed,status,meanFemale,meanHerm,meanMale,meanAborted,"
            "period,strength,message");
  // femaleThreshold 16 with maleThreshold 15 and 16 break rule 5 and are not run.
  EXPECT_EQ(rows[7], "7,16,15,1,5,invalid,,,,,,,rule 5 (maleThreshold): Male threshold must be greater than the "
                     "female threshold and no larger than 39");

  const std::vector<std::string> cycles = Lines(ReadFile(sandbox.Work() / "c.csv"));
  EXPECT_EQ(cycles[0], "point,replicate,cycle,female,herm,male,aborted");
  EXPECT_EQ(cycles.size(), 1u + 7u * 300u);
  for (int point : {2, 6}) {
    const std::vector<std::string> row = Cells(rows[point]);
    const CliResult single = sandbox.Run(With({"run", "--seed", "5", "--set", "femaleThreshold=" + row[1], "--set",
                                               "maleThreshold=" + row[2], "--csv", "one.csv", "--output", "r.dat"},
                                              SmallRun));
    ASSERT_EQ(single.status, 0) << single.err;
    const auto record = nlohmann::json::parse(ReadFile(sandbox.Work() / "one.json"));
    EXPECT_EQ(std::stod(row[6]), record["analysis"]["meanFemale"].get<double>());
    EXPECT_EQ(std::stod(row[9]), record["analysis"]["meanAborted"].get<double>());
    EXPECT_EQ(std::stoll(row[10]), record["analysis"]["period"].get<std::int64_t>());
    // The cycle table's rows of that point are the single run's CSV rows.
    const std::vector<std::string> table = Lines(ReadFile(sandbox.Work() / "one.csv"));
    for (int cycle : {1, 150, 300}) {
      const std::vector<std::string> one = Cells(table[cycle]);
      const std::vector<std::string> mine = Cells(cycles[1 + (point - 1 - (point > 7 ? 2 : 0)) * 300 + cycle - 1]);
      EXPECT_EQ(mine[0], std::to_string(point));
      EXPECT_EQ(std::vector<std::string>(mine.begin() + 2, mine.end()),
                std::vector<std::string>(one.begin(), one.begin() + 5));
    }
  }
}

TEST(Sweep, OneAndTwoThreadsWriteTheSameTableAndReplicatesCountSeeds) {
  CliSandbox sandbox;
  const auto args = With({"sweep", "--vary", "randomPercent=0:50:25", "--replicates", "3", "--seed", "9"}, SmallRun);
  ASSERT_EQ(sandbox.Run(With(args, {"--threads", "1", "--csv", "one.csv"})).status, 0);
  ASSERT_EQ(sandbox.Run(With(args, {"--threads", "2", "--csv", "two.csv"})).status, 0);
  const std::string one = ReadFile(sandbox.Work() / "one.csv");
  EXPECT_EQ(one, ReadFile(sandbox.Work() / "two.csv"));
  const std::vector<std::string> rows = Lines(one);
  ASSERT_EQ(rows.size(), 1u + 3u * 3u);
  EXPECT_EQ(rows[4].substr(0, 11), "2,25,1,9,ok");
  EXPECT_EQ(rows[6].substr(0, 12), "2,25,3,11,ok");
}

TEST(Sweep, RefusesBadFactorsBeforeRunning) {
  CliSandbox sandbox;
  const CliResult text = sandbox.Run({"sweep", "--vary", "runNotes=1:3", "--csv", "s.csv"});
  EXPECT_EQ(text.status, 2);
  EXPECT_THAT(text.err, HasSubstr("runNotes is a text"));
  const CliResult twice =
      sandbox.Run({"sweep", "--vary", "palmCount=1:3", "--vary", "palmCount=4:5", "--csv", "s.csv"});
  EXPECT_EQ(twice.status, 2);
  EXPECT_THAT(twice.err, HasSubstr("palmCount is varied twice"));
  const CliResult noCsv = sandbox.Run({"sweep", "--vary", "palmCount=1:3"});
  EXPECT_EQ(noCsv.status, 2);
  EXPECT_THAT(noCsv.err, HasSubstr("sweep needs --csv PATH"));
  const CliResult shardNoSeed = sandbox.Run({"sweep", "--vary", "palmCount=1:3", "--csv", "s", "--shard", "1/2"});
  EXPECT_EQ(shardNoSeed.status, 2);
  EXPECT_EQ(sandbox.WorkEntries(), 0u);
}

TEST(Batch, RunsADesignAndAppendsTheResults) {
  CliSandbox sandbox;
  // As a spreadsheet saves it: a byte order mark, CR LF and quoted cells.
  WriteFile(sandbox.Work() / "design.csv",
            "\xEF\xBB\xBF" "femaleThreshold,seed,runNotes\r\n12,5,\"a, b\"\r\n16,6,c\r\n14,7,d\r\n");
  const CliResult batch = sandbox.Run(With({"batch", "design.csv", "--csv", "out.csv"}, SmallRun));
  ASSERT_EQ(batch.status, 0) << batch.err;
  const std::vector<std::string> rows = Lines(ReadFile(sandbox.Work() / "out.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "point,femaleThreshold,runNotes,replicate,seed,status,meanFemale,meanHerm,meanMale,"
                     "meanAborted,period,strength,message");
  EXPECT_EQ(rows[1].substr(0, 19), "1,12,\"a, b\",1,5,ok,");
  // The same point in a sweep gives the same cells.
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "femaleThreshold=16:16", "--seed", "6", "--csv", "s.csv"},
                             SmallRun)).status, 0);
  const std::string sweepRow = Lines(ReadFile(sandbox.Work() / "s.csv"))[1];
  EXPECT_EQ(rows[2].substr(rows[2].find(",6,ok,")), sweepRow.substr(sweepRow.find(",6,ok,")));
}

TEST(Batch, NotesWithALineBreakAreOneCellAndLaterLinesKeepTheirNumbers) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "design.csv", "femaleThreshold,runNotes\r\n12,\"plot 4\r\nnorth end\"\r\n14,b\r\n");
  const std::vector<std::string> args = With({"batch", "design.csv", "--seed", "3", "--csv", "out.csv"}, SmallRun);
  const CliResult batch = sandbox.Run(args);
  ASSERT_EQ(batch.status, 0) << batch.err;
  const std::string table = ReadFile(sandbox.Work() / "out.csv");
  EXPECT_THAT(table, HasSubstr("\n1,12,\"plot 4\r\nnorth end\",1,3,ok,"));
  EXPECT_THAT(table, HasSubstr("\n2,14,b,1,3,ok,"));
  // The table such a design leaves is read back whole by --resume.
  const CliResult resumed = sandbox.Run(With(args, {"--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_THAT(resumed.out, HasSubstr("0 runs, 2 more taken from the table"));
  EXPECT_EQ(ReadFile(sandbox.Work() / "out.csv"), table);
  // A bad row after a cell of two lines is named by the line it stands on.
  WriteFile(sandbox.Work() / "bad.csv", "femaleThreshold,runNotes\n12,\"a\nb\"\nx,c\n");
  const CliResult bad = sandbox.Run({"batch", "bad.csv", "--csv", "bad-out.csv"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.err, HasSubstr("bad.csv line 4, column 1: femaleThreshold=x"));
  WriteFile(sandbox.Work() / "open.csv", "femaleThreshold,runNotes\n12,\"a\n13,b\n");
  const CliResult open = sandbox.Run({"batch", "open.csv", "--csv", "open-out.csv"});
  EXPECT_EQ(open.status, 2);
  EXPECT_THAT(open.err, HasSubstr("open.csv line 2: a quote is left open"));
}

TEST(Batch, NamesTheLineAndColumnOfABadDesign) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "unknown.csv", "femaleThreshold,femaleThresh\n12,3\n");
  const CliResult unknown = sandbox.Run({"batch", "unknown.csv", "--csv", "out.csv"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("unknown.csv line 1, column 2: unknown column \"femaleThresh\""));
  WriteFile(sandbox.Work() / "number.csv", "femaleThreshold,palmCount\n12,3\n13,1x\n");
  const CliResult number = sandbox.Run({"batch", "number.csv", "--csv", "out.csv"});
  EXPECT_EQ(number.status, 2);
  EXPECT_THAT(number.err, HasSubstr("number.csv line 3, column 2: palmCount=1x: palmCount takes a whole number"));
  WriteFile(sandbox.Work() / "short.csv", "femaleThreshold,palmCount\n12\n");
  const CliResult cells = sandbox.Run({"batch", "short.csv", "--csv", "out.csv"});
  EXPECT_EQ(cells.status, 2);
  EXPECT_THAT(cells.err, HasSubstr("short.csv line 2: the row has 1 cells, the header 2"));
  EXPECT_FALSE(fs::exists(sandbox.Work() / "out.csv"));
}

TEST(Shards, MergedPartsEqualTheUnshardedTableByteForByte) {
  CliSandbox sandbox;
  const auto args = With({"sweep", "--vary", "femaleThreshold=10:15", "--vary", "abortThreshold=20:24:2", "--seed",
                          "3"},
                         SmallRun);
  ASSERT_EQ(sandbox.Run(With(args, {"--csv", "all.csv", "--cycles", "allc.csv"})).status, 0);
  for (const char* k : {"1", "2", "3", "4"}) {
    const CliResult part = sandbox.Run(With(args, {"--shard", std::string(k) + "/4", "--csv",
                                                   std::string("p") + k + ".csv", "--cycles",
                                                   std::string("c") + k + ".csv"}));
    ASSERT_EQ(part.status, 0) << part.err;
  }
  const CliResult merged = sandbox.Run({"merge", "p3.csv", "p1.csv", "p4.csv", "p2.csv", "-o", "merged.csv"});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "merged.csv"), ReadFile(sandbox.Work() / "all.csv"));
  ASSERT_EQ(sandbox.Run({"merge", "c1.csv", "c2.csv", "c3.csv", "c4.csv", "-o", "mergedc.csv"}).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "mergedc.csv"), ReadFile(sandbox.Work() / "allc.csv"));

  // Missing, repeated and foreign parts are refused, and nothing is written.
  const CliResult missing = sandbox.Run({"merge", "p1.csv", "p2.csv", "p4.csv", "-o", "x.csv"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("shards missing: 3 of 4"));
  const CliResult twice = sandbox.Run({"merge", "p1.csv", "p2.csv", "p2.csv", "p3.csv", "p4.csv", "-o", "x.csv"});
  EXPECT_THAT(twice.err, HasSubstr("shard 2/4 is given twice"));
  ASSERT_EQ(sandbox.Run(With(args, {"--set", "randomPercent=30", "--shard", "3/4", "--csv", "other.csv"})).status, 0);
  const CliResult foreign = sandbox.Run({"merge", "p1.csv", "p2.csv", "other.csv", "p4.csv", "-o", "x.csv"});
  EXPECT_EQ(foreign.status, 1);
  EXPECT_THAT(foreign.err, HasSubstr("other.csv belongs to another design"));
  const CliResult whole = sandbox.Run({"merge", "all.csv", "-o", "x.csv"});
  EXPECT_THAT(whole.err, HasSubstr("all.csv is not a part written with --shard"));
  EXPECT_FALSE(fs::exists(sandbox.Work() / "x.csv"));
}

TEST(Shards, TheGnuParallelRecipeGivesTheUnshardedTable) {
#ifdef _WIN32
  GTEST_SKIP() << "needs GNU parallel and a POSIX shell";
#endif
  CliSandbox sandbox;
  const std::string sweep = "varnolt-cli sweep --vary femaleThreshold=10:15 --set cycleCount=300 "
                            "--set palmCount=300 --seed 4 --threads 1";
  ASSERT_EQ(Shell(sandbox, sweep + " --csv all.csv >/dev/null"), 0);
  ASSERT_EQ(Shell(sandbox, "parallel --will-cite -j 2 " + sweep +
                               " --shard {}/3 --csv part-{}.csv ::: 1 2 3 >/dev/null && "
                               "varnolt-cli merge part-*.csv -o merged.csv >/dev/null"),
            0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "merged.csv"), ReadFile(sandbox.Work() / "all.csv"));
}

TEST(Replicates, TheCsvHoldsMeanSpreadAndConfidenceOfEachCycle) {
  CliSandbox sandbox;
  const CliResult replicated =
      sandbox.Run(With({"run", "--seed", "20", "--replicates", "3", "--csv", "rep.csv", "--output", "r.dat"},
                       SmallRun));
  ASSERT_EQ(replicated.status, 0) << replicated.err;
  EXPECT_THAT(replicated.out, HasSubstr("Ran 3 replicates of 300 cycles of 300 palms"));
  EXPECT_THAT(replicated.out, HasSubstr("Replicate 3 (seed 22): "));
  EXPECT_THAT(replicated.out, HasSubstr("Over the replicates: period "));
  std::vector<std::vector<std::string>> singles;
  for (int seed : {20, 21, 22}) {
    ASSERT_EQ(sandbox.Run(With({"run", "--seed", std::to_string(seed), "--csv", "one.csv", "--output", "one.dat"},
                               SmallRun)).status, 0);
    singles.push_back(Lines(ReadFile(sandbox.Work() / "one.csv")));
  }
  // The report is replicate 1's.
  EXPECT_EQ(ReadFile(sandbox.Work() / "r.dat"),
            (sandbox.Run(With({"run", "--seed", "20", "--output", "-"}, SmallRun)).out));
  const std::vector<std::string> rows = Lines(ReadFile(sandbox.Work() / "rep.csv"));
  ASSERT_EQ(rows.size(), 301u);
  EXPECT_EQ(rows[0], "cycle,femaleMean,femaleSd,femaleCi95,hermMean,hermSd,hermCi95,maleMean,maleSd,maleCi95,"
                     "abortedMean,abortedSd,abortedCi95");
  for (int cycle : {1, 120, 300}) {
    double values[3];
    for (int r = 0; r < 3; ++r) values[r] = std::stod(Cells(singles[r][cycle])[1]);
    const double mean = (values[0] + values[1] + values[2]) / 3;
    double squares = 0;
    for (double v : values) squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / 2);
    const std::vector<std::string> row = Cells(rows[cycle]);
    EXPECT_NEAR(std::stod(row[1]), mean, 1e-9);
    EXPECT_NEAR(std::stod(row[2]), sd, 1e-9);
    EXPECT_NEAR(std::stod(row[3]), 4.302652730 * sd / std::sqrt(3.0), 1e-6);  // t(0.975, 2)
  }
  const CliResult json = sandbox.Run({"run", "--replicates", "2", "--json", "r.json"});
  EXPECT_EQ(json.status, 2);
}

}  // namespace

namespace {

TEST(Sensitivity, MorrisAndSobolRankTheFactorsAndFindAnInertOne) {
  CliSandbox sandbox;
  // leafPruneCycle does nothing while leaf pruning is off: its effects are 0.
  const auto args = With({"sensitivity", "--factor", "randomPercent=0:50", "--factor", "leafPruneCycle=1:100",
                          "--seed", "3"},
                         SmallRun);
  const CliResult morris =
      sandbox.Run(With(args, {"--method", "morris", "--trajectories", "6", "--csv", "morris.csv"}));
  ASSERT_EQ(morris.status, 0) << morris.err;
  EXPECT_THAT(morris.out, HasSubstr("Morris elementary effects of 2 factors from 18 runs (seed 3)."));
  const std::vector<std::string> rows = Lines(ReadFile(sandbox.Work() / "morris.csv"));
  ASSERT_EQ(rows.size(), 1u + 5u * 2u);
  EXPECT_EQ(rows[0], "output,factor,mu,muStar,muStarLow,muStarHigh,sigma,effects");
  EXPECT_EQ(Cells(rows[1])[1], "randomPercent");  // ranked first for meanFemale
  EXPECT_EQ(rows[2], "meanFemale,leafPruneCycle,0,0,0,0,0,6");

  const CliResult sobol = sandbox.Run(With(args, {"--method", "sobol", "--samples", "16", "--csv", "-"}));
  ASSERT_EQ(sobol.status, 0) << sobol.err;
  const std::vector<std::string> table = Lines(sobol.out);
  ASSERT_EQ(table.size(), 1u + 5u * 2u);
  EXPECT_EQ(table[0], "output,factor,first,firstLow,firstHigh,total,totalLow,totalHigh,samples");
  const std::vector<std::string> inert = Cells(table[2]);
  EXPECT_EQ(inert[1], "leafPruneCycle");
  EXPECT_EQ(inert[5], "0");
  EXPECT_THAT(sobol.err, HasSubstr("Sobol indices of 2 factors from 64 runs (seed 3)."));

  const CliResult noMethod = sandbox.Run(With(args, {"--method", "fast"}));
  EXPECT_EQ(noMethod.status, 2);
  EXPECT_THAT(noMethod.err, HasSubstr("--method morris or --method sobol"));
  const CliResult backwards = sandbox.Run({"sensitivity", "--factor", "palmCount=5:1", "--method", "sobol"});
  EXPECT_EQ(backwards.status, 2);
  EXPECT_THAT(backwards.err, HasSubstr("HIGH must be greater than LOW"));
}

}  // namespace

namespace {

TEST(Sensitivity, ShardsMergedGiveTheIndicesOfTheWholeRun) {
  CliSandbox sandbox;
  const auto args = With({"sensitivity", "--factor", "randomPercent=0:50", "--factor", "abortThreshold=18:30",
                          "--method", "sobol", "--samples", "16", "--seed", "5"},
                         SmallRun);
  ASSERT_EQ(sandbox.Run(With(args, {"--points", "all.csv", "--csv", "whole.csv"})).status, 0);
  for (const char* k : {"1", "2"}) {
    const CliResult part =
        sandbox.Run(With(args, {"--points", std::string("p") + k + ".csv", "--shard", std::string(k) + "/2"}));
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_THAT(part.out, HasSubstr("merge the parts"));
  }
  ASSERT_EQ(sandbox.Run({"merge", "p1.csv", "p2.csv", "-o", "merged.csv"}).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "merged.csv"), ReadFile(sandbox.Work() / "all.csv"));
  const CliResult indices = sandbox.Run(With(args, {"--from-points", "merged.csv", "--csv", "fromparts.csv"}));
  ASSERT_EQ(indices.status, 0) << indices.err;
  EXPECT_EQ(ReadFile(sandbox.Work() / "fromparts.csv"), ReadFile(sandbox.Work() / "whole.csv"));

  // A table of runs with other seeds is not this design's.
  const CliResult part = sandbox.Run(With(args, {"--from-points", "all.csv", "--seed", "6"}));
  EXPECT_EQ(part.status, 1);
  EXPECT_THAT(part.err, HasSubstr("is not run 1 of this design"));
}

}  // namespace

namespace {

TEST(Sweep, ATableNeverReplacesRunSettings) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run({"set", "trial.dat", "palmCount=20"}).status, 0);
  const std::string settings = ReadFile(sandbox.Work() / "trial.dat");
  const CliResult sweep = sandbox.Run({"sweep", "trial.dat", "--vary", "cycleCount=10:12", "--csv", "trial.dat"});
  EXPECT_EQ(sweep.status, 2);
  EXPECT_THAT(sweep.err, HasSubstr("--csv trial.dat is the settings file this command reads"));
  const CliResult merge = sandbox.Run({"merge", "trial.dat", "-o", "trial.dat"});
  EXPECT_EQ(merge.status, 2);
  EXPECT_EQ(ReadFile(sandbox.Work() / "trial.dat"), settings);
  // The settings file names the base of every point.
  ASSERT_EQ(sandbox.Run({"sweep", "trial.dat", "--vary", "cycleCount=10:12", "--seed", "1", "--csv", "s.csv"}).status,
            0);
  EXPECT_THAT(ReadFile(sandbox.Work() / "s.csv"), HasSubstr("\n2,11,1,1,ok,"));
}

}  // namespace

}  // namespace varnolt
