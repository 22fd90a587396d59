#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/SystemResources.h"
#include "results/ReportWriter.h"
#include "run/RunDriver.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ScratchFolder.h"

namespace varnolt {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// A scratch folder that names its files as the settings do, by UTF-8 path text.
class TemporaryFolder : public ScratchFolder {
 public:
  TemporaryFolder() : ScratchFolder("varnolt-driver") {}
  std::string operator/(const std::string& name) const { return In(name).string(); }
  const fs::path path = Path();
};

std::string ReadFile(const std::string& path) { return ReadFileBytes(path); }
void WriteFile(const std::string& path, const std::string& content) { WriteFileBytes(path, content); }

std::string ReportOf(const FloweringModel& model) {
  std::ostringstream out;
  WriteReport(model, out);
  return out.str();
}

RunSettings SmallRun() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 40;
  settings.palmCount = 5;
  return settings;
}

}  // namespace

TEST(TransferSettings, FrondsBecomeNodePositionsAndOffTreatmentsZeros) {
  RunSettings settings = StartupDefaults();
  settings.runNotes = "Trial 4";
  settings.leafPruneCycle = 5;
  settings.pruneStress = 2;
  settings.trendAmplitude = 3;
  settings.irrigationStart = 10;
  settings.irrigationEnd = 12;
  settings.flowerPruneStart = 25;
  settings.flowerPruneEnd = 27;
  ModelSettings model = TransferSettings(settings);
  EXPECT_EQ(model.runNotes, "Trial 4");
  EXPECT_EQ((std::vector<std::int64_t>{model.sexStressFirstNode, model.sexStressLastNode, model.abortStressFirstNode,
                                       model.abortStressLastNode, model.sexStageStartNode, model.sexStageEndNode,
                                       model.abortionNode}),
            (std::vector<std::int64_t>{50, 59, 50, 55, 2, 26, 40}));
  EXPECT_EQ(model.leafPruneCycle + model.pruneStress + model.trendAmplitude + model.irrigationStart +
                model.irrigationEnd + model.flowerPruneStart + model.flowerPruneEnd,
            0);

  settings.leafPruning = 1;
  settings.trendCycles = 2;  // anything but 0 is on
  settings.irrigation = 1;
  settings.flowerPruning = -1;
  model = TransferSettings(settings);
  EXPECT_EQ((std::vector<std::int32_t>{model.leafPruneCycle, model.pruneStress, model.trendAmplitude,
                                       model.irrigationStart, model.irrigationEnd, model.flowerPruneStart,
                                       model.flowerPruneEnd}),
            (std::vector<std::int32_t>{5, 2, 3, 10, 12, 25, 27}));

  settings.abortionFrond = INT_MAX;
  settings.sexStageStartFrond = INT_MIN;
  model = TransferSettings(settings);
  EXPECT_EQ(model.abortionNode, 2147483677LL);
  EXPECT_EQ(model.sexStageStartNode, -2147483618LL);
}

TEST(RunModel, AFrondOutsideTheNodesNamesItAndKeepsThePreviousRun) {
  struct Case {
    const char* field;
    std::int32_t value;
    const char* label;  // on the Frond Numbers page
  };
  FloweringModel model;
  ASSERT_TRUE(RunModel(model, SmallRun(), 1).Completed());
  const CheckedVector<CycleResult> previousResults = model.cycleResults;
  const ModelSettings previousSettings = model.settings;

  const char* const abortion = "Frond where stress induced abortion occurs";
  for (const Case& c : {Case{"sexStressFirstFrond", -31, "First frond generating stress for sex ratio"},
                        Case{"sexStressLastFrond", 170, "Last frond generating stress for sex ratio"},
                        Case{"abortStressFirstFrond", -31, "First frond generating stress for abortion"},
                        Case{"abortStressLastFrond", 170, "Last frond generating stress for abortion"},
                        Case{"abortionFrond", 170, abortion}, Case{"abortionFrond", INT_MIN, abortion}}) {
    RunSettings settings = SmallRun();
    settings.cycleCount = 99;
    settings.*(FindField(c.field)->integer) = c.value;
    const RunOutcome outcome = RunModel(model, settings, 1);
    EXPECT_EQ(outcome.status, RunStatus::FrondOutOfRange) << c.field;
    ASSERT_TRUE(outcome.problem.has_value()) << c.field;
    const Problem& problem = *outcome.problem;
    EXPECT_EQ(problem.kind, ProblemKind::FrondOutOfRange);
    EXPECT_EQ(problem.setting, c.field);
    EXPECT_EQ(problem.value, c.value) << c.field;
    EXPECT_EQ(problem.label, c.label) << c.field;
    EXPECT_EQ(problem.low, -30);
    EXPECT_EQ(problem.high, 169);
    // The window names the setting by its label, the runner by its name in files.
    EXPECT_EQ(ProblemSentence(problem), std::string("\"") + c.label + "\" is " + std::to_string(c.value) +
                                            ", but the model works only with fronds from -30 to 169.\n"
                                            "Choose a frond in that range and run again.");
    EXPECT_EQ(ProblemLine(problem), std::string(c.field) + " " + std::to_string(c.value) +
                                        ": the model works only with fronds from -30 to 169; choose a frond in that range");
    EXPECT_EQ(model.cycleResults, previousResults) << c.field;
    EXPECT_EQ(model.settings, previousSettings) << c.field;
  }
  RunSettings settings = SmallRun();
  settings.sexStressLastFrond = 170;
  EXPECT_EQ(RunModel(model, settings, 1).problem->label, "Last frond generating stress for sex ratio");

  settings.sexStressFirstFrond = settings.abortStressFirstFrond = -30;  // the ends of the range run
  settings.sexStressLastFrond = settings.abortStressLastFrond = 169;
  EXPECT_TRUE(RunModel(model, settings, 1).Completed());
  settings.sexStressFirstFrond = INT_MAX;  // an empty window
  settings.sexStageStartFrond = INT_MIN;
  settings.abortThreshold = 40;            // nothing aborts: the abortion frond is never used
  settings.abortionFrond = INT_MAX;
  EXPECT_TRUE(RunModel(model, settings, 1).Completed());
}

TEST(RunModel, ACycleCountBeyondTheMemoryIsRefused) {
  RunSettings settings = SmallRun();
  settings.cycleCount = INT_MAX;
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (available && *available > FloweringModel::RunMemoryBytes(INT_MAX)) GTEST_SKIP() << "this machine could run it";

  FloweringModel model;
  ASSERT_TRUE(RunModel(model, SmallRun(), 3).Completed());
  const CheckedVector<CycleResult> previous = model.cycleResults;
  const RunOutcome outcome = RunModel(model, settings, 3);
  EXPECT_EQ(outcome.status, RunStatus::TooLargeForMemory);
  ASSERT_TRUE(outcome.problem.has_value());
  EXPECT_EQ(outcome.problem->kind, ProblemKind::TooLittleMemory);
  EXPECT_EQ(outcome.problem->value, INT_MAX);
  EXPECT_THAT(ProblemSentence(*outcome.problem), HasSubstr("A run of 2147483647 node initiation cycles needs more memory"));
  EXPECT_THAT(ProblemLine(*outcome.problem), HasSubstr("; choose fewer cycles and run again"));
  EXPECT_EQ(model.cycleResults, previous);
  EXPECT_EQ(model.settings.cycleCount, 40);
}

TEST(RunModel, ARunNeedingMoreThanTheFreeMemoryIsRefusedInWholeMegabytesRoundedUp) {
  // A run large enough for the check (over 16 MB), never run: the free memory is the test's.
  RunSettings settings = SmallRun();
  settings.cycleCount = 1000;
  while (FastEngineMemoryBytes(TransferSettings(settings), 0) <= (std::uint64_t{17} << 20)) settings.cycleCount *= 2;
  const std::uint64_t need = FastEngineMemoryBytes(TransferSettings(settings), 0);
  constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
  const std::uint64_t neededMegabytes = need / MiB + (need % MiB != 0 ? 1 : 0);
  struct Restore {
    ~Restore() { SetAvailableMemoryForTests({}); }
  } restore;
  SetAvailableMemoryForTests([] { return std::optional<std::uint64_t>(5 * MiB + 1); });

  FloweringModel model;
  ASSERT_TRUE(RunModel(model, SmallRun(), 3).Completed());
  const RunOutcome outcome = RunModel(model, settings, 3);
  EXPECT_EQ(outcome.status, RunStatus::TooLargeForMemory);
  ASSERT_TRUE(outcome.problem.has_value());
  EXPECT_EQ(outcome.problem->bytesNeeded, need);
  EXPECT_EQ(outcome.problem->bytesFree, 5 * MiB + 1);
  EXPECT_EQ(ProblemSentence(*outcome.problem),
            "A run of " + std::to_string(settings.cycleCount) +
                " node initiation cycles needs more memory than this computer has free (" +
                std::to_string(neededMegabytes) + " MB needed, 6 MB free).\nChoose fewer cycles and run again.");
  EXPECT_EQ(ProblemLine(*outcome.problem),
            "a run of " + std::to_string(settings.cycleCount) +
                " node initiation cycles needs more memory than this computer has free (" +
                std::to_string(neededMegabytes) + " MB needed, 6 MB free); choose fewer cycles and run again");
  EXPECT_EQ(model.settings.cycleCount, 40) << "the previous run's settings stay";

  // One byte short of the need is still too little.
  SetAvailableMemoryForTests([need] { return std::optional<std::uint64_t>(need - 1); });
  EXPECT_EQ(RunModel(model, settings, 3).status, RunStatus::TooLargeForMemory);
}

TEST(RunSimulation, WritesTheReportAndReplacesAnOldOne) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.outputPath = folder / "output.dat";
  WriteFile(settings.outputPath, "an old report that is longer than nothing");
  fs::permissions(settings.outputPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  FloweringModel model;
  const RunOutcome outcome = RunSimulation(model, settings, 5);
  ASSERT_TRUE(outcome.Completed());
  EXPECT_EQ(ReadFile(settings.outputPath), ReportOf(model));
  EXPECT_EQ(folder.EntryCount(), 1u) << "no temporary file is left behind";
#ifndef _WIN32  // Windows files have only a read-only attribute, not these bits
  EXPECT_EQ(fs::status(settings.outputPath).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif

  // A name as long as the file system allows still gets its report.
  settings.outputPath = folder / (std::string(251, 'r') + ".dat");
  const RunOutcome longName = RunSimulation(model, settings, 5);
  ASSERT_TRUE(longName.Completed());
  EXPECT_EQ(ReadFile(settings.outputPath), ReportOf(model));
  EXPECT_EQ(folder.EntryCount(), 2u);
}

TEST(RunSimulation, AReportWriteFailingAtAnyStepLeavesThePreviousReportWhole) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.cycleCount = 2000;  // a report of several pieces
  FloweringModel model;
  ASSERT_TRUE(RunModel(model, settings, 5).Completed());
  WriteFile(folder / "output.dat", "old report");
  const int steps = FailingStep::StepsOf([&] { EXPECT_FALSE(WriteReportFile(model, folder / "count.dat")); });
  fs::remove(folder.path / "count.dat");
  ASSERT_GE(steps, 8);
  for (int failAt = 1; failAt <= steps; ++failAt) {
    FailingStep failing(failAt);
    const std::optional<Problem> failure = WriteReportFile(model, folder / "output.dat");
    ASSERT_TRUE(failure) << "step " << failAt;
    EXPECT_EQ(failure->kind, ProblemKind::ReportNotWritten);
    EXPECT_EQ(ReportFailureCause(*failure), "Input/output error");
    EXPECT_EQ(ReadFile(folder / "output.dat"), "old report") << "step " << failAt;
    EXPECT_EQ(folder.EntryCount(), 1u) << "step " << failAt;
  }
}

TEST(RunSimulation, AFailedRunLeavesTheOldReportUntouched) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.outputPath = folder / "output.dat";
  WriteFile(settings.outputPath, "old report");
  settings.abortStressLastFrond = 500;
  FloweringModel model;
  EXPECT_EQ(RunSimulation(model, settings, 5).status, RunStatus::FrondOutOfRange);
  EXPECT_EQ(ReadFile(settings.outputPath), "old report");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(RunSimulation, ACancelledRunKeepsTheResultsTheSettingsAndTheOldReport) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.outputPath = folder / "output.dat";
  FloweringModel model;
  ASSERT_TRUE(RunSimulation(model, settings, 5).Completed());
  const std::string report = ReadFile(settings.outputPath);
  const CheckedVector<CycleResult> previous = model.cycleResults;

  settings.cycleCount = 77;
  RunControl control;
  control.cancel = true;
  const RunOutcome outcome = RunSimulation(model, settings, 6, &control);
  EXPECT_EQ(outcome.status, RunStatus::Cancelled);
  ASSERT_TRUE(outcome.problem.has_value());
  EXPECT_EQ(ProblemSentence(*outcome.problem), "The run was cancelled; the previous results are unchanged.");
  EXPECT_EQ(ReadFile(settings.outputPath), report);
  EXPECT_EQ(folder.EntryCount(), 1u);
  EXPECT_EQ(model.cycleResults, previous);
  EXPECT_EQ(model.settings.cycleCount, 40);
}

TEST(RunSimulation, ACancelWhileTheReportIsWrittenLeavesTheOldReportAndSaysSo) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.outputPath = folder / "output.dat";
  WriteFile(settings.outputPath, "old report");
  RunControl control;
  // The cancel comes once the run is over, as the report's file is made.
  class CancelOnCreate : public FileFaultInjector {
   public:
    explicit CancelOnCreate(RunControl& control) : control_(control) {}
    std::error_code Before(FileStep step) override {
      if (step == FileStep::Create) control_.cancel = true;
      return {};
    }

   private:
    RunControl& control_;
  } injector(control);
  FileFaultInjector* previous = SetFileFaultInjector(&injector);
  FloweringModel model;
  const RunOutcome outcome = RunSimulation(model, settings, 5, &control);
  SetFileFaultInjector(previous);
  ASSERT_TRUE(control.cancel.load()) << "the report's file was never made";
  EXPECT_EQ(outcome.status, RunStatus::Cancelled);
  ASSERT_TRUE(outcome.problem.has_value());
  EXPECT_EQ(outcome.problem->kind, ProblemKind::ReportCancelled);
  EXPECT_EQ(ProblemSentence(*outcome.problem), "The run was cancelled; no report was written.");
  EXPECT_EQ(ReadFile(settings.outputPath), "old report");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(WriteReportFile, AStoppedReportIsNotWrittenAndTheOldOneStays) {
  TemporaryFolder folder;
  RunSettings settings = SmallRun();
  settings.cycleCount = 5000;
  FloweringModel model;
  ASSERT_TRUE(RunModel(model, settings, 5).Completed());
  const std::string path = folder / "output.dat";
  WriteFile(path, "old report");
  std::atomic<bool> stop{true};
  const std::optional<Problem> failure = WriteReportFile(model, path, &stop);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(ReadFile(path), "old report");
  EXPECT_EQ(folder.EntryCount(), 1u) << "the temporary file is gone";
  stop = false;
  EXPECT_FALSE(WriteReportFile(model, path, &stop).has_value());
  EXPECT_EQ(ReadFile(path), ReportOf(model));
}

TEST(RunSimulation, AReportThatCannotBeWrittenIsAnError) {
  TemporaryFolder folder;
  WriteFile(folder / "plain-file", "x");
  fs::create_directory(folder.path / "a-folder");
  struct Case {
    std::string path;
    ProblemKind kind;
    const char* reason;
  };
  const ProblemKind system = ProblemKind::ReportNotWritten;
  for (const Case& c : {Case{folder / "missing/output.dat", system, "No such file or directory"},
#ifdef _WIN32  // Windows finds no such path below a file
                        Case{folder / "plain-file/output.dat", system, "No such file or directory"},
#else
                        Case{folder / "plain-file/output.dat", system, "Not a directory"},
#endif
                        Case{folder / "a-folder", ProblemKind::ReportIsFolder, "it is a folder"},
                        Case{"", ProblemKind::ReportNoName, "no file name was given"}}) {
    RunSettings settings = SmallRun();
    settings.outputPath = c.path;
    FloweringModel model;
    const RunOutcome outcome = RunSimulation(model, settings, 5);
    EXPECT_EQ(outcome.status, RunStatus::ReportNotWritten) << c.path;
    ASSERT_TRUE(outcome.problem.has_value()) << c.path;
    EXPECT_EQ(outcome.problem->kind, c.kind) << c.path;
    EXPECT_EQ(outcome.problem->path, c.path);
    EXPECT_EQ(ReportFailureCause(*outcome.problem), c.reason);
    EXPECT_EQ(ProblemSentence(*outcome.problem),
              "The report could not be written to \"" + c.path + "\": " + c.reason + ".\nAny earlier report there is unchanged.");
    std::string lowered = c.reason;
    lowered[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowered[0])));
    EXPECT_EQ(ProblemLine(*outcome.problem), "cannot write the report to " + c.path + ": " + lowered);
    EXPECT_EQ(model.cycleResults.size(), 41u) << "the run itself completed";
  }
  EXPECT_EQ(folder.EntryCount(), 2u);
}

TEST(RunSimulation, ADeviceIsWrittenDirectlyAndAFullOneFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  RunSettings settings = SmallRun();
  FloweringModel model;
  settings.outputPath = "/dev/null";
  EXPECT_TRUE(RunSimulation(model, settings, 5).Completed());
  settings.outputPath = "/dev/full";
  const RunOutcome outcome = RunSimulation(model, settings, 5);
  EXPECT_EQ(outcome.status, RunStatus::ReportNotWritten);
  EXPECT_EQ(ReportFailureCause(*outcome.problem), "No space left on device");
  EXPECT_EQ(ProblemLine(*outcome.problem), "cannot write the report to /dev/full: no space left on device");
}


TEST(RunSimulation, ALinkKeepsPointingAtTheReportAndAReadOnlyOneIsKept) {
  TemporaryFolder folder;
  FloweringModel model;
  RunSettings settings = SmallRun();
  WriteFile(folder / "real.dat", "old report");
  std::error_code made;
  fs::create_symlink(folder.path / "real.dat", folder.path / "link.dat", made);
  if (made) GTEST_SKIP() << "no symbolic links here (" << made.message() << ")";
  settings.outputPath = folder / "link.dat";
  ASSERT_TRUE(RunSimulation(model, settings, 5).Completed());
  EXPECT_TRUE(fs::is_symlink(folder.path / "link.dat"));
  EXPECT_EQ(ReadFile(folder / "real.dat"), ReportOf(model));

  fs::permissions(folder.path / "real.dat", fs::perms::owner_read);
  if (std::ofstream(folder / "real.dat", std::ios::app).good()) GTEST_SKIP() << "permissions do not bind this user";
  const std::string kept = ReadFile(folder / "real.dat");
  const RunOutcome refused = RunSimulation(model, settings, 6);
  EXPECT_EQ(refused.status, RunStatus::ReportNotWritten);
  EXPECT_EQ(ReportFailureCause(*refused.problem), "Permission denied");
  EXPECT_EQ(ReadFile(folder / "real.dat"), kept);
  EXPECT_EQ(folder.EntryCount(), 2u) << "no temporary file is left behind";
}

}  // namespace varnolt
