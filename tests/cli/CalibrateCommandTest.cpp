// `calibrate` as a user runs it: a census made by the program itself, the fit,
// its files, and every refusal leaving the folder as it was.
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "CliTestSupport.h"
#include "settings/SettingsFile.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

// The plantation: 200 cycles of 300 palms from known thresholds.
const std::vector<std::string> Plantation = {"run",   "--seed", "7", "--set", "cycleCount=200", "--set",
                                             "palmCount=300", "--set", "maleThreshold=19", "--set",
                                             "abortThreshold=25", "--csv", "census.csv", "--output",
                                             "plantation.dat"};

std::vector<std::string> Fit(std::vector<std::string> more) {
  std::vector<std::string> args = {"calibrate", "census.csv", "--set",   "cycleCount=200", "--fit",
                                   "femaleThreshold=0:16", "--fit", "maleThreshold=16:22", "--fit",
                                   "abortThreshold=21:28", "--palms", "600", "--seed", "1"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Calibrate, FitsACensusMadeByTheProgramAndWritesItsFiles) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  std::vector<std::string> outputs = {"-o", "best.dat", "--csv", "evaluations.csv", "--json", "fit.json"};
#ifdef VARNOLT_RUNNER_DRAWS
  outputs.insert(outputs.end(), {"--plot", "fit.png"});
#endif
  const CliResult fit = sandbox.Run(Fit(outputs));
  ASSERT_EQ(fit.status, 0) << fit.err;
  EXPECT_THAT(fit.out, HasSubstr("Method: exhaustive grid: every one of the 952 candidates"));
  EXPECT_THAT(fit.out, HasSubstr("  maleThreshold = 19 ("));
  EXPECT_THAT(fit.out, HasSubstr("  abortThreshold = 25 ("));
  EXPECT_THAT(fit.out, HasSubstr("  femaleThreshold = 0 (not determined by this census: every value from 0 to "
                                 "16 is consistent with it)"));
  EXPECT_THAT(fit.out, HasSubstr("calibrated on 200 censuses simulated from the best fit"));
  // The runner's CSV gives no palms, so the fit is not judged, and the summary says why.
  EXPECT_THAT(fit.out, HasSubstr("Lack of fit: not judged: the census gives no palms"));
  EXPECT_THAT(fit.out, HasSubstr("  female      200"));
  EXPECT_THAT(fit.out, HasSubstr("Best settings written to best.dat.\n"));

  // The best settings: the base with the best values, the base's palm count.
  RunSettings best;
  ASSERT_FALSE(LoadSettingsFile(sandbox.Work() / "best.dat", best));
  EXPECT_EQ(best.maleThreshold, 19);
  EXPECT_EQ(best.abortThreshold, 25);
  EXPECT_EQ(best.cycleCount, 200);
  EXPECT_EQ(best.palmCount, StartupDefaults().palmCount);

  const std::string csv = ReadFile(sandbox.Work() / "evaluations.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "evaluation,femaleThreshold,maleThreshold,abortThreshold,objective,status,stage,message");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 953);
  EXPECT_THAT(csv, HasSubstr("\n1,0,16,21,"));
  EXPECT_THAT(csv, HasSubstr(",16,16,21,,invalid,grid,rule 5 (maleThreshold): "));
  // The table is known as a table, never taken for settings.
  const CliResult shown = sandbox.Run({"show", "evaluations.csv"});
  EXPECT_NE(shown.status, 0);
  EXPECT_THAT(shown.err, HasSubstr("evaluations.csv is a table written by varnolt-cli, not a settings file"));

  const nlohmann::json record = nlohmann::json::parse(ReadFile(sandbox.Work() / "fit.json"));
  EXPECT_EQ(record["best"]["maleThreshold"], 19);
  // What the census does not determine has no range in `determined`.
  EXPECT_FALSE(record["determined"].contains("femaleThreshold"));
  EXPECT_EQ(record["determined"]["maleThreshold"].size(), 2u);
  EXPECT_EQ(record["undetermined"], nlohmann::json::array({"femaleThreshold"}));
  EXPECT_EQ(record["lackOfFit"]["flagged"], false);
  EXPECT_EQ(record["lackOfFit"]["judged"], false);
  EXPECT_EQ(record["simulatedCensuses"], 200);
  EXPECT_TRUE(record["objective"]["thresholds"]["maleThreshold"].is_number());
  EXPECT_EQ(record["method"], "exhaustive grid");
  EXPECT_EQ(record["seeds"], nlohmann::json::array({1, 2}));
  EXPECT_EQ(record["census"]["file"], "census.csv");
  EXPECT_EQ(record["census"]["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(record["evaluations"]["total"], 952);
  EXPECT_TRUE(record["nse"]["herm"].is_null());  // the census's herm never varies
  EXPECT_GT(record["rmse"]["overall"].get<double>(), 0.0);
  EXPECT_EQ(record["commandLine"][1], "calibrate");
#ifdef VARNOLT_RUNNER_DRAWS
  EXPECT_GT(fs::file_size(sandbox.Work() / "fit.png"), 1000u);
#endif
  // With --json the record goes there only, not beside the table too.
  EXPECT_FALSE(fs::exists(sandbox.Work() / "evaluations.json"));

  // The record's hash is the census's own.
  WriteFile(sandbox.Work() / "known.csv", "cycle,female\n1,50\n");
  const CliResult known = sandbox.Run({"calibrate", "known.csv", "--fit", "maleThreshold=17:18", "--palms", "10",
                                       "--seed", "1", "-o", "k.dat", "--json", "k.json"});
  ASSERT_EQ(known.status, 0) << known.err;
  EXPECT_EQ(nlohmann::json::parse(ReadFile(sandbox.Work() / "k.json"))["census"]["sha256"],
            "c5c64212f2eeef9a0a4c9316d06bbcd07a4069460bf1338b383a0d465c8193e7");
}

TEST(Calibrate, OneThreadOrTwoWriteTheSameFilesOnEitherPath) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  for (const char* budget : {"20000", "60"}) {
    std::string previous;
    for (const char* threads : {"1", "2"}) {
      const std::string name = std::string("b") + budget + "t" + threads;
      const CliResult fit =
          sandbox.Run(Fit({"-o", name + ".dat", "--csv", name + ".csv", "--budget", budget, "--threads", threads}));
      ASSERT_EQ(fit.status, 0) << fit.err;
      if (std::string(budget) == "60") {
        EXPECT_THAT(fit.out, HasSubstr("Method: optimiser: the grid of 952"));
      }
      const std::string files = ReadFile(sandbox.Work() / (name + ".csv")) + ReadFile(sandbox.Work() / (name + ".dat"));
      if (!previous.empty()) {
        EXPECT_EQ(files, previous) << budget;
      }
      // Without --json the record stands beside the table, as every table of runs has one.
      EXPECT_EQ(nlohmann::json::parse(ReadFile(sandbox.Work() / (name + ".json")))["best"].size(), 3u);
      previous = files;
    }
  }
}

TEST(Calibrate, BadInputIsRefusedWithStatusTwoAndNothingWritten) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  WriteFile(sandbox.Work() / "blank.csv", "cycle,female,male\n1,,\n2,,\n");
  WriteFile(sandbox.Work() / "odd.csv", "cycle,female\n1,30\n2,thirty\n");
  const std::vector<std::string> before = Names(sandbox.Work());
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshhold=17:20", "-o", "b.dat"},
       "unknown setting \"maleThreshhold\""},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=20:17", "-o", "b.dat"},
       "LOW is above HIGH"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "abortThreshold=30:45", "-o", "b.dat"},
       "reaches outside the values abortThreshold may take (1 to 40)"},
      {{"calibrate", "blank.csv", "--fit", "maleThreshold=17:20", "-o", "b.dat"}, "no observed cell"},
      {{"calibrate", "census.csv", "--fit", "maleThreshold=17:20", "-o", "b.dat"},
       "the census observes cycle 200 but the runs have only 100 cycles; set cycleCount to 200 or more"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "census.csv"},
       "-o census.csv is the census this command reads"},
      {{"calibrate", "census.csv", "plantation.dat", "--fit", "maleThreshold=17:20", "-o", "b.dat", "--json",
        "plantation.dat"},
       "--json plantation.dat is the settings file this command reads"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.json", "--csv",
        "./b.csv"},
       "the record beside --csv ./b.json is the file of -o too"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o",
        "plantation.dat"},
       "-o plantation.dat holds something other than run settings"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.dat",
        "--plot-size", "800x600"},
       "--plot-size needs --plot"},
      {{"calibrate", "odd.csv", "--fit", "maleThreshold=17:20", "-o", "b.dat"},
       "odd.csv line 3, column 2 (female): \"thirty\" is no percentage"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.dat",
        "--objective", "loglik"},
       "--objective loglik counts palms, and the census gives no palms column"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20"}, "needs -o BEST.dat"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.dat",
        "--objective", "least"},
       "give sse or loglik"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.dat", "--csv",
        "b.dat"},
       "--csv b.dat is the file of -o too"},
      {{"calibrate", "census.csv", "--set", "cycleCount=200", "--fit", "maleThreshold=17:20", "-o", "b.dat",
        "--plot", "fit.jpg"},
       "must end in .png or .svg"},
  };
  for (const Case& c : cases) {
    const CliResult refused = sandbox.Run(c.args);
    EXPECT_EQ(refused.status, 2) << c.message << "\n" << refused.err;
    EXPECT_THAT(refused.err, HasSubstr(c.message));
    EXPECT_EQ(Names(sandbox.Work()), before) << c.message;
  }
  // Best settings written again over an earlier best settings file: that is no loss.
  ASSERT_EQ(sandbox.Run({"set", "earlier.dat", "maleThreshold=30"}).status, 0);
  const CliResult again = sandbox.Run({"calibrate", "census.csv", "--set", "cycleCount=200", "--fit",
                                       "maleThreshold=17:18", "--palms", "50", "--seed", "1", "-o", "earlier.dat"});
  ASSERT_EQ(again.status, 0) << again.err;
  RunSettings rewritten;
  ASSERT_FALSE(LoadSettingsFile(sandbox.Work() / "earlier.dat", rewritten));
  EXPECT_TRUE(rewritten.maleThreshold == 17 || rewritten.maleThreshold == 18) << rewritten.maleThreshold;
}

TEST(Calibrate, ADryRunTellsTheCostAndWritesNothing) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  const std::vector<std::string> before = Names(sandbox.Work());
  // No -o needed: nothing is written. The grid's refused candidates are those
  // the real run reports refused.
  const CliResult planned = sandbox.Run(Fit({"--dry-run", "--csv", "e.csv", "--replicates", "2"}));
  ASSERT_EQ(planned.status, 0) << planned.err;
  EXPECT_THAT(planned.out, HasSubstr("calibrate --dry-run: nothing is run or written.\n"));
  EXPECT_THAT(planned.out, HasSubstr("Candidates: 952, 8 refused by a rule.\n"));
  EXPECT_THAT(planned.out, HasSubstr("To run: 1,888 runs of 600 palms (2 replicates per candidate), "
                                     "226,560,000 palm-cycles.\n"));
  EXPECT_THAT(planned.out, HasSubstr("Time on this machine: "));
  EXPECT_EQ(Names(sandbox.Work()), before);
  // The run itself refuses those 8.
  ASSERT_EQ(sandbox.Run(Fit({"-o", "b.dat", "--csv", "e.csv"})).status, 0);
  const std::string table = ReadFile(sandbox.Work() / "e.csv");
  std::size_t invalid = 0;
  for (std::size_t at = table.find(",invalid,"); at != std::string::npos; at = table.find(",invalid,", at + 1)) {
    ++invalid;
  }
  EXPECT_EQ(invalid, 8u);
  for (const char* made : {"b.dat", "e.csv", "e.json"}) fs::remove(sandbox.Work() / made);
  const CliResult searched = sandbox.Run(Fit({"--dry-run", "--budget", "100"}));
  ASSERT_EQ(searched.status, 0) << searched.err;
  EXPECT_THAT(searched.out, HasSubstr("Method: optimiser: the grid of 952 candidates is more than the budget of 100"));
  // A dry run checks as the real one does.
  const CliResult refused = sandbox.Run({"calibrate", "census.csv", "--fit", "maleThreshold=17:20", "--dry-run"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, HasSubstr("set cycleCount to 200 or more"));
  EXPECT_EQ(Names(sandbox.Work()), before);
}

// Two plantations, one irrigated, fitted together; the last cycles held out; the
// census's offset fitted. A census in whole percentages, as field sheets are.
TEST(Calibrate, SeveralCensusesHeldOutCyclesAndTheShift) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  ASSERT_EQ(sandbox.Run({"set", "irrigated.dat", "cycleCount=200", "palmCount=300", "maleThreshold=19",
                         "abortThreshold=25", "irrigation=1", "irrigationStart=50", "irrigationEnd=120"})
                .status,
            0);
  ASSERT_EQ(sandbox.Run({"run", "irrigated.dat", "--seed", "8", "--csv", "wet.csv", "--output", "wet.dat"}).status, 0);
  // Whole percentages with a palms column: the first census as a field sheet would give it.
  std::ifstream in(sandbox.Work() / "census.csv");
  std::string line, sheet = "cycle,female,herm,male,aborted,palms\n";
  std::getline(in, line);
  while (std::getline(in, line)) {
    double cycle = 0, female = 0, herm = 0, male = 0, aborted = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf", &cycle, &female, &herm, &male, &aborted) != 5) continue;
    if (cycle <= 10) continue;  // the records start at cycle 11, so a shift of -3 stays inside the runs
    char row[128];
    std::snprintf(row, sizeof row, "%.0f,%.0f,%.0f,%.0f,%.0f,300\n", cycle, female, herm, male, aborted);
    sheet += row;
  }
  WriteFile(sandbox.Work() / "sheet.csv", sheet);

  const CliResult fit = sandbox.Run({"calibrate", "sheet.csv", "--set", "cycleCount=200", "--census",
                                     "wet.csv=irrigated.dat", "--fit", "maleThreshold=17:21", "--fit",
                                     "abortThreshold=23:27", "--validate", "151:200", "--fit-shift=-3:3", "--palms",
                                     "600", "--seed", "1", "-o", "best.dat", "--json", "fit.json"});
  ASSERT_EQ(fit.status, 0) << fit.err;
  EXPECT_THAT(fit.out, HasSubstr("Calibrated 2 settings and the census's shift to sheet.csv and wet.csv: "));
  EXPECT_THAT(fit.out, HasSubstr("Fit to wet.csv:\n"));
  EXPECT_THAT(fit.out, HasSubstr("Held-out cycles 151 to 200 (not fitted):\n"));
  EXPECT_THAT(fit.out, HasSubstr("\nLack of fit: "));
  const nlohmann::json record = nlohmann::json::parse(ReadFile(sandbox.Work() / "fit.json"));
  EXPECT_EQ(record["best"]["maleThreshold"], 19);
  EXPECT_EQ(record["best"]["abortThreshold"], 25);
  EXPECT_EQ(record["best"]["shift"], 0);
  ASSERT_EQ(record["determined"]["shift"].size(), 2u);
  EXPECT_LE(record["determined"]["shift"][0].get<int>(), 0);
  EXPECT_GE(record["determined"]["shift"][1].get<int>(), 0);
  ASSERT_EQ(record["censuses"].size(), 2u);
  EXPECT_EQ(record["censuses"][1]["file"], "wet.csv");
  EXPECT_GT(record["censuses"][1]["fit"]["rmse"].get<double>(), 0.0);
  EXPECT_EQ(record["validation"]["fromCycle"], 151);
  EXPECT_EQ(record["validation"]["cells"], 2 * 50 * 4);
  EXPECT_TRUE(record["validation"]["rmse"].is_number());
  EXPECT_TRUE(record["validation"]["nse"].is_number());
  EXPECT_TRUE(record["validation"]["bias"].is_number());
  EXPECT_TRUE(record["validation"]["series"]["female"]["rmse"].is_number());
  EXPECT_TRUE(record["lackOfFit"]["judged"].is_boolean());
  EXPECT_EQ(record["census"]["cells"], 190 * 4);
  // The best settings keep the base's cycles; the runs were lengthened for the shift.
  RunSettings best;
  ASSERT_FALSE(LoadSettingsFile(sandbox.Work() / "best.dat", best));
  EXPECT_EQ(best.cycleCount, 200);

  // "-20:10" is the shift's value, not an option; a shift before the model's first cycle is refused.
  const CliResult early = sandbox.Run({"calibrate", "sheet.csv", "--set", "cycleCount=200", "--fit",
                                       "maleThreshold=17:21", "--fit-shift", "-20:10", "-o", "early.dat"});
  EXPECT_EQ(early.status, 2);
  EXPECT_THAT(early.err, HasSubstr("--fit-shift -20:10 would put census cycle 11 at model cycle -9, before the "
                                   "model's first cycle; give a LOW of at least -10"));
  EXPECT_FALSE(fs::exists(sandbox.Work() / "early.dat"));
}

#ifndef _WIN32
// A calibration that takes minutes unless it is stopped: Ctrl+C ends it with
// status 130 and writes nothing. The signal is sent once the program catches it
// (the seam), never after a guessed delay.
TEST(Calibrate, CtrlCStopsItAndNothingIsWritten) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(Plantation).status, 0);
  const std::vector<std::string> before = Names(sandbox.Work());
  const std::string program = std::string(VARNOLT_BIN_DIR) + "/varnolt-cli";
  // Seven candidates of a hundred runs of 3,000 cycles x 10 million palms each.
  std::vector<std::string> args = {program,  "calibrate",     "census.csv", "--set",      "cycleCount=3000",
                                   "--fit",  "maleThreshold=16:22", "--palms", "10000000", "--replicates",
                                   "100",    "--threads",     "1",          "--seed",     "1",
                                   "-o",     "best.dat",      "--csv",      "e.csv",      "--json",
                                   "e.json"};
  const std::string errPath = (sandbox.Work() / "../stderr").string();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(sandbox.Work().c_str()) != 0) _exit(126);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nullFd = open("/dev/null", O_WRONLY);
    dup2(nullFd, 1);
    dup2(errFd, 2);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  bool catches = false;
  for (int tries = 0; tries < 3000 && !catches; ++tries) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigCgt:", 0) == 0) catches = (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    }
    if (!catches) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(catches);
  kill(pid, SIGINT);
  int wait = 0;
  int status = -1;
  for (int tries = 0; tries < 12000; ++tries) {
    if (waitpid(pid, &wait, WNOHANG) == pid) {
      status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 1000 + WTERMSIG(wait);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (status == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(status, 130);
  EXPECT_THAT(ReadFile(errPath), HasSubstr("nothing was written"));
  EXPECT_EQ(Names(sandbox.Work()), before);
}

#endif  // Ctrl+C needs POSIX signals; the stop itself is tested in the calibration library

}  // namespace

}  // namespace varnolt
