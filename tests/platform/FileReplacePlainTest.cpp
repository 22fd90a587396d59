#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/FileIO.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ScratchFolderTest.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

class FileReplace : public ScratchFolderTest {
 protected:
  FileReplace() : ScratchFolderTest("varnolt-replace") {}
  static std::optional<ReplaceFailure> Replace(const fs::path& file, const std::string& bytes) {
    return ReplaceFileWith(file, [&bytes](std::ostream& out) { out << bytes; });
  }
};

TEST_F(FileReplace, StreamsTheWritersOutputWhole) {
  const fs::path file = In("report.txt");
  Write(file, "old");
  // Single characters, pieces and a long run, more than any buffer holds at once.
  std::string expected;
  for (int line = 0; line < 200000; ++line) expected += "cycle " + std::to_string(line) + '\t' + "42.5\r\n";
  expected += std::string(3 << 20, 'x');
  expected += 'z';
  const auto failure = ReplaceFileWith(file, [&](std::ostream& out) {
    for (int line = 0; line < 200000; ++line) out << "cycle " << line << '\t' << 42.5 << "\r\n";
    out << std::string(3 << 20, 'x');
    out.put('z');
    out.flush();
  });
  EXPECT_FALSE(failure);
  EXPECT_TRUE(Contents(file) == expected) << "the replaced file differs from what was written";
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
}

TEST_F(FileReplace, OurTemporaryFilesADayOldAreRemovedWhenTheFolderNextGetsAFile) {
  const auto twoDaysAgo = fs::file_time_type::clock::now() - std::chrono::hours(48);
  for (const char* name : {".varnolt-crashed.tmp", ".varnolt-today.tmp", "notes.tmp", ".varnolt-kept.txt"}) {
    Write(In(name), "left behind");
    if (std::string(name) != ".varnolt-today.tmp") fs::last_write_time(In(name), twoDaysAgo);
  }
  fs::create_directory(In(".varnolt-folder.tmp"));
#ifndef _WIN32
  // Windows' C runtime cannot date a folder; there it is a new one, kept as well.
  fs::last_write_time(In(".varnolt-folder.tmp"), twoDaysAgo);
#endif

  ASSERT_FALSE(Replace(In("report.txt"), "new"));
  EXPECT_EQ(Names(), (std::vector<std::string>{".varnolt-folder.tmp", ".varnolt-kept.txt", ".varnolt-today.tmp",
                                               "notes.tmp", "report.txt"}));
}

TEST_F(FileReplace, AWriterThatFailsOrThrowsLeavesTheOldFileWhole) {
  const fs::path file = In("report.txt");
  Write(file, "old");

  const auto failure = ReplaceFileWith(file, [](std::ostream& out) {
    out << "half of it";
    out.setstate(std::ios::failbit);
  });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, std::make_error_code(std::errc::io_error));
  EXPECT_EQ(failure->error.cause, FileErrorCause::HardwareError);

  EXPECT_THROW(ReplaceFileWith(file,
                               [](std::ostream& out) {
                                 out << "half of it";
                                 throw std::runtime_error("writer gave up");
                               }),
               std::runtime_error);

  EXPECT_EQ(Contents(file), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
}

TEST_F(FileReplace, AFailureCarriesTheSystemsErrorAndTheFileError) {
  const auto write = [](std::ostream& out) { out << "new"; };
  const auto missing = ReplaceFileWith(In("no-folder/report.txt"), write);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->code, std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(missing->code.message(), "No such file or directory");
  EXPECT_EQ(missing->error,
            (FileError{FileErrorCause::BadPath, PathToUtf8(In("no-folder/report.txt").lexically_normal())}));

  // No name at all is refused before anything is made in the current folder.
  const fs::path here = fs::current_path();
  fs::current_path(folder_);
  const auto unnamed = ReplaceFileWith("", write);
  fs::current_path(here);
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(unnamed->code, std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileReplace, ALinkIsFollowedToTheFileItNamesEvenBeforeThatExists) {
  // A dangling link gets its target made; a chain of relative links is followed
  // to its end; every link stays a link.
  fs::create_directory(In("runs"));
  std::error_code made;
  fs::create_symlink("runs/report.txt", In("dangling.txt"), made);
  if (made) GTEST_SKIP() << "no symbolic links here (" << made.message() << ")";
  EXPECT_FALSE(Replace(In("dangling.txt"), "first"));
  EXPECT_TRUE(fs::is_symlink(In("dangling.txt")));
  EXPECT_EQ(Contents(In("runs/report.txt")), "first");

  fs::create_symlink("dangling.txt", In("chain.txt"));
  EXPECT_FALSE(Replace(In("chain.txt"), "second"));
  EXPECT_TRUE(fs::is_symlink(In("chain.txt")));
  EXPECT_TRUE(fs::is_symlink(In("dangling.txt")));
  EXPECT_EQ(Contents(In("runs/report.txt")), "second");
  EXPECT_EQ(Names(), (std::vector<std::string>{"chain.txt", "dangling.txt", "runs"}));

  fs::create_symlink("loop-b", In("loop-a"));
  fs::create_symlink("loop-a", In("loop-b"));
  const auto loop = Replace(In("loop-a"), "never");
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->error.cause, FileErrorCause::BadPath);
  EXPECT_TRUE(fs::is_symlink(In("loop-a")));
}

TEST_F(FileReplace, EveryHardLinkSeesTheNewContent) {
  Write(In("a.dat"), "old settings");
  fs::create_hard_link(In("a.dat"), In("twin.dat"));
  EXPECT_FALSE(Replace(In("a.dat"), "new"));
  EXPECT_EQ(Contents(In("a.dat")), "new");
  EXPECT_EQ(Contents(In("twin.dat")), "new");
#ifndef _WIN32
  EXPECT_EQ(fs::hard_link_count(In("a.dat")), 2u);  // the C++ library on Windows always says 1
#endif
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "twin.dat"}));
}

TEST_F(FileReplace, AFolderThatRefusesNewFilesStillLetsItsFilesBeWritten) {
  // The folder's refusal is made here through the file layer's seam; the
  // runner's tests meet a real one as an unprivileged user.
  Write(In("shared.dat"), "old contents, longer than the new");
  {
    FailingStep folderRefuses(1, std::errc::permission_denied);
    EXPECT_FALSE(Replace(In("shared.dat"), "new"));
    EXPECT_EQ(folderRefuses.FailedStep(), FileStep::Create);
  }
  EXPECT_EQ(Contents(In("shared.dat")), "new");

  FailingStep folderRefuses(1, std::errc::permission_denied);
  const auto refused = Replace(In("fresh.dat"), "new");
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->folderRefused);
  EXPECT_EQ(refused->error, (FileError{FileErrorCause::FolderAccessDenied, folder_.string()}));
  EXPECT_EQ(FileErrorText(refused->error), "Access to the folder " + folder_.string() + " was denied.");
  EXPECT_EQ(Names(), std::vector<std::string>{"shared.dat"});
}

TEST_F(FileReplace, AFailureAtAnyStepLeavesTheOldFileWholeAndNoTemporaryFile) {
  const fs::path file = In("report.txt");
  const std::string old = "old report";
  const std::string fresh(200000, 'n');  // several pieces of writing
  Write(file, old);
  const int steps = FailingStep::StepsOf([&] { EXPECT_FALSE(Replace(In("count.txt"), fresh)); });
  fs::remove(In("count.txt"));
  ASSERT_GE(steps, 6) << "create, writes, flush, sync, close, rename";
  for (int failAt = 1; failAt <= steps; ++failAt) {
    SCOPED_TRACE("failing step " + std::to_string(failAt));
    FailingStep failing(failAt);
    const auto failure = Replace(file, fresh);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, std::make_error_code(std::errc::io_error));
    EXPECT_EQ(Contents(file), old);
    EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
  }
}

#ifndef _WIN32
TEST_F(FileReplace, TheOwnerGroupAndModeStay) {
  Write(In("theirs.dat"), "old");
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file to another user";
  ASSERT_EQ(::chown(In("theirs.dat").c_str(), 65534, 65534), 0);
  fs::permissions(In("theirs.dat"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_FALSE(Replace(In("theirs.dat"), "new"));
  struct stat after {};
  ASSERT_EQ(::stat(In("theirs.dat").c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, 65534u);
  EXPECT_EQ(after.st_gid, 65534u);
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  EXPECT_EQ(Contents(In("theirs.dat")), "new");
}

TEST_F(FileReplace, AFileThatMayBeWrittenButNotReadIsReplaced) {
  const fs::path file = In("report.txt");
  Write(file, "old");
  fs::permissions(file, fs::perms::owner_write);
  EXPECT_FALSE(ReplaceFileWith(file, [](std::ostream& out) { out << "new"; }));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_write);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Contents(file), "new");
}
#else
TEST_F(FileReplace, OwnersAndModesArePosixOnly) {
  GTEST_SKIP() << "Windows files have no owner, group and mode bits to keep";
}
#endif

TEST_F(FileReplace, AFileAnotherProgramHoldsOpenIsStillReplaced) {
  // A viewer that keeps the report open for reading (and lets others write it,
  // as most do): Windows will not replace that file, so it is written in place.
  Write(In("report.txt"), "the old report, longer than the new one");
  std::ifstream viewer(In("report.txt"), std::ios::binary);
  ASSERT_TRUE(viewer.is_open());
  EXPECT_FALSE(Replace(In("report.txt"), "new"));
  EXPECT_EQ(Contents(In("report.txt")), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
}

TEST_F(FileReplace, TheNullDeviceIsWrittenNotReplaced) {
#ifdef _WIN32
  const fs::path device = "NUL";
#else
  const fs::path device = "/dev/null";
#endif
  const fs::path here = fs::current_path();
  fs::current_path(folder_);
  const auto failure = Replace(device, "into nothing");
  fs::current_path(here);
  EXPECT_FALSE(failure) << failure->code.message();
  EXPECT_TRUE(Names().empty()) << "no file of that name, and no temporary file";
}

#ifdef _WIN32
TEST_F(FileReplace, AFileLockedByAnotherProgramIsASharingViolationInWindowsOwnWords) {
  Write(In("locked.txt"), "theirs");
  const HANDLE locked = CreateFileW(In("locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  const auto failure = Replace(In("locked.txt"), "ours");
  CloseHandle(locked);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->error.cause, FileErrorCause::SharingViolation);
  EXPECT_EQ(failure->code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
  EXPECT_NE(failure->code.message(), std::make_error_code(std::errc::io_error).message());
  EXPECT_EQ(Contents(In("locked.txt")), "theirs");
  EXPECT_EQ(Names(), std::vector<std::string>{"locked.txt"});
}
#endif

}  // namespace

}  // namespace varnolt
