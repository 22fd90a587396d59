// Tables are written row by row as their runs finish, so a design of a million
// points runs in the memory of a few; a design whose outputs must be held (the
// indices of a sensitivity analysis) and would not fit is refused before
// anything runs.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>

#include "tests/cli/CliTestSupport.h"

namespace varnolt {

namespace {

#ifndef _WIN32
struct MeasuredRun {
  int status = -1;
  long peakKilobytes = 0;  // the child's peak resident memory
};

// Runs varnolt-cli in `folder` as a child of its own and reads its peak
// resident memory from wait4, which counts that child alone (not the runs of
// other tests, as RUSAGE_CHILDREN would).
MeasuredRun RunMeasured(const fs::path& folder, const std::vector<std::string>& args) {
  const std::string program = std::string(VARNOLT_BIN_DIR) + "/varnolt-cli";
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string out = (folder / "out").string(), err = (folder / "err").string();
  const pid_t child = fork();
  if (child == 0) {
    const int outFile = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFile = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFile < 0 || errFile < 0 || chdir(folder.c_str()) != 0) _exit(127);
    dup2(outFile, 1);
    dup2(errFile, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  MeasuredRun run;
  int wait = 0;
  rusage usage{};
  if (child > 0 && wait4(child, &wait, 0, &usage) == child) {
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    run.peakKilobytes = usage.ru_maxrss;
  }
  return run;
}

// A million points of one cycle of one palm: a thousand female thresholds by a
// thousand random percentages. The rules refuse most thresholds (only 0 to 38
// are admitted, below the male threshold), and a refused point has its row as
// any other, so every point goes through the table while the runs stay short.
TEST(TableStreaming, AMillionPointSweepRunsInBoundedMemory) {
  CliSandbox cli;
  const MeasuredRun run =
      RunMeasured(cli.Work(), {"sweep", "--set", "cycleCount=1", "--set", "palmCount=1", "--vary",
                               "femaleThreshold=0:999", "--vary", "randomPercent=0:999", "--seed", "1", "--stat",
                               "meanFemale", "--csv", "million.csv"});
  ASSERT_EQ(run.status, 0) << ReadFile(cli.Work() / "err");
  // Held whole, the table took about 930 MB; streamed, about 21 MB.
  constexpr long BoundKilobytes = 64 * 1024;
  EXPECT_LT(run.peakKilobytes, BoundKilobytes) << "peak resident memory " << run.peakKilobytes << " kB";

  std::ifstream table(cli.Work() / "million.csv", std::ios::binary);
  std::string line, last;
  std::size_t lines = 0;
  while (std::getline(table, line)) {
    ++lines;
    last.swap(line);
  }
  EXPECT_EQ(lines, 1'000'001u);
  EXPECT_EQ(last.rfind("1000000,999,999,1,1,invalid,", 0), 0u) << last;
  EXPECT_NE(ReadFile(cli.Work() / "out").find("1000000 runs; 17000 completed, 983000 refused by a rule"),
            std::string::npos);
}

// What a Sobol analysis must hold (its points and every run's outputs) is
// weighed against the memory this program may take, here limited with ulimit:
// refused with the memory it needs, before anything runs or is written.
TEST(TableStreaming, ASensitivityDesignTooLargeToHoldIsRefusedUpFront) {
  CliSandbox cli;
  const CliResult refused =
      cli.Run({"sensitivity", "--method", "sobol", "--samples", "10000000", "--factor", "femaleThreshold=0:38",
               "--factor", "randomPercent=0:100", "--seed", "1", "--csv", "indices.csv", "--points", "runs.csv"},
              "ulimit -v 1000000; ");
  EXPECT_EQ(refused.status, 2) << refused.err;
  EXPECT_NE(refused.err.find("the Sobol design of 40,000,000 points needs "), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("give fewer --samples or factors"), std::string::npos) << refused.err;
  EXPECT_EQ(cli.WorkEntries(), 0u);

  // So are replicates whose cycles, held for each cycle's mean and spread,
  // would not fit.
  const CliResult replicates = cli.Run({"run", "--set", "cycleCount=1000000", "--replicates", "1000", "--seed", "1",
                                        "--output", "r.dat", "--csv", "r.csv"},
                                       "ulimit -v 1000000; ");
  EXPECT_EQ(replicates.status, 2) << replicates.err;
  EXPECT_NE(replicates.err.find("--replicates 1000 of 1000000 cycles needs "), std::string::npos) << replicates.err;
  EXPECT_EQ(cli.WorkEntries(), 0u);
}
#endif

// A table to resume is read through row by row and its rows copied into the new
// one in their places, also those beyond the runs still to do; rows out of
// order are no table this program wrote, and are refused.
TEST(TableStreaming, ResumeKeepsRowsBeyondTheGapsAndRefusesRowsOutOfOrder) {
  CliSandbox cli;
  const std::vector<std::string> sweep = {"sweep", "--set", "cycleCount=60", "--set", "palmCount=5", "--vary",
                                          "randomPercent=0:40:5", "--seed", "7", "--csv", "t.csv"};
  ASSERT_EQ(cli.Run(sweep).status, 0);
  const std::string whole = ReadFile(cli.Work() / "t.csv");
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < whole.size();) {
    const std::size_t end = whole.find('\n', at);
    lines.push_back(whole.substr(at, end - at + 1));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 10u);
  // Rows 2, 5 and 6 missing, as a stop leaves them when later points finished first.
  std::string gaps;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i != 2 && i != 5 && i != 6) gaps += lines[i];
  }
  WriteFile(cli.Work() / "t.csv", gaps);
  std::vector<std::string> resume = sweep;
  resume.push_back("--resume");
  const CliResult resumed = cli.Run(resume);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.out.find("3 runs, 6 more taken from the table"), std::string::npos) << resumed.out;
  EXPECT_EQ(ReadFile(cli.Work() / "t.csv"), whole);

  std::string swapped = lines[0] + lines[1] + lines[3] + lines[2];
  WriteFile(cli.Work() / "t.csv", swapped);
  const CliResult refused = cli.Run(resume);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("t.csv line 4 is out of order"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(cli.Work() / "t.csv"), swapped);
}

}  // namespace

}  // namespace varnolt
