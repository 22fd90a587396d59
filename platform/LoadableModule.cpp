#include "platform/LoadableModule.h"

#include <system_error>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace varnolt {

void* LoadModuleEntry(const std::filesystem::path& path, const char* entry, std::string& why) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    why = std::system_category().message(static_cast<int>(GetLastError()));
    return nullptr;
  }
  void* found = reinterpret_cast<void*>(GetProcAddress(module, entry));
  if (found == nullptr) why = std::string("it has no entry ") + entry;
  return found;
#else
  // Its own symbols first, so that the copies of our libraries inside it never
  // mix with the program's.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* error = dlerror();
    why = error != nullptr ? error : "it could not be loaded";
    return nullptr;
  }
  void* found = dlsym(module, entry);
  if (found == nullptr) why = std::string("it has no entry ") + entry;
  return found;
#endif
}

std::optional<std::filesystem::path> ProgramFolder() {
#if defined(_WIN32)
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::nullopt;
    if (length < name.size()) {
      name.resize(length);
      return std::filesystem::path(name).parent_path();
    }
    name.resize(name.size() * 2);
  }
#else
  std::error_code code;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", code);
  if (code) return std::nullopt;
  return program.parent_path();
#endif
}

}  // namespace varnolt
