#pragma once
// Reading a file in pieces and replacing a file whole, with failures reported as
// FileError (and, for replacements, the system's own error too). The only place
// where the program opens files by handle. Plain C++.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <system_error>

#include "platform/FileError.h"

namespace varnolt {

// A file open for reading. Reads come in the caller's pieces, so a reader can
// refuse a length the file cannot hold before it has allocated anything. A pipe
// or device, whose size is unknown, is read as it sends, and no further than
// LargestUnsizedRead bytes: what lies beyond reads as the end of the file.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path`; on failure answers why and stays closed.
  std::optional<FileError> Open(const std::filesystem::path& path);

  // Bytes the reads may still take: to the end of a file as it was opened, or
  // what is left of the limit for a source of unknown size.
  std::uint64_t Remaining() const { return size_ - position_; }

  // Reads exactly `count` bytes into `destination`. A file that ends early gives
  // EndOfFile; a failing device gives its own cause.
  std::optional<FileError> Read(char* destination, std::size_t count);

  // Whether the size was known when it opened: a regular file's is, a pipe's
  // or device's is not.
  bool SizeKnown() const { return sizeKnown_; }

  // Reads what comes, up to `count` bytes and no further than Remaining();
  // `got` is 0 at the end. For a source of unknown size, read as it sends.
  std::optional<FileError> ReadSome(char* destination, std::size_t count, std::size_t& got);

  // The bytes after the read position, read and dropped for a source of unknown
  // size; more than LargestUnsizedRead answers that limit plus one.
  std::uint64_t CountRest();

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  bool sizeKnown_ = false;
};

// A fresh name for a temporary file in the folder of `target`. It is short and
// of its own rather than the target's name with a suffix, so that a target whose
// name is as long as the file system allows still gets one.
std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target);

// A replacement that failed: the system's error as it came, for callers that
// word it themselves, and the same as a FileError naming the target as given, or
// its folder when the folder refused a new file and the target did not exist.
struct ReplaceFailure {
  std::error_code code;
  FileError error;
  bool folderRefused = false;
};

// Writes the new contents of a file into the stream it is handed. A writer that
// leaves the stream failed makes the replacement fail.
using ContentWriter = std::function<void(std::ostream&)>;

// Streams what `writer` writes into the file at `target`, replacing what it held,
// so that the file is at every moment either the old one whole or the new one
// whole: the output goes to a temporary file beside the target, reaches the disk,
// and then takes the target's place with the old file's owner, group and
// permissions. A target that may not be written (read-only, a folder, open
// elsewhere) is refused as it would be if opened directly, and a failure, or a
// writer that throws, removes the temporary file again.
//
// What the target is stays as it was: a symbolic link, dangling or not, is
// followed and the file it names written; a device or pipe is written directly,
// and so is a name for a descriptor the program holds (/dev/stdout, /dev/fd/N,
// a shell's process substitution), which is appended to: whatever it leads to,
// a pipe, a terminal or the file standard output goes to, is no file to replace.
// Where a replacement would change the file's identity, the whole new content is
// prepared first and then written over the old in place: a file with more than
// one hard link (every link sees the new content), one whose owner could not be
// given to a new file, and one in a folder that refuses new files.
std::optional<ReplaceFailure> ReplaceFileWith(const std::filesystem::path& target, const ContentWriter& writer);

// True when `path` names a device or a pipe (/dev/null, a FIFO; NUL, CON or a
// named pipe on Windows): a place that takes what comes as it comes, is never
// replaced, has no folder to put a file beside it, and is never the same file as
// another output.
bool IsDeviceOrPipe(const std::filesystem::path& path);

// Whether `path` names a descriptor the program holds (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N, a shell's process substitution): written through as it is,
// never replaced, and with no folder of its own to put a file beside.
bool IsDescriptorPath(const std::filesystem::path& path);

// ReplaceFileWith for contents already in memory.
std::optional<FileError> ReplaceFileContents(const std::filesystem::path& target,
                                             std::string_view bytes);

// An output stream's buffer over an open C file (a file being written, or the
// standard output). It gathers small writes into large ones, keeps the first
// error the file reports and writes nothing after it.
class FileStreamBuffer : public std::streambuf {
 public:
  // `file` must be fresh: the buffer here takes the place of its own.
  explicit FileStreamBuffer(std::FILE* file);

  // The error that failed the stream; a stream failed by its writer alone counts
  // as an I/O error.
  std::error_code Error() const { return error_ ? error_ : std::make_error_code(std::errc::io_error); }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  static constexpr std::size_t Capacity = std::size_t{1} << 16;
  void Reset() { setp(buffer_.get(), buffer_.get() + Capacity); }
  bool Drain();  // hands the gathered bytes to the file

  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  std::error_code error_;
};

// The steps by which the file layer changes files. Tests put a FileFaultInjector
// in front of them to fail any one; without one each step costs a pointer test.
enum class FileStep { Create, Open, Write, Flush, Sync, Resize, Close, Rename };

class FileFaultInjector {
 public:
  virtual ~FileFaultInjector() = default;
  // The error the step is to fail with, or none to let it happen.
  virtual std::error_code Before(FileStep step) = 0;
};

// Installs `injector` (null removes it); answers the one it replaces.
FileFaultInjector* SetFileFaultInjector(FileFaultInjector* injector);

}  // namespace varnolt
