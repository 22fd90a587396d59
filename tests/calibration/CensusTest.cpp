#include <gtest/gtest.h>

#include "calibration/Calibration.h"

namespace varnolt {

namespace {

CensusRead Read(const std::string& text) { return ReadCensus(text, "census.csv"); }

TEST(CensusReader, ReadsWhatSpreadsheetsAndTheRunnerWrite) {
  // A byte order mark, CR LF, quoted cells, columns and rows in any order, blank
  // cells not observed, names in any case.
  const CensusRead read = Read(
      "\xEF\xBB\xBF"
      "Palms,\"male\",cycle,Female\r\n"
      "120,\"12.5\",40,30\r\n"
      "100,,7,\"25\"\r\n"
      ",3e-1,12,\r\n"
      "\r\n");
  ASSERT_EQ(read.error, "");
  const Census& census = read.census;
  ASSERT_EQ(census.rows.size(), 3u);
  EXPECT_TRUE(census.hasPalms);
  EXPECT_EQ(census.rows[0].cycle, 7);
  EXPECT_EQ(census.rows[0].percent[0], 25.0);
  EXPECT_FALSE(census.rows[0].percent[2]);
  EXPECT_FALSE(census.rows[0].percent[1]);  // no herm column at all
  EXPECT_EQ(census.rows[0].palms, 100.0);
  EXPECT_EQ(census.rows[0].line, 3u);
  EXPECT_EQ(census.rows[1].cycle, 12);
  EXPECT_EQ(census.rows[1].percent[2], 0.3);
  EXPECT_FALSE(census.rows[1].palms);
  EXPECT_EQ(census.rows[2].cycle, 40);
  EXPECT_EQ(census.rows[2].percent[2], 12.5);
  EXPECT_EQ(census.LastCycle(), 40);
  EXPECT_EQ(census.ObservedCells(), 4u);
  EXPECT_EQ(census.decimals, 1);  // 12.5 and 3e-1: simulated censuses are rounded alike

  // Field sheets in whole percentages: four whole numbers may add up to 102.
  const CensusRead whole = Read("cycle,female,herm,male,aborted,palms\n1,26,25,25,26,80\n2,30,0,20,49,80\n");
  ASSERT_EQ(whole.error, "");
  EXPECT_EQ(whole.census.decimals, 0);
  EXPECT_EQ(whole.census.rows[0].percent[3], 26.0);

  // The runner's own CSV is a census: its total column is left aside.
  const CensusRead run = Read("cycle,female,herm,male,aborted,total\n1,0,0,0,100,100\n2,31.25,0,22.5,46.25,100\n");
  ASSERT_EQ(run.error, "");
  EXPECT_FALSE(run.census.hasPalms);
  EXPECT_EQ(run.census.rows[1].percent[3], 46.25);
  EXPECT_EQ(run.census.ObservedCells(), 8u);
}

TEST(CensusReader, RefusesAnythingElseWithThePlaceAndWhatWasExpected) {
  const auto error = [](const std::string& text) { return Read(text).error; };
  EXPECT_EQ(error(""), "census.csv line 1: the census is empty; its first line names the columns: cycle, and any of "
                       "female, herm, male, aborted (percentages of palms) and palms (palms observed); a total "
                       "column, as the runner's CSV has, is ignored");
  EXPECT_EQ(error("cycle,female,date\n1,2,3\n").substr(0, 58),
            "census.csv line 1, column 3 (date): unknown column \"date\";");
  EXPECT_NE(error("cycle,female,female\n").find("line 1, column 3 (female): the column female is given twice"),
            std::string::npos);
  EXPECT_NE(error("female,male\n1,2\n").find("line 1: no cycle column"), std::string::npos);
  EXPECT_NE(error("cycle,palms\n1,2\n").find("line 1: no column of percentages"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1,2\n0,3\n").find("line 3, column 1 (cycle): \"0\" is no cycle"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1.5,3\n").find("\"1.5\" is no cycle"), std::string::npos);
  EXPECT_NE(error("cycle,female\n,3\n").find("the cycle is blank"), std::string::npos);
  EXPECT_NE(error("cycle,female\n4,2\n5,3\n4,3\n")
                .find("line 4, column 1 (cycle): cycle 4 is given twice (also on line 2)"),
            std::string::npos);
  EXPECT_NE(error("cycle,female\n1,abc\n").find("line 2, column 2 (female): \"abc\" is no percentage"),
            std::string::npos);
  EXPECT_NE(error("cycle,female\n1,101\n").find("\"101\" is no percentage"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1,-1\n").find("\"-1\" is no percentage"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1,nan\n").find("\"nan\" is no percentage"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1,\"12,5\"\n").find("\"12,5\" is no percentage"), std::string::npos);
  EXPECT_NE(error("cycle,female,palms\n1,2,0\n").find("column 3 (palms): \"0\" is no number of palms"),
            std::string::npos);
  // Rounding: each percentage by up to half its last decimal, so the tolerance
  // on a row's sum follows the decimals the census is written with.
  EXPECT_EQ(error("cycle,female,male\n1,60,40.4\n"), "");
  EXPECT_NE(error("cycle,female,male\n1,60.0,41.0\n").find("line 2: the percentages of cycle 1 add up to 101"),
            std::string::npos);
  EXPECT_NE(error("cycle,female,male\n1,60,42.5\n").find("add up to 102.5"), std::string::npos);
  EXPECT_NE(error("cycle,female,herm,male,aborted\n1,26,25,26,26\n").find("add up to 103"), std::string::npos);
  EXPECT_NE(error("cycle,female\n1,2,3\n").find("line 2, column 3: the row has 3 cells and the header 2"),
            std::string::npos);
  EXPECT_NE(error("cycle,female,male\n1,2\n").find("line 2, column 3 (male): the row has 2 cells and the header 3"),
            std::string::npos);
  EXPECT_NE(error("cycle,female\n1,\"2\n2,3\n").find("line 2: a quoted cell is never closed"), std::string::npos);
}

}  // namespace

}  // namespace varnolt
