#pragma once
// Reading a file in pieces and replacing a file whole, with failures reported as
// FileError (and, for replacements, the system's own error too). The only place
// where the program opens files by handle. Plain C++.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "platform/FileError.h"

// A file open for reading. Reads come in the caller's pieces, so a reader can
// refuse a length the file cannot hold before it has allocated anything.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path`; on failure answers why and stays closed.
  std::optional<FileError> Open(const std::filesystem::path& path);

  // Bytes between the read position and the end of the file as it was opened.
  std::uint64_t Remaining() const { return size_ - position_; }

  // Reads exactly `count` bytes into `destination`. A file that ends early gives
  // EndOfFile; a failing device gives its own cause.
  std::optional<FileError> Read(char* destination, std::size_t count);

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

// A fresh name for a temporary file in the folder of `target`. It is short and
// of its own rather than the target's name with a suffix, so that a target whose
// name is as long as the file system allows still gets one.
std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target);

// A replacement that failed: the system's error as it came, for callers that
// word it themselves, and the same as a FileError naming the target as given.
struct ReplaceFailure {
  std::error_code code;
  FileError error;
};

// Writes the new contents of a file into the stream it is handed. A writer that
// leaves the stream failed makes the replacement fail.
using ContentWriter = std::function<void(std::ostream&)>;

// Streams what `writer` writes into the file at `target`, replacing what it held,
// so that the file is at every moment either the old one whole or the new one
// whole: the output goes to a temporary file beside the target, reaches the disk,
// and then takes the target's place, with the old file's permissions. (A device
// or pipe, which no file can replace, is written directly.) A target that may not
// be written (read-only, a folder, open elsewhere) is refused as it would be if
// opened directly, and a failure, or a writer that throws, removes the temporary
// file again. A symbolic link keeps pointing where it did; its file is replaced.
std::optional<ReplaceFailure> ReplaceFileWith(const std::filesystem::path& target, const ContentWriter& writer);

// ReplaceFileWith for contents already in memory.
std::optional<FileError> ReplaceFileContents(const std::filesystem::path& target,
                                             std::string_view bytes);
