#include "platform/FileError.h"

#include <cerrno>

#include "platform/WideText.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

std::string WithPath(const std::string& before, const std::string& path, const std::string& after) {
  return before + path + after;
}

#ifdef _WIN32
// Windows' own error numbers, as std::filesystem reports them there.
bool CauseFromWindowsError(int code, FileErrorCause& cause) {
  switch (code) {
    case 2: cause = FileErrorCause::NotFound; return true;             // FILE_NOT_FOUND
    case 3:                                                             // PATH_NOT_FOUND
    case 15:                                                            // INVALID_DRIVE
    case 123:                                                           // INVALID_NAME
    case 161:                                                           // BAD_PATHNAME
    case 206: cause = FileErrorCause::BadPath; return true;            // FILENAME_EXCED_RANGE
    case 4: cause = FileErrorCause::TooManyOpenFiles; return true;
    case 5:                                                             // ACCESS_DENIED
    case 19:                                                            // WRITE_PROTECT
    case 267: cause = FileErrorCause::AccessDenied; return true;       // DIRECTORY
    case 6: cause = FileErrorCause::InvalidHandle; return true;
    case 82: cause = FileErrorCause::DirectoryFull; return true;       // CANNOT_MAKE
    case 21: case 23: case 25: case 29: case 30: case 31:
      cause = FileErrorCause::HardwareError; return true;
    case 32: cause = FileErrorCause::SharingViolation; return true;
    case 33: case 108: cause = FileErrorCause::LockingViolation; return true;
    case 39: case 112: cause = FileErrorCause::DiskFull; return true;
    case 8: case 14: cause = FileErrorCause::OutOfMemory; return true;
    default: return false;
  }
}
#endif

}  // namespace

std::string FileErrorText(const FileError& error) {
  const std::string& p = error.path;
  switch (error.cause) {
    case FileErrorCause::NotFound: return WithPath("", p, " was not found.");
    case FileErrorCause::BadPath: return WithPath("", p, " contains an invalid path.");
    case FileErrorCause::TooManyOpenFiles:
      return WithPath("", p, " could not be opened because there are too many open files.");
    case FileErrorCause::AccessDenied: return WithPath("Access to ", p, " was denied.");
    case FileErrorCause::InvalidHandle:
      return WithPath("An invalid file handle was associated with ", p, ".");
    case FileErrorCause::DirectoryFull:
      return WithPath("", p, " could not be created because the directory is full.");
    case FileErrorCause::HardwareError:
      return WithPath("A hardware I/O error was reported while accessing ", p, ".");
    case FileErrorCause::SharingViolation:
      return WithPath("A sharing violation occurred while accessing ", p, ".");
    case FileErrorCause::LockingViolation:
      return WithPath("A locking violation occurred while accessing ", p, ".");
    case FileErrorCause::DiskFull: return WithPath("Disk full while accessing ", p, ".");
    case FileErrorCause::Unknown:
      return WithPath("An unknown error occurred while accessing ", p, ".");
    case FileErrorCause::FolderAccessDenied: return WithPath("Access to the folder ", p, " was denied.");
    case FileErrorCause::NotSettingsFile: {
      // A pipe that sends on without end is counted only up to the read limit.
      const std::string count = error.trailingBytes > LargestUnsizedRead
                                    ? "more than " + std::to_string(LargestUnsizedRead)
                                    : std::to_string(error.trailingBytes);
      return WithPath("", p.empty() ? "An unnamed file" : p,
                      " is not a VARNOLT settings file (it has " + count +
                          (error.trailingBytes == 1 ? " byte" : " bytes") + " after the settings).");
    }
    // An archive knows nothing of the file beneath it, hence "an unnamed file".
    case FileErrorCause::EndOfFile:
      return "An attempt was made to access an unnamed file past its end.";
    case FileErrorCause::BadLength:
      return "An unknown error occurred while accessing an unnamed file.";
    case FileErrorCause::OutOfMemory: return "Out of memory.";
  }
  return WithPath("An unknown error occurred while accessing ", p, ".");
}

FileErrorCause CauseFromErrno(int value) {
  switch (value) {
    case ENOENT: return FileErrorCause::NotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
    case EILSEQ: return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE: return FileErrorCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // a folder where a file was wanted: Windows says access denied too
      return FileErrorCause::AccessDenied;
    case EBADF: return FileErrorCause::InvalidHandle;
    case EMLINK: return FileErrorCause::DirectoryFull;
    case EIO:
    case ENXIO:
    case ENODEV: return FileErrorCause::HardwareError;
    case EBUSY:
    case ETXTBSY: return FileErrorCause::SharingViolation;
    case ENOLCK:
    case EDEADLK: return FileErrorCause::LockingViolation;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return FileErrorCause::DiskFull;
    case ENOMEM: return FileErrorCause::OutOfMemory;
    default: return FileErrorCause::Unknown;
  }
}

FileErrorCause CauseFromErrorCode(std::error_code code) {
#ifdef _WIN32
  FileErrorCause cause;
  if (code.category() == std::system_category() && CauseFromWindowsError(code.value(), cause)) {
    return cause;
  }
#endif
  const std::error_condition condition = code.default_error_condition();
  if (condition.category() == std::generic_category()) return CauseFromErrno(condition.value());
  return FileErrorCause::Unknown;
}

FileError MakeFileError(std::error_code code, const fs::path& path) {
  std::error_code ignored;
  fs::path full = fs::absolute(path, ignored);
  if (full.empty()) full = path;
  FileErrorCause cause = CauseFromErrorCode(code);
  if (cause == FileErrorCause::NotFound && full.has_parent_path() &&
      !fs::is_directory(full.parent_path(), ignored)) {
    cause = FileErrorCause::BadPath;
  }
  return {cause, PathToUtf8(full.lexically_normal())};
}

bool IsWindowsStylePath(const std::string& path) {
  const bool drive = path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':';
  return drive || path.find('\\') != std::string::npos;
}

fs::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
  // The standard conversion throws on a byte that is not UTF-8; a name typed or
  // read from a file must still reach the file system and be reported there.
  return fs::path(WideFromUtf8(utf8));
#else
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
#endif
}

std::string PathToUtf8(const fs::path& path) {
#ifdef _WIN32
  return Utf8FromWide(path.native());
#else
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#endif
}

}  // namespace varnolt
