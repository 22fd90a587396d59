#pragma once
// How an edit's text reads as a whole number: the rules of C's "%d" conversion,
// applied to at most the first 63 characters. Plain C++, no Qt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

// Leading blanks are skipped, one optional sign is taken, then decimal digits
// until the first character that cannot continue the number; whatever follows is
// ignored (" 12abc" reads 12, "2.5" reads 2). No digit at all reads nothing.
// A number beyond the 32-bit range reads nothing as well: it is not a value the
// settings can hold, and wrapping it round would store a different number.
std::optional<std::int32_t> ReadInteger(std::string_view text);

// The text an integer edit shows for a value.
std::string FormatInteger(std::int32_t value);

// Only this many leading characters of an edit take part in the reading.
inline constexpr std::size_t kIntegerReadLimit = 63;

}  // namespace varnolt
