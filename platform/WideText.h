#pragma once
// UTF-8 to and from the UTF-16 that the Windows API speaks. Only on Windows:
// elsewhere the system takes UTF-8 as it is.

#ifdef _WIN32
#include <string>
#include <string_view>

namespace varnolt {

// Invalid UTF-8 comes through as U+FFFD for each bad byte rather than failing:
// a name must still reach the file system, which then reports it missing.
std::wstring WideFromUtf8(std::string_view utf8);

// Unpaired surrogates (which Windows file names may hold) come out as U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace varnolt
#endif
