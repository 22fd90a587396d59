#include "platform/SystemResources.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>
#include <shellapi.h>

#include "platform/WideText.h"
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace varnolt {

namespace {

std::function<std::optional<std::uint64_t>()>& MemoryAnswer() {
  static std::function<std::optional<std::uint64_t>()> answer;
  return answer;
}

}  // namespace

void SetAvailableMemoryForTests(std::function<std::optional<std::uint64_t>()> answer) {
  MemoryAnswer() = std::move(answer);
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
  if (MemoryAnswer()) return MemoryAnswer()();
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) return static_cast<std::uint64_t>(status.ullAvailPhys);
  return std::nullopt;
#else
  // Linux reports what it can hand out, page cache included, as MemAvailable.
  std::optional<std::uint64_t> available;
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::uint64_t kilobytes = 0;
    if (fields >> kilobytes) available = kilobytes * 1024;
    break;
  }
  // A limit on the program's address space (ulimit -v, a batch scheduler's)
  // leaves it less than the machine has free: what the limit still allows.
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    std::uint64_t pages = 0;
    std::ifstream statm("/proc/self/statm");
    if (statm >> pages) {
      const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
      const std::uint64_t room = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
      available = available ? std::min(*available, room) : room;
    }
  }
  return available;  // nothing: the run relies on the allocation failing cleanly
#endif
}

void UseBinaryStandardOutput() {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#if defined(_WIN32)
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
  }
#endif
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void ShowStartupText(const std::string& text, bool isError, std::ostream& stream) {
#if defined(_WIN32)
  const HANDLE handle = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    MessageBoxW(nullptr, WideFromUtf8(text).c_str(), L"VARNOLT",
                MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
    return;
  }
#else
  (void)isError;
#endif
  stream << text;
  stream.flush();
}

}  // namespace varnolt
