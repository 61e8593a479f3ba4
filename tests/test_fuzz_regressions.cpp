// Inputs the fuzz targets found faults with, kept so that the faults stay
// mended.
#include <gtest/gtest.h>

#include <string>

#include "text/sjis.h"

namespace {

// A right cut is the end of the text: a lone lead byte there either fits
// (with room for two bytes) or the cut is empty; it never drops that byte
// and gives the characters before it instead.
TEST(FuzzRegressions, RightBytesIsAlwaysTheEndOfTheText) {
  const std::string text("7\0\0\0\xe0", 5);
  EXPECT_EQ(SjisRightBytes(text, 12334), text);
  EXPECT_EQ(SjisRightBytes(text, 5), std::string("\0\0\0\xe0", 4));
  EXPECT_EQ(SjisRightBytes(text, 2), "\xe0");
  EXPECT_EQ(SjisRightBytes(text, 1), "");
  EXPECT_EQ(SjisRightBytes("ab\x95", 2), "\x95");
  EXPECT_EQ(SjisRightBytes("ab\x95", -3), "b\x95");
  for (int n = -8; n <= 8; ++n) {
    const std::string right = SjisRightBytes(
        "a\x95\x5c"
        "b\x81",
        n);
    EXPECT_EQ(std::string("a\x95\x5c"
                          "b\x81")
                  .substr(5 - right.size()),
              right)
        << n;
  }
}

}  // namespace
