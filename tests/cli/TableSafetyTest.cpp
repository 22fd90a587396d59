// Tables are never mixed, damaged or lost: resume takes only its own design's
// rows, merge takes only whole parts of one design, and no output of a command
// lands on one of its inputs, on another of its outputs or on a settings file.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "tests/cli/CliTestSupport.h"

namespace varnolt {

namespace {

const std::vector<std::string> SmallSweep = {"sweep",     "--set",    "cycleCount=100", "--set", "palmCount=20",
                                             "--vary",    "randomPercent=0:50:5", "--replicates", "2",
                                             "--seed",    "3"};

class TableSafety : public ::testing::Test {
 protected:
  CliSandbox cli;
  fs::path At(const std::string& name) const { return cli.Work() / name; }
};

// ------------------------------------------------------------------ resume

TEST_F(TableSafety, ResumeRefusesTheTableOfAnotherDesignAndKeepsIt) {
  ASSERT_EQ(cli.Run({"sweep", "--set", "cycleCount=300", "--set", "palmCount=50", "--vary", "femaleThreshold=10:15",
                     "--seed", "1", "--csv", "f.csv"})
                .status,
            0);
  const std::vector<std::string> lines = Lines(ReadFile(At("f.csv")));
  WriteFile(At("r.csv"), Joined({lines[0], lines[1], lines[2], lines[3]}));
  fs::copy_file(At("f.json"), At("r.json"));
  const std::string before = ReadFile(At("r.csv"));

  // Other settings, and then another seed: both refused, the table untouched.
  for (const std::vector<std::string>& other :
       {std::vector<std::string>{"--set", "cycleCount=50", "--set", "palmCount=5", "--seed", "1"},
        std::vector<std::string>{"--set", "cycleCount=300", "--set", "palmCount=50", "--seed", "2"}}) {
    const CliResult resumed =
        cli.Run(With(With({"sweep", "--vary", "femaleThreshold=10:15", "--resume", "--csv", "r.csv"}, other), {}));
    EXPECT_EQ(resumed.status, 2) << resumed.err;
    EXPECT_NE(resumed.err.find("r.csv was made by another design"), std::string::npos) << resumed.err;
    EXPECT_EQ(ReadFile(At("r.csv")), before);
  }

  // A table without the record that says what made it is not resumed either.
  fs::remove(At("r.json"));
  const CliResult unrecorded = cli.Run({"sweep", "--set", "cycleCount=300", "--set", "palmCount=50", "--vary",
                                        "femaleThreshold=10:15", "--seed", "1", "--resume", "--csv", "r.csv"});
  EXPECT_EQ(unrecorded.status, 2);
  EXPECT_NE(unrecorded.err.find("no record beside it"), std::string::npos) << unrecorded.err;
}

TEST_F(TableSafety, ResumeRunsARowCutMidLineAgainAndEndsAsAnUnbrokenRun) {
  ASSERT_EQ(cli.Run(With(SmallSweep, {"--csv", "whole.csv"})).status, 0);
  const std::string whole = ReadFile(At("whole.csv"));
  // Cuts at every length from the header on: the resumed table is the whole one.
  const std::size_t header = whole.find('\n') + 1;
  for (std::size_t cut = header; cut < whole.size(); cut += 37) {
    WriteFile(At("cut.csv"), whole.substr(0, cut));
    WriteFile(At("cut.json"), ReadFile(At("whole.json")));
    const CliResult resumed = cli.Run(With(SmallSweep, {"--resume", "--csv", "cut.csv"}));
    ASSERT_EQ(resumed.status, 0) << "cut at " << cut << ": " << resumed.err;
    EXPECT_EQ(ReadFile(At("cut.csv")), whole) << "cut at " << cut;
  }
}

TEST_F(TableSafety, ResumeRefusesRowsThatAreNotThisDesignsRuns) {
  ASSERT_EQ(cli.Run(With(SmallSweep, {"--csv", "t.csv"})).status, 0);
  std::vector<std::string> lines = Lines(ReadFile(At("t.csv")));
  // A row whose seed was edited is not this design's run.
  std::string& row = lines[3];
  const std::size_t seedStart = row.find(',', row.find(',', row.find(',') + 1) + 1) + 1;
  row.replace(seedStart, row.find(',', seedStart) - seedStart, "99");
  WriteFile(At("t.csv"), Joined(lines));
  const CliResult resumed = cli.Run(With(SmallSweep, {"--resume", "--csv", "t.csv"}));
  EXPECT_EQ(resumed.status, 2) << resumed.err;
  EXPECT_NE(resumed.err.find("line 4 is not run"), std::string::npos) << resumed.err;
}

// ------------------------------------------------------------------ merge

class MergeParts : public TableSafety {
 protected:
  void SetUp() override {
    for (int k = 1; k <= 3; ++k) {
      ASSERT_EQ(cli.Run(With(SmallSweep, {"--shard", std::to_string(k) + "/3", "--csv", Part(k)})).status, 0);
    }
    ASSERT_EQ(cli.Run(With(SmallSweep, {"--csv", "whole.csv"})).status, 0);
    whole = ReadFile(At("whole.csv"));
  }
  static std::string Part(int k) { return "p" + std::to_string(k) + ".csv"; }
  CliResult Merge(const std::vector<std::string>& parts) {
    return cli.Run(With(With({"merge"}, parts), {"-o", "all.csv"}));
  }
  std::string whole;
};

TEST_F(MergeParts, WholePartsInAnyOrderGiveTheUnbrokenTable) {
  const CliResult merged = Merge({Part(3), Part(1), Part(2)});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(ReadFile(At("all.csv")), whole);
}

TEST_F(MergeParts, RefusesDamagedAndUnfinishedPartsNamingThePart) {
  const std::vector<std::string> part = Lines(ReadFile(At(Part(2))));
  const std::size_t last = part.size() - 1;  // the closing line
  auto damaged = [&](const std::string& what, std::vector<std::string> lines, const std::string& expected) {
    WriteFile(At("bad.csv"), Joined(lines));
    fs::remove(At("all.csv"));
    const CliResult merged = Merge({Part(1), "bad.csv", Part(3)});
    EXPECT_EQ(merged.status, 1) << what;
    EXPECT_NE(merged.err.find("bad.csv"), std::string::npos) << what << ": " << merged.err;
    EXPECT_NE(merged.err.find(expected), std::string::npos) << what << ": " << merged.err;
    EXPECT_FALSE(fs::exists(At("all.csv"))) << what;
  };
  auto without = [&](std::vector<std::string> lines, std::size_t i) {
    lines.erase(lines.begin() + static_cast<long>(i));
    return lines;
  };
  auto recount = [&](std::vector<std::string> lines, int delta) {
    const std::size_t rows = lines.size() - 3 + static_cast<std::size_t>(delta);
    std::string& closing = lines.back();
    closing = closing.substr(0, closing.find("complete, ")) + "complete, " + std::to_string(rows) +
              (rows == 1 ? " row" : " rows");
    return lines;
  };

  // Stopped by a time limit: the stamp is there, the closing line is not.
  damaged("unfinished", without(part, last), "is not complete");
  damaged("last row missing", recount(without(part, last - 1), 0), "holds 6 of the 7 runs");
  damaged("row missing, closing line kept", without(part, 3), "bad.csv line 4 is out of place");
  damaged("closing line miscounted", recount(part, 1), "closing line says");
  std::vector<std::string> glued = part;
  glued[3] += glued[4];
  damaged("two rows glued", recount(without(glued, 4), 0), "cells where the header has");
  std::vector<std::string> duplicated = part;
  duplicated.insert(duplicated.begin() + 4, part[3]);
  damaged("duplicated row", recount(duplicated, 0), "out of place");
  std::vector<std::string> swapped = part;
  std::swap(swapped[3], swapped[4]);
  damaged("swapped rows", swapped, "out of place");
  std::vector<std::string> renumbered = part;
  renumbered[3] = "9" + renumbered[3].substr(renumbered[3].find(','));
  damaged("renumbered row", renumbered, "bad.csv line 4");
  damaged("header only", recount({part[0], part[1], part.back()}, 0), "holds 0 of the 7 runs");
  damaged("cut mid-row", {part[0], part[1], part[2], part[3].substr(0, 5)}, "");
  std::string cutText = Joined(part);
  WriteFile(At("bad.csv"), cutText.substr(0, cutText.size() - 10));
  EXPECT_EQ(Merge({Part(1), "bad.csv", Part(3)}).status, 1);
}

TEST_F(MergeParts, RefusesAPartOfAnotherDesign) {
  ASSERT_EQ(cli.Run({"sweep", "--set", "cycleCount=100", "--set", "palmCount=20", "--vary", "randomPercent=0:50:5",
                     "--replicates", "2", "--seed", "4", "--shard", "2/3", "--csv", "foreign.csv"})
                .status,
            0);
  const CliResult merged = Merge({Part(1), "foreign.csv", Part(3)});
  EXPECT_EQ(merged.status, 1);
  EXPECT_NE(merged.err.find("foreign.csv belongs to another design"), std::string::npos) << merged.err;
}

// Random damage never yields a table that differs from the unbroken one with
// status 0: either the merge refuses, or what it writes is the whole table.
TEST_F(MergeParts, RandomDamageNeverGivesAWrongTableWithSuccess) {
  std::mt19937 random(20261208);
  const std::vector<std::string> parts[] = {Lines(ReadFile(At(Part(1)))), Lines(ReadFile(At(Part(2)))),
                                            Lines(ReadFile(At(Part(3))))};
  for (int trial = 0; trial < 30; ++trial) {
    std::vector<std::string> lines = parts[trial % 3];
    const std::size_t a = 1 + random() % (lines.size() - 1), b = 1 + random() % (lines.size() - 1);
    switch (random() % 5) {
      case 0: lines.erase(lines.begin() + static_cast<long>(a)); break;
      case 1: std::swap(lines[a], lines[b]); break;
      case 2: lines.insert(lines.begin() + static_cast<long>(a), lines[b]); break;
      case 3: lines[a] = lines[a].substr(0, lines[a].size() / 2); break;
      default: lines[a] += lines[b]; break;
    }
    WriteFile(At("bad.csv"), Joined(lines));
    std::vector<std::string> names = {Part(1), Part(2), Part(3)};
    names[static_cast<std::size_t>(trial % 3)] = "bad.csv";
    fs::remove(At("all.csv"));
    const CliResult merged = Merge(names);
    if (merged.status == 0) {
      EXPECT_EQ(ReadFile(At("all.csv")), whole) << "trial " << trial;
    } else {
      EXPECT_FALSE(fs::exists(At("all.csv"))) << "trial " << trial;
    }
  }
}

// ------------------------------------------------------------------ outputs

TEST_F(TableSafety, NoOutputLandsOnAnInputAnotherOutputOrASettingsFile) {
  ASSERT_EQ(cli.Run({"set", "s.dat", "palmCount=5"}).status, 0);
  const std::string settings = ReadFile(At("s.dat"));
  WriteFile(At("d.csv"), "randomPercent\n10\n20\n");
  const std::string design = ReadFile(At("d.csv"));
  fs::create_directories(At("sub"));

  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"run", "s.dat", "--seed", "1", "--output", "r.dat", "--csv", "s.dat"}, "is the settings file"},
      {{"run", "s.dat", "--seed", "1", "--output", "r.dat", "--csv", "./sub/../s.dat"}, "is the settings file"},
      {{"run", "s.dat", "--seed", "1", "--output", "r.dat", "--json", "s.dat"}, "is the settings file"},
      {{"run", "--seed", "1", "--output", "r.dat", "--csv", "r.dat"}, "is the file of --output too"},
      {{"run", "--seed", "1", "--csv", "x.csv", "--json", "x.csv"}, "is the file of --csv too"},
      {{"run", "--seed", "1", "--output", "r.svg", "--plot", "r.svg"}, "is the file of"},
      {{"run", "--seed", "1", "--csv", "x.csv", "--json", "s.dat"}, "holds run settings"},
      {{"batch", "d.csv", "--seed", "1", "--csv", "d.csv"}, "is the design"},
      {{"sweep", "--vary", "randomPercent=0:10:10", "--seed", "1", "--csv", "s.dat"}, "holds run settings"},
      {{"sweep", "--vary", "randomPercent=0:10:10", "--seed", "1", "--csv", "t.csv", "--cycles", "t.json"},
       "is the file of"},
      {{"sensitivity", "--method", "morris", "--factor", "randomPercent=0:10", "--seed", "1", "--trajectories",
        "2", "--csv", "s.dat"},
       "holds run settings"},
      {{"merge", "d.csv", "-o", "d.csv"}, "is a part this command reads"},
      {{"merge", "d.csv", "-o", "s.dat"}, "holds run settings"},
  };
  for (const Case& c : cases) {
    const CliResult result = cli.Run(c.args);
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    EXPECT_EQ(result.status, 2) << line << "\n" << result.err;
    EXPECT_NE(result.err.find(c.expected), std::string::npos) << line << "\n" << result.err;
    EXPECT_EQ(ReadFile(At("s.dat")), settings) << line;
    EXPECT_EQ(ReadFile(At("d.csv")), design) << line;
    EXPECT_FALSE(fs::exists(At("r.dat")) || fs::exists(At("x.csv")) || fs::exists(At("t.csv"))) << line;
  }
}

TEST_F(TableSafety, AShortTableIsATableNotSettings) {
  ASSERT_EQ(cli.Run({"sweep", "--seed", "1", "--set", "cycleCount=300", "--set", "palmCount=40", "--vary",
                     "randomPercent=0:80:10", "--csv", "all.csv"})
                .status,
            0);
  const std::vector<std::string> lines = Lines(ReadFile(At("all.csv")));
  WriteFile(At("h.csv"), Joined({lines[0], lines[1], lines[2], lines[3]}));
  const CliResult shown = cli.Run({"show", "h.csv"});
  EXPECT_NE(shown.status, 0);
  EXPECT_NE(shown.err.find("h.csv is a table written by varnolt-cli, not a settings file"), std::string::npos)
      << shown.err;
  EXPECT_EQ(shown.out, "");
  // Writing over it again is allowed: it is a table, not settings.
  fs::copy_file(At("all.json"), At("h.json"));
  const CliResult resumed = cli.Run({"sweep", "--seed", "1", "--set", "cycleCount=300", "--set", "palmCount=40",
                                     "--vary", "randomPercent=0:80:10", "--resume", "--csv", "h.csv"});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(ReadFile(At("h.csv")), ReadFile(At("all.csv")));
}

TEST_F(TableSafety, EveryTableHasARecordOfWhatMadeIt) {
  ASSERT_EQ(cli.Run(With(SmallSweep, {"--csv", "t.csv"})).status, 0);
  const std::string record = ReadFile(At("t.json"));
  for (const char* key : {"\"version\"", "\"commandLine\"", "\"stamp\"", "\"baseSettings\"", "\"design\"",
                          "\"seed\": 3", "\"replicates\": 2", "\"startTime\"", "\"seconds\"", "\"ran\": 22",
                          "\"refused\": 0", "\"failed\": 0", "\"complete\": true"}) {
    EXPECT_NE(record.find(key), std::string::npos) << key << "\n" << record;
  }
  // A table sent to a device gets no record beside it, and the device is no
  // output's own file: the report and the tables may all go there.
  const std::string null = NullDevice();
  const CliResult dropped = cli.Run({"run", "--seed", "1", "--set", "cycleCount=30", "--csv", null});
  ASSERT_EQ(dropped.status, 0) << dropped.err;
  EXPECT_EQ(dropped.out.find("JSON record"), std::string::npos) << dropped.out;
  const CliResult all = cli.Run({"run", "--seed", "1", "--set", "cycleCount=30", "--output", null, "--csv", null});
  ASSERT_EQ(all.status, 0) << all.err;
  const CliResult swept = cli.Run(With(SmallSweep, {"--csv", null}));
  ASSERT_EQ(swept.status, 0) << swept.err;
  std::vector<std::string> left;
  for (const fs::directory_entry& entry : fs::directory_iterator(cli.Work())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"output.dat", "t.csv", "t.json"}));
}

}  // namespace

}  // namespace varnolt
