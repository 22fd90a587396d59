#include <gtest/gtest.h>

#include "platform/IntegerText.h"

namespace varnolt {

TEST(IntegerTextPlainTest, ReadsTheLeadingNumberAndIgnoresTheRest) {
  EXPECT_EQ(ReadInteger("100"), 100);
  EXPECT_EQ(ReadInteger(" 12abc"), 12);
  EXPECT_EQ(ReadInteger("2.5"), 2);
  EXPECT_EQ(ReadInteger("\t -28"), -28);
  EXPECT_EQ(ReadInteger("+7 palms"), 7);
  EXPECT_EQ(ReadInteger("007"), 7);
  EXPECT_EQ(ReadInteger("-0"), 0);
}

TEST(IntegerTextPlainTest, TextWithoutALeadingNumberReadsNothing) {
  EXPECT_EQ(ReadInteger(""), std::nullopt);
  EXPECT_EQ(ReadInteger("   "), std::nullopt);
  EXPECT_EQ(ReadInteger("abc12"), std::nullopt);
  EXPECT_EQ(ReadInteger("-"), std::nullopt);
  EXPECT_EQ(ReadInteger("+-3"), std::nullopt);
  EXPECT_EQ(ReadInteger("- 3"), std::nullopt);
  EXPECT_EQ(ReadInteger(".5"), std::nullopt);
}

TEST(IntegerTextPlainTest, OnlyTheFirst63CharactersCount) {
  // 62 blanks then "45": only the "4" lies within the first 63 characters.
  EXPECT_EQ(ReadInteger(std::string(62, ' ') + "45"), 4);
  EXPECT_EQ(ReadInteger(std::string(63, ' ') + "45"), std::nullopt);
}

TEST(IntegerTextPlainTest, TheWhole32BitRangeReadsAndBeyondItNothing) {
  EXPECT_EQ(ReadInteger("2147483647"), INT32_MAX);
  EXPECT_EQ(ReadInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadInteger("2147483648"), std::nullopt);
  EXPECT_EQ(ReadInteger("-2147483649"), std::nullopt);
  EXPECT_EQ(ReadInteger("99999999999999999999999"), std::nullopt);
}

TEST(IntegerTextPlainTest, FormattedValuesReadBackUnchanged) {
  for (std::int32_t value : {0, 1, -4, -28, 770, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(ReadInteger(FormatInteger(value)), value) << value;
  }
  EXPECT_EQ(FormatInteger(-28), "-28");
}

}  // namespace varnolt
