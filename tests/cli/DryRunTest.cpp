#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

const std::vector<std::string> Small = {"--set", "cycleCount=120", "--set", "palmCount=50", "--seed", "3"};

// What a table the program wrote holds: its rows (not stamps or closing lines),
// and per refused design point the rule its message names.
struct TableCounts {
  std::size_t rows = 0;
  std::size_t refused = 0;
  std::map<std::string, std::string> refusedRules;  // point -> "rule N (field)"
};

TableCounts CountTable(const std::string& text) {
  TableCounts counts;
  std::istringstream lines(text);
  std::string line;
  bool header = true;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    ++counts.rows;
    const std::size_t invalid = line.find(",invalid,");
    if (invalid == std::string::npos) continue;
    ++counts.refused;
    const std::size_t rule = line.find("rule ", invalid);
    counts.refusedRules[line.substr(0, line.find(','))] = line.substr(rule, line.find(')', rule) + 1 - rule);
  }
  return counts;
}

// The dry run's counts: its runs, its refused runs, and per listed refused point
// its rule.
TableCounts CountDryRun(const std::string& out) {
  TableCounts counts;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Points: ", 0) == 0) counts.rows = std::stoul(line.substr(line.rfind(": ") + 2));
    if (line.rfind("Refused by a rule: ", 0) == 0) counts.refused = std::stoul(line.substr(19));
    if (line.rfind("  point ", 0) == 0) {
      const std::string point = line.substr(8, line.find_first_of(" :", 8) - 8);
      counts.refusedRules[point] = line.substr(line.find(": rule ") + 2);
    }
  }
  return counts;
}

// The dry run of a command, then the command itself: the dry run wrote nothing,
// and its counts are the real run's.
void ExpectDryRunCountsTheRun(const std::vector<std::string>& command, const std::string& table,
                              bool someRefused) {
  SCOPED_TRACE(command[0]);
  CliSandbox sandbox;
  std::vector<std::string> setup = command;
  if (command[0] == "batch") {
    WriteFile(sandbox.Work() / "design.csv", "femaleThreshold,maleThreshold,runNotes\n12,15,\"a, b\"\n16,15,c\n"
                                             "14,17,d\n30,18,e\n");
  }
  const std::size_t before = sandbox.WorkEntries();
  const CliResult dry = sandbox.Run(With(command, {"--dry-run"}));
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(sandbox.WorkEntries(), before) << "the dry run wrote a file";
  EXPECT_THAT(dry.out, HasSubstr("--dry-run: nothing is run or written."));
  EXPECT_THAT(dry.out, HasSubstr("palm-cycles"));
  EXPECT_THAT(dry.out, HasSubstr("Time on this machine: "));
  EXPECT_THAT(dry.out, HasSubstr("Files: the table about "));

  const CliResult real = sandbox.Run(command);
  ASSERT_EQ(real.status, 0) << real.err;
  const TableCounts ran = CountTable(ReadFile(sandbox.Work() / table));
  const TableCounts planned = CountDryRun(dry.out);
  EXPECT_EQ(planned.rows, ran.rows) << dry.out;
  EXPECT_EQ(planned.refused, ran.refused) << dry.out;
  EXPECT_EQ(ran.refused > 0, someRefused);
  EXPECT_EQ(planned.refusedRules, ran.refusedRules) << dry.out;
}

TEST(DryRun, CountsTheRunsAndRefusedPointsOfTheRealRun) {
  // Some points break a rule; replicates repeat them.
  ExpectDryRunCountsTheRun(With({"sweep", "--vary", "femaleThreshold=12:16:2", "--vary", "maleThreshold=15:17",
                                 "--replicates", "2", "--csv", "s.csv"},
                                Small),
                           "s.csv", true);
  // A shard counts its slice only.
  ExpectDryRunCountsTheRun(With({"sweep", "--vary", "femaleThreshold=12:16:2", "--vary", "maleThreshold=15:17",
                                 "--replicates", "2", "--shard", "3/3", "--csv", "part.csv"},
                                Small),
                           "part.csv", true);
  ExpectDryRunCountsTheRun(With({"batch", "design.csv", "--csv", "b.csv"}, Small), "b.csv", true);
  ExpectDryRunCountsTheRun(With({"sensitivity", "--factor", "randomPercent=0:50", "--factor", "leafPruneCycle=1:100",
                                 "--method", "morris", "--trajectories", "3", "--points", "runs.csv", "--csv",
                                 "indices.csv"},
                                Small),
                           "runs.csv", false);
}

TEST(DryRun, ListsTheFirstTenRefusedPointsAndCountsTheRest) {
  CliSandbox sandbox;
  const CliResult dry = sandbox.Run(
      With({"sweep", "--vary", "femaleThreshold=0:38", "--csv", "s.csv", "--cycles", "c.csv", "--dry-run"}, Small));
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(sandbox.WorkEntries(), 0u);
  const TableCounts planned = CountDryRun(dry.out);
  EXPECT_EQ(planned.rows, 39u);
  EXPECT_GT(planned.refused, 10u);
  EXPECT_EQ(planned.refusedRules.size(), 10u);
  EXPECT_THAT(dry.out, HasSubstr("the first ten:"));
  EXPECT_THAT(dry.out, HasSubstr("the per-cycle table about "));
  // Thousands of refused points are counted, grouped, and only ten are listed.
  const CliResult many = sandbox.Run(
      With({"sweep", "--vary", "femaleThreshold=0:999", "--vary", "randomPercent=0:9", "--csv", "m.csv", "--dry-run"},
           Small));
  ASSERT_EQ(many.status, 0) << many.err;
  EXPECT_THAT(many.out, HasSubstr("(9,830 points), the first ten:"));
  EXPECT_EQ(CountDryRun(many.out).refusedRules.size(), 10u);
  // A wrong shard is bad usage, as in the real run.
  EXPECT_EQ(sandbox.Run(With({"sweep", "--vary", "femaleThreshold=0:3", "--shard", "4/3", "--csv", "p.csv",
                              "--dry-run"},
                             Small)).status,
            2);
}

}  // namespace

}  // namespace varnolt
