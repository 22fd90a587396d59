#include "platform/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnolt {

namespace fs = std::filesystem;

namespace {

FileFaultInjector* faultInjector = nullptr;

// The injected failure of a step, if a test asked for one; errno says it too,
// as the failed call would have.
bool Injected(FileStep step) {
  if (faultInjector == nullptr) return false;
  const std::error_code code = faultInjector->Before(step);
  if (!code) return false;
  errno = code.value();
  return true;
}

std::FILE* OpenHandle(const fs::path& path, const char* mode) {
#ifdef _WIN32
  const std::string narrow(mode);
  return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

// Opening a file to write it is a step that tests may make fail.
std::FILE* OpenForWriting(const fs::path& path, const char* mode, FileStep step) {
  return Injected(step) ? nullptr : OpenHandle(path, mode);
}

// Creates a new file to write, failing with EEXIST when the name is taken. The
// Windows C runtime ignores fopen's "x", and would empty the file that is there.
std::FILE* OpenNew(const fs::path& path) {
  if (Injected(FileStep::Create)) return nullptr;
#ifdef _WIN32
  const int handle = _wopen(path.c_str(), _O_WRONLY | _O_BINARY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
  std::FILE* file = handle < 0 ? nullptr : _fdopen(handle, "wb");
  if (file == nullptr && handle >= 0) _close(handle);
  return file;
#else
  return std::fopen(path.c_str(), "wbx");
#endif
}

// Opens an existing file to write over it from its start, neither emptying it
// first nor needing to read it.
std::FILE* OpenToWriteOver(const fs::path& path) {
  if (Injected(FileStep::Open)) return nullptr;
#ifdef _WIN32
  const int handle = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
  std::FILE* file = handle < 0 ? nullptr : _fdopen(handle, "wb");
  if (file == nullptr && handle >= 0) _close(handle);
#else
  const int handle = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  std::FILE* file = handle < 0 ? nullptr : ::fdopen(handle, "wb");
  if (file == nullptr && handle >= 0) ::close(handle);
#endif
  return file;
}

std::error_code LastError(int fallback = EIO) {
  return {errno != 0 ? errno : fallback, std::generic_category()};
}

#ifdef _WIN32
// The last Windows error, whose message is Windows' own text (not the C
// runtime's guess at an errno, which makes most of them an I/O error).
std::error_code LastWindowsError() { return {static_cast<int>(GetLastError()), std::system_category()}; }

// A handle that asks for no access, only to learn what a name is.
HANDLE OpenToInspect(const fs::path& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The file that a symbolic link (or a chain of them) names, as Windows resolves
// it; the path itself when it is no link or its file does not exist yet.
std::error_code FollowWindowsLinks(fs::path& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return {};
  const HANDLE handle = OpenToInspect(target);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, final.data(), DWORD(final.size()), FILE_NAME_NORMALIZED);
  if (length >= final.size()) {
    final.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, final.data(), DWORD(final.size()), FILE_NAME_NORMALIZED);
  }
  const std::error_code code = length == 0 ? LastWindowsError() : std::error_code();
  CloseHandle(handle);
  if (code) return code;
  final.resize(length);
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    final = L"\\\\" + final.substr(8);
  } else if (final.rfind(L"\\\\?\\", 0) == 0) {
    final = final.substr(4);
  }
  target = fs::path(final);
  return {};
}

// The number of names a file has; 1 when it cannot be told.
std::uintmax_t HardLinkCount(const fs::path& path) {
  const HANDLE handle = OpenToInspect(path);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  return known ? information.nNumberOfLinks : 1;
}

// Errors of a replacement that leave both files as they were, because another
// program holds the old one open: the new content is then written in place.
bool HeldOpen(std::error_code code) {
  switch (code.value()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return true;
    default: return false;
  }
}
#endif

// Makes sure the bytes have reached the disk before the rename makes them the
// file: a crash must not leave an empty file where the old one was.
bool FlushToDisk(std::FILE* file) {
  if (Injected(FileStep::Flush) || std::fflush(file) != 0) return false;
  if (Injected(FileStep::Sync)) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Closes the file; the reason when its last bytes could not be written.
std::error_code Close(FileHandle& file) {
  errno = 0;
  const bool injected = Injected(FileStep::Close);
  const int savedErrno = errno;
  if (std::fclose(file.release()) != 0) return LastError();
  if (injected) return {savedErrno, std::generic_category()};
  return {};
}

// The reason an existing file could not be opened to write it in place (read-only,
// a folder, in use), without changing it or creating anything. Only for regular
// files: opening a pipe to write would wait for its reader.
std::error_code RefusedForWriting(const fs::path& path) {
#ifdef _WIN32
  // Windows says why: read-only, a folder, or held by a program that shares no
  // writing (a sharing violation).
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastWindowsError();
  CloseHandle(handle);
  return {};
#else
  errno = 0;
  const int handle = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (handle < 0) return LastError(EACCES);
  ::close(handle);
  return {};
#endif
}

// Gives the new file the owner and group of the one it replaces. False when the
// system would not (only the superuser may give a file away); the caller then
// writes the old file in place rather than change whose it is.
bool TakeOwnerOf(const fs::path& existing, std::FILE* file) {
#ifdef _WIN32
  (void)existing;
  (void)file;
  return true;
#else
  struct stat old {};
  struct stat fresh {};
  if (::stat(existing.c_str(), &old) != 0 || ::fstat(fileno(file), &fresh) != 0) return true;
  if (old.st_uid == fresh.st_uid && old.st_gid == fresh.st_gid) return true;
  return ::fchown(fileno(file), old.st_uid, old.st_gid) == 0;
#endif
}

// Streams the writer's output into the open file and flushes it, on to the disk
// when asked; the first error on the way.
std::error_code StreamInto(std::FILE* file, const ContentWriter& writer, bool toDisk) {
  FileStreamBuffer buffer(file);
  std::ostream out(&buffer);
  writer(out);
  out.flush();
  if (!out) return buffer.Error();
  errno = 0;
  if (toDisk && !FlushToDisk(file)) return LastError();
  return {};
}

// For devices and pipes, which take what comes as it comes.
std::error_code WriteDirectly(const fs::path& target, const ContentWriter& writer, const char* mode = "wb") {
  errno = 0;
  FileHandle file(OpenForWriting(target, mode, FileStep::Open));
  if (!file) return LastError(EACCES);
  const std::error_code written = StreamInto(file.get(), writer, false);
  const std::error_code closed = Close(file);
  return written ? written : closed;
}

// Writes over an existing file without replacing it, so that it stays the same
// file. The content is made whole before the file is touched, so a writer that
// fails or throws leaves it as it was, and the time it is half-written is short.
std::error_code WriteOverInPlace(const fs::path& target, const ContentWriter& writer) {
  std::ostringstream prepared(std::ios::binary);
  writer(prepared);
  if (!prepared) return std::make_error_code(std::errc::io_error);
  const std::string content = std::move(prepared).str();

  errno = 0;
  FileHandle file(OpenToWriteOver(target));
  if (!file) return LastError(EACCES);
  const std::error_code written = StreamInto(
      file.get(), [&content](std::ostream& out) { out.write(content.data(), std::streamsize(content.size())); },
      false);
  std::error_code resized;
  if (!written) {
    if (Injected(FileStep::Resize)) {
      resized = LastError();
    } else {
      fs::resize_file(target, content.size(), resized);
    }
  }
  errno = 0;
  const std::error_code synced = written || resized || FlushToDisk(file.get()) ? std::error_code() : LastError();
  const std::error_code closed = Close(file);
  for (const std::error_code& step : {written, resized, synced, closed}) {
    if (step) return step;
  }
  return {};
}

// Temporary files of ours in `folder` that a crash or a power loss left behind:
// one a day old belongs to no replacement still under way.
void RemoveStaleTemporaries(const fs::path& folder) {
  const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
  std::error_code code;
  for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, code), end; !code && entry != end;
       entry.increment(code)) {
    const std::string name = PathToUtf8(entry->path().filename());
    const bool ours = name.size() > 13 && name.rfind(".varnolt-", 0) == 0 && name.compare(name.size() - 4, 4, ".tmp") == 0;
    std::error_code ignored;
    if (!ours || entry->is_symlink(ignored) || !entry->is_regular_file(ignored)) continue;
    const fs::file_time_type written = entry->last_write_time(ignored);
    if (!ignored && written < dayAgo) fs::remove(entry->path(), ignored);
  }
}

// A temporary file of our own beside the target. Unless kept, it is closed and
// removed when it goes, whatever ended the writing.
struct TemporaryFile {
  fs::path path;
  FileHandle file;
  bool kept = false;

  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { Discard(); }

  void Discard() {
    file.reset();
    std::error_code ignored;
    if (!kept && !path.empty()) fs::remove(path, ignored);
    path.clear();
  }

  // Creates a fresh file beside `target`; never one that was there already.
  std::error_code Create(const fs::path& target) {
    RemoveStaleTemporaries(target.parent_path());
    for (unsigned attempt = 0;; ++attempt) {
      const fs::path candidate = TemporaryPathBeside(target);
      errno = 0;
      file.reset(OpenNew(candidate));
      if (file) {
        path = candidate;
        return {};
      }
      if (errno != EEXIST || attempt >= 100) return LastError(EACCES);
    }
  }
};

// The file a path finally names: each symbolic link on the way is followed,
// whether or not its target exists yet.
std::error_code FollowLinks(fs::path& target) {
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code code;
    if (!fs::is_symlink(fs::symlink_status(target, code))) return {};
    const fs::path next = fs::read_symlink(target, code);
    if (code) return code;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

// A folder that will not take a new file, as opposed to a name that is wrong.
bool IsRefusal(std::error_code code) {
  return code == std::errc::permission_denied || code == std::errc::operation_not_permitted;
}

#ifdef _WIN32
std::string WholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The finished temporary file takes the target's place, with the old file's
// attributes (hidden, archive), as the owner and mode are kept elsewhere; it
// inherits the folder's security as the old file did. When another program
// holds the old file open (a viewer, an editor), Windows refuses to replace it:
// the new content is then written over it in place, as for a folder that takes
// no new files. (ReplaceFileW is not used: where it cannot remove the old file
// it may leave it behind under a name of its own.)
template <typename Failure>
std::optional<ReplaceFailure> MoveIntoPlace(TemporaryFile& temporary, const fs::path& target, bool exists,
                                            const Failure& failure) {
  if (exists) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const DWORD kept = attributes == INVALID_FILE_ATTRIBUTES
                           ? 0
                           : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept != 0) SetFileAttributesW(temporary.path.c_str(), kept);
  }
  if (MoveFileExW(temporary.path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    temporary.kept = true;
    return std::nullopt;
  }
  const std::error_code code = LastWindowsError();
  if (!exists || !HeldOpen(code)) return failure(code);
  const std::string content = WholeFile(temporary.path);
  return failure(WriteOverInPlace(
      target, [&content](std::ostream& out) { out.write(content.data(), std::streamsize(content.size())); }));
}
#endif

}  // namespace

bool IsDeviceOrPipe(const fs::path& path) {
#ifdef _WIN32
  // The C runtime takes NUL and CON for files; Windows itself knows better.
  const HANDLE handle = OpenToInspect(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(handle);
  CloseHandle(handle);
  return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
#else
  std::error_code code;
  const fs::file_status status = fs::status(path, code);
  return fs::is_character_file(status) || fs::is_block_file(status) || fs::is_fifo(status) ||
         fs::is_socket(status);
#endif
}

FileFaultInjector* SetFileFaultInjector(FileFaultInjector* injector) {
  FileFaultInjector* previous = faultInjector;
  faultInjector = injector;
  return previous;
}

FileStreamBuffer::FileStreamBuffer(std::FILE* file) : file_(file), buffer_(new char[Capacity]) {
  std::setvbuf(file_, nullptr, _IONBF, 0);
  Reset();
}

FileStreamBuffer::int_type FileStreamBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int FileStreamBuffer::sync() {
  if (!Drain()) return -1;
  errno = 0;
  if (!Injected(FileStep::Flush) && std::fflush(file_) == 0) return 0;
  error_ = LastError();
  return -1;
}

bool FileStreamBuffer::Drain() {
  if (error_) return false;
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  errno = 0;
  if (pending != 0 && (Injected(FileStep::Write) || std::fwrite(pbase(), 1, pending, file_) != pending)) {
    error_ = LastError();
    return false;
  }
  Reset();
  return true;
}

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
  const fs::file_status status = fs::status(path, code);
  const std::uintmax_t size = fs::is_regular_file(status) ? fs::file_size(path, code) : 0;
  // A pipe or device has no size: its reads stop at its end, or at the limit.
  sizeKnown_ = fs::is_regular_file(status) && !code;
  size_ = sizeKnown_ ? static_cast<std::uint64_t>(size) : LargestUnsizedRead;
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

std::optional<FileError> InputFile::ReadSome(char* destination, std::size_t count, std::size_t& got) {
  got = 0;
  if (file_ == nullptr) return MakeFileError(std::make_error_code(std::errc::bad_file_descriptor), path_);
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, Remaining()));
  if (count == 0) return std::nullopt;
  errno = 0;
  got = std::fread(destination, 1, count, file_);
  position_ += got;
  if (got == 0 && std::ferror(file_)) return MakeFileError(LastError(), path_);
  return std::nullopt;
}

std::uint64_t InputFile::CountRest() {
  if (sizeKnown_ || file_ == nullptr) return Remaining();
  std::vector<char> piece(std::size_t{1} << 16);
  std::uint64_t count = 0;
  while (count <= LargestUnsizedRead) {
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file_);
    if (got == 0) break;
    count += got;
  }
  return std::min<std::uint64_t>(count, LargestUnsizedRead + 1);
}

std::optional<ReplaceFailure> ReplaceFileWith(const fs::path& requested, const ContentWriter& writer) {
  auto failure = [&](std::error_code cause) -> std::optional<ReplaceFailure> {
    if (!cause) return std::nullopt;
    return ReplaceFailure{cause, MakeFileError(cause, requested)};
  };
  // No name at all would put the new file nowhere: refuse it before anything is made.
  if (requested.empty()) return failure(std::make_error_code(std::errc::no_such_file_or_directory));

#ifndef _WIN32
  // Appended to, so that what the descriptor's file already holds (the program's
  // own lines on a redirected standard output) stays.
  if (IsDescriptorPath(requested)) return failure(WriteDirectly(requested, writer, "ab"));
#endif
  fs::path target = requested;
  if (const std::error_code looped = FollowLinks(target)) return failure(looped);
#ifdef _WIN32
  if (const std::error_code unresolved = FollowWindowsLinks(target)) return failure(unresolved);
  // The C runtime sees no file at all behind NUL or CON.
  if (IsDeviceOrPipe(target)) return failure(WriteDirectly(target, writer));
#endif

  std::error_code code;
  const fs::file_status existing = fs::status(target, code);
  const bool exists = fs::exists(existing);
  if (exists) {
    // A device or pipe cannot be replaced by a file; it is written as it is. A
    // folder refuses that opening as well.
    if (!fs::is_regular_file(existing)) return failure(WriteDirectly(target, writer));
    // An existing file that could not be opened for writing stays as it is.
    if (const std::error_code refused = RefusedForWriting(target)) return failure(refused);
    // A new file would leave the other names of this one with the old content.
#ifdef _WIN32
    if (HardLinkCount(target) > 1) return failure(WriteOverInPlace(target, writer));
#else
    if (fs::hard_link_count(target, code) > 1) return failure(WriteOverInPlace(target, writer));
#endif
  }

  TemporaryFile temporary;
  if (const std::error_code created = temporary.Create(target)) {
    // A shared folder may let its files be written but take no new ones.
    if (exists && IsRefusal(created)) return failure(WriteOverInPlace(target, writer));
    std::optional<ReplaceFailure> refused = failure(created);
    if (IsRefusal(created)) {
      const fs::path folder = fs::absolute(target, code).parent_path();
      refused->error = FileError{FileErrorCause::FolderAccessDenied, PathToUtf8(folder.lexically_normal())};
      refused->folderRefused = true;
    }
    return refused;
  }
  if (exists && !TakeOwnerOf(target, temporary.file.get())) {
    temporary.Discard();
    return failure(WriteOverInPlace(target, writer));
  }
  if (const std::error_code written = StreamInto(temporary.file.get(), writer, true)) return failure(written);
  if (const std::error_code closed = Close(temporary.file)) return failure(closed);

  // The new file keeps the permissions the old one had (after its owner, which
  // would clear some of them).
  if (exists) fs::permissions(temporary.path, existing.permissions(), code);

  errno = 0;
  if (Injected(FileStep::Rename)) return failure(LastError());
#ifdef _WIN32
  return MoveIntoPlace(temporary, target, exists, failure);
#else
  fs::rename(temporary.path, target, code);
  if (code) return failure(code);
  temporary.kept = true;
  return std::nullopt;
#endif
}

// Its link leads to what the descriptor is (a pipe's "pipe:[N]" is no path at
// all), so such a name is opened as it stands, which the system resolves.
bool IsDescriptorPath(const fs::path& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  const std::string text = path.lexically_normal().string();
  return text == "/dev/stdout" || text == "/dev/stderr" || text == "/dev/stdin" || text.rfind("/dev/fd/", 0) == 0 ||
         text.rfind("/proc/self/fd/", 0) == 0;
#endif
}

std::optional<FileError> ReplaceFileContents(const fs::path& target, std::string_view bytes) {
  const std::optional<ReplaceFailure> failure = ReplaceFileWith(
      target, [bytes](std::ostream& out) { out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); });
  if (failure) return failure->error;
  return std::nullopt;
}

}  // namespace varnolt
