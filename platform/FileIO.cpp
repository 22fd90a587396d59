#include "platform/FileIO.h"

#include <cerrno>
#include <limits>
#include <random>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::FILE* OpenHandle(const fs::path& path, const char* mode) {
#ifdef _WIN32
  const std::string narrow(mode);
  return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::error_code LastError(int fallback = EIO) {
  return {errno != 0 ? errno : fallback, std::generic_category()};
}

// Makes sure the bytes have reached the disk before the rename makes them the
// file: a crash must not leave an empty file where the old one was.
bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

std::optional<FileError> WriteInPlace(const fs::path& target, std::string_view bytes, const fs::path& shown) {
  errno = 0;
  std::FILE* file = OpenHandle(target, "wb");
  if (file == nullptr) return MakeFileError(LastError(EACCES), shown);
  errno = 0;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
  std::error_code cause = LastError();
  if (std::fclose(file) != 0 && written) {
    written = false;
    cause = LastError();
  }
  if (!written) return MakeFileError(cause, shown);
  return std::nullopt;
}

}  // namespace

fs::path TemporaryPathBeside(const fs::path& target) {
  std::random_device device;
  std::uniform_int_distribution<unsigned> digit(0, 15);
  std::string name = ".varnolt-";
  for (int i = 0; i < 8; ++i) name += "0123456789abcdef"[digit(device)];
  return target.parent_path() / (name + ".tmp");
}

InputFile::~InputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

std::optional<FileError> InputFile::Open(const fs::path& path) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  path_ = path;
  position_ = 0;
  std::error_code code;
  // Reading a folder as a file is refused the way Windows refuses it.
  if (fs::is_directory(path, code)) {
    return MakeFileError(std::make_error_code(std::errc::permission_denied), path);
  }
  errno = 0;
  file_ = OpenHandle(path, "rb");
  if (file_ == nullptr) return MakeFileError(LastError(ENOENT), path);
  const std::uintmax_t size = fs::file_size(path, code);
  // A pipe or device has no size; its reads still stop at its end.
  size_ = code ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(size);
  return std::nullopt;
}

std::optional<FileError> InputFile::Read(char* destination, std::size_t count) {
  if (count == 0) return std::nullopt;
  if (file_ == nullptr) return MakeFileError(std::make_error_code(std::errc::bad_file_descriptor), path_);
  if (count > Remaining()) return FileError{FileErrorCause::EndOfFile, {}};
  errno = 0;
  const std::size_t got = std::fread(destination, 1, count, file_);
  position_ += got;
  if (got == count) return std::nullopt;
  if (std::ferror(file_)) return MakeFileError(LastError(), path_);
  return FileError{FileErrorCause::EndOfFile, {}};
}

std::optional<FileError> ReplaceFileContents(const fs::path& requested, std::string_view bytes) {
  std::error_code code;
  fs::path target = requested;
  if (fs::is_symlink(target, code)) {
    const fs::path resolved = fs::weakly_canonical(target, code);
    if (!code) target = resolved;
  }

  // An existing file that could not be opened for writing stays as it is, with
  // the reason it could not be opened (read-only, a folder, in use).
  const fs::file_status existing = fs::status(target, code);
  if (fs::exists(existing)) {
    errno = 0;
    std::FILE* probe = OpenHandle(target, "r+b");
    if (probe == nullptr) return MakeFileError(LastError(EACCES), requested);
    std::fclose(probe);
    // A device or pipe cannot be replaced by a file; it is written as it is.
    if (!fs::is_regular_file(existing)) return WriteInPlace(target, bytes, requested);
  }

  fs::path temporary;
  std::FILE* file = nullptr;
  for (unsigned attempt = 0; file == nullptr; ++attempt) {
    temporary = TemporaryPathBeside(target);
    errno = 0;
    file = OpenHandle(temporary, "wbx");
    if (file == nullptr && (errno != EEXIST || attempt >= 100)) {
      return MakeFileError(LastError(EACCES), requested);
    }
  }

  auto fail = [&](std::error_code cause) -> std::optional<FileError> {
    if (file != nullptr) std::fclose(file);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return MakeFileError(cause, requested);
  };

  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || !FlushToDisk(file)) {
    return fail(LastError());
  }
  errno = 0;
  const int closed = std::fclose(file);
  file = nullptr;
  if (closed != 0) return fail(LastError());

  // The new file keeps the permissions the old one had.
  if (fs::exists(existing)) fs::permissions(temporary, existing.permissions(), code);

  fs::rename(temporary, target, code);
  if (code) return fail(code);
  return std::nullopt;
}
