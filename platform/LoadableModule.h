#pragma once
// Parts of the program that only some commands need, kept in a library of their
// own and loaded when first asked for (dlopen, LoadLibrary): the runner starts
// without them and runs where they cannot be loaded. Plain C++.

#include <filesystem>
#include <optional>
#include <string>

namespace varnolt {

// Loads the library at path for the rest of the process and answers the
// address of its function `entry`; on failure answers nothing and says why in
// `why` (the system's own reason: no such file, a library it needs is missing).
void* LoadModuleEntry(const std::filesystem::path& path, const char* entry, std::string& why);

// The folder of the running program, resolved through links; nothing where the
// system cannot tell.
std::optional<std::filesystem::path> ProgramFolder();

}  // namespace varnolt
