// What the runner says when a file goes wrong or a text cannot be kept, and
// pictures that free what they draw with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class RunnerTexts : public ::testing::Test {
 protected:
  CliSandbox cli;
  fs::path At(const std::string& name) const { return cli.Work() / name; }
};

TEST_F(RunnerTexts, BytesAfterTheSettingsAreCountedInWords) {
  ASSERT_EQ(cli.Run({"set", "s.dat", "palmCount=5"}).status, 0);
  const std::string settings = ReadFile(At("s.dat"));
  WriteFile(At("one.dat"), settings + "x");
  WriteFile(At("two.dat"), settings + "xy");
  EXPECT_THAT(cli.Run({"show", "one.dat"}).err, HasSubstr("(it has 1 byte after the settings)"));
  EXPECT_THAT(cli.Run({"show", "two.dat"}).err, HasSubstr("(it has 2 bytes after the settings)"));
}

TEST_F(RunnerTexts, RunWarnsOfNotesItsReportCannotStore) {
  // Accented Latin letters are in the report's Windows-1252; Japanese is not.
  const CliResult run =
      cli.Run({"run", "--seed", "1", "--set", "cycleCount=50", "--set", "runNotes=Plantation \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
               "--output", "r.dat"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("varnolt-cli: warning: the notes hold 2 characters that reports cannot store; "
                                 "written as ? in r.dat\n"));
  EXPECT_THAT(ReadFile(At("r.dat")), HasSubstr("RUN NAME/NOTES: Plantation \xE9t\xE9 ??\r\n"));
  const CliResult plain = cli.Run({"run", "--seed", "1", "--set", "cycleCount=50", "--output", "p.dat"});
  EXPECT_THAT(plain.err, Not(HasSubstr("warning")));
}

#ifdef VARNOLT_RUNNER_DRAWS
TEST_F(RunnerTexts, APictureThatCannotBeWrittenSaysWhyAsOtherFilesDo) {
  ASSERT_EQ(cli.Run({"run", "--seed", "1", "--set", "cycleCount=60", "--output", "r.dat", "--csv", "r.csv"}).status,
            0);
  fs::create_directory(At("folder.svg"));
  const CliResult folder = cli.Run({"plot", "r.csv", "-o", "folder.svg"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_THAT(folder.err, HasSubstr("varnolt-cli: cannot write the picture to folder.svg: it is a folder\n"));
  const CliResult missing = cli.Run({"plot", "r.csv", "-o", "no-folder/p.png"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err,
              HasSubstr("varnolt-cli: cannot write the picture to no-folder/p.png: no such file or directory\n"));
  const CliResult run = cli.Run({"run", "--seed", "1", "--set", "cycleCount=60", "--output", "r2.dat", "--plot",
                                 "folder.svg"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("varnolt-cli: cannot write the picture to folder.svg: it is a folder\n"));
  for (const CliResult* result : {&folder, &missing, &run}) EXPECT_THAT(result->err, Not(HasSubstr("..")));
}

#ifndef _WIN32
// LeakSanitizer's runtime put before the runner finds every block nothing
// points to any more at exit: each picture frees its chart, axes and series.
TEST_F(RunnerTexts, PicturesFreeWhatTheyDrawWith) {
  const char* const sanitizer = "/usr/lib/x86_64-linux-gnu/liblsan.so.0";
  if (!fs::exists(sanitizer)) GTEST_SKIP() << "no LeakSanitizer runtime at " << sanitizer;
  ASSERT_EQ(cli.Run({"run", "--seed", "1", "--set", "cycleCount=120", "--output", "r.dat", "--csv", "r.csv"}).status,
            0);
  ASSERT_EQ(cli.Run({"sweep", "--set", "cycleCount=60", "--vary", "randomPercent=0:20:10", "--replicates", "2",
                     "--seed", "1", "--csv", "sweep.csv"})
                .status,
            0);
  const std::string prefix = std::string("LD_PRELOAD=") + sanitizer + " ";
  for (const std::vector<std::string>& picture :
       {std::vector<std::string>{"plot", "r.csv", "-o", "cycles.svg"},
        std::vector<std::string>{"plot", "r.dat", "-o", "cycles.png"},
        std::vector<std::string>{"run", "--seed", "1", "--set", "cycleCount=120", "--output", "r2.dat", "--plot",
                                 "run.png"},
        std::vector<std::string>{"plot", "sweep.csv", "-o", "sweep.png"}}) {
    SCOPED_TRACE(picture[0] + " " + picture.back());
    const CliResult drawn = cli.Run(picture, prefix);
    if (drawn.err.find("LeakSanitizer has encountered a fatal error") != std::string::npos) {
      GTEST_SKIP() << "LeakSanitizer cannot run here: " << drawn.err;
    }
    EXPECT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_THAT(drawn.err, Not(HasSubstr("LeakSanitizer")));
  }
}
#endif
#endif

}  // namespace

}  // namespace varnolt
