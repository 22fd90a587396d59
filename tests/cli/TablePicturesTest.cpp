#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#ifdef VARNOLT_RUNNER_DRAWS
#include <QColor>
#include <QImage>
#endif

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

const std::vector<std::string> Small = {"--set", "cycleCount=150", "--set", "palmCount=60", "--seed", "3"};

#ifdef VARNOLT_RUNNER_DRAWS
std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::pair<int, int> PngSize(const std::string& bytes) {
  auto big = [&](std::size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
  };
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  return {big(16), big(20)};
}

// The colours a PNG holds, as its pixels say: a blank picture has one.
std::size_t ColoursIn(const std::string& png) {
  QImage image;
  if (!image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG")) return 0;
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  }
  return colours.size();
}

TEST(TablePictures, OneVariedSettingDrawsEachStatisticWithItsReplicatesAndBand) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--replicates", "3", "--csv", "r.csv"},
                             Small)).status,
            0);
  const CliResult svg = sandbox.Run({"plot", "r.csv", "-o", "r.svg", "--plot-size", "800x500"});
  ASSERT_EQ(svg.status, 0) << svg.err;
  EXPECT_THAT(svg.out, HasSubstr("Plotted 9 rows of r.csv into r.svg."));
  const std::string picture = ReadFile(sandbox.Work() / "r.svg");
  EXPECT_THAT(picture, HasSubstr("viewBox=\"0 0 800 500\""));
  for (const char* name : {"meanFemale (mean)", "meanHerm (mean)", "meanMale (mean)", "meanAborted (mean)",
                           "randomPercent", "r.csv: meanFemale, meanHerm, meanMale, meanAborted against randomPercent"}) {
    EXPECT_THAT(picture, HasSubstr(name));
  }
  // One statistic: its name on the axis, and no other statistic.
  ASSERT_EQ(sandbox.Run({"plot", "r.csv", "--stat", "strength", "-o", "s.svg"}).status, 0);
  const std::string one = ReadFile(sandbox.Work() / "s.svg");
  EXPECT_THAT(one, HasSubstr("strength (mean)"));
  EXPECT_EQ(Count(one, "meanFemale"), 0u);
  // The same as PNG at the size asked.
  ASSERT_EQ(sandbox.Run({"plot", "r.csv", "-o", "r.png", "--plot-size", "640x360"}).status, 0);
  EXPECT_EQ(PngSize(ReadFile(sandbox.Work() / "r.png")), std::make_pair(640, 360));

  // A shard's part, stamp and all, draws as the rows it holds.
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--replicates", "3", "--shard", "1/2",
                              "--csv", "part.csv"},
                             Small)).status,
            0);
  const CliResult part = sandbox.Run({"plot", "part.csv", "-o", "part.svg"});
  ASSERT_EQ(part.status, 0) << part.err;
  EXPECT_THAT(part.out, HasSubstr("Plotted 4 rows"));  // runs 1 to 4 of 9
}

TEST(TablePictures, TwoVariedSettingsDrawAHeatMapWithTheRefusedPointsMarked) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "femaleThreshold=12:16:2", "--vary", "maleThreshold=15:17",
                              "--csv", "g.csv"},
                             Small)).status,
            0);
  const CliResult heat = sandbox.Run({"plot", "g.csv", "--stat", "meanMale", "-o", "g.svg"});
  ASSERT_EQ(heat.status, 0) << heat.err;
  const std::string picture = ReadFile(sandbox.Work() / "g.svg");
  for (const char* text : {"femaleThreshold", "maleThreshold", "meanMale", "refused by a rule",
                           "g.csv: meanMale over femaleThreshold and maleThreshold"}) {
    EXPECT_THAT(picture, HasSubstr(text));
  }
  ASSERT_EQ(sandbox.Run({"plot", "g.csv", "-o", "g.png", "--plot-size", "500x400"}).status, 0);
  EXPECT_EQ(PngSize(ReadFile(sandbox.Work() / "g.png")), std::make_pair(500, 400));
}

TEST(TablePictures, TablesThatCannotBeDrawnSayWhyAndWriteNothing) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "femaleThreshold=12:13", "--vary", "maleThreshold=20:21", "--vary",
                              "randomPercent=0:10:10", "--csv", "three.csv"},
                             Small)).status,
            0);
  const CliResult three = sandbox.Run({"plot", "three.csv", "-o", "three.svg"});
  EXPECT_EQ(three.status, 1);
  EXPECT_THAT(three.err, HasSubstr("one or two varied settings, and this one has 3 (femaleThreshold, maleThreshold, "
                                   "randomPercent)"));
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:10:10", "--csv", "one.csv"}, Small)).status, 0);
  const CliResult unknown = sandbox.Run({"plot", "one.csv", "--stat", "meanBlue", "-o", "x.svg"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("no statistic meanBlue; give --stat with one of meanFemale"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "three.svg"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "x.svg"));
}

#endif  // VARNOLT_RUNNER_DRAWS

#ifdef VARNOLT_RUNNER_DRAWS
// A design of two factors, one of which changes nothing at the default male
// threshold (femaleThreshold) and one that does (randomPercent).
const std::vector<std::string> Factors = {"--factor", "femaleThreshold=8:16", "--factor", "randomPercent=0:50"};

TEST(TablePictures, MorrisAndSobolTablesDrawAPanelPerOutputTitledWithWhatMadeThem) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With(With({"sensitivity", "--method", "morris", "--trajectories", "5", "--csv", "m.csv"}, Factors),
                             Small)).status,
            0);
  ASSERT_EQ(sandbox.Run(With(With({"sensitivity", "--method", "sobol", "--samples", "16", "--csv", "s.csv"}, Factors),
                             Small)).status,
            0);
  const CliResult morris = sandbox.Run({"plot", "m.csv", "-o", "m.svg", "--plot-size", "900x600"});
  ASSERT_EQ(morris.status, 0) << morris.err;
  EXPECT_THAT(morris.out, HasSubstr("Plotted the Morris indices of 2 factors for 5 outputs of m.csv into m.svg."));
  const std::string m = ReadFile(sandbox.Work() / "m.svg");
  EXPECT_THAT(m, HasSubstr("viewBox=\"0 0 900 600\""));
  // Every output a panel, every factor labelled in each panel that has values
  // (period has none over 150 cycles), the axes named, the command in the title.
  for (const char* output : {"meanFemale", "meanHerm", "meanMale", "meanAborted", "period"}) {
    EXPECT_THAT(m, HasSubstr(">" + std::string(output) + "<")) << output;
  }
  EXPECT_EQ(Count(m, ">randomPercent<"), 4u);
  EXPECT_EQ(Count(m, ">femaleThreshold<"), 4u);
  EXPECT_THAT(m, HasSubstr("period has no value in these runs"));
  EXPECT_THAT(m, HasSubstr("mu* (mean absolute effect, 95 % interval)"));
  EXPECT_THAT(m, HasSubstr("m.csv: Morris screening of meanFemale, meanHerm, meanMale, meanAborted, period, mu* against "
                           "sigma; made by varnolt-cli sensitivity --method morris --trajectories 5 --csv m.csv"));
  EXPECT_THAT(m, HasSubstr("--seed 3"));

  const CliResult sobol = sandbox.Run({"plot", "s.csv", "--stat", "meanMale", "-o", "s.svg"});
  ASSERT_EQ(sobol.status, 0) << sobol.err;
  EXPECT_THAT(sobol.out, HasSubstr("Sobol indices of 2 factors for 1 output of s.csv"));
  const std::string one = ReadFile(sandbox.Work() / "s.svg");
  EXPECT_THAT(one, HasSubstr("S1 (first order)"));
  EXPECT_THAT(one, HasSubstr("ST (total)"));
  EXPECT_THAT(one, HasSubstr(">randomPercent<"));
  EXPECT_EQ(Count(one, "meanFemale"), 0u);
  // An output that does not vary is said to, not drawn as bars of nothing.
  ASSERT_EQ(sandbox.Run({"plot", "s.csv", "-o", "all.svg"}).status, 0);
  EXPECT_THAT(ReadFile(sandbox.Work() / "all.svg"), HasSubstr("meanHerm does not vary over this design"));
  // PNGs at the size asked, with something drawn in them.
  for (const char* table : {"m.csv", "s.csv"}) {
    ASSERT_EQ(sandbox.Run({"plot", table, "-o", "p.png", "--plot-size", "640x400"}).status, 0) << table;
    const std::string png = ReadFile(sandbox.Work() / "p.png");
    EXPECT_EQ(PngSize(png), std::make_pair(640, 400)) << table;
    EXPECT_GT(ColoursIn(png), 8u) << table;
  }
  const CliResult unknown = sandbox.Run({"plot", "m.csv", "--stat", "sexRatio", "-o", "x.svg"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("the table has no output sexRatio; give --stat with one of meanFemale, meanHerm"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "x.svg"));
}

TEST(TablePictures, PerCycleTablesDrawEveryRunOrThoseOfOnePoint) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--replicates", "2", "--csv", "t.csv",
                              "--cycles", "c.csv"},
                             Small)).status,
            0);
  const CliResult all = sandbox.Run({"plot", "c.csv", "-o", "c.svg"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_THAT(all.out, HasSubstr("Plotted 6 runs of c.csv into c.svg."));
  const std::string every = ReadFile(sandbox.Work() / "c.svg");
  EXPECT_THAT(every, HasSubstr("c.csv: % female of points 1 to 3, every replicate; made by varnolt-cli sweep"));
  for (const char* name : {"point 1 replicate 1", "point 2 replicate 2", "point 3 replicate 2", ">cycle<"}) {
    EXPECT_THAT(every, HasSubstr(name)) << name;
  }
  const CliResult one = sandbox.Run({"plot", "c.csv", "--point", "2", "-o", "two.png", "--plot-size", "500x300"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_THAT(one.out, HasSubstr("Plotted 2 runs of c.csv"));
  const std::string png = ReadFile(sandbox.Work() / "two.png");
  EXPECT_EQ(PngSize(png), std::make_pair(500, 300));
  EXPECT_GT(ColoursIn(png), 8u);

  // Past twelve runs, a colour scale from the first point to the last and the
  // mean of the runs instead of a legend.
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:5", "--replicates", "2", "--csv", "many.csv",
                              "--cycles", "many-cycles.csv"},
                             Small)).status,
            0);
  const CliResult many = sandbox.Run({"plot", "many-cycles.csv", "-o", "many.svg"});
  ASSERT_EQ(many.status, 0) << many.err;
  EXPECT_THAT(many.out, HasSubstr("Plotted 22 runs"));
  const std::string crowd = ReadFile(sandbox.Work() / "many.svg");
  for (const char* text : {"mean of the runs", ">point 1 replicate 1<", ">point 11 replicate 2<"}) {
    EXPECT_THAT(crowd, HasSubstr(text)) << text;
  }
  EXPECT_EQ(Count(crowd, ">point "), 2u) << "the scale's two ends, no legend of 22 lines";
}
#endif  // VARNOLT_RUNNER_DRAWS

TEST(TablePictures, AnalyseOfOnePointOfAPerCycleTableEqualsAnalyseOfThatRunsOwnCsv) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--replicates", "2", "--csv", "t.csv",
                              "--cycles", "c.csv"},
                             Small)).status,
            0);
  // Point 2 is randomPercent 25 with seeds 3 and 4: the same lines as runs of
  // its own, to the last digit.
  for (const char* seed : {"3", "4"}) {
    ASSERT_EQ(sandbox.Run({"run", "--set", "cycleCount=150", "--set", "palmCount=60", "--set", "randomPercent=25",
                           "--seed", seed, "--csv", std::string("own") + seed + ".csv"})
                  .status,
              0);
  }
  const std::vector<std::string> statistics = {"--stat", "meanFemale,period,strength,femaleAmplitude"};
  const CliResult own3 = sandbox.Run(With({"analyse", "own3.csv"}, statistics));
  const CliResult own4 = sandbox.Run(With({"analyse", "own4.csv"}, statistics));
  const CliResult point = sandbox.Run(With({"analyse", "c.csv", "--point", "2"}, statistics));
  ASSERT_EQ(point.status, 0) << point.err;
  std::string expected;
  for (const CliResult* own : {&own3, &own4}) {
    std::istringstream lines(own->out);
    for (std::string line; std::getline(lines, line);) {
      expected += "Replicate " + std::string(own == &own3 ? "1" : "2") + ": " + line + "\n";
    }
  }
  EXPECT_EQ(point.out, expected);
  // A point of one replicate reads exactly as its run's own CSV.
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=25:50:25", "--cycles", "one.csv", "--csv", "o.csv"},
                             Small)).status,
            0);
  EXPECT_EQ(sandbox.Run({"analyse", "one.csv", "--point", "1"}).out, sandbox.Run({"analyse", "own3.csv"}).out);
}

TEST(TablePictures, APointTheTableDoesNotHoldOrAPointOfAnotherTableIsRefusedSayingWhatToGive) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--csv", "t.csv", "--cycles", "c.csv"},
                             Small)).status,
            0);
  ASSERT_EQ(sandbox.Run(With({"run", "--csv", "run.csv", "-o", "run.dat"}, Small)).status, 0);
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"plot", "c.csv", "--point", "4", "-o", "x.svg"}, "--point 4: c.csv holds points 1 to 3; give --point with one"},
      {{"analyse", "c.csv", "--point", "7"}, "--point 7: c.csv holds points 1 to 3"},
      {{"analyse", "c.csv"}, "c.csv is a per-cycle table of several runs; give --point N"},
      {{"analyse", "c.csv", "--point", "0"}, "--point 0: the point must be a whole number from 1"},
      {{"plot", "c.csv", "--point", "two", "-o", "x.svg"}, "--point two: the point must be a whole number"},
      {{"plot", "t.csv", "--point", "1", "-o", "x.svg"},
       "--point chooses a point of a per-cycle table (written by sweep or batch --cycles), and t.csv is a table of "
       "points"},
      {{"analyse", "t.csv"}, "t.csv is a table of points, which holds no cycles to analyse"},
      {{"plot", "c.csv", "--stat", "meanMale", "-o", "x.svg"}, "--stat chooses a statistic of a table of points or "
                                                                "indices, and c.csv is a per-cycle table"},
      {{"plot", "run.csv", "--stat", "meanMale", "-o", "x.svg"},
       "--stat chooses a statistic of a table of points or indices, and run.csv holds the cycles of a run"},
      {{"analyse", "run.csv", "--point", "1"}, "--point chooses a point of a per-cycle table (written by sweep or batch "
                                               "--cycles), and run.csv is the cycles of a run"},
  };
  for (const auto& c : cases) {
    const CliResult result = sandbox.Run(c.args);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_THAT(result.err, HasSubstr(c.message));
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "x.svg"));

  // A cut or glued per-cycle table is no run: named by its line, never analysed.
  std::string text = ReadFile(sandbox.Work() / "c.csv");
  const std::size_t cycle5 = text.find("\n1,1,5,");
  ASSERT_NE(cycle5, std::string::npos);
  text.erase(cycle5, text.find('\n', cycle5 + 1) - cycle5);
  WriteFile(sandbox.Work() / "cut.csv", text);
  const CliResult cut = sandbox.Run({"analyse", "cut.csv", "--point", "1"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_THAT(cut.err, HasSubstr("cut.csv: line 6 is cycle 6 of point 1 replicate 1, expected cycle 5"));
  EXPECT_TRUE(cut.out.empty());
}

#ifndef VARNOLT_RUNNER_DRAWS
// A runner built without the window toolkit says so and leaves no file behind.
TEST(TablePictures, ARunnerThatCannotDrawRefusesAndWritesNothing) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run(With({"sweep", "--vary", "randomPercent=0:50:25", "--csv", "r.csv"}, Small)).status, 0);
  const CliResult svg = sandbox.Run({"plot", "r.csv", "-o", "r.svg"});
  EXPECT_EQ(svg.status, 1);
  EXPECT_THAT(svg.err, HasSubstr("cannot write the picture to r.svg: this varnolt-cli was built without the window "
                                 "toolkit and cannot draw pictures"));
  EXPECT_FALSE(fs::exists(sandbox.Work() / "r.svg"));
}
#endif

}  // namespace

}  // namespace varnolt
