#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run/ReportTarget.h"
#include "settings/SettingsFile.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class ReportTarget : public testing::Test {
 protected:
  ReportTarget() : here_(fs::current_path()) { fs::current_path(scratch_.Path()); }
  ~ReportTarget() override { fs::current_path(here_); }

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
  fs::create_symlink("../output.dat", "runs/link.dat");
  const fs::path settingsFile = scratch_.In("output.dat");
  for (const std::string& spelling : {std::string("output.dat"), std::string("./output.dat"), std::string("runs/../output.dat"), std::string("runs/link.dat"),
                                      scratch_.In("output.dat").string()}) {
    EXPECT_EQ(ReportTargetProblem(spelling, settingsFile), Refusal(spelling)) << spelling;
    EXPECT_EQ(ReportTargetProblem(spelling, "runs/link.dat"), Refusal(spelling)) << spelling;
  }
  EXPECT_EQ(ReportTargetProblem("other.dat", settingsFile), std::nullopt);
}

TEST_F(ReportTarget, AFileThatReadsAsSettingsIsRefusedAndReportsAreNot) {
  WriteFileBytes("settings.dat", StoreSettings(NewDefaults()));
  WriteFileBytes("report.dat", "Programme: VARNOLT_WIN.exe (MODIFIED FROM TORBISKA5.bas)\r\n" + std::string(500, ' '));
  WriteFileBytes("settings-and-more.dat", StoreSettings(NewDefaults()) + "x");
  WriteFileBytes("empty.dat", "");
  EXPECT_EQ(ReportTargetProblem("settings.dat", {}), Refusal("settings.dat"));
  for (const char* replaceable : {"report.dat", "settings-and-more.dat", "empty.dat", "new.dat", ""}) {
    EXPECT_EQ(ReportTargetProblem(replaceable, {}), std::nullopt) << replaceable;
  }
}
