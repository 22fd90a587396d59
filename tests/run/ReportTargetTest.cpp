#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run/ReportTarget.h"
#include "settings/SettingsFile.h"
#include "tests/support/ScratchFolder.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

class ReportTarget : public testing::Test {
 protected:
  ReportTarget() : here_(fs::current_path()) { fs::current_path(scratch_.Path()); }
  ~ReportTarget() override { fs::current_path(here_); }

  // A refusal as the window says it (the runner's line is checked with the runner).
  static std::optional<std::string> Said(const std::optional<Problem>& problem) {
    return problem ? std::optional<std::string>(ProblemSentence(*problem)) : std::nullopt;
  }

  static std::string Refusal(const std::string& path) {
    return "The output file " + path + " holds run settings, not a report; choose another output file.";
  }

  ScratchFolder scratch_{"varnolt-target"};
  fs::path here_;
};

}  // namespace

TEST_F(ReportTarget, TheSettingsFileBeingRunIsRefusedHoweverItIsNamed) {
  // Damaged settings: only being the same file gives it away.
  WriteFileBytes("output.dat", StoreSettings(NewDefaults()).substr(0, 50));
  fs::create_directory("runs");
  // Windows here may make no symbolic links: the other spellings still count.
  std::error_code noLinks;
  fs::create_symlink("../output.dat", "runs/link.dat", noLinks);
  const fs::path settingsFile = scratch_.In("output.dat");
  std::vector<std::string> spellings = {"output.dat", "./output.dat", "runs/../output.dat",
                                        PathToUtf8(scratch_.In("output.dat"))};
  if (!noLinks) spellings.push_back("runs/link.dat");
  for (const std::string& spelling : spellings) {
    EXPECT_EQ(Said(ReportTargetProblem(spelling, settingsFile)), Refusal(spelling)) << spelling;
    if (!noLinks) {
      EXPECT_EQ(Said(ReportTargetProblem(spelling, "runs/link.dat")), Refusal(spelling)) << spelling;
    }
  }
  EXPECT_EQ(Said(ReportTargetProblem("other.dat", settingsFile)), std::nullopt);
}

TEST_F(ReportTarget, AFileThatReadsAsSettingsIsRefusedAndReportsAreNot) {
  WriteFileBytes("settings.dat", StoreSettings(NewDefaults()));
  WriteFileBytes("report.dat", "Programme: VARNOLT_WIN.exe (MODIFIED FROM TORBISKA5.bas)\r\n" + std::string(500, ' '));
  WriteFileBytes("settings-and-more.dat", StoreSettings(NewDefaults()) + "x");
  WriteFileBytes("empty.dat", "");
  EXPECT_EQ(Said(ReportTargetProblem("settings.dat", {})), Refusal("settings.dat"));
  for (const char* replaceable : {"report.dat", "settings-and-more.dat", "empty.dat", "new.dat", ""}) {
    EXPECT_EQ(Said(ReportTargetProblem(replaceable, {})), std::nullopt) << replaceable;
  }
}

TEST_F(ReportTarget, AWindowsPathFromASettingsFileIsRefusedOutsideWindows) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows such a path names a file like any other";
#else
  for (const std::string windows : {"C:\\VARNOLT\\run1.dat", "d:run1.dat", "C:/VARNOLT/run1.dat", "runs\\run1.dat",
                                    "\\\\server\\share\\run1.dat"}) {
    EXPECT_EQ(Said(ReportTargetProblem(windows, {})), "outputPath " + windows + " is a Windows path; choose an output file");
  }
  for (const char* here : {"run1.dat", "runs/run1.dat", "C_run1.dat", "notes:1.dat", "1:2.dat", "/tmp/C:/run.dat"}) {
    EXPECT_EQ(Said(ReportTargetProblem(here, {})), std::nullopt) << here;
  }
  EXPECT_TRUE(fs::is_empty(scratch_.Path())) << "nothing is made while looking";
#endif
}

}  // namespace varnolt
