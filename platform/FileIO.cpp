#include "platform/FileIO.h"

#include <cerrno>
#include <limits>
#include <memory>
#include <random>
#include <streambuf>
#include <string>

#include <fcntl.h>
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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Closes the file; the reason when its last bytes could not be written.
std::error_code Close(FileHandle& file) {
  errno = 0;
  if (std::fclose(file.release()) != 0) return LastError();
  return {};
}

// The reason an existing file could not be opened to write it in place (read-only,
// a folder, in use), without changing it or creating anything. Only for regular
// files: opening a pipe to write would wait for its reader.
std::error_code RefusedForWriting(const fs::path& path) {
  errno = 0;
#ifdef _WIN32
  const int handle = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
  if (handle < 0) return LastError(EACCES);
  _close(handle);
#else
  const int handle = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (handle < 0) return LastError(EACCES);
  ::close(handle);
#endif
  return {};
}

// An output stream's buffer over an open file. It gathers small writes into
// large ones, keeps the first error the file reports and writes nothing after it.
class FileStreamBuffer : public std::streambuf {
 public:
  // `file` must be fresh: the buffer here takes the place of its own.
  explicit FileStreamBuffer(std::FILE* file) : file_(file), buffer_(new char[Capacity]) {
    std::setvbuf(file_, nullptr, _IONBF, 0);
    Reset();
  }

  // The error that failed the stream; a stream failed by its writer alone counts
  // as an I/O error.
  std::error_code Error() const { return error_ ? error_ : std::make_error_code(std::errc::io_error); }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    if (!Drain()) return -1;
    errno = 0;
    if (std::fflush(file_) == 0) return 0;
    error_ = LastError();
    return -1;
  }

 private:
  static constexpr std::size_t Capacity = std::size_t{1} << 16;

  void Reset() { setp(buffer_.get(), buffer_.get() + Capacity); }

  // Hands the gathered bytes to the file.
  bool Drain() {
    if (error_) return false;
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    errno = 0;
    if (pending != 0 && std::fwrite(pbase(), 1, pending, file_) != pending) {
      error_ = LastError();
      return false;
    }
    Reset();
    return true;
  }

  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  std::error_code error_;
};

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

std::error_code WriteInPlace(const fs::path& target, const ContentWriter& writer) {
  errno = 0;
  FileHandle file(OpenHandle(target, "wb"));
  if (!file) return LastError(EACCES);
  const std::error_code written = StreamInto(file.get(), writer, false);
  const std::error_code closed = Close(file);
  return written ? written : closed;
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
  ~TemporaryFile() {
    file.reset();
    std::error_code ignored;
    if (!kept && !path.empty()) fs::remove(path, ignored);
  }

  // Creates a fresh file beside `target`; never one that was there already.
  std::error_code Create(const fs::path& target) {
    for (unsigned attempt = 0;; ++attempt) {
      const fs::path candidate = TemporaryPathBeside(target);
      errno = 0;
      file.reset(OpenHandle(candidate, "wbx"));
      if (file) {
        path = candidate;
        return {};
      }
      if (errno != EEXIST || attempt >= 100) return LastError(EACCES);
    }
  }
};

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

std::optional<ReplaceFailure> ReplaceFileWith(const fs::path& requested, const ContentWriter& writer) {
  auto failure = [&](std::error_code cause) -> std::optional<ReplaceFailure> {
    if (!cause) return std::nullopt;
    return ReplaceFailure{cause, MakeFileError(cause, requested)};
  };
  // No name at all would put the new file nowhere: refuse it before anything is made.
  if (requested.empty()) return failure(std::make_error_code(std::errc::no_such_file_or_directory));

  std::error_code code;
  fs::path target = requested;
  if (fs::is_symlink(target, code)) {
    const fs::path resolved = fs::weakly_canonical(target, code);
    if (!code) target = resolved;
  }

  const fs::file_status existing = fs::status(target, code);
  if (fs::exists(existing)) {
    // A device or pipe cannot be replaced by a file; it is written as it is. A
    // folder refuses that opening as well.
    if (!fs::is_regular_file(existing)) return failure(WriteInPlace(target, writer));
    // An existing file that could not be opened for writing stays as it is.
    if (const std::error_code refused = RefusedForWriting(target)) return failure(refused);
  }

  TemporaryFile temporary;
  if (const std::error_code created = temporary.Create(target)) return failure(created);
  if (const std::error_code written = StreamInto(temporary.file.get(), writer, true)) return failure(written);
  if (const std::error_code closed = Close(temporary.file)) return failure(closed);

  // The new file keeps the permissions the old one had.
  if (fs::exists(existing)) fs::permissions(temporary.path, existing.permissions(), code);

  fs::rename(temporary.path, target, code);
  if (code) return failure(code);
  temporary.kept = true;
  return std::nullopt;
}

std::optional<FileError> ReplaceFileContents(const fs::path& target, std::string_view bytes) {
  const std::optional<ReplaceFailure> failure = ReplaceFileWith(
      target, [bytes](std::ostream& out) { out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); });
  if (failure) return failure->error;
  return std::nullopt;
}
