#pragma once
// Whole numbers as text: the one strict reader that command-line options, CSV
// cells, shard names and picture sizes all go through, and the grouping of
// digits in threes that progress texts show. Plain C++.

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

enum class Sign { Refused, Allowed };

// Decimal digits with nothing around them: no blanks, no fraction, no exponent,
// no "0x". With Sign::Allowed one leading "+" or "-" is taken too. A number
// outside Integer's range reads as nothing, never as a wrapped-round value.
template <std::integral Integer>
std::optional<Integer> ReadWholeNumber(std::string_view text, Sign sign = Sign::Refused) {
  const char* first = text.data();
  const char* last = first + text.size();
  bool negative = false;
  if (sign == Sign::Allowed && first != last && (*first == '+' || *first == '-')) {
    negative = *first == '-';
    ++first;
  }
  if (first == last || *first < '0' || *first > '9') return std::nullopt;
  if (negative) --first;  // from_chars takes a minus sign, never a plus
  Integer value{};
  const auto result = std::from_chars(first, last, value);
  if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
  return value;
}

// 1000000 as "1,000,000", -1234 as "-1,234".
std::string WithThousands(std::int64_t number);

}  // namespace varnolt
