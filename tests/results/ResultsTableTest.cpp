#include "results/ResultsTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace varnolt {

TEST(ResultsTable, CsvHasTheHeaderAndShortestNumbersThatReadBackExactly) {
  const std::vector<CycleResult> cycles = {{100.0 / 3, 0.1, 0.0, 200.0 / 3, 100.0}, {1e-5, 0, 0, 99.99999, 100}};
  std::ostringstream out;
  WriteResultsCsv(cycles, out);
  EXPECT_EQ(out.str(),
            "cycle,female,herm,male,aborted,total\n"
            "1,33.333333333333336,0.1,0,66.66666666666667,100\n"
            "2,1e-05,0,0,99.99999,100\n");
  std::istringstream in(out.str());
  const ResultsTableRead read = ReadResultsTable(in);
  ASSERT_EQ(read.error, "");
  EXPECT_EQ(read.cycles, cycles);

  std::ostringstream tabs;
  WriteResultsTable(cycles, tabs, '\t');
  EXPECT_EQ(tabs.str().substr(0, 43), "cycle\tfemale\therm\tmale\taborted\ttotal\n1\t33.3");
}

TEST(ResultsTable, ReadsAReportsTable) {
  std::ifstream report(VARNOLT_TEST_DATA "/reports/worked-run-seed1-one-palm.dat", std::ios::binary);
  const ResultsTableRead read = ReadResultsTable(report);
  ASSERT_EQ(read.error, "");
  ASSERT_EQ(read.cycles.size(), 100u);
  EXPECT_EQ(read.cycles[0], (CycleResult{0, 0, 0, 100, 100}));
}

TEST(ResultsTable, RefusesWhatIsNoTableWithTheLineAtFault) {
  auto error = [](const std::string& text) {
    std::istringstream in(text);
    const ResultsTableRead read = ReadResultsTable(in);
    EXPECT_TRUE(read.cycles.empty());
    return read.error;
  };
  EXPECT_NE(error("hello\nworld\n").find("no results table"), std::string::npos);
  EXPECT_NE(error("").find("no results table"), std::string::npos);
  EXPECT_EQ(error("cycle,female,herm,male,aborted,total\n"), "its table has no rows");
  EXPECT_EQ(error("cycle,female,herm,male,aborted,total\n1,1,2,3,4\n"), "line 2 has 5 cells, not 6");
  EXPECT_EQ(error("cycle,female,herm,male,aborted,total\n2,1,2,3,4,5\n"),
            "line 2 is cycle 2 where cycle 1 was expected");
  EXPECT_EQ(error("cycle,female,herm,male,aborted,total\n1,1,x,3,4,5\n"), "line 2: \"x\" is no percentage");
  EXPECT_EQ(error("cycle,female,herm,male,aborted,total\n1,1,nan,3,4,5\n"), "line 2: \"nan\" is no percentage");
}

TEST(ResultsTable, PercentagesLeaveAsCountTimes100OverPalmsCorrectlyRounded) {
  // Every count of palms from 0 to all, for palm counts whose shares are not
  // exact in binary: the model's share x count, rounded back, is count x 100 /
  // palms exactly, and what the CSV holds reads back to it.
  for (const std::int64_t palms : {1000, 7, 3, 5000, 999983}) {
    const double share = 100.0 / static_cast<double>(palms);
    std::vector<CycleResult> model;
    const std::int64_t step = std::max<std::int64_t>(1, palms / 997);
    for (std::int64_t count = 0; count <= palms; count += step) {
      const std::int64_t other = palms - count;
      model.push_back({share * count, 0.0, share * other, 0.0, ((0.0 + share * other) + 0.0) + share * count});
    }
    const std::vector<CycleResult> rounded = RoundedPercentages(model, palms);
    ASSERT_EQ(rounded.size(), model.size());
    std::size_t row = 0;
    for (std::int64_t count = 0; count <= palms; count += step, ++row) {
      ASSERT_EQ(rounded[row].female, static_cast<double>(count * 100) / static_cast<double>(palms))
          << count << " of " << palms;
      ASSERT_EQ(rounded[row].male, static_cast<double>((palms - count) * 100) / static_cast<double>(palms));
      ASSERT_EQ(rounded[row].total, 100.0);
    }
    std::ostringstream out;
    WriteResultsCsv(rounded, out);
    std::istringstream in(out.str());
    EXPECT_EQ(ReadResultsTable(in).cycles, rounded);
  }
  // The cases that looked broken in a spreadsheet.
  const std::vector<CycleResult> noisy = {{100.0 / 1000 * 46, 0, 100.0 / 1000 * 629, 0, 0}};
  EXPECT_EQ(ShortestNumber(noisy[0].female), "4.6000000000000005");
  std::ostringstream out;
  WriteResultsCsv(RoundedPercentages(noisy, 1000), out);
  EXPECT_EQ(out.str(), "cycle,female,herm,male,aborted,total\n1,4.6,0,62.9,0,67.5\n");
}

}  // namespace varnolt
