#include "cli/Messages.h"

#include <filesystem>
#include <string_view>

#include "platform/Problem.h"

namespace varnolt {

namespace {

std::string Cause(std::errc errc) { return CauseText(std::make_error_code(errc)); }

// `text` with the full path of `typedPath`, as the drawing names it, put back
// as the user typed it.
std::string WithTypedPath(std::string text, const std::string& typedPath) {
  std::error_code ignored;
  const std::string full = PathToUtf8(std::filesystem::absolute(PathFromUtf8(typedPath), ignored).lexically_normal());
  if (full.empty() || full == typedPath) return text;
  for (std::size_t at = text.find(full); at != std::string::npos; at = text.find(full, at + typedPath.size())) {
    text.replace(at, full.size(), typedPath);
  }
  return text;
}

std::string LowerFirst(std::string text) {
  if (text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' && !(text[1] >= 'A' && text[1] <= 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

// A sentence of the drawing's, made a runner's text: its lines joined into
// one, the first letter in lower case, no final period.
std::string RunnerText(const std::string& sentence) {
  std::string trimmed = sentence;
  while (!trimmed.empty() && std::string_view(".\n\r ").find(trimmed.back()) != std::string_view::npos) {
    trimmed.pop_back();
  }
  std::string text;
  for (char c : trimmed) {
    if (c == '\n') {
      if (!text.empty() && text.back() != '.' && text.back() != ';' && text.back() != ',') text += ';';
      text += ' ';
    } else {
      text += c;
    }
  }
  // A full stop between the joined sentences becomes a semicolon.
  for (std::size_t at = text.find(". "); at != std::string::npos; at = text.find(". ", at + 1)) {
    text[at] = ';';
    if (at + 2 < text.size()) text[at + 2] = LowerFirst(text.substr(at + 2, 2))[0];
  }
  return LowerFirst(text);
}

}  // namespace

std::string CauseText(std::error_code code) { return SystemErrorText(code); }

std::string CauseText(const FileError& error, const std::string& typedPath) {
  switch (error.cause) {
    case FileErrorCause::NotFound: return Cause(std::errc::no_such_file_or_directory);
    case FileErrorCause::BadPath: return "no such folder, or the name is not valid";
    case FileErrorCause::TooManyOpenFiles: return Cause(std::errc::too_many_files_open);
    case FileErrorCause::AccessDenied: return Cause(std::errc::permission_denied);
    case FileErrorCause::InvalidHandle: return Cause(std::errc::bad_file_descriptor);
    case FileErrorCause::DirectoryFull: return Cause(std::errc::too_many_links);
    case FileErrorCause::HardwareError: return Cause(std::errc::io_error);
    case FileErrorCause::SharingViolation: return Cause(std::errc::device_or_resource_busy);
    case FileErrorCause::LockingViolation: return Cause(std::errc::no_lock_available);
    case FileErrorCause::DiskFull: return Cause(std::errc::no_space_on_device);
    case FileErrorCause::OutOfMemory: return Cause(std::errc::not_enough_memory);
    case FileErrorCause::FolderAccessDenied: {
      std::string folder = PathToUtf8(PathFromUtf8(typedPath).parent_path());
      if (folder.empty()) folder = ".";
      return "the folder " + folder + " refuses a new file (" + Cause(std::errc::permission_denied) + ")";
    }
    case FileErrorCause::NotSettingsFile: {
      // A pipe that sends on without end is counted only up to the read limit.
      const std::string count = error.trailingBytes > LargestUnsizedRead
                                    ? "more than " + std::to_string(LargestUnsizedRead)
                                    : std::to_string(error.trailingBytes);
      return "it is not a VARNOLT settings file (it has " + count + (error.trailingBytes == 1 ? " byte" : " bytes") +
             " after the settings)";
    }
    case FileErrorCause::EndOfFile:
    case FileErrorCause::BadLength: return "it is not a whole settings file: it ends too early or is damaged";
    case FileErrorCause::Unknown: break;
  }
  return "an unknown error";
}

std::string PictureProblemText(const std::string& problem, const std::string& typedPath) {
  std::error_code code;
  const std::filesystem::path path = PathFromUtf8(typedPath);
  if (std::filesystem::is_directory(path, code)) return "it is a folder";
  const std::filesystem::path folder = std::filesystem::absolute(path, code).parent_path();
  if (!code && !std::filesystem::exists(folder, code)) {
    return CauseText(std::make_error_code(std::errc::no_such_file_or_directory));
  }
  return RunnerText(WithTypedPath(problem, typedPath));
}

}  // namespace varnolt
