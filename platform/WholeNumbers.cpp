#include "platform/WholeNumbers.h"

namespace varnolt {

std::string WithThousands(std::int64_t number) {
  // The magnitude as unsigned, so that the lowest int64 has one too.
  const std::uint64_t magnitude =
      number < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
  std::string digits = std::to_string(magnitude);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), 1, ',');
  }
  return number < 0 ? "-" + digits : digits;
}

}  // namespace varnolt
