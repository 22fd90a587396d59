#include <gtest/gtest.h>

#include <sstream>

#include "results/ReportWriter.h"

namespace varnolt {

namespace {

// A model as a run with every treatment on leaves it, results set by hand.
FloweringModel EveryTreatmentModel() {
  FloweringModel model;
  ModelSettings& s = model.settings;
  s.runNotes = "Trial 4 \u2013 caf\u00e9 \u4e2d";  // en dash and e-acute exist in 1252, the last does not
  s.cycleCount = 3;
  s.palmCount = 3;
  s.sexStressFirstNode = 50;
  s.sexStressLastNode = 59;
  s.abortStressFirstNode = 45;
  s.abortStressLastNode = 55;
  s.sexStageStartNode = 2;
  s.sexStageEndNode = 26;
  s.abortionNode = 40;
  s.initialNodeSex = 3;
  s.femaleThreshold = 16;
  s.maleThreshold = 17;
  s.abortThreshold = 24;
  s.randomPercent = 25;
  s.leafPruneCycle = 2;
  s.pruneStress = 7;
  s.trendAmplitude = 3;
  s.irrigationStart = 1;
  s.irrigationEnd = 3;
  s.flowerPruneStart = 2;
  s.flowerPruneEnd = 3;
  model.cycleResults.Assign(4, CycleResult{});
  model.cycleResults[1] = {100.0 / 3, 2 * (100.0 / 3), 0.0, 0.0, 100.0};
  model.cycleResults[2] = {1e-05, 0.0001, 12.5, 87.49989, 100.00000000000001};
  model.cycleResults[3] = {0.0, 0.0, 0.0, 100.0, 100.0};
  return model;
}

std::string Report(const FloweringModel& model) {
  std::ostringstream out;
  WriteReport(model, out);
  return out.str();
}

}  // namespace

// Every byte checked by hand against the report's layout.
TEST(Report, EveryTreatmentOnByteForByte) {
  const std::string expected =
      "Programme: VARNOLT_WIN.exe (MODIFIED FROM TORBISKA5.bas)\r\n"
      "RUN NAME/NOTES: Trial 4 \x96 caf\xe9 ?\r\n"
      "Means of 3 palms\r\n"
      "Randomisation factor selected = 25\r\n"
      "Gender of initial nodes = 3\r\n"
      "Threshold values selected were:\r\n"
      "\tFemale threshold =   16\r\n"
      "\tMale threshold =     17\r\n"
      "\tAbortion threshold = 24\r\n"
      "\r\n"
      "The preset values of the stress generating and sensitive nodes relative\r\n"
      "to the spear leaf are:\r\n"
      "\r\n"
      "First FROND generating stress for sex ratio     20\r\n"
      "Last FROND generating stress for sex ratio      29\r\n"
      "First FROND generating stress for abortion      15\r\n"
      "Last FROND generating stress for abortion       25\r\n"
      "FROND marking start of sex determining stage    -28\r\n"
      "FROND marking end of sex determining stage      -4\r\n"
      "FROND where stress-induced abortion occurs      10\r\n"
      "\r\n"
      "Leaf pruning at leaf initiation cycle number 2\r\n"
      "Stress value for pruning stress (maximum is 10) 7\r\n"
      "Annual trend cycles applied\r\n"
      "Trend cycle amplitude = 3\r\n"
      "Irrigation used to remove some annual trend cycles\r\n"
      "Irrigation applied from cycle number 1 to 3\r\n"
      "Flower pruning applied (100%) from cycle number 2 to 3\r\n"
      "\r\n"
      //  |<-- 14 -->||<-- 14 -->||<-- 14 -->||<-- 14 -->||<-- 14 -->||<-- 14 -->|
      "Cycle         %Female       %Herm         %Male         %Aborted      %Total        \r\n"
      "1             33.3333       66.6667       0             0             100           \r\n"
      "2             1e-005        0.0001        12.5          87.4999       100           \r\n"
      "3             0             0             0             100           100           \r\n";
  EXPECT_EQ(Report(EveryTreatmentModel()), expected);
}

// Irrigation is announced even without trend cycles; notes break lines as text mode does.
TEST(Report, TreatmentsOffAndASingleCycle) {
  FloweringModel model = EveryTreatmentModel();
  ModelSettings& s = model.settings;
  s.trendAmplitude = 0;
  s.runNotes = "first\nsecond";
  EXPECT_NE(Report(model).find("RUN NAME/NOTES: first\r\nsecond\r\n"), std::string::npos);
  EXPECT_NE(Report(model).find("No annual trend cycles\r\nIrrigation used to remove some annual trend cycles\r\n"),
            std::string::npos);

  s.leafPruneCycle = s.pruneStress = 0;
  s.irrigationStart = s.irrigationEnd = s.flowerPruneStart = s.flowerPruneEnd = 0;
  s.cycleCount = 1;
  model.cycleResults.Assign(2, CycleResult{});
  model.cycleResults[1] = {0, 0, 0, 100, 100};
  const std::string report = Report(model);
  const std::string tail =
      "FROND where stress-induced abortion occurs      10\r\n"
      "\r\n"
      "No leaf pruning\r\n"
      "No annual trend cycles\r\n"
      "No irrigation\r\n"
      "No flower pruning\r\n"
      "\r\n"
      "Cycle         %Female       %Herm         %Male         %Aborted      %Total        \r\n"
      "1             0             0             0             100           100           \r\n";
  ASSERT_GE(report.size(), tail.size());
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(FormatPercent, WritesPrintfGeneralWithThreeExponentDigits) {
  EXPECT_EQ(FormatPercent(100.0), "100");
  EXPECT_EQ(FormatPercent(0.0), "0");
  EXPECT_EQ(FormatPercent(100.0 / 3), "33.3333");
  EXPECT_EQ(FormatPercent(0.00012345678), "0.000123457");
  EXPECT_EQ(FormatPercent(100.0 / 3e7), "3.33333e-006");
  EXPECT_EQ(FormatPercent(1e-100), "1e-100");
  EXPECT_EQ(FormatPercent(123456789.0), "1.23457e+008");
  EXPECT_EQ(FormatPercent(99.99999), "100");
}

}  // namespace varnolt
