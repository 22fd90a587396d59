#pragma once
// Settings files and reports carry their texts in Windows-1252, as the Windows
// program that first wrote them did; the program itself keeps UTF-8 in memory.
// These two conversions are the only crossing point. Plain C++, no Qt.

#include <string>
#include <string_view>

namespace varnolt {

// UTF-8 to Windows-1252. A character that 1252 cannot hold becomes '?';
// a malformed UTF-8 sequence becomes one '?' per bad byte.
std::string Utf8ToWindows1252(std::string_view utf8);

// How many '?' Utf8ToWindows1252 puts in for characters (and malformed bytes)
// that 1252 cannot hold; a '?' of the text itself is not counted.
std::size_t Windows1252Losses(std::string_view utf8);

// Windows-1252 to UTF-8. The five bytes that 1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value,
// as Windows' own conversion does, so no byte is ever lost.
std::string Windows1252ToUtf8(std::string_view bytes);

// One UTF-16 code unit sequence (wide strings of settings files) to UTF-8.
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace varnolt
