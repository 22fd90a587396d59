#include <gtest/gtest.h>

#include "platform/Windows1252.h"

namespace varnolt {

TEST(Windows1252, RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(Windows1252, MapsTheHighControlsAndLatin1) {
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Windows1252ToUtf8("\xE9t\xE9"), "\u00E9t\u00E9");
  EXPECT_EQ(Utf8ToWindows1252("\u2019\u00FC"), "\x92\xFC");
}

TEST(Windows1252, StoresWhatItLacksAsQuestionMarks) {
  EXPECT_EQ(Utf8ToWindows1252("a\u4E2Db"), "a?b");        // CJK
  EXPECT_EQ(Utf8ToWindows1252("\U0001F334"), "?");       // palm tree emoji
  EXPECT_EQ(Utf8ToWindows1252("x\xC3"), "x?");           // truncated sequence
  EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "???");  // encoded surrogate
}

TEST(Windows1252, DecodesUtf16WithSurrogatePairs) {
  EXPECT_EQ(Utf16ToUtf8(u"Palm \U0001F334 \u00E9"), "Palm \U0001F334 \u00E9");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\uFFFD");
}

}  // namespace varnolt
