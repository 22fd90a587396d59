#include <gtest/gtest.h>

#include "grid/GridExtents.h"

#include <random>

namespace varnolt {

namespace {
// The plain loop the running totals stand in for.
int WalkAfterDistance(const std::vector<unsigned>& sizes, int first, std::int64_t distance, int limit) {
  int index = first;
  std::int64_t total = 0;
  while (total < distance && index < limit) total += sizes[std::size_t(index++)];
  return index;
}
}  // namespace

TEST(GridExtents, AgreeWithAPlainWalkThroughChangesAndResizes) {
  std::mt19937 random(7);
  GridExtents extents;
  std::vector<unsigned> sizes;
  for (int round = 0; round < 200; ++round) {
    switch (random() % 3) {
      case 0: {
        const int count = int(random() % 60);
        const unsigned size = random() % 4 == 0 ? 0 : random() % 30;
        extents.Resize(count, size);
        sizes.resize(std::size_t(count), size);
        break;
      }
      default:
        if (!sizes.empty()) {
          const int index = int(random() % sizes.size());
          const unsigned size = random() % 3 == 0 ? 0 : random() % 40;
          extents.Set(index, size);
          sizes[std::size_t(index)] = size;
        }
    }
    const int count = int(sizes.size());
    ASSERT_EQ(extents.Count(), count);
    std::int64_t offset = 0;
    for (int i = 0; i <= count; ++i) {
      ASSERT_EQ(extents.Offset(i), offset) << "round " << round << " index " << i;
      if (i < count) offset += sizes[std::size_t(i)];
    }
    for (int probe = 0; probe < 10 && count > 0; ++probe) {
      const int first = int(random() % count);
      const std::int64_t distance = std::int64_t(random() % 400) - 10;
      ASSERT_EQ(extents.IndexAfterDistance(first, distance, count - 1),
                WalkAfterDistance(sizes, first, distance, count - 1));
      const std::int64_t at = random() % (offset + 5);
      const int index = extents.IndexAt(at);
      if (at >= offset) {
        ASSERT_EQ(index, count);
      } else {
        ASSERT_GT(sizes[std::size_t(index)], 0u);
        ASSERT_LE(extents.Offset(index), at);
        ASSERT_LT(at, extents.Offset(index + 1));
      }
    }
  }
}

}  // namespace varnolt
