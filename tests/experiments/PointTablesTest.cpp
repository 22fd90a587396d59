// The point tables API as the faces use it: a design expanded into runs, run to
// a stream or a file with progress, outcomes and a stop, resumed, recorded and
// read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "experiments/PointTables.h"
#include "experiments/TableReading.h"
#include "tests/support/ScratchFolder.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

RunSettings Small() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 80;
  settings.palmCount = 10;
  return settings;
}

PointTable SmallSweep(std::size_t replicates = 2) {
  SweepFactor factor;
  EXPECT_FALSE(ParseSweepFactor("randomPercent=0:40:10", factor));
  return MakeSweepTable(Small(), {factor}, 7, replicates, {});
}

std::string ToText(const PointTable& design, const TableRunHooks& hooks = {}, TableRunResult* result = nullptr) {
  std::ostringstream out;
  TableRunRequest request;
  request.targets.table = "-";
  request.targets.standardOutput = &out;
  const TableRunResult ran = RunTable(design, request, hooks);
  if (result != nullptr) *result = ran;
  return out.str();
}

TEST(PointTables, ADesignExpandsPointAfterPointReplicateAfterReplicate) {
  const PointTable design = SmallSweep(3);
  ASSERT_EQ(design.points, 5u);
  ASSERT_EQ(design.Runs(), 15u);
  for (std::size_t run = 0; run < design.Runs(); ++run) {
    const ExperimentPoint point = design.RunOf(run);
    EXPECT_EQ(point.seed, 7u + run % 3) << run;
    EXPECT_EQ(point.settings.randomPercent, static_cast<std::int32_t>(run / 3 * 10)) << run;
    EXPECT_EQ(point.settings.palmCount, 10);
  }
  // The stamp follows what defines the table, not how it is run.
  EXPECT_EQ(design.Fingerprint(), SmallSweep(3).Fingerprint());
  EXPECT_NE(design.Fingerprint(), SmallSweep(2).Fingerprint());
}

TEST(PointTables, ARunStreamsTheTableAndHandsEveryOutcomeInOrder) {
  const PointTable design = SmallSweep();
  std::vector<std::size_t> seen;
  std::uint64_t lastDone = 0, lastTodo = 0;
  TableRunHooks hooks;
  hooks.outcome = [&](std::size_t run, const PointOutcome& outcome) {
    EXPECT_EQ(outcome.status, PointStatus::Ran);
    seen.push_back(run);
  };
  hooks.progress = [&](std::uint64_t done, std::uint64_t todo) {
    EXPECT_EQ(done, lastDone + 1);
    lastDone = done;
    lastTodo = todo;
  };
  TableRunResult result;
  const std::string text = ToText(design, hooks, &result);
  ASSERT_TRUE(result.problems.empty());
  EXPECT_TRUE(result.written && result.complete && !result.stopped);
  EXPECT_EQ(result.ran, 10u);
  EXPECT_EQ(lastDone, 10u);
  EXPECT_EQ(lastTodo, 10u);
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);

  // Each row is the run's own: the same as the run made alone.
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line + "\n", design.Header());
  ExperimentControl control;
  const ExperimentPoint third = design.RunOf(3);
  const std::vector<PointOutcome> alone = RunPoints(std::span(&third, 1), control);
  for (int row = 0; row <= 3; ++row) std::getline(lines, line);
  EXPECT_EQ(line + "\n", RunTableRow(2, true, "10", 2, 8, alone[0], design.statistics));
}

TEST(PointTables, AStopDropsANewTableAndKeepsTheRowsOfOneBeingResumed) {
  ScratchFolder folder;
  const PointTable design = SmallSweep();
  const std::string whole = ToText(design);
  const std::string path = (folder.Path() / "t.csv").string();

  std::stop_source stop;
  TableRunHooks hooks;
  hooks.stop = stop.get_token();
  hooks.outcome = [&](std::size_t run, const PointOutcome&) {
    if (run == 3) stop.request_stop();
  };
  TableRunRequest request;
  request.targets.table = path;
  request.commandLine = "varnolt-cli sweep (a test)";
  TableRunResult result = RunTable(design, request, hooks);
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.written);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(folder.Path() / "t.json"));

  // Resuming keeps the rows done, with a record of the stopped run...
  request.resume = true;
  stop = std::stop_source();
  hooks.stop = stop.get_token();
  result = RunTable(design, request, hooks);
  EXPECT_TRUE(result.stopped && result.written && result.recordWritten);
  EXPECT_FALSE(result.complete);
  const std::string part = ReadFileBytes(path);
  EXPECT_EQ(whole.substr(0, part.size()), part);
  EXPECT_LT(part.size(), whole.size());

  // ...and the next resume finishes it as one unbroken run writes it.
  hooks = {};
  std::vector<std::size_t> outcomes;
  hooks.outcome = [&](std::size_t run, const PointOutcome&) { outcomes.push_back(run); };
  result = RunTable(design, request, hooks);
  ASSERT_TRUE(result.problems.empty());
  EXPECT_TRUE(result.complete);
  EXPECT_GE(result.taken, 4u);
  EXPECT_EQ(outcomes.size(), 10u) << "the rows taken from the table too";
  EXPECT_EQ(ReadFileBytes(path), whole);
  const std::optional<TableMaker> maker = TableMakerOf(path);
  ASSERT_TRUE(maker);
  EXPECT_EQ(maker->commandLine, "varnolt-cli sweep (a test)");
  EXPECT_EQ(maker->seed, 7u);

  // A table of another design is refused, and kept as it is.
  SweepFactor other;
  ASSERT_FALSE(ParseSweepFactor("randomPercent=0:40:10", other));
  result = RunTable(MakeSweepTable(Small(), {other}, 8, 2, {}), request);
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0].kind, TableProblemKind::Resume);
  EXPECT_EQ(ReadFileBytes(path), whole);
}

TEST(PointTables, TheRecordSaysWhatMadeTheTable) {
  const PointTable design = SmallSweep();
  TableRecordFacts facts;
  facts.commandLine = "made by hand";
  facts.runs = 10;
  facts.ran = 10;
  facts.complete = true;
  const std::string record = TableRecordJson(design, facts);
  for (const std::string& key : std::vector<std::string>{"\"commandLine\": \"made by hand\"", "\"command\": \"sweep\"",
                                "\"stamp\": \"" + design.Fingerprint() + "\"", "\"seed\": 7", "\"replicates\": 2",
                                "\"complete\": true", "\"palmCount\": 10"}) {
    EXPECT_NE(record.find(key), std::string::npos) << key << "\n" << record;
  }
}

TEST(PointTables, TablesReadBackForPicturesAndIndices) {
  const PointTable design = SmallSweep();
  const std::string text = ToText(design);
  EXPECT_EQ(KindOfTable(text), TableKind::Points);
  PointValues values;
  ASSERT_FALSE(ReadPointValues(text, std::string("meanFemale"), values));
  EXPECT_EQ(values.varied, std::vector<std::string>{"randomPercent"});
  EXPECT_EQ(values.rowsRead, 10u);
  EXPECT_EQ(values.values.size(), 5u);
  EXPECT_EQ(values.values.at({40.0, 0.0})[0].size(), 2u);
  EXPECT_TRUE(ReadPointValues(text, std::string("nosuch"), values));

  std::istringstream in(text);
  RunOutputs outputs;
  ASSERT_FALSE(OutcomesFromTable(in, "t.csv", design, outputs));
  EXPECT_EQ(outputs.Runs(), 10u);
  EXPECT_EQ(outputs.NotRan(), 0u);
  // The same table read as another design's is refused.
  std::istringstream again(text);
  const std::optional<std::string> other = OutcomesFromTable(again, "t.csv", SmallSweep(1), outputs);
  ASSERT_TRUE(other);
  EXPECT_NE(other->find("t.csv"), std::string::npos);

  std::vector<CycleRun> runs;
  EXPECT_TRUE(ReadCycleRuns("point,replicate,cycle,female,herm,male,aborted\n1,1,2,1,0,0,99\n", runs));
}

TEST(PointTables, BatchDesignsAreCheckedLineByLineBeforeAnythingRuns) {
  struct Case {
    std::string design;
    std::size_t line, column;
  };
  for (const Case& c : {Case{"randomPercent,nosuch\n1,2\n", 1, 2}, Case{"randomPercent\n1\nabc\n", 3, 1},
                        Case{"randomPercent,seed\n1,5\n2,6\n", 3, 2}, Case{"randomPercent\n", 2, 0},
                        Case{"randomPercent,runNotes\n1,\"open\n", 2, 0}}) {
    SCOPED_TRACE(c.design);
    BatchDesign design;
    std::optional<DesignProblem> problem = ReadBatchDesign(c.design, design);
    PointTable table;
    if (!problem) problem = MakeBatchTable(Small(), design, 1, 3, {}, table);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->line, c.line) << problem->text;
    EXPECT_EQ(problem->column, c.column) << problem->text;
  }
  BatchDesign design;
  ASSERT_FALSE(ReadBatchDesign("randomPercent,runNotes,seed\n10,\"two\nlines\",4\n20,plain,4\n", design));
  PointTable table;
  ASSERT_FALSE(MakeBatchTable(Small(), design, 0, 2, {}, table));
  EXPECT_EQ(table.points, 2u);
  EXPECT_EQ(table.RunOf(3).seed, 5u);
  EXPECT_EQ(table.point(0).leadCells, "10,\"two\nlines\"");
  EXPECT_EQ(table.point(0).settings.runNotes, "two\nlines");
}

}  // namespace
}  // namespace varnolt
