#pragma once
// File and archive errors as plain data: what went wrong and with which file.
// The window shows FileErrorText() in its error box, the runner prints it; both
// get the same words. Plain C++, no Qt.

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace varnolt {

enum class FileErrorCause {
  // Causes reported with the file's full path.
  NotFound,
  BadPath,
  TooManyOpenFiles,
  AccessDenied,
  InvalidHandle,
  DirectoryFull,
  HardwareError,
  SharingViolation,
  LockingViolation,
  DiskFull,
  Unknown,
  // The folder would not take a new file beside the one being written; `path`
  // names the folder.
  FolderAccessDenied,
  // A file that holds settings and then more bytes: not one VARNOLT wrote.
  NotSettingsFile,
  // Causes found while reading an archive; their texts name no file.
  EndOfFile,
  BadLength,
  OutOfMemory,
};

struct FileError {
  FileErrorCause cause = FileErrorCause::Unknown;
  std::string path;  // full path, UTF-8; unused by the archive causes
  std::uint64_t trailingBytes = 0;  // NotSettingsFile: the bytes after the settings

  bool operator==(const FileError&) const = default;
};

// A pipe or device, whose size nobody knows, is read no further than this many
// bytes, so that what it sends cannot take all the memory there is.
inline constexpr std::uint64_t LargestUnsizedRead = std::uint64_t{256} << 20;

// The exact text the user sees, e.g. "/home/ana/run.dat was not found.".
std::string FileErrorText(const FileError& error);

// True for the one cause that the window shows with an exclamation icon
// rather than a stop icon.
inline bool IsOutOfMemory(const FileError& error) {
  return error.cause == FileErrorCause::OutOfMemory;
}

// The cause for an errno value (ENOENT, EACCES, ENOSPC, ...).
FileErrorCause CauseFromErrno(int errnoValue);

// The cause for an error code from std::filesystem or the C library; on
// Windows, system error codes are mapped first by their own values.
FileErrorCause CauseFromErrorCode(std::error_code code);

// The error for a failed operation on `path`: its cause from `code`, and the
// path made absolute. A missing file whose folder is missing too is reported as
// an invalid path, since no file name could have been right there.
FileError MakeFileError(std::error_code code, const std::filesystem::path& path);

// A path as Windows writes it: with a drive letter ("C:\runs\run1.dat", "D:run.dat")
// or backslashes ("\\server\share\run.dat", "runs\run1.dat"). Settings files
// written by VARNOLT on Windows carry such paths; elsewhere they would name a
// file literally called so.
bool IsWindowsStylePath(const std::string& path);

// Paths cross into and out of the program as UTF-8 on every platform.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace varnolt
