#include <gtest/gtest.h>

#include "cli/Messages.h"
#include "platform/Problem.h"
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

TEST(RunnerMessages, EveryProblemIsOneLineForTheRunnerAndSentencesForTheWindow) {
  const std::error_code denied = std::make_error_code(std::errc::permission_denied);
  Problem refused = MakeProblem(ProblemKind::ReportFolderRefused, "runs/a.dat");
  refused.folder = "/home/ana/runs";
  refused.systemError = denied;
  // The runner names the folder as the user did, as it does for every other file.
  EXPECT_EQ(ProblemLine(refused), "cannot write the report to runs/a.dat: " +
                                      CauseText(FileError{FileErrorCause::FolderAccessDenied, {}}, "runs/a.dat"));
  EXPECT_EQ(ProblemSentence(refused), "The report could not be written to \"runs/a.dat\": the folder /home/ana/runs "
                                      "refused a new file (" + denied.message() + ").\nAny earlier report there is unchanged.");
  Problem memory = MakeProblem(ProblemKind::TooLittleMemory);
  memory.value = 9;
  EXPECT_EQ(ProblemLine(memory), "a run of 9 node initiation cycles needs more memory than this computer has free; "
                                 "choose fewer cycles and run again");
  memory.bytesNeeded = (std::uint64_t{3} << 20) + 1;  // megabytes rounded up
  memory.bytesFree = std::uint64_t{2} << 20;
  EXPECT_EQ(ProblemSentence(memory), "A run of 9 node initiation cycles needs more memory than this computer has free "
                                     "(4 MB needed, 2 MB free).\nChoose fewer cycles and run again.");

  for (const ProblemKind kind :
       {ProblemKind::FrondOutOfRange, ProblemKind::TooLittleMemory, ProblemKind::RunCancelled,
        ProblemKind::ReportCancelled, ProblemKind::ReportNoName, ProblemKind::ReportIsFolder,
        ProblemKind::ReportFolderRefused, ProblemKind::ReportNotWritten, ProblemKind::ReportHoldsSettings,
        ProblemKind::WindowsPath}) {
    Problem problem = MakeProblem(kind, "runs/a.dat");
    problem.setting = "abortionFrond";
    problem.value = 170;
    problem.label = "Frond where stress induced abortion occurs";
    problem.systemError = std::make_error_code(std::errc::no_space_on_device);
    const std::string line = ProblemLine(problem);
    const std::string sentence = ProblemSentence(problem);
    SCOPED_TRACE(line);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.back(), '.');
    EXPECT_FALSE(line[0] >= 'A' && line[0] <= 'Z');
    EXPECT_FALSE(sentence.empty());
    if (kind != ProblemKind::WindowsPath) {
      EXPECT_NE(line, sentence);
    }
  }
}

TEST(RunnerMessages, ABrokenRuleIsOneLine) {
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
