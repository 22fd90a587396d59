#include "platform/SystemResources.h"

#include <fstream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

std::optional<std::uint64_t> AvailableMemoryBytes() {
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) return static_cast<std::uint64_t>(status.ullAvailPhys);
  return std::nullopt;
#else
  // Linux reports what it can hand out, page cache included, as MemAvailable.
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::uint64_t kilobytes = 0;
    if (fields >> kilobytes) return kilobytes * 1024;
  }
  return std::nullopt;  // elsewhere the run relies on the allocation failing cleanly
#endif
}

void UseBinaryStandardOutput() {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}
