#include "grid/GridExtents.h"

#include <algorithm>

namespace varnolt {

void GridExtents::Set(int index, unsigned size) {
  if (sizes_[std::size_t(index)] == size) return;
  sizes_[std::size_t(index)] = size;
  validUpTo_ = std::min(validUpTo_, index);
}

void GridExtents::Resize(int count, unsigned size) {
  const int old = Count();
  sizes_.resize(std::size_t(count), size);
  validUpTo_ = std::min(validUpTo_, std::min(old, count));
}

void GridExtents::Clear() {
  sizes_.clear();
  totals_.assign(1, 0);
  validUpTo_ = 0;
}

void GridExtents::Update() const {
  const int count = Count();
  if (validUpTo_ >= count && int(totals_.size()) == count + 1) return;
  totals_.resize(std::size_t(count) + 1);
  for (int i = validUpTo_; i < count; ++i) totals_[std::size_t(i) + 1] = totals_[std::size_t(i)] + sizes_[std::size_t(i)];
  validUpTo_ = count;
}

std::int64_t GridExtents::Sum(int first, int last) const {
  first = std::max(first, 0);
  last = std::min(last, Count());
  if (last <= first) return 0;
  Update();
  return totals_[std::size_t(last)] - totals_[std::size_t(first)];
}

int GridExtents::IndexAfterDistance(int first, std::int64_t distance, int limit) const {
  if (distance <= 0 || first >= limit) return first;
  Update();
  limit = std::min(limit, Count());
  const std::int64_t target = totals_[std::size_t(first)] + distance;
  auto begin = totals_.begin() + first;
  auto end = totals_.begin() + limit + 1;
  auto found = std::lower_bound(begin, end, target);
  if (found == end) return limit;
  return int(found - totals_.begin());
}

int GridExtents::IndexAt(std::int64_t offset) const {
  if (offset < 0) return -1;
  Update();
  // The first total above the offset ends the entry that holds it.
  auto found = std::upper_bound(totals_.begin(), totals_.end(), offset);
  if (found == totals_.end()) return Count();
  return int(found - totals_.begin()) - 1;
}

}  // namespace varnolt
