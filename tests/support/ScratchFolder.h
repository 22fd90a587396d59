#pragma once
// A folder of its own under the system's temporary folder, for one test, removed
// with everything in it when the test is done; and the two ways tests read and
// write whole files.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace varnolt {

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix = "varnolt-test") {
    namespace fs = std::filesystem;
    std::random_device device;
    path_ = fs::temp_directory_path() / (prefix + "-" + std::to_string(device()) + std::to_string(device()));
    fs::create_directories(path_);
    path_ = fs::canonical(path_);
  }
  ~ScratchFolder() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    // A test may have taken the folder's write permission away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // In the system's own spelling: "runs/report.dat" comes out with backslashes
  // on Windows, as the program's messages show it.
  std::filesystem::path In(const std::string& name) const { return (path_ / name).make_preferred(); }

  // The names in the folder, sorted: a save or replacement must leave no
  // temporary file behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::size_t EntryCount() const { return Names().size(); }

 private:
  std::filesystem::path path_;
};

}  // namespace varnolt
