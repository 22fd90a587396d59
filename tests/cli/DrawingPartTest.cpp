// The runner draws through its drawing part, a library it loads the first time
// it draws: without it (or with a file that is no drawing part) every command
// but the pictures works, and a picture asked for is refused before anything
// runs, saying what is missing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

#ifndef _WIN32
#ifdef VARNOLT_RUNNER_DRAWS

// The libraries a program needs are named in it: the runner names no Qt.
TEST(DrawingPart, TheRunnerLinksNoWindowToolkit) {
  const std::string program = ReadFile(fs::path(VARNOLT_BIN_DIR) / "varnolt-cli");
  ASSERT_GT(program.size(), 100000u);
  for (const char* library : {"libQt6Core", "libQt6Gui", "libQt6Widgets", "libQt6Charts", "libQt6Svg"}) {
    EXPECT_EQ(program.find(library), std::string::npos) << library;
  }
  const std::string part = ReadFile(fs::path(VARNOLT_BIN_DIR) / "libvarnolt-drawing.so");
  EXPECT_NE(part.find("libQt6Charts"), std::string::npos) << "the drawing part is where Qt is";
}

TEST(DrawingPart, WithoutItEverythingButPicturesWorksAndAPictureIsRefusedBeforeTheRun) {
  CliSandbox sandbox;
  const std::vector<std::string> small = {"--set", "cycleCount=120", "--set", "palmCount=30", "--seed", "2"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), small.begin(), small.end());
    return args;
  };
  WriteFile(sandbox.Work() / "not-a-library.so", "plain text, no library\n");
  const struct {
    const char* module;
    const char* why;
  } missing[] = {
      {"/nonexistent/libvarnolt-drawing.so",
       "this varnolt-cli draws pictures with its drawing part, libvarnolt-drawing.so, which is not installed (looked "
       "for /nonexistent/libvarnolt-drawing.so); install VARNOLT's drawing part, or leave out the picture"},
      {"not-a-library.so", "its drawing part not-a-library.so could not be loaded ("},
  };
  for (const auto& m : missing) {
    const std::string without = std::string("VARNOLT_DRAWING_MODULE=") + m.module + " ";
    const CliResult plotted = sandbox.Run(with({"run", "-o", "run.dat", "--plot", "run.png"}), without);
    EXPECT_EQ(plotted.status, 1) << m.module;
    EXPECT_THAT(plotted.err, HasSubstr("varnolt-cli: cannot draw --plot run.png: " + std::string(m.why)));
    EXPECT_THAT(plotted.err, HasSubstr("Nothing was run."));
    EXPECT_FALSE(fs::exists(sandbox.Work() / "run.dat")) << "refused before the run";

    // Everything else as usual: a run, its CSV, a sweep, the analysis.
    const CliResult run = sandbox.Run(with({"run", "-o", "run.dat", "--csv", "run.csv"}), without);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(sandbox.Run(with({"run", "-o", "again.dat", "--csv", "again.csv"})).status, 0);
    EXPECT_EQ(ReadFile(sandbox.Work() / "run.csv"), ReadFile(sandbox.Work() / "again.csv"))
        << "the same run with or without the drawing part";
    const CliResult sweep =
        sandbox.Run(with({"sweep", "--vary", "randomPercent=0:50:25", "--csv", "s.csv", "--cycles", "c.csv"}), without);
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    EXPECT_EQ(sandbox.Run({"analyse", "c.csv", "--point", "2"}, without).status, 0);

    // plot itself says the same, and writes nothing.
    for (const char* table : {"run.csv", "s.csv", "c.csv"}) {
      const CliResult picture = sandbox.Run({"plot", table, "-o", "p.svg"}, without);
      EXPECT_EQ(picture.status, 1) << table;
      EXPECT_THAT(picture.err, HasSubstr(m.why)) << table;
      EXPECT_FALSE(fs::exists(sandbox.Work() / "p.svg")) << table;
    }
    fs::remove(sandbox.Work() / "run.dat");
  }
  // With the part found beside the runner, as built, the same run draws.
  const CliResult drawn = sandbox.Run(with({"run", "-o", "run.dat", "--plot", "run.png"}));
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_TRUE(fs::exists(sandbox.Work() / "run.png"));
}

#endif
#endif

}  // namespace

}  // namespace varnolt
