#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string kData = std::string(VARNOLT_TEST_DATA) + "/settings/";
const std::string kEndOfFile = "it is not a whole settings file: it ends too early or is damaged";

std::int32_t Int32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return static_cast<std::int32_t>(value);
}

}  // namespace

TEST(SettingsFileCommands, SetCreatesACompleteFileFromTheNewDefaults) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run({"set", "new.dat", "palmCount=50"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("new.dat"));
  const std::string bytes = ReadFile(sandbox.Work() / "new.dat");
  ASSERT_EQ(bytes.size(), 130u);
  std::string expected = ReadFile(kData + "new-defaults.dat");
  expected.replace(23, 4, std::string("\x32\0\0\0", 4));  // palmCount follows notes and cycleCount
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(sandbox.WorkEntries(), 1u) << "no temporary file is left";
}

TEST(SettingsFileCommands, ShowListsTheValuesInRecordOrder) {
  CliSandbox sandbox;
  const CliResult result = sandbox.Run({"show", kData + "wide-strings.dat"});
  EXPECT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 27u);
  EXPECT_EQ(lines[0], "runNotes=Palmeraie d'essai \u2014 C\u00f4te d'Ivoire \U0001F334");
  EXPECT_EQ(lines[1], "cycleCount=100");
  EXPECT_EQ(lines[7], "sexStageStartFrond=-28");
  EXPECT_EQ(lines[8], "sexStageEndFrond=-4");
  EXPECT_EQ(lines[9], "abortionFrond=10");
  EXPECT_EQ(lines[25], "initialNodeSex=0");
  EXPECT_EQ(lines[26], "outputPath=r\u00e9sultats.dat");
}

TEST(SettingsFileCommands, AFileRoundTripsThroughShowAndSet) {
  CliSandbox sandbox;
  const CliResult made = sandbox.Run({"set", "a.dat", "runNotes=Bloc B \u2013 caf\u00e9", "cycleCount=770",
                                      "sexStageStartFrond=-30", "irrigation=1", "irrigationStart=12",
                                      "irrigationEnd=40", "initialNodeSex=3", "outputPath=bloc b.txt"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string original = ReadFile(sandbox.Work() / "a.dat");
  EXPECT_EQ(Int32At(original, 1 + 13 + 8 * 4), -30);  // sexStageStartFrond is the ninth integer
  EXPECT_EQ(Int32At(original, 1 + 13 + 19 * 4), 1);   // irrigation
  EXPECT_EQ(Int32At(original, 1 + 13 + 20 * 4), 40);  // its end before its start
  EXPECT_EQ(Int32At(original, 1 + 13 + 21 * 4), 12);

  const CliResult shown = sandbox.Run({"show", "a.dat"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  std::vector<std::string> args = {"set", "b.dat"};
  for (const std::string& line : Lines(shown.out)) args.push_back(line);
  ASSERT_EQ(sandbox.Run(args).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "b.dat"), original);

  // Setting a value it already holds rewrites the file byte for byte.
  ASSERT_EQ(sandbox.Run({"set", "a.dat", "cycleCount=770"}).status, 0);
  EXPECT_EQ(ReadFile(sandbox.Work() / "a.dat"), original);
}

TEST(SettingsFileCommands, AnUnreadableFileChangesNothing) {
  CliSandbox sandbox;
  const std::string truncated = ReadFile(kData + "truncated.dat");
  WriteFile(sandbox.Work() / "short.dat", truncated);

  const CliResult shown = sandbox.Run({"show", "short.dat"});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(shown.out, "");
  EXPECT_EQ(shown.err, "varnolt-cli: cannot read settings from short.dat: " + kEndOfFile + "\n");

  const CliResult set = sandbox.Run({"set", "short.dat", "palmCount=5"});
  EXPECT_EQ(set.status, 1);
  EXPECT_THAT(set.err, HasSubstr(kEndOfFile));
  EXPECT_EQ(ReadFile(sandbox.Work() / "short.dat"), truncated);

  const CliResult run = sandbox.Run({"run", "short.dat", "--seed", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr(kEndOfFile));
  EXPECT_EQ(sandbox.WorkEntries(), 1u) << "no report was written";

  const CliResult missing = sandbox.Run({"show", "missing.dat"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "varnolt-cli: cannot read settings from missing.dat: no such file or directory\n");
}

TEST(SettingsFileCommands, ABadAssignmentOrPlaceSavesNothing) {
  CliSandbox sandbox;
  const CliResult unknown = sandbox.Run({"set", "new.dat", "palmCount=5", "palms=5"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("unknown setting \"palms\""));
  EXPECT_EQ(sandbox.WorkEntries(), 0u);

  ASSERT_EQ(sandbox.Run({"set", "a.dat", "palmCount=5"}).status, 0);
  const std::string before = ReadFile(sandbox.Work() / "a.dat");
  const CliResult badSwitch = sandbox.Run({"set", "a.dat", "cycleCount=9", "leafPruning=2"});
  EXPECT_EQ(badSwitch.status, 2);
  EXPECT_EQ(ReadFile(sandbox.Work() / "a.dat"), before);

  const CliResult nowhere = sandbox.Run({"set", "no-folder/a.dat", "palmCount=5"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_THAT(nowhere.err, HasSubstr("varnolt-cli: cannot read settings from no-folder/a.dat: no such folder, or the name is not valid\n"));

  EXPECT_EQ(sandbox.Run({"set", "a.dat"}).status, 2);
  EXPECT_EQ(sandbox.Run({"show"}).status, 2);
}

TEST(SettingsFileCommands, RunUsesTheFileAndItsOverrides) {
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run({"set", "trial.dat", "runNotes=Trial 4", "palmCount=3", "cycleCount=20"}).status, 0);
  const CliResult fromFile = sandbox.Run({"run", "trial.dat", "--seed", "5", "--set", "palmCount=2", "--output", "-"});
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_THAT(fromFile.err, HasSubstr("from trial.dat"));
  const CliResult same = sandbox.Run({"run", "--seed", "5", "--set", "runNotes=Trial 4", "--set", "palmCount=2",
                                      "--set", "cycleCount=20", "--output", "-"});
  ASSERT_EQ(same.status, 0) << same.err;
  EXPECT_THAT(fromFile.out, HasSubstr("RUN NAME/NOTES: Trial 4\r\nMeans of 2 palms\r\n"));
  EXPECT_EQ(fromFile.out, same.out);
}

TEST(SettingsFileCommands, AReportIsNoSettingsFileForAnyCommand) {
  // A report shares ".dat" with settings files and begins much like one.
  CliSandbox sandbox;
  const std::string report = ReadFile(kData + "report-as-settings.dat");
  WriteFile(sandbox.Work() / "output.dat", report);
  const std::string refusal =
      "varnolt-cli: cannot read settings from output.dat: it is not a VARNOLT settings file (it has 988 bytes after "
      "the settings)\n";

  const CliResult shown = sandbox.Run({"show", "output.dat"});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(shown.out, "");
  EXPECT_EQ(shown.err, refusal);

  const CliResult set = sandbox.Run({"set", "output.dat", "palmCount=50"});
  EXPECT_EQ(set.status, 1);
  EXPECT_EQ(set.err, refusal + "Nothing was changed.\n");

  const CliResult run = sandbox.Run({"run", "output.dat", "--seed", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, refusal + "Nothing was run.\n");

  EXPECT_EQ(ReadFile(sandbox.Work() / "output.dat"), report);
  EXPECT_EQ(sandbox.WorkEntries(), 1u);
}

}  // namespace varnolt
