#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/FileIO.h"
#include "platform/Windows1252.h"

namespace varnolt {

namespace {

// Where the bytes of a load come from: memory or an open file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Remaining() const = 0;
  virtual std::optional<FileError> Read(char* destination, std::size_t count) = 0;
  // The bytes after the read position.
  virtual std::uint64_t CountRest() = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Remaining() const override { return bytes_.size() - position_; }
  std::optional<FileError> Read(char* destination, std::size_t count) override {
    if (count > Remaining()) return FileError{FileErrorCause::EndOfFile, {}};
    std::copy_n(bytes_.data() + position_, count, destination);
    position_ += count;
    return std::nullopt;
  }
  std::uint64_t CountRest() override { return Remaining(); }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(InputFile& file) : file_(file) {}
  std::uint64_t Remaining() const override { return file_.Remaining(); }
  std::optional<FileError> Read(char* destination, std::size_t count) override {
    return file_.Read(destination, count);
  }
  std::uint64_t CountRest() override { return file_.CountRest(); }

 private:
  InputFile& file_;
};

// Thrown inside a load only; LoadSettings turns it back into a returned error.
struct ReadFailure {
  FileError error;
};

[[noreturn]] void Fail(FileErrorCause cause) { throw ReadFailure{{cause, {}}}; }

// Long texts are read in pieces so that memory grows only with bytes that came.
constexpr std::size_t kReadPiece = 64 * 1024;
// The largest 64-bit length the reader takes.
constexpr std::uint64_t kLargestLongLength = 0x7FFFFFFF;

class SettingsReader {
 public:
  explicit SettingsReader(ByteSource& source) : source_(source) {}

  std::uint64_t ReadUnsigned(int byteCount) {
    unsigned char bytes[8];
    Take(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(byteCount));
    std::uint64_t value = 0;
    for (int i = byteCount - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
  }

  std::int32_t ReadInteger() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadUnsigned(4)));
  }

  std::string ReadText() {
    bool wide = false;
    std::uint64_t length = ReadLength(true, wide);
    if (wide) {
      bool again = false;
      length = ReadLength(false, again);
    }
    const std::uint64_t byteCount = wide ? 2 * length : length;
    // A length the rest of the file cannot hold ends the load here, before any
    // memory is taken for it.
    if (byteCount > source_.Remaining()) Fail(FileErrorCause::EndOfFile);
    std::string bytes;
    while (bytes.size() < byteCount) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kReadPiece, byteCount - bytes.size()));
      const std::size_t start = bytes.size();
      bytes.resize(start + piece);
      Take(bytes.data() + start, piece);
    }
    if (!wide) return Windows1252ToUtf8(bytes.substr(0, bytes.find('\0')));

    std::u16string units;
    units.reserve(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8));
      if (unit == 0) break;  // the text ends at its first zero character
      units += unit;
    }
    return Utf16ToUtf8(units);
  }

 private:
  // One length prefix: a byte below 0xFF, else 16 bits below 0xFFFF (0xFFFE
  // marking a wide string where one may stand), else 32 bits below 0xFFFFFFFF,
  // else 64 bits, of which only lengths below 2^31 are taken.
  std::uint64_t ReadLength(bool wideMayFollow, bool& wide) {
    const std::uint64_t shortLength = ReadUnsigned(1);
    if (shortLength < 0xFF) return shortLength;
    const std::uint64_t mediumLength = ReadUnsigned(2);
    if (mediumLength == 0xFFFE && wideMayFollow) {
      wide = true;
      return 0;
    }
    if (mediumLength != 0xFFFF) return mediumLength;
    const std::uint64_t longLength = ReadUnsigned(4);
    if (longLength != 0xFFFFFFFF) return longLength;
    const std::uint64_t longestLength = ReadUnsigned(8);
    if (longestLength > kLargestLongLength) Fail(FileErrorCause::BadLength);
    return longestLength;
  }

  void Take(char* destination, std::size_t count) {
    if (std::optional<FileError> error = source_.Read(destination, count)) throw ReadFailure{*error};
  }

  ByteSource& source_;
};

void AppendUnsigned(std::string& out, std::uint64_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::optional<FileError> Load(ByteSource& source, RunSettings& settings) {
  try {
    SettingsReader reader(source);
    RunSettings fresh;
    for (const FieldInfo* field : SettingsFileOrder()) {
      if (field->kind == FieldKind::Text) {
        fresh.*(field->text) = reader.ReadText();
      } else {
        fresh.*(field->integer) = reader.ReadInteger();
      }
    }
    // VARNOLT writes nothing after the values, on any platform: a file with more
    // is something else (a report, say) that merely begins like settings.
    if (const std::uint64_t rest = source.CountRest(); rest != 0) {
      FileError error{FileErrorCause::NotSettingsFile, {}};
      error.trailingBytes = rest;
      return error;
    }
    settings = std::move(fresh);
    return std::nullopt;
  } catch (const ReadFailure& failure) {
    return failure.error;
  } catch (const std::bad_alloc&) {
    return FileError{FileErrorCause::OutOfMemory, {}};
  }
}

}  // namespace

const std::array<const FieldInfo*, 27>& SettingsFileOrder() {
  static const std::array<const FieldInfo*, 27> order = [] {
    const char* names[] = {
        "runNotes",          "cycleCount",       "palmCount",
        "abortionFrond",     "abortStressFirstFrond", "abortStressLastFrond",
        "sexStressFirstFrond", "sexStressLastFrond", "sexStageEndFrond",
        "sexStageStartFrond", "initialNodeSex",  "abortThreshold",
        "femaleThreshold",   "maleThreshold",    "randomPercent",
        "leafPruning",       "leafPruneCycle",   "pruneStress",
        "trendCycles",       "trendAmplitude",   "irrigation",
        "irrigationEnd",     "irrigationStart",  "flowerPruning",
        "flowerPruneEnd",    "flowerPruneStart", "outputPath",
    };
    std::array<const FieldInfo*, 27> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = FindField(names[i]);
    return fields;
  }();
  return order;
}

void AppendSettingsString(std::string& out, std::string_view utf8) {
  const std::string bytes = Utf8ToWindows1252(utf8);
  const std::uint64_t length = bytes.size();
  if (length < 0xFF) {
    AppendUnsigned(out, length, 1);
  } else if (length < 0xFFFE) {
    AppendUnsigned(out, 0xFF, 1);
    AppendUnsigned(out, length, 2);
  } else if (length < 0xFFFFFFFF) {
    AppendUnsigned(out, 0xFF, 1);
    AppendUnsigned(out, 0xFFFF, 2);
    AppendUnsigned(out, length, 4);
  } else {
    // Four gigabytes of notes cannot come from the pages; written for completeness.
    AppendUnsigned(out, 0xFF, 1);
    AppendUnsigned(out, 0xFFFF, 2);
    AppendUnsigned(out, 0xFFFFFFFF, 4);
    AppendUnsigned(out, length, 8);
  }
  out += bytes;
}

std::string StoreSettings(const RunSettings& settings) {
  std::string out;
  for (const FieldInfo* field : SettingsFileOrder()) {
    if (field->kind == FieldKind::Text) {
      AppendSettingsString(out, settings.*(field->text));
    } else {
      AppendUnsigned(out, static_cast<std::uint32_t>(settings.*(field->integer)), 4);
    }
  }
  return out;
}

std::optional<FileError> LoadSettings(std::string_view bytes, RunSettings& settings) {
  MemorySource source(bytes);
  return Load(source, settings);
}

std::optional<FileError> LoadSettingsFile(const std::filesystem::path& path, RunSettings& settings) {
  InputFile file;
  if (std::optional<FileError> error = file.Open(path)) return error;
  FileSource source(file);
  std::optional<FileError> error = Load(source, settings);
  if (error && error->cause == FileErrorCause::NotSettingsFile) error->path = MakeFileError({}, path).path;
  return error;
}

std::optional<FileError> SaveSettingsFile(const std::filesystem::path& path, const RunSettings& settings) {
  return ReplaceFileContents(path, StoreSettings(settings));
}

}  // namespace varnolt
