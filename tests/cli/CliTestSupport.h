#pragma once
// Runs build/bin/varnolt-cli in a folder of its own through the shell and
// collects its exit status, standard output and standard error.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) { return ReadFileBytes(path); }
inline void WriteFile(const fs::path& path, const std::string& content) { WriteFileBytes(path, content); }

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
  CliSandbox() { fs::create_directories(folder / "work"); }

  // Runs varnolt-cli with the arguments inside work/; `prefix` is shell text put
  // before the command (limits, traps), `wrapper` a program that runs it (as
  // another user, say).
  CliResult Run(const std::vector<std::string>& args, const std::string& prefix = "",
                const std::string& wrapper = "") const {
    std::string command = "cd ";
    command.append(Quoted(Work().string())).append(" && ").append(prefix).append("exec ").append(wrapper);
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
  ScratchFolder scratch{"varnolt-cli"};
  fs::path folder = scratch.Path();
};
