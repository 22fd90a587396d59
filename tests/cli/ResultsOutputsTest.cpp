#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliTestSupport.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "run/RunDriver.h"

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::vector<CycleResult> TableOf(const std::string& text) {
  std::istringstream in(text);
  ResultsTableRead read = ReadResultsTable(in);
  EXPECT_EQ(read.error, "");
  return read.cycles;
}

// The width and height a PNG's header gives.
std::pair<int, int> PngSize(const std::string& bytes) {
  auto big = [&](std::size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
  };
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  return {big(16), big(20)};
}

const std::vector<std::string> SeededRun = {"run", "--seed", "7", "--set", "cycleCount=300", "--set",
                                            "palmCount=200"};

}  // namespace

TEST(RunnerResults, CsvMatchesTheModelExactlyAndTheReportToItsDigits) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run(With(SeededRun, {"--csv", "cycles.csv"}));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string csv = ReadFile(sandbox.Work() / "cycles.csv");
  EXPECT_THAT(csv, StartsWith("cycle,female,herm,male,aborted,total\n1,"));
  EXPECT_EQ(csv.find('\r'), std::string::npos);

  RunSettings settings = StartupDefaults();
  settings.cycleCount = 300;
  settings.palmCount = 200;
  FloweringModel model;
  ASSERT_TRUE(RunModel(model, settings, 7).Completed());
  const std::span<const CycleResult> expected = CyclesOf(model.cycleResults);
  const std::vector<CycleResult> fromCsv = TableOf(csv);
  ASSERT_EQ(fromCsv.size(), 300u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fromCsv.begin()));

  const std::vector<CycleResult> fromReport = TableOf(ReadFile(sandbox.Work() / "output.dat"));
  ASSERT_EQ(fromReport.size(), 300u);
  for (std::size_t i = 0; i < 300; ++i) {
    for (double CycleResult::*value : {&CycleResult::female, &CycleResult::herm, &CycleResult::male,
                                        &CycleResult::aborted, &CycleResult::total}) {
      EXPECT_NEAR(fromReport[i].*value, fromCsv[i].*value, 5e-6 * std::max(1.0, fromCsv[i].*value)) << i;
    }
  }

  // The summary, `analyse` and the record beside the CSV tell the same analysis.
  const std::string line = AnalysisLine(AnalyseCycles(fromCsv));
  EXPECT_THAT(result.out, HasSubstr(line + ".\n"));
  EXPECT_THAT(result.out, HasSubstr("JSON record written to cycles.json"));
  const CliResult analysed = sandbox.Run({"analyse", "cycles.csv"});
  EXPECT_EQ(analysed.status, 0) << analysed.err;
  EXPECT_EQ(analysed.out, line + ".\n");
  const nlohmann::json record = nlohmann::json::parse(ReadFile(sandbox.Work() / "cycles.json"));
  EXPECT_EQ(record["seed"], 7);
  EXPECT_EQ(record["settings"].size(), 27u);
  EXPECT_EQ(record["settings"]["palmCount"], 200);
  EXPECT_EQ(record["settings"]["runNotes"], "VARNOLT Simulation Run");
  EXPECT_EQ(record["engine"], "fast");
  EXPECT_EQ(record["simdTarget"], FastEngineTarget());
  EXPECT_EQ(record["analysis"]["summary"], line);
  EXPECT_THAT(record["version"].get<std::string>(), StartsWith("VARNOLT "));
}

TEST(RunnerResults, TablesGoToStandardOutputAndRecordsWhereAsked) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run(With(SeededRun, {"--csv", "-", "--json", "run.json"}));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, StartsWith("cycle,female,herm,male,aborted,total\n"));
  EXPECT_EQ(TableOf(result.out).size(), 300u);
  EXPECT_THAT(result.err, HasSubstr("JSON record written to run.json"));
  EXPECT_TRUE(fs::exists(sandbox.Work() / "run.json"));

  // Notes that are not UTF-8 (--set takes bytes as they stand) still give a
  // record that JSON readers accept.
  const CliResult notes = sandbox.Run(With(SeededRun, {"--set", "runNotes=plot \xff\xfe 4", "--json", "n.json"}));
  ASSERT_EQ(notes.status, 0) << notes.err;
  const nlohmann::json record = nlohmann::json::parse(ReadFile(sandbox.Work() / "n.json"));
  EXPECT_EQ(record["settings"]["runNotes"], "plot \xEF\xBF\xBD\xEF\xBF\xBD 4");

  // A CSV named .json keeps its table; the record goes beside it.
  const CliResult odd = sandbox.Run(With(SeededRun, {"--csv", "table.json"}));
  ASSERT_EQ(odd.status, 0) << odd.err;
  EXPECT_THAT(ReadFile(sandbox.Work() / "table.json"), StartsWith("cycle,"));
  EXPECT_THAT(ReadFile(sandbox.Work() / "table.json.json"), StartsWith("{"));
}

TEST(RunnerResults, PicturesOfAReportAndOfItsCsvAreTheSame) {
#ifndef VARNOLT_RUNNER_DRAWS
  GTEST_SKIP() << "this runner was built without the window toolkit and draws no pictures";
#endif
  CliSandbox sandbox;
  const CliResult result =
      sandbox.Run(With(SeededRun, {"--csv", "c.csv", "--plot", "run.png", "--plot-size", "640x360"}));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(PngSize(ReadFile(sandbox.Work() / "run.png")), std::make_pair(640, 360));

  const CliResult fromReport = sandbox.Run({"plot", "output.dat", "-o", "report.svg"});
  const CliResult fromCsv = sandbox.Run({"plot", "c.csv", "-o", "csv.svg"});
  ASSERT_EQ(fromReport.status, 0) << fromReport.err;
  ASSERT_EQ(fromCsv.status, 0) << fromCsv.err;
  const std::string svg = ReadFile(sandbox.Work() / "report.svg");
  EXPECT_THAT(svg, HasSubstr("<svg"));
  EXPECT_THAT(svg, HasSubstr("</svg>"));
  EXPECT_EQ(svg, ReadFile(sandbox.Work() / "csv.svg"));
  EXPECT_EQ(fromReport.err, "");
}

TEST(RunnerResults, BadOptionsRunNothingAndBadFilesSayWhy) {
  CliSandbox sandbox;
  for (const auto& [extra, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--plot", "cycles.gif"}, "must end in .png or .svg"},
           {{"--plot-size", "800x600"}, "--plot-size needs --plot"},
           {{"--plot", "a.png", "--plot-size", "800"}, "is no picture size"},
           {{"--plot", "a.png", "--plot-size", "50x50"}, "is no picture size"},
           {{"--output", "-", "--csv", "-"}, "cannot both go to standard output"},
       }) {
    std::vector<std::string> args = SeededRun;
    args.insert(args.end(), extra.begin(), extra.end());
    const CliResult result = sandbox.Run(args);
    EXPECT_EQ(result.status, 2) << extra.front();
    EXPECT_THAT(result.err, HasSubstr(message));
  }
  EXPECT_EQ(sandbox.WorkEntries(), 0u) << "nothing ran";

  WriteFile(sandbox.Work() / "notes.txt", "just some notes\n");
  const CliResult notResults = sandbox.Run({"plot", "notes.txt", "-o", "x.png"});
  EXPECT_EQ(notResults.status, 1);
  EXPECT_THAT(notResults.err, HasSubstr("varnolt-cli: cannot read results from notes.txt: it holds no results table"));
  const CliResult missing = sandbox.Run({"analyse", "missing.csv"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("missing.csv"));
  EXPECT_FALSE(fs::exists(sandbox.Work() / "x.png"));

#ifdef VARNOLT_RUNNER_DRAWS
  // A picture that cannot be written fails the run's status but keeps the report.
  fs::create_directories(sandbox.Work() / "folder.png");
  const CliResult blocked = sandbox.Run(With(SeededRun, {"--plot", "folder.png"}));
  EXPECT_EQ(blocked.status, 1);
  EXPECT_THAT(blocked.err, HasSubstr("varnolt-cli: cannot write the picture to folder.png: it is a folder\n"));
  EXPECT_TRUE(fs::exists(sandbox.Work() / "output.dat"));
#endif
}

}  // namespace varnolt
