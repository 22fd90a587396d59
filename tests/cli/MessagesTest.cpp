#include <gtest/gtest.h>

#include "cli/Messages.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

TEST(RunnerMessages, OneCauseTextPerSystemError) {
  // A settings file that is missing and a table that is missing say the same.
  EXPECT_EQ(CauseText(FileError{FileErrorCause::NotFound, "/home/ana/a.dat"}, "a.dat"),
            CauseText(std::make_error_code(std::errc::no_such_file_or_directory)));
  EXPECT_EQ(CauseText(FileError{FileErrorCause::AccessDenied, "/x"}, "x"),
            CauseText(std::make_error_code(std::errc::permission_denied)));
  EXPECT_EQ(CauseText(FileError{FileErrorCause::DiskFull, "/x"}, "x"),
            CauseText(std::make_error_code(std::errc::no_space_on_device)));
  for (const FileErrorCause cause : {FileErrorCause::NotFound, FileErrorCause::BadPath, FileErrorCause::AccessDenied,
                                     FileErrorCause::DiskFull, FileErrorCause::EndOfFile, FileErrorCause::Unknown}) {
    const std::string text = CauseText(FileError{cause, "/home/ana/runs/a.dat"}, "runs/a.dat");
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_FALSE(text[0] >= 'A' && text[0] <= 'Z') << text;
    EXPECT_EQ(text.find("/home/ana"), std::string::npos) << text;
  }
  EXPECT_EQ(CauseText(FileError{FileErrorCause::FolderAccessDenied, "/home/ana/runs"}, "runs/a.dat"),
            "the folder runs refuses a new file (permission denied)");
}

TEST(RunnerMessages, WindowTextsBecomeOneLine) {
  EXPECT_EQ(RunnerText("A run of 9 node initiation cycles needs more memory than this computer has free.\n"
                       "Choose fewer cycles and run again."),
            "a run of 9 node initiation cycles needs more memory than this computer has free; choose fewer cycles "
            "and run again");
  EXPECT_EQ(RunnerText("VARNOLT cannot draw."), "VARNOLT cannot draw");  // a name keeps its capitals

  RunSettings settings = StartupDefaults();
  settings.maleThreshold = 16;
  const ValidationRule* rule = FirstFailedRule(settings);
  ASSERT_NE(rule, nullptr);
  const std::string line = RuleFailureLine(*rule, settings);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_NE(line.find("maleThreshold 16"), std::string::npos) << line;
  EXPECT_NE(line.find("(rule 5)"), std::string::npos) << line;
}

}  // namespace

}  // namespace varnolt
