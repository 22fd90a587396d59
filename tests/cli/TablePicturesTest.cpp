#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CliTestSupport.h"

using ::testing::HasSubstr;

namespace {

const std::vector<std::string> Small = {"--set", "cycleCount=150", "--set", "palmCount=60", "--seed", "3"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

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

}  // namespace
