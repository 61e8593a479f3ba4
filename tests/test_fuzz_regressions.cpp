// Inputs the fuzz targets found faults with, kept so that the faults stay
// mended.
#include <gtest/gtest.h>

#include <string>

#include "platform/unicode.h"
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

// UTF-8 has one form per character: overlong forms (C1 90 for "P"),
// encoded surrogates and values past U+10FFFF are malformed, so that a text
// read and written back keeps its bytes.
TEST(FuzzRegressions, Utf8ToUtf16RefusesEveryFormButTheShortest) {
  std::u16string units;
  EXPECT_FALSE(Utf8ToUtf16(std::string("\x00\x00\x16\xc1\x90\x01\x79", 7), units));
  EXPECT_FALSE(Utf8ToUtf16("\xc0\xaf", units));
  EXPECT_FALSE(Utf8ToUtf16("\xe0\x80\xaf", units));
  EXPECT_FALSE(Utf8ToUtf16("\xf0\x80\x80\xaf", units));
  EXPECT_FALSE(Utf8ToUtf16("\xed\xa0\x80", units));      // U+D800
  EXPECT_FALSE(Utf8ToUtf16("\xf4\x90\x80\x80", units));  // U+110000
  EXPECT_FALSE(Utf8ToUtf16("\xf7\xbf\xbf\xbf", units));

  ASSERT_TRUE(
      Utf8ToUtf16("\xc2\x80\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", units));
  EXPECT_EQ(units, (std::u16string{0x80, 0x800, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF}));
  std::string back;
  ASSERT_TRUE(Utf16ToUtf8(units, back));
  EXPECT_EQ(back, "\xc2\x80\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf");
}

}  // namespace
