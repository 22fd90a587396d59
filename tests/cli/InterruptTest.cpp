// The runner stopped by a signal in the middle of a long run, and its progress
// line on a terminal (a pseudo-terminal here) but never in a file or pipe.
#include <gtest/gtest.h>

#ifdef _WIN32
// Windows has no signals to send another process, nor pseudo-terminals; its
// console events are checked where the runner catches them.
TEST(Interrupt, SignalsAndTerminalsArePosixOnly) {
  GTEST_SKIP() << "sending SIGINT/SIGTERM/SIGHUP and a pseudo-terminal need POSIX";
}
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// A run that takes minutes unless it is stopped.
const std::vector<std::string> LongRun = {"run", "--seed", "1", "--set", "cycleCount=3000", "--set",
                                          "palmCount=60000000", "--threads", "1", "--output", "report.dat"};

class Runner {
 public:
  // Starts varnolt-cli in `folder`, standard output to a file, standard error to `errFd`.
  Runner(const fs::path& folder, std::vector<std::string> args, int errFd, const char* interrupt = nullptr) {
    const std::string program = std::string(VARNOLT_BIN_DIR) + "/varnolt-cli";
    args.insert(args.begin(), program);
    const std::string out = (folder / "../stdout").string();
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder.c_str()) != 0) _exit(126);
      if (interrupt != nullptr) setenv("VARNOLT_TEST_INTERRUPT", interrupt, 1);
      const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(outFd, 1);
      dup2(errFd, 2);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Runner() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Waits until the program catches `signal`: sending it earlier would kill it.
  bool Catches(int signal) {
    for (int tries = 0; tries < 1000; ++tries) {
      std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
      std::string line;
      while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1)) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void Send(int signal) { kill(pid_, signal); }
  // The exit status, or -1 when it did not end within a minute.
  int Status() {
    for (int tries = 0; tries < 6000; ++tries) {
      int wait = 0;
      if (waitpid(pid_, &wait, WNOHANG) == pid_) {
        waited_ = true;
        return WIFEXITED(wait) ? WEXITSTATUS(wait) : 1000 + WTERMSIG(wait);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
};

struct Stopped {
  int status;
  std::string err;
};

// A long run with standard error to a file, stopped by `signal` that the
// runner sends itself once the run has started (its test seam), so the stop
// never depends on how fast this machine runs.
Stopped StopRunning(const CliSandbox& sandbox, int signal) {
  const fs::path errPath = sandbox.Work() / "../stderr";
  const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string interrupt = "running:" + std::to_string(signal);
  Runner runner(sandbox.Work(), LongRun, errFd, interrupt.c_str());
  close(errFd);
  const int status = runner.Status();
  return {status, ReadFile(errPath)};
}

// Reads what is there on a terminal's master side, waiting up to `ms` for more.
std::string ReadSome(int fd, int ms) {
  std::string text;
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, ms) > 0) {
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    ms = 50;
  }
  return text;
}

TEST(Interrupt, EachSignalStopsTheRunLeavesTheOldReportAndNoTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    CliSandbox sandbox;
    WriteFile(sandbox.Work() / "report.dat", "an earlier report");
    const Stopped stopped = StopRunning(sandbox, signal);
    EXPECT_EQ(stopped.status, 128 + signal);
    EXPECT_THAT(stopped.err, HasSubstr("Interrupted; nothing was written.\n"));
    EXPECT_EQ(ReadFile(sandbox.Work() / "report.dat"), "an earlier report");
    EXPECT_EQ(sandbox.WorkEntries(), 1u) << "no temporary file is left beside the report";
  }
}

TEST(Interrupt, AProgressLineOnATerminalAndNeverInAFile) {
  CliSandbox sandbox;
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  {
    Runner runner(sandbox.Work(), LongRun, slave);
    ASSERT_TRUE(runner.Catches(SIGINT));
    std::string seen;
    for (int tries = 0; tries < 300 && seen.find(" left") == std::string::npos; ++tries) seen += ReadSome(master, 100);
    runner.Send(SIGINT);
    const int status = runner.Status();
    seen += ReadSome(master, 200);
    EXPECT_EQ(status, 130);
    EXPECT_THAT(seen, HasSubstr("% ["));
    EXPECT_THAT(seen, HasSubstr(" of 60,000,000 palms, 0:0"));
    EXPECT_THAT(seen, HasSubstr(" elapsed, "));
    // Cleared before the last words: a carriage return, blanks, a carriage return.
    const std::size_t interrupted = seen.find("Interrupted; nothing was written.");
    ASSERT_NE(interrupted, std::string::npos);
    const std::size_t cleared = seen.rfind("\r", interrupted);
    ASSERT_NE(cleared, std::string::npos);
    EXPECT_EQ(seen.find_first_not_of(' ', seen.rfind("\r", cleared - 1) + 1), cleared);
  }
  {
    Runner quiet(sandbox.Work(), [] {
      std::vector<std::string> args = LongRun;
      args.push_back("--quiet");
      return args;
    }(), slave);
    ASSERT_TRUE(quiet.Catches(SIGINT));
    const std::string seen = ReadSome(master, 1800);
    quiet.Send(SIGINT);
    EXPECT_EQ(quiet.Status(), 130);
    EXPECT_THAT(seen + ReadSome(master, 200), Not(HasSubstr("elapsed")));
  }
  close(slave);
  close(master);

  const Stopped toFile = StopRunning(sandbox, SIGINT);
  EXPECT_EQ(toFile.status, 130);
  EXPECT_EQ(toFile.err, "Interrupted; nothing was written.\n");
}

// --quiet is the same for every command that draws a progress line: sweep, batch
// and sensitivity draw their "Runs ... done" line on a terminal, and none with it.
TEST(Interrupt, QuietDrawsNoProgressLineForEveryExperiment) {
  CliSandbox sandbox;
  WriteFile(sandbox.Work() / "design.csv", "palmCount,seed\n60000000,1\n");
  const std::vector<std::string> slow = {"--set", "cycleCount=3000", "--set", "palmCount=60000000", "--threads", "1"};
  const std::vector<std::vector<std::string>> commands = {
      {"sweep", "--vary", "randomPercent=0:1", "--seed", "1", "--csv", "sweep.csv"},
      {"batch", "design.csv", "--csv", "batch.csv"},
      {"sensitivity", "--method", "morris", "--trajectories", "2", "--factor", "randomPercent=0:50", "--seed", "1",
       "--csv", "morris.csv"},
  };
  for (const auto& command : commands) {
    for (const bool quiet : {false, true}) {
      SCOPED_TRACE(command[0] + (quiet ? " --quiet" : ""));
      std::vector<std::string> args = command;
      args.insert(args.end(), slow.begin(), slow.end());
      if (quiet) args.push_back("--quiet");
      int master = -1, slave = -1;
      ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
      {
        Runner runner(sandbox.Work(), args, slave);
        ASSERT_TRUE(runner.Catches(SIGINT));
        std::string seen;
        if (quiet) {
          // The line would be drawn after a second; nearly two show none.
          seen = ReadSome(master, 1800);
        } else {
          for (int tries = 0; tries < 300 && seen.find(" done") == std::string::npos; ++tries) {
            seen += ReadSome(master, 100);
          }
        }
        runner.Send(SIGINT);
        EXPECT_EQ(runner.Status(), 130);
        seen += ReadSome(master, 200);
        if (quiet) {
          EXPECT_THAT(seen, Not(HasSubstr("Runs ")));
        } else {
          EXPECT_THAT(seen, HasSubstr("Runs 0 of "));
        }
      }
      close(slave);
      close(master);
    }
  }
}

// A batch of ten quick runs and one that would take hours, stopped by `signal`
// once its progress line (on a pseudo-terminal) says the ten are done: the stop
// never depends on how fast the machine runs them. Answers the exit status and
// what the terminal showed.
Stopped StopBatchAfterTenRuns(const CliSandbox& sandbox, const std::vector<std::string>& extra, int signal) {
  std::vector<std::string> args = {"batch", "design.csv", "--set", "cycleCount=300", "--threads", "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-3, ""};
  Stopped stopped{-2, ""};
  {
    Runner runner(sandbox.Work(), args, slave);
    if (runner.Catches(signal)) {
      // Two minutes for ten runs of 300 palms is a failure, never a slow machine.
      for (int tries = 0; tries < 1200 && stopped.err.find("Runs 10 of 11 done") == std::string::npos; ++tries) {
        stopped.err += ReadSome(master, 100);
      }
      runner.Send(signal);
      stopped.status = runner.Status();
      stopped.err += ReadSome(master, 200);
    }
  }
  close(slave);
  close(master);
  return stopped;
}

TEST(StopAndResume, AStopWritesNothingAndAResumedBatchEqualsAnUnbrokenOne) {
  CliSandbox sandbox;
  std::string design = "palmCount,seed\n";
  for (int seed = 1; seed <= 10; ++seed) design += "300," + std::to_string(seed) + "\n";
  WriteFile(sandbox.Work() / "design.csv", design + "2000000000,11\n");

  const Stopped stopped = StopBatchAfterTenRuns(sandbox, {"--csv", "stopped.csv"}, SIGINT);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_FALSE(fs::exists(sandbox.Work() / "stopped.csv"));
  EXPECT_THAT(stopped.err, HasSubstr("Stopped after 10 of 11 runs. Nothing was written."));
  // A closed terminal stops it just as cleanly.
  const Stopped hung = StopBatchAfterTenRuns(sandbox, {"--csv", "hung.csv"}, SIGHUP);
  EXPECT_EQ(hung.status, 129);
  EXPECT_FALSE(fs::exists(sandbox.Work() / "hung.csv"));
  EXPECT_THAT(hung.err, HasSubstr("Stopped after 10 of 11 runs."));

  const Stopped resumable = StopBatchAfterTenRuns(sandbox, {"--csv", "resumed.csv", "--resume"}, SIGINT);
  EXPECT_EQ(resumable.status, 130);
  EXPECT_THAT(resumable.err, HasSubstr("Their rows are in resumed.csv"));
  const std::string table = ReadFile(sandbox.Work() / "resumed.csv");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 11) << "the header and the ten rows done";

  // Resuming holds the table to its design: with the last run changed, the
  // stopped table is refused and kept as it was.
  WriteFile(sandbox.Work() / "design.csv", design + "500,11\n");
  const std::vector<std::string> batch = {"batch", "design.csv", "--set", "cycleCount=300", "--threads", "1"};
  auto with = [&batch](std::vector<std::string> more) {
    more.insert(more.begin(), batch.begin(), batch.end());
    return more;
  };
  const CliResult changed = sandbox.Run(with({"--csv", "resumed.csv", "--resume"}));
  EXPECT_EQ(changed.status, 2);
  EXPECT_THAT(changed.err, HasSubstr("resumed.csv was made by another design"));
  EXPECT_EQ(ReadFile(sandbox.Work() / "resumed.csv"), table);

  // The ten rows the stop left are those an unbroken run of the small design
  // writes: under that design's record, resuming runs only the last and gives
  // the unbroken table.
  ASSERT_EQ(sandbox.Run(with({"--csv", "whole.csv"})).status, 0);
  WriteFile(sandbox.Work() / "resumed.json", ReadFile(sandbox.Work() / "whole.json"));
  const CliResult resumed = sandbox.Run(with({"--csv", "resumed.csv", "--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_THAT(resumed.out, HasSubstr("batch: 1 run, 10 more taken from the table"));
  EXPECT_EQ(ReadFile(sandbox.Work() / "resumed.csv"), ReadFile(sandbox.Work() / "whole.csv"));

  // A table of another command is not continued.
  const CliResult other = sandbox.Run({"sweep", "--vary", "cycleCount=1:2", "--seed", "2", "--csv", "resumed.csv",
                                       "--resume"});
  EXPECT_EQ(other.status, 2);
  EXPECT_THAT(other.err, HasSubstr("resumed.csv was made by another design"));
}

// A signal that lands at the very end of the work: the program sends it to
// itself where the test names (VARNOLT_TEST_INTERRUPT), so no timing decides
// where it lands.
std::string At(const std::string& place, int signal) {
  return "VARNOLT_TEST_INTERRUPT=" + place + ":" + std::to_string(signal) + " ";
}

TEST(SignalsToTheEnd, DuringTheAnalysisAfterTheReportNothingMoreIsWritten) {
  CliSandbox reference;
  const std::vector<std::string> run = {"run", "--seed", "3", "--set", "cycleCount=400", "--output", "r.dat",
                                        "--csv", "r.csv"};
  ASSERT_EQ(reference.Run(run).status, 0);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    CliSandbox sandbox;
    const CliResult stopped = sandbox.Run(run, At("analysis", signal));
    EXPECT_EQ(stopped.status, 128 + signal);
    EXPECT_THAT(stopped.err, HasSubstr("Interrupted after the report was written to r.dat; nothing more was written."));
    EXPECT_EQ(ReadFile(sandbox.Work() / "r.dat"), ReadFile(reference.Work() / "r.dat")) << "the report is whole";
    EXPECT_EQ(sandbox.WorkEntries(), 1u) << "no CSV, record or temporary file";
  }
  // Between the files after the report: those done stay whole, the rest are not begun.
  CliSandbox between;
  const CliResult stopped = between.Run(run, At("record", SIGTERM));
  EXPECT_EQ(stopped.status, 143);
  EXPECT_EQ(ReadFile(between.Work() / "r.csv"), ReadFile(reference.Work() / "r.csv"));
  EXPECT_FALSE(fs::exists(between.Work() / "r.json"));
  EXPECT_EQ(between.WorkEntries(), 2u);
}

TEST(SignalsToTheEnd, DuringTheFinalWriteOfATableNothingIsHalfWritten) {
  CliSandbox sandbox;
  const fs::path work = sandbox.Work();
  WriteFile(work / "design.csv", "randomPercent\n0\n10\n20\n");
  WriteFile(work / "earlier.csv", "an earlier table\n");
  const std::vector<std::vector<std::string>> commands = {
      {"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:20:10", "--seed", "1", "--csv", "earlier.csv",
       "--cycles", "cycles.csv"},
      {"batch", "design.csv", "--set", "cycleCount=60", "--seed", "1", "--csv", "earlier.csv"},
      {"sensitivity", "--method", "morris", "--factor", "randomPercent=0:40", "--trajectories", "2", "--set",
       "cycleCount=60", "--seed", "1", "--csv", "earlier.csv", "--points", "points.csv"}};
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    const CliResult stopped = sandbox.Run(command, At("final-write", SIGTERM));
    EXPECT_EQ(stopped.status, 143) << stopped.err;
    EXPECT_EQ(ReadFile(work / "earlier.csv"), "an earlier table\n");
    EXPECT_EQ(sandbox.WorkEntries(), 2u) << "no table, record or temporary file beside the design and the old table";
  }

  // merge: the parts stay, no merged table.
  for (const char* shard : {"1/2", "2/2"}) {
    ASSERT_EQ(sandbox.Run({"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:30:10", "--seed", "1",
                           "--shard", shard, "--csv", std::string("part") + shard[0] + ".csv"})
                  .status,
              0);
  }
  const std::size_t before = sandbox.WorkEntries();
  const CliResult merged = sandbox.Run({"merge", "part1.csv", "part2.csv", "-o", "all.csv"}, At("final-write", SIGINT));
  EXPECT_EQ(merged.status, 130);
  EXPECT_THAT(merged.err, HasSubstr("Interrupted; nothing was merged."));
  EXPECT_EQ(sandbox.WorkEntries(), before);

  // A table being resumed keeps its rows, all of them here, with its record.
  const std::vector<std::string> resumable = {"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:20:10",
                                              "--seed", "1", "--csv", "resumed.csv", "--resume"};
  const CliResult kept = sandbox.Run(resumable, At("final-write", SIGINT));
  EXPECT_EQ(kept.status, 130);
  EXPECT_THAT(kept.err, HasSubstr("Their rows are in resumed.csv."));
  const std::string whole = ReadFile(work / "resumed.csv");
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 4);
  EXPECT_THAT(ReadFile(work / "resumed.json"), HasSubstr("\"complete\": true"));
}

}  // namespace

}  // namespace varnolt
#endif
