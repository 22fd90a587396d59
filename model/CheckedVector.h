#pragma once
// The model's vectors, indexed from 1 with element 0 holding no data. Every
// element access is checked; an index outside raises std::out_of_range with the
// one text, "invalid vector<T> subscript", for every such access (the model's
// NodeRangeError carries it too).

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace varnolt {

inline constexpr const char* InvalidSubscriptText = "invalid vector<T> subscript";

template <typename T>
class CheckedVector {
 public:
  CheckedVector() = default;

  // Discards the contents and refills with count copies of value.
  void Assign(std::size_t count, const T& value) { items.assign(count, value); }
  void Clear() { items.clear(); items.shrink_to_fit(); }

  std::size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }

  // Signed indices so that a negative node position is caught, not wrapped.
  T& operator[](long long index) { return items[Checked(index)]; }
  const T& operator[](long long index) const { return items[Checked(index)]; }

  // Unchecked storage, for loops over a range that has been checked once.
  T* data() { return items.data(); }
  const T* data() const { return items.data(); }

  auto begin() const { return items.begin(); }
  auto end() const { return items.end(); }

  bool operator==(const CheckedVector&) const = default;

 private:
  std::size_t Checked(long long index) const {
    if (index < 0 || static_cast<unsigned long long>(index) >= items.size()) {
      throw std::out_of_range(InvalidSubscriptText);
    }
    return static_cast<std::size_t>(index);
  }

  std::vector<T> items;
};

}  // namespace varnolt
