#include "cli/OutputPaths.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "run/ReportTarget.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

// A path that may name a file to lose: not standard output, not a device or pipe.
bool IsFilePlace(const std::string& path) {
  if (path.empty() || path == "-" || IsDeviceOrPipe(PathFromUtf8(path))) return false;
  std::error_code code;
  const fs::file_status status = fs::status(PathFromUtf8(path), code);
  return !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status);
}

}  // namespace

namespace {

// The full path a path finally names: its links followed, dangling ones too
// (a table written through a dangling link makes the file it names).
fs::path FinalPlace(const fs::path& path, std::error_code& code) {
  fs::path place = fs::absolute(path, code);
  for (int links = 0; links < 40 && !code; ++links) {
    std::error_code ignored;
    if (!fs::is_symlink(fs::symlink_status(place, ignored))) break;
    const fs::path target = fs::read_symlink(place, ignored);
    if (ignored) break;
    place = target.is_absolute() ? target : place.parent_path() / target;
  }
  return fs::weakly_canonical(place, code);
}

// "-" and the other names of standard output.
bool GoesToStandardOutput(const std::string& path) { return path == "-" || NamesStandardOutput(path); }

}  // namespace

bool SameFilePlace(const std::string& first, const std::string& second) {
  if (!IsFilePlace(first) || !IsFilePlace(second)) return false;
  const fs::path a = PathFromUtf8(first), b = PathFromUtf8(second);
  std::error_code code;
  if (fs::exists(a, code) && fs::exists(b, code)) return fs::equivalent(a, b, code) && !code;
  // At least one is not made yet: the same place only when both spell the same
  // full path once the links of the folders that exist are followed.
  const fs::path fullA = FinalPlace(a, code);
  if (code) return false;
  const fs::path fullB = FinalPlace(b, code);
  return !code && fullA == fullB;
}

void CommandFiles::Reads(const std::string& what, const std::optional<std::string>& path) {
  if (path && !path->empty()) inputs_.push_back({what, *path});
}

void CommandFiles::Writes(const std::string& option, const std::optional<std::string>& path) {
  if (path && !path->empty()) outputs_.push_back({option, *path});
}

void CommandFiles::WritesSettings(const std::string& option, const std::optional<std::string>& path) {
  if (path && !path->empty()) outputs_.push_back({option, *path, true});
}

std::optional<std::string> CommandFiles::Problem() const {
  for (std::size_t o = 0; o < outputs_.size(); ++o) {
    const Named& output = outputs_[o];
    if (GoesToStandardOutput(output.path)) {
      for (std::size_t p = 0; p < o; ++p) {
        if (GoesToStandardOutput(outputs_[p].path)) {
          return output.name + " " + output.path + " and " + outputs_[p].name + " " + outputs_[p].path +
                 " cannot both go to standard output; give one of them a file";
        }
      }
      continue;
    }
    for (const Named& input : inputs_) {
      if (SameFilePlace(output.path, input.path)) {
        return output.name + " " + output.path + " is " + input.name +
               " this command reads; choose another file to write";
      }
    }
    for (std::size_t p = 0; p < o; ++p) {
      if (SameFilePlace(output.path, outputs_[p].path)) {
        return output.name + " " + output.path + " is the file of " + outputs_[p].name +
               " too; give each output a file of its own";
      }
    }
    if (output.settings) {
      std::error_code code;
      const fs::path place = PathFromUtf8(output.path);
      if (fs::is_directory(place, code)) return output.name + " " + output.path + " is a folder; name a file";
      // An empty file is replaced as usual; one that holds no settings is kept.
      if (fs::is_regular_file(place, code) && fs::file_size(place, code) > 0 &&
          (FileStartsAsTable(output.path) || !ReportTargetProblem(output.path, {}))) {
        return output.name + " " + output.path +
               " holds something other than run settings (a report or a table); choose another file to write";
      }
      continue;
    }
    if (IsFilePlace(output.path) && !FileStartsAsTable(output.path)) {
      if (const std::optional<varnolt::Problem> problem = ReportTargetProblem(output.path, {})) {
        // Outside Windows, "C:\\runs\\t.csv" would be one oddly named file here.
        const bool windowsPath = problem->kind == ProblemKind::WindowsPath;
        return output.name + " " + output.path +
               (windowsPath ? " is a Windows path" : " holds run settings") + "; choose another file to write";
      }
    }
  }
  return std::nullopt;
}

bool NamesStandardOutput(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  const std::string normal = std::filesystem::path(path).lexically_normal().string();
  return normal == "/dev/stdout" || normal == "/dev/fd/1" || normal == "/proc/self/fd/1";
#endif
}

}  // namespace varnolt
