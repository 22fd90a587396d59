#pragma once
// GridExtents: the heights of a grid's rows (or the widths of its columns),
// with running totals kept up to date lazily, so that the offset of any row and
// the row at any offset are found in logarithmic time however many rows there
// are. Changing one size only marks the totals stale from that row on.

#include <cstdint>
#include <vector>

namespace varnolt {

class GridExtents {
 public:
  int Count() const { return int(sizes_.size()); }
  unsigned At(int index) const { return sizes_[std::size_t(index)]; }

  void Set(int index, unsigned size);
  // Grows with the given size for new entries, or shrinks.
  void Resize(int count, unsigned size = 0);
  void Clear();

  // The sum of the sizes of [first, last), 0 when the range is empty.
  std::int64_t Sum(int first, int last) const;
  // The offset at which an entry starts: the sum of all sizes before it.
  std::int64_t Offset(int index) const { return Sum(0, index); }

  // The first index i in [first, limit] for which Sum(first, i) >= distance,
  // or limit when no such index comes before it.
  int IndexAfterDistance(int first, std::int64_t distance, int limit) const;
  // The index whose span [offset, offset + size) holds the offset; Count() when
  // the offset lies past the end. Entries of size 0 never hold an offset.
  int IndexAt(std::int64_t offset) const;

 private:
  void Update() const;

  std::vector<unsigned> sizes_;
  // totals_[i] is the sum of sizes_[0..i); valid up to index validUpTo_.
  mutable std::vector<std::int64_t> totals_{0};
  mutable int validUpTo_ = 0;
};

}  // namespace varnolt
