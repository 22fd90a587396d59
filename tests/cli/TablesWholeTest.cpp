// Tables stay whole under every fault: a table and its record are one unit on
// disk, whatever stops the runner between them; rows are checked cell by cell
// on --resume as on --from-points; parts are read as CSV records; and the
// smaller faults (links, folders, endless inputs, standard output twice,
// FIFOs, closed pipes, dry runs, tiny memory) end with a message and a status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/cli/CliTestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Two designs whose rows have the same points, cells and seeds and differ only
// in their base settings: nothing in a row tells them apart.
const std::vector<std::string> DesignA = {"sweep", "--set", "cycleCount=120", "--set", "palmCount=20", "--vary",
                                          "randomPercent=0:40:10", "--replicates", "2", "--seed", "5"};
const std::vector<std::string> DesignB = {"sweep", "--set", "cycleCount=120", "--set", "palmCount=21", "--vary",
                                          "randomPercent=0:40:10", "--replicates", "2", "--seed", "5"};

class TablesWhole : public ::testing::Test {
 protected:
  CliSandbox cli;
  fs::path At(const std::string& name) const { return cli.Work() / name; }
  // Every entry of the work folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(cli.Work())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// ------------------------------------------------------------------ the table and its record

#ifndef _WIN32
// strace stops the runner with SIGKILL at its Nth rename: between the table and
// its record, wherever the runner puts them in place.
bool HaveStrace() { return std::system("strace -V >/dev/null 2>&1") == 0; }

std::string KilledAtRename(int when) {
  return "strace -f -qq -o /dev/null -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:signal=SIGKILL:when=" +
         std::to_string(when) + " ";
}

TEST_F(TablesWhole, AKillBetweenATableAndItsRecordNeverPairsThemWrongly) {
  if (!HaveStrace()) GTEST_SKIP() << "strace is needed to kill the runner between two renames";
  CliSandbox reference;
  ASSERT_EQ(reference.Run(With(DesignA, {"--csv", "a.csv"})).status, 0);
  ASSERT_EQ(reference.Run(With(DesignB, {"--csv", "b.csv"})).status, 0);
  const std::string wholeA = ReadFile(reference.Work() / "a.csv");
  const std::string wholeB = ReadFile(reference.Work() / "b.csv");
  ASSERT_NE(wholeA, wholeB);

  for (int when = 1; when <= 3; ++when) {
    SCOPED_TRACE("killed at rename " + std::to_string(when));
    // Design A's table is complete with its record; design B writes over it and
    // is killed at a rename.
    ASSERT_EQ(cli.Run(With(DesignA, {"--csv", "t.csv"})).status, 0);
    cli.Run(With(DesignB, {"--csv", "t.csv"}), "", KilledAtRename(when));
    const std::string left = ReadFile(At("t.csv"));
    // Whichever design resumes, it is either its own table finished, or refused
    // with the file untouched: never the other design's rows taken as its own.
    for (const auto& [design, whole] : {std::pair{DesignA, wholeA}, std::pair{DesignB, wholeB}}) {
      const std::string before = ReadFile(At("t.csv"));
      const CliResult resumed = cli.Run(With(design, {"--resume", "--csv", "t.csv"}));
      if (resumed.status == 0) {
        EXPECT_EQ(ReadFile(At("t.csv")), whole) << design[4] << ": " << resumed.err << resumed.out;
      } else {
        EXPECT_EQ(resumed.status, 2) << design[4] << ": " << resumed.err;
        EXPECT_EQ(ReadFile(At("t.csv")), before) << design[4];
      }
    }
    // A complete table is never left without a record that lets it be resumed:
    // design A's own table (kept when B was killed early) resumes.
    if (left == wholeA) {
      ASSERT_EQ(cli.Run(With(DesignA, {"--csv", "t.csv"})).status, 0);
    }
    for (const std::string& name : Entries()) {
      if (name != "t.csv" && name != "t.json") fs::remove_all(At(name));  // a killed runner's temporary files
    }
  }
}
#endif

TEST_F(TablesWhole, TheTableIsAPlainCsvWhoseBytesDependOnTheDesignOnly) {
  ASSERT_EQ(cli.Run(With(DesignA, {"--csv", "one.csv"})).status, 0);
  ASSERT_EQ(cli.Run(With(DesignA, {"--threads", "1", "--csv", "two.csv"})).status, 0);
  EXPECT_EQ(ReadFile(At("one.csv")), ReadFile(At("two.csv")));
  EXPECT_THAT(ReadFile(At("one.csv")), Not(HasSubstr("#")));
  // The record says which table it describes.
  EXPECT_THAT(ReadFile(At("one.json")), HasSubstr("\"table\""));
  // A table changed after its record was written is not resumed as the design's.
  std::string changed = ReadFile(At("one.csv"));
  changed.replace(changed.rfind("ok,") + 3, 1, changed[changed.rfind("ok,") + 3] == '1' ? "2" : "1");
  WriteFile(At("one.csv"), changed);
  const CliResult resumed = cli.Run(With(DesignA, {"--resume", "--csv", "one.csv"}));
  EXPECT_EQ(resumed.status, 2) << resumed.err;
  EXPECT_EQ(ReadFile(At("one.csv")), changed);
}

// ------------------------------------------------------------------ rows on resume

TEST_F(TablesWhole, ResumeChecksEveryCellOfARowAsFromPointsDoes) {
  ASSERT_EQ(cli.Run(With(DesignA, {"--csv", "whole.csv"})).status, 0);
  const std::vector<std::string> lines = Lines(ReadFile(At("whole.csv")));
  struct Damage {
    std::string what, from, to;
  };
  // Row 3 of the table (line 4): its status, then a number.
  for (const Damage& damage : {Damage{"status", ",ok,", ",bogus,"}, Damage{"number", ",ok,", ",ok,abc"}}) {
    SCOPED_TRACE(damage.what);
    std::vector<std::string> edited = lines;
    std::string& row = edited[3];
    const std::size_t at = row.find(damage.from);
    ASSERT_NE(at, std::string::npos);
    if (damage.what == "number") {
      const std::size_t end = row.find(',', at + damage.from.size());
      row.replace(at, end - at, damage.to);
    } else {
      row.replace(at, damage.from.size(), damage.to);
    }
    // Stopped after that row: the table and the record of a stopped run.
    edited.resize(5);
    WriteFile(At("t.csv"), Joined(edited));
    fs::remove(At("t.json"));  // a copy over a file fails on Windows' file system layer
    fs::copy_file(At("whole.json"), At("t.json"));
    const CliResult resumed = cli.Run(With(DesignA, {"--resume", "--csv", "t.csv"}));
    EXPECT_EQ(resumed.status, 2) << resumed.err;
    EXPECT_THAT(resumed.err, HasSubstr("t.csv line 4"));
    EXPECT_EQ(ReadFile(At("t.csv")), Joined(edited));
  }
}

TEST_F(TablesWhole, SensitivityResumeRefusesDamagedNumbersRatherThanChangingTheIndices) {
  const std::vector<std::string> morris = {"sensitivity", "--method", "morris", "--factor", "randomPercent=0:60",
                                           "--factor", "femaleThreshold=5:15", "--trajectories", "3", "--set",
                                           "cycleCount=150", "--set", "palmCount=20", "--seed", "2"};
  ASSERT_EQ(cli.Run(With(morris, {"--points", "p.csv", "--csv", "i.csv"})).status, 0);
  std::vector<std::string> lines = Lines(ReadFile(At("p.csv")));
  std::string& row = lines[2];
  const std::size_t at = row.find(",ok,") + 4;
  row.replace(at, row.find(',', at) - at, "9999x");
  WriteFile(At("p.csv"), Joined(lines));
  const CliResult resumed = cli.Run(With(morris, {"--points", "p.csv", "--resume", "--csv", "i2.csv"}));
  EXPECT_EQ(resumed.status, 2) << resumed.err;
  EXPECT_FALSE(fs::exists(At("i2.csv")));
  // --from-points refuses the same table.
  const CliResult computed = cli.Run(With(morris, {"--from-points", "p.csv", "--csv", "i3.csv"}));
  EXPECT_NE(computed.status, 0);
}

TEST_F(TablesWhole, ALastRowCutInsideAQuotedCellRunsAgain) {
  WriteFile(At("design.csv"), "randomPercent,runNotes\n0,\"first, with a comma\"\n10,\"second, \"\"quoted\"\"\"\n"
                              "20,\"third,\nover two lines\"\n");
  const std::vector<std::string> batch = {"batch", "design.csv", "--set", "cycleCount=100", "--set", "palmCount=10",
                                          "--seed", "4"};
  ASSERT_EQ(cli.Run(With(batch, {"--csv", "whole.csv"})).status, 0);
  const std::string whole = ReadFile(At("whole.csv"));
  // Cut inside each quoted cell of the last rows, and just after its opening quote.
  for (const std::string& inside : {std::string("third,\n"), std::string("\"third"), std::string("second, \"\"q")}) {
    SCOPED_TRACE(inside);
    const std::size_t cut = whole.rfind(inside) + inside.size();
    WriteFile(At("t.csv"), whole.substr(0, cut));
    fs::remove(At("t.json"));  // a copy over a file fails on Windows' file system layer
    fs::copy_file(At("whole.json"), At("t.json"));
    const CliResult resumed = cli.Run(With(batch, {"--resume", "--csv", "t.csv"}));
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(ReadFile(At("t.csv")), whole);
  }
}

// ------------------------------------------------------------------ merge

TEST_F(TablesWhole, PartsWithCellsOverSeveralLinesMerge) {
  WriteFile(At("design.csv"), "randomPercent,runNotes\n0,\"one\nline two\"\n10,plain\n20,\"three,\n\nfour\"\n"
                              "30,\"five\"\n");
  const std::vector<std::string> batch = {"batch", "design.csv", "--set", "cycleCount=80", "--set", "palmCount=10",
                                          "--seed", "9", "--replicates", "2"};
  ASSERT_EQ(cli.Run(With(batch, {"--csv", "whole.csv"})).status, 0);
  for (int k = 1; k <= 3; ++k) {
    const std::string part = "p" + std::to_string(k) + ".csv";
    ASSERT_EQ(cli.Run(With(batch, {"--shard", std::to_string(k) + "/3", "--csv", part})).status, 0);
  }
  const CliResult merged = cli.Run({"merge", "p1.csv", "p2.csv", "p3.csv", "-o", "all.csv"});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(ReadFile(At("all.csv")), ReadFile(At("whole.csv")));
}

TEST_F(TablesWhole, MergeWritesARecordLikeTheOtherCommands) {
  const std::vector<std::string> sweep = {"sweep", "--set", "cycleCount=60", "--set", "palmCount=10", "--vary",
                                          "randomPercent=0:30:10", "--seed", "1"};
  ASSERT_EQ(cli.Run(With(sweep, {"--shard", "1/2", "--csv", "p1.csv"})).status, 0);
  ASSERT_EQ(cli.Run(With(sweep, {"--shard", "2/2", "--csv", "p2.csv"})).status, 0);
  ASSERT_EQ(cli.Run({"merge", "p1.csv", "p2.csv", "-o", "all.csv"}).status, 0);
  const std::string record = ReadFile(At("all.json"));
  for (const char* key : {"\"version\"", "\"commandLine\"", "\"command\": \"merge\"", "\"stamp\"", "\"parts\"",
                          "\"table\"", "\"complete\": true"}) {
    EXPECT_THAT(record, HasSubstr(key));
  }
  // The merged table, with its record, is the design's whole table: resumable.
  const CliResult resumed = cli.Run(With(sweep, {"--resume", "--csv", "all.csv"}));
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_THAT(resumed.out, HasSubstr("0 runs, 4 more taken from the table"));
}

#ifndef _WIN32
TEST_F(TablesWhole, EndlessOrHugePartsEndWithAMessage) {
  // Memory is bounded, so a merge that grew without bound would fail here
  // rather than fill the machine.
  const std::string bounded = "ulimit -v 250000; ";
  const CliResult zero = cli.Run({"merge", "/dev/zero", "-o", "all.csv"}, bounded);
  EXPECT_THAT(zero.status, ::testing::AnyOf(1, 2)) << zero.err;
  EXPECT_THAT(zero.err, HasSubstr("/dev/zero"));

  WriteFile(At("huge.csv"), "# varnolt-cli shard 1/2147483647 design 0123456789abcdef runs 4 replicates 1\n"
                            "point,randomPercent,replicate,seed,status,meanFemale,message\n"
                            "# varnolt-cli shard 1/2147483647 complete, 0 rows\n");
  const CliResult huge = cli.Run({"merge", "huge.csv", "-o", "all.csv"}, bounded);
  EXPECT_THAT(huge.status, ::testing::AnyOf(1, 2)) << huge.err.substr(0, 500);
  EXPECT_THAT(huge.err, HasSubstr("shards missing"));
  EXPECT_LT(huge.err.size(), 1000u);
  EXPECT_FALSE(fs::exists(At("all.csv")));
}
#endif

// ------------------------------------------------------------------ outputs

#ifndef _WIN32
TEST_F(TablesWhole, ADanglingLinkIsTheFileItNames) {
  fs::create_symlink("t.csv", At("l.csv"));
  const CliResult result = cli.Run({"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:20:10", "--seed",
                                    "1", "--csv", "l.csv", "--cycles", "t.csv"});
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_THAT(result.err, HasSubstr("is the file of --csv too"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"l.csv"});
}
#endif

TEST_F(TablesWhole, TwoOutputsCannotBothGoToStandardOutput) {
#ifndef _WIN32
  const std::vector<std::vector<std::string>> cases = {
      {"sweep", "--vary", "randomPercent=0:20:10", "--seed", "1", "--csv", "/dev/fd/1", "--cycles", "/dev/stdout"},
      {"run", "--seed", "1", "--set", "cycleCount=40", "--output", "r.dat", "--csv", "-", "--json", "/dev/stdout"},
      {"sweep", "--vary", "randomPercent=0:20:10", "--seed", "1", "--csv", "-", "--cycles", "/proc/self/fd/1"},
  };
  for (const std::vector<std::string>& args : cases) {
    SCOPED_TRACE(args[args.size() - 1]);
    const CliResult result = cli.Run(args);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_THAT(result.err, HasSubstr("standard output"));
    EXPECT_EQ(result.out, "");
  }
  EXPECT_TRUE(Entries().empty());
#endif
}

TEST_F(TablesWhole, ARecordThatIsAFolderIsRefusedWithAMessage) {
  const std::vector<std::string> sweep = {"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:20:10",
                                          "--seed", "1"};
  ASSERT_EQ(cli.Run(With(sweep, {"--csv", "t.csv"})).status, 0);
  const std::string table = ReadFile(At("t.csv"));
  fs::remove(At("t.json"));
  fs::create_directory(At("t.json"));
  const CliResult resumed = cli.Run(With(sweep, {"--resume", "--csv", "t.csv"}));
  EXPECT_THAT(resumed.status, ::testing::AnyOf(1, 2)) << resumed.err;
  EXPECT_THAT(resumed.err, HasSubstr("t.json"));
  EXPECT_EQ(ReadFile(At("t.csv")), table);
  const CliResult fresh = cli.Run(With(sweep, {"--csv", "t.csv"}));
  EXPECT_THAT(fresh.status, ::testing::AnyOf(1, 2)) << fresh.err;
  EXPECT_THAT(fresh.err, HasSubstr("t.json"));
  EXPECT_EQ(ReadFile(At("t.csv")), table);
}

#ifndef _WIN32
TEST_F(TablesWhole, ResumeOfAFifoIsRefusedWithoutOpeningIt) {
  ASSERT_EQ(mkfifo(At("t.csv").c_str(), 0600), 0);
  // The guard ends a runner that would block in open() for ever.
  const CliResult result = cli.Run({"sweep", "--vary", "randomPercent=0:20:10", "--seed", "1", "--resume", "--csv",
                                    "t.csv"},
                                   "", "timeout -s KILL 60 ");
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_THAT(result.err, HasSubstr("t.csv"));
}

// Runs the runner with its standard output a pipe whose reader has gone.
CliResult RunIntoClosedPipe(const fs::path& work, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  close(fds[0]);
  const fs::path err = work / "../closed-err";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(work.c_str()) != 0) _exit(126);
    dup2(fds[1], 1);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errFd, 2);
    std::vector<std::string> argv = args;
    const std::string program = std::string(VARNOLT_BIN_DIR) + "/varnolt-cli";
    argv.insert(argv.begin(), program);
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    execv(program.c_str(), pointers.data());
    _exit(127);
  }
  close(fds[1]);
  int wait = 0;
  waitpid(pid, &wait, 0);
  CliResult result;
  result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
  result.err = ReadFile(err);
  return result;
}

TEST_F(TablesWhole, AClosedStandardOutputIsToldAndLeavesNoTemporaryFile) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:40:10", "--seed", "1",
                                 "--csv", "t.csv", "--cycles", "-"},
        std::vector<std::string>{"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:40:10", "--seed", "1",
                                 "--csv", "-", "--cycles", "c.csv"}}) {
    SCOPED_TRACE(args.back());
    const CliResult result = RunIntoClosedPipe(cli.Work(), args);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr("cannot write to standard output"));
    EXPECT_TRUE(Entries().empty()) << Entries().front();
  }
}

TEST_F(TablesWhole, ADryRunStopsOnASignal) {
  // A million runs: planned point by point, the signal comes at the first.
  const CliResult stopped = cli.Run({"sweep", "--vary", "randomPercent=0:999", "--vary", "femaleThreshold=0:999",
                                     "--seed", "1", "--dry-run", "--csv", "t.csv"},
                                    "VARNOLT_TEST_INTERRUPT=planning:15 ");
  EXPECT_EQ(stopped.status, 143) << stopped.err << stopped.out;
  EXPECT_TRUE(Entries().empty());
}

TEST_F(TablesWhole, TooLittleMemoryForThreadsIsAMessageNotAnAbort) {
  // Address space for the program and its data but not for its threads' stacks:
  // some of these limits fail a thread as it starts. Below some limit the
  // system cannot even load the program, which is no concern of the runner's.
  for (int limit : {20000, 25000, 30000, 35000, 45000}) {
    SCOPED_TRACE(limit);
    fs::remove(At("t.csv"));
    fs::remove(At("t.json"));
    const CliResult result = cli.Run({"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:40:10",
                                      "--seed", "1", "--threads", "2", "--csv", "t.csv"},
                                     "ulimit -v " + std::to_string(limit) + "; ");
    if (result.status == 127 && result.err.find("error while loading shared libraries") != std::string::npos) continue;
    EXPECT_THAT(result.status, ::testing::AnyOf(0, 1)) << result.err;
    if (result.status != 0) {
      EXPECT_THAT(result.err, HasSubstr("varnolt-cli: ")) << result.err;
      EXPECT_FALSE(fs::exists(At("t.csv")));
    }
  }
}
#endif

}  // namespace
}  // namespace varnolt
