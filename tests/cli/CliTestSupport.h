#pragma once
// Runs build/bin/varnolt-cli in a folder of its own through the shell and
// collects its exit status, standard output and standard error.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Quotes one argument for the shell.
inline std::string Quoted(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted.append("'\\''");
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

class CliSandbox {
 public:
  CliSandbox() {
    std::random_device device;
    folder = fs::temp_directory_path() / ("varnolt-cli-" + std::to_string(device()));
    fs::create_directories(folder / "work");
  }
  ~CliSandbox() { fs::remove_all(folder); }

  // Runs varnolt-cli with the arguments inside work/; `prefix` is shell text put
  // before the command (limits, traps).
  CliResult Run(const std::vector<std::string>& args, const std::string& prefix = "") const {
    std::string command = "cd ";
    command.append(Quoted(Work().string())).append(" && ").append(prefix).append("exec ");
    command.append(Quoted(std::string(VARNOLT_BIN_DIR) + "/varnolt-cli"));
    for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
    command.append(" >").append(Quoted((folder / "out").string()));
    command.append(" 2>").append(Quoted((folder / "err").string()));
    const std::string shell = std::string("sh -c ").append(Quoted(command));
    const int wait = std::system(shell.c_str());
    CliResult result;
    result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    result.out = ReadFile(folder / "out");
    result.err = ReadFile(folder / "err");
    return result;
  }

  fs::path Work() const { return folder / "work"; }
  std::size_t WorkEntries() const {
    return std::distance(fs::directory_iterator(Work()), fs::directory_iterator());
  }

 private:
  fs::path folder;
};
