#include "platform/IntegerText.h"

namespace varnolt {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<std::int32_t> ReadInteger(std::string_view text) {
  text = text.substr(0, kIntegerReadLimit);
  std::size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  if (at >= text.size() || !IsDigit(text[at])) return std::nullopt;
  // Accumulate as a negative number so that the lowest int32 fits too.
  constexpr std::int64_t lowest = INT32_MIN;
  std::int64_t value = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    value = value * 10 - (text[at] - '0');
    if (value < lowest) return std::nullopt;
  }
  if (!negative) {
    value = -value;
    if (value > INT32_MAX) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::string FormatInteger(std::int32_t value) { return std::to_string(value); }

}  // namespace varnolt
