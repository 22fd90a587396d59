// Pipes as file names: outputs to /dev/stdout, /dev/fd/N and a shell's process
// substitution are written through (a pipe cannot be replaced by a renamed
// file, and its link names no path); inputs from pipes, FIFOs, /dev/stdin and
// process substitution are read as they come, once, up to 256 MiB.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>

#include "tests/cli/CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

struct ShellResult {
  int status = -1;
  std::string err;
};

// Runs `script` with bash (process substitution is bash's) in the sandbox's
// work folder, varnolt-cli on the PATH; standard error is kept.
ShellResult Bash(const CliSandbox& sandbox, const std::string& script) {
  const fs::path err = sandbox.Work() / "../bash-err";
  const std::string command = "cd " + Quoted(sandbox.Work().string()) + " && PATH=" +
                              Quoted(std::string(VARNOLT_BIN_DIR)) + ":\"$PATH\" bash -c " + Quoted(script) +
                              " 2>" + Quoted(err.string());
  const int wait = std::system(command.c_str());
  return {WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, ReadFile(err)};
}

class Pipes : public ::testing::Test {
 protected:
  CliSandbox cli;
  fs::path At(const std::string& name) const { return cli.Work() / name; }
};

TEST_F(Pipes, OutputsToStandardOutputDescriptorsAndProcessSubstitutionAreWrittenThrough) {
  const std::vector<std::string> run = {"run", "--seed", "5", "--set", "cycleCount=200", "--output", "r.dat",
                                        "--csv", "r.csv"};
  ASSERT_EQ(cli.Run(run).status, 0);
  const std::string base = "varnolt-cli run --seed 5 --set cycleCount=200 ";

  ShellResult piped = Bash(cli, base + "--output /dev/stdout 2>/dev/null | cat > piped.dat");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(ReadFile(At("piped.dat")), ReadFile(At("r.dat")));

  // Process substitution hands the program /dev/fd/63, a link to "pipe:[N]".
  ShellResult substituted = Bash(cli, base + "--output s.dat --csv >(cat > substituted.csv) >/dev/null; wait $!");
  EXPECT_EQ(substituted.status, 0) << substituted.err;
  EXPECT_EQ(ReadFile(At("substituted.csv")), ReadFile(At("r.csv")));
  EXPECT_FALSE(fs::exists(At("substituted.json")));

  // A descriptor on a file: written through it, with no record beside /dev/fd/3.
  ShellResult descriptor = Bash(cli, base + "--output d.dat --csv /dev/fd/3 3>fd.csv >/dev/null");
  EXPECT_EQ(descriptor.status, 0) << descriptor.err;
  EXPECT_EQ(ReadFile(At("fd.csv")), ReadFile(At("r.csv")));

  // Tables of experiments and merged parts the same way.
  const std::string sweep = "varnolt-cli sweep --set cycleCount=60 --vary randomPercent=0:30:10 --seed 2 ";
  ASSERT_EQ(Bash(cli, sweep + "--csv table.csv >/dev/null").status, 0);
  ShellResult table = Bash(cli, sweep + "--csv /dev/fd/3 3>&1 >/dev/null | cat > piped-table.csv");
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(ReadFile(At("piped-table.csv")), ReadFile(At("table.csv")));
  ASSERT_EQ(Bash(cli, sweep + "--shard 1/2 --csv p1.csv >/dev/null && " + sweep + "--shard 2/2 --csv p2.csv >/dev/null")
                .status,
            0);
  ShellResult merged = Bash(cli, "varnolt-cli merge p1.csv p2.csv -o /dev/stdout | cat > merged.csv");
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(ReadFile(At("merged.csv")), ReadFile(At("table.csv")));
}

TEST_F(Pipes, InputsFromPipesFifosStandardInputAndProcessSubstitutionAreReadOnce) {
  ASSERT_EQ(cli.Run({"run", "--seed", "5", "--set", "cycleCount=300", "--output", "r.dat", "--csv", "r.csv"}).status,
            0);
  const CliResult direct = cli.Run({"analyse", "r.dat"});
  ASSERT_EQ(direct.status, 0);

  for (const std::string& script : {std::string("cat r.dat | varnolt-cli analyse /dev/stdin"),
                                    std::string("varnolt-cli analyse <(cat r.csv)"),
                                    std::string("mkfifo fifo && { cat r.dat > fifo & } && varnolt-cli analyse fifo")}) {
    SCOPED_TRACE(script);
    ShellResult read = Bash(cli, script + " > analysed.txt");
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(ReadFile(At("analysed.txt")), direct.out);
  }

  // A design from a pipe, parts from process substitution.
  ASSERT_EQ(Bash(cli, "printf 'randomPercent\\n0\\n20\\n' > design.csv").status, 0);
  ASSERT_EQ(cli.Run({"batch", "design.csv", "--set", "cycleCount=60", "--seed", "3", "--csv", "batch.csv"}).status, 0);
  ShellResult batch = Bash(cli, "cat design.csv | varnolt-cli batch /dev/stdin --set cycleCount=60 --seed 3 --csv - "
                                "> piped-batch.csv");
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(ReadFile(At("piped-batch.csv")), ReadFile(At("batch.csv")));

  const std::string sweep = "varnolt-cli sweep --set cycleCount=60 --vary randomPercent=0:30:10 --seed 2 ";
  ASSERT_EQ(Bash(cli, sweep + "--csv whole.csv >/dev/null && " + sweep + "--shard 1/2 --csv p1.csv >/dev/null && " +
                          sweep + "--shard 2/2 --csv p2.csv >/dev/null")
                .status,
            0);
  ShellResult merged = Bash(cli, "varnolt-cli merge <(cat p2.csv) <(cat p1.csv) -o merged.csv >/dev/null");
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(ReadFile(At("merged.csv")), ReadFile(At("whole.csv")));

  // calibrate's census.
  const std::string calibrate = "varnolt-cli calibrate --set cycleCount=300 --fit maleThreshold=17:19 --dry-run ";
  ASSERT_EQ(Bash(cli, calibrate + "r.csv > census-file.txt").status, 0);
  ShellResult census = Bash(cli, calibrate + "<(cat r.csv) > census-pipe.txt");
  EXPECT_EQ(census.status, 0) << census.err;
  EXPECT_EQ(ReadFile(At("census-pipe.txt")).substr(0, 200), ReadFile(At("census-file.txt")).substr(0, 200));
}

TEST_F(Pipes, APipeSendingMoreThan256MiBIsRefusedWithAClearMessage) {
  ShellResult flood = Bash(cli, "head -c 300000000 /dev/zero | varnolt-cli analyse /dev/stdin");
  EXPECT_EQ(flood.status, 1);
  EXPECT_THAT(flood.err, HasSubstr("cannot read /dev/stdin: it sends more than 256 MiB, the most read whole from a "
                                   "pipe or device; save it to a file and give that"));
}

}  // namespace

}  // namespace varnolt
#endif
