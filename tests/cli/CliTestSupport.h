#pragma once
// Runs build/bin/varnolt-cli in a folder of its own (through the shell; on
// Windows directly, with a UTF-16 command line) and collects its exit status,
// standard output and standard error.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace varnolt {

namespace fs = std::filesystem;

// The device that takes and drops everything written to it.
inline const char* NullDevice() {
#ifdef _WIN32
  return "NUL";
#else
  return "/dev/null";
#endif
}

// A command line with more arguments after it.
inline std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The lines of a text, without their ends; a final line end makes no empty line.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

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

#ifdef _WIN32
inline std::wstring Wide(const std::string& utf8) {
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring wide(std::size_t(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), count);
  return wide;
}

// One argument as the C runtime and CommandLineToArgvW read it back.
inline std::wstring QuotedForWindows(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

// The folder of this test program, where varnolt-cli.exe is built beside it.
inline fs::path ProgramFolder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
    if (length < name.size()) {
      name.resize(length);
      return fs::path(name).parent_path();
    }
    name.resize(name.size() * 2);
  }
}
#endif

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
#ifdef _WIN32
    // Shell text has no place on Windows: tests that need it are POSIX only.
    (void)prefix;
    (void)wrapper;
    return RunDirectly(args);
#else
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
#endif
  }

#ifdef _WIN32
  CliResult RunDirectly(const std::vector<std::string>& args) const {
    const fs::path program = ProgramFolder() / "varnolt-cli.exe";
    std::wstring commandLine = QuotedForWindows(program.wstring());
    for (const std::string& arg : args) commandLine.append(L" ").append(QuotedForWindows(Wide(arg)));
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto create = [&](const fs::path& path, DWORD access, DWORD disposition) {
      return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE in = create(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = create(folder / "out", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = create(folder / "err", GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    CliResult result;
    const std::wstring workFolder = Work().wstring();
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, workFolder.c_str(),
                       &startup, &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      if (GetExitCodeProcess(process.hProcess, &code)) result.status = int(code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    for (HANDLE handle : {in, out, err}) CloseHandle(handle);
    result.out = ReadFile(folder / "out");
    // Messages are text, whose lines end in CR LF on Windows.
    for (const char c : ReadFile(folder / "err")) {
      if (c == '\n' && !result.err.empty() && result.err.back() == '\r') result.err.pop_back();
      result.err.push_back(c);
    }
    return result;
  }
#endif

  fs::path Work() const { return folder / "work"; }
  std::size_t WorkEntries() const {
    return std::distance(fs::directory_iterator(Work()), fs::directory_iterator());
  }

 private:
  ScratchFolder scratch{"varnolt-cli"};
  fs::path folder = scratch.Path();
};

}  // namespace varnolt
