#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/FileError.h"

namespace varnolt {

TEST(FileError, TextsNameTheFileOrAnUnnamedOne) {
  const std::string p = "/data/run.dat";
  auto text = [&](FileErrorCause cause) { return FileErrorText({cause, p}); };
  EXPECT_EQ(text(FileErrorCause::NotFound), "/data/run.dat was not found.");
  EXPECT_EQ(text(FileErrorCause::BadPath), "/data/run.dat contains an invalid path.");
  EXPECT_EQ(text(FileErrorCause::TooManyOpenFiles),
            "/data/run.dat could not be opened because there are too many open files.");
  EXPECT_EQ(text(FileErrorCause::AccessDenied), "Access to /data/run.dat was denied.");
  EXPECT_EQ(text(FileErrorCause::InvalidHandle), "An invalid file handle was associated with /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::DirectoryFull),
            "/data/run.dat could not be created because the directory is full.");
  EXPECT_EQ(text(FileErrorCause::HardwareError),
            "A hardware I/O error was reported while accessing /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::SharingViolation),
            "A sharing violation occurred while accessing /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::LockingViolation),
            "A locking violation occurred while accessing /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::DiskFull), "Disk full while accessing /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::Unknown), "An unknown error occurred while accessing /data/run.dat.");
  EXPECT_EQ(text(FileErrorCause::EndOfFile), "An attempt was made to access an unnamed file past its end.");
  EXPECT_EQ(text(FileErrorCause::BadLength), "An unknown error occurred while accessing an unnamed file.");
  EXPECT_EQ(text(FileErrorCause::OutOfMemory), "Out of memory.");
  EXPECT_TRUE(IsOutOfMemory({FileErrorCause::OutOfMemory, {}}));
}

TEST(FileError, OperatingSystemErrorsFindTheirCause) {
  EXPECT_EQ(CauseFromErrno(ENOENT), FileErrorCause::NotFound);
  EXPECT_EQ(CauseFromErrno(ENOTDIR), FileErrorCause::BadPath);
  EXPECT_EQ(CauseFromErrno(EMFILE), FileErrorCause::TooManyOpenFiles);
  EXPECT_EQ(CauseFromErrno(EACCES), FileErrorCause::AccessDenied);
  EXPECT_EQ(CauseFromErrno(EROFS), FileErrorCause::AccessDenied);
  EXPECT_EQ(CauseFromErrno(EISDIR), FileErrorCause::AccessDenied);
  EXPECT_EQ(CauseFromErrno(EIO), FileErrorCause::HardwareError);
  EXPECT_EQ(CauseFromErrno(ENOSPC), FileErrorCause::DiskFull);
  EXPECT_EQ(CauseFromErrno(ENOLCK), FileErrorCause::LockingViolation);
  EXPECT_EQ(CauseFromErrno(0), FileErrorCause::Unknown);
  EXPECT_EQ(CauseFromErrorCode(std::make_error_code(std::errc::no_space_on_device)), FileErrorCause::DiskFull);
  EXPECT_EQ(CauseFromErrorCode(std::make_error_code(std::errc::permission_denied)),
            FileErrorCause::AccessDenied);
  // std::filesystem's own codes go the same way.
  std::error_code code;
  EXPECT_EQ(std::filesystem::file_size("/no/such/varnolt/folder/run.dat", code), static_cast<std::uintmax_t>(-1));
  EXPECT_EQ(CauseFromErrorCode(code), FileErrorCause::NotFound);
}

TEST(FileError, MissingFolderIsAnInvalidPath) {
  const auto missing = std::make_error_code(std::errc::no_such_file_or_directory);
  const auto here = std::filesystem::current_path();
  EXPECT_EQ(MakeFileError(missing, "no-such-file.dat"),
            (FileError{FileErrorCause::NotFound, PathToUtf8(here / "no-such-file.dat")}));
  EXPECT_EQ(MakeFileError(missing, "no-such-folder/run.dat").cause, FileErrorCause::BadPath);
}

}  // namespace varnolt

