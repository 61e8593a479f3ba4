#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <string>

#include "text/sjis.h"

namespace {

// 表 ends in the byte of "\"; あ and い are ordinary double-byte characters.
const std::string kHyo = "\x95\x5C";
const std::string kA = "\x82\xA0";
const std::string kI = "\x82\xA2";

}  // namespace

TEST(SjisTest, LeadByteRange) {
  EXPECT_FALSE(IsSjisLeadByte(0x7F));
  EXPECT_TRUE(IsSjisLeadByte(0x80));
  EXPECT_TRUE(IsSjisLeadByte(0x9F));
  EXPECT_FALSE(IsSjisLeadByte(0xA0));  // half-width katakana are one byte
  EXPECT_FALSE(IsSjisLeadByte(0xDF));
  EXPECT_TRUE(IsSjisLeadByte(0xE0));
  EXPECT_TRUE(IsSjisLeadByte(0xFD));
  EXPECT_FALSE(IsSjisLeadByte(0xFE));
}

TEST(SjisTest, CharCount) {
  EXPECT_EQ(SjisCharCount(""), 0);
  EXPECT_EQ(SjisCharCount("a" + kA + "b"), 3);
  EXPECT_EQ(SjisCharCount("\x95"), 1);
  EXPECT_EQ(SjisCharCount(kHyo + "\\"), 2);
  EXPECT_EQ(SjisCharCount("\xB1\xB2"), 2);  // half-width katakana
}

TEST(SjisTest, RightBytesNeverSplitsACharacter) {
  const std::string ab_hyo = "ab" + kHyo;
  EXPECT_EQ(SjisRightBytes(ab_hyo, 2), kHyo);
  EXPECT_EQ(SjisRightBytes(ab_hyo, 1), "");  // not a lone 0x5C
  EXPECT_NE(SjisRightBytes("C:\\" + kHyo, 1), "\\");
  EXPECT_EQ(SjisRightBytes(ab_hyo, 3), "b" + kHyo);
  EXPECT_EQ(SjisRightBytes("abc", -2), "bc");
  EXPECT_EQ(SjisRightBytes("abc", 10), "abc");
  EXPECT_EQ(SjisRightBytes("abc", 0), "");
  EXPECT_EQ(SjisRightBytes("", 3), "");
  EXPECT_EQ(SjisRightBytes("a" + kA + "b", 2), "b");  // cut would land on あ's second byte
  EXPECT_EQ(SjisRightBytes("C:\\dir\\", 1), "\\");
}

TEST(SjisTest, MidBytes) {
  const std::string a_a_i = "a" + kA + kI;
  EXPECT_EQ(SjisMidBytes(a_a_i, 1, 4), "a" + kA);
  EXPECT_EQ(SjisMidBytes(a_a_i, 1, 5), a_a_i);
  EXPECT_EQ(SjisMidBytes(a_a_i, 3, 3), kI);  // あ starts before the window
  EXPECT_EQ(SjisMidBytes(a_a_i, 0, 3), "");
  EXPECT_EQ(SjisMidBytes(a_a_i, 6, 1), "");
  EXPECT_EQ(SjisMidBytes(a_a_i, 1, 0), "");
  EXPECT_EQ(SjisMidBytes(a_a_i, 2, 2147483647), kA + kI);  // no overflow on the window end

  std::string long_text(300, 'x');
  EXPECT_EQ(SjisMidBytes(long_text, 1, 255).size(), 255u);
  long_text.replace(254, 2, kA);  // byte 255 opens あ
  EXPECT_EQ(SjisMidBytes(long_text, 1, 255).size(), 254u);

  // A lone lead byte at the end still needs room for two bytes.
  EXPECT_EQ(SjisMidBytes("ab\x95", 3, 1), "");
  EXPECT_EQ(SjisMidBytes("ab\x95", 3, 2), "\x95");
}

TEST(SjisTest, MidChars) {
  const std::string a_a_b = "a" + kA + "b";
  EXPECT_EQ(SjisMidChars(a_a_b, 2, 1), kA);
  EXPECT_EQ(SjisMidChars(a_a_b, 4, 1), "");
  EXPECT_EQ(SjisMidChars(a_a_b, 2, 100), kA + "b");
  EXPECT_EQ(SjisMidChars(a_a_b, 1, 0), "");
  EXPECT_EQ(SjisMidChars(a_a_b, 0, 2), "a");  // characters 1 .. start + count - 1
  EXPECT_EQ(SjisMidChars("ab\x95", 3, 1), "\x95");
  EXPECT_EQ(SjisMidChars(a_a_b, 2, 2147483647), kA + "b");
}

TEST(SjisTest, CopyAndFillBuffersStayInBounds) {
  std::array<std::uint8_t, 16> buf;
  buf.fill(0xEE);
  CopyToBuffer(buf.data(), 13, "hello", 13);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 5), "hello");
  for (std::size_t i = 5; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xEE) << i;

  buf.fill(0xEE);
  CopyToBuffer(buf.data(), 16, "0123456789", -8);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 8), "01234567");
  EXPECT_EQ(buf[8], 0xEE);

  buf.fill(0xEE);
  CopyToBuffer(buf.data(), 4, "0123456789", 10);  // capacity wins over the count
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 4), "0123");
  EXPECT_EQ(buf[4], 0xEE);
  CopyToBuffer(buf.data(), 16, "zz", 0);
  CopyToBuffer(buf.data(), 16, "", 5);
  EXPECT_EQ(buf[0], '0');
  CopyToBuffer(buf.data(), 16, "0123456789ABCDEFGH", -2147483647 - 1);
  EXPECT_EQ(std::string(buf.begin(), buf.end()), "0123456789ABCDEF");

  buf.fill(0xEE);
  FillBuffer(buf.data(), 16, 0x20, 3);
  EXPECT_EQ(buf[2], 0x20);
  EXPECT_EQ(buf[3], 0xEE);
  FillBuffer(buf.data(), 16, 0x00, -3);  // not taken as absolute
  FillBuffer(buf.data(), 16, 0x00, 0);
  EXPECT_EQ(buf[0], 0x20);
  FillBuffer(buf.data(), 6, 0x41, 100);
  EXPECT_EQ(buf[5], 0x41);
  EXPECT_EQ(buf[6], 0xEE);
}

TEST(SjisTest, TextToBoolWords) {
  for (const std::string w : {"T", "tr", "tRu", "true", "TRUE", "1", "on", "On"}) {
    EXPECT_TRUE(TextToBool(w)) << w;
  }
  EXPECT_TRUE(TextToBool("\x82\x50"));               // １
  EXPECT_TRUE(TextToBool("\x81\x9B"));               // ○
  EXPECT_TRUE(TextToBool("\x90\x5E"));               // 真
  EXPECT_TRUE(TextToBool("\x90\xB3"));               // 正
  EXPECT_TRUE(TextToBool(" t\tr \x81\x40u e\r\n"));  // blanks anywhere, full-width too

  for (const std::string w : {"", "0", "F", "FALSE", "OFF", "YES", "TRUEX", " "}) {
    EXPECT_FALSE(TextToBool(w)) << w;
  }
  EXPECT_FALSE(TextToBool("\x82\x73\x82\x71\x82\x74\x82\x64"));  // ＴＲＵＥ
  EXPECT_FALSE(TextToBool("\x81\x7E"));                          // ×
  EXPECT_FALSE(TextToBool("\x90"));                              // lone lead byte of 真

  EXPECT_EQ(BoolToText(true), "1");
  EXPECT_EQ(BoolToText(false), "0");
  EXPECT_TRUE(TextToBool(BoolToText(true)));
  EXPECT_FALSE(TextToBool(BoolToText(false)));
}

TEST(SjisTest, TextToIntOrZero) {
  EXPECT_EQ(TextToIntOrZero("12"), 12);
  EXPECT_EQ(TextToIntOrZero(" -12"), -12);
  EXPECT_EQ(TextToIntOrZero("+7"), 7);
  EXPECT_EQ(TextToIntOrZero("12 "), 0);
  EXPECT_EQ(TextToIntOrZero("\t12"), 0);
  EXPECT_EQ(TextToIntOrZero(""), 0);
  EXPECT_EQ(TextToIntOrZero("-"), 0);
  EXPECT_EQ(TextToIntOrZero("1a"), 0);
  EXPECT_EQ(TextToIntOrZero("--1"), 0);
  EXPECT_EQ(TextToIntOrZero("2147483647"), 2147483647);
  EXPECT_EQ(TextToIntOrZero("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TextToIntOrZero("2147483648"), 0);
  EXPECT_EQ(TextToIntOrZero("-2147483649"), 0);
  EXPECT_EQ(TextToIntOrZero("99999999999999999999"), 0);

  EXPECT_EQ(TextToIntOrZero("$1F"), 31);
  EXPECT_EQ(TextToIntOrZero("$1f"), 31);
  EXPECT_EQ(TextToIntOrZero("x1F"), 31);
  EXPECT_EQ(TextToIntOrZero("X1F"), 31);
  EXPECT_EQ(TextToIntOrZero("0x1F"), 31);
  EXPECT_EQ(TextToIntOrZero("0X10"), 16);
  EXPECT_EQ(TextToIntOrZero(" -$10"), -16);
  EXPECT_EQ(TextToIntOrZero("$FFFFFFFF"), -1);
  EXPECT_EQ(TextToIntOrZero("$80000000"), -2147483647 - 1);
  EXPECT_EQ(TextToIntOrZero("$100000000"), 0);
  EXPECT_EQ(TextToIntOrZero("$"), 0);
  EXPECT_EQ(TextToIntOrZero("0x"), 0);
  EXPECT_EQ(TextToIntOrZero("x"), 0);
  EXPECT_EQ(TextToIntOrZero("$1G"), 0);
  EXPECT_EQ(TextToIntOrZero("0"), 0);
  EXPECT_EQ(TextToIntOrZero("007"), 7);
}

TEST(SjisTest, TextToFloatOrZeroIgnoresLocale) {
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("-2.5E3"), -2500.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("  +4e-2"), 0.04);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("7"), 7.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("5."), 5.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1,5"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1.5 "), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero(""), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("-"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("."), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1e"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1e+"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("inf"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("nan"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("0x1p3"), 0.0);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1e999"), 0.0);

  // A comma-decimal C locale must change nothing.
  const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (chosen == nullptr) chosen = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(TextToFloatOrZero("1,5"), 0.0);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(SjisTest, StripBlanks) {
  EXPECT_EQ(StripBlanks(" 1\x81\x40"
                        "2\t3 "),
            "123");
  EXPECT_EQ(StripBlanks(""), "");
  // A second byte of 0x20 or 0x40 after a lead byte belongs to its character.
  EXPECT_EQ(StripBlanks("\x81\x20x"), "\x81\x20x");
  EXPECT_EQ(StripBlanks("a\x82\x81\x40"), "a\x82\x81\x40");  // 0x81 0x40 straddles two characters
  EXPECT_EQ(StripBlanks("a\x81"), "a\x81");
  EXPECT_EQ(StripBlanks(kHyo + " " + kHyo), kHyo + kHyo);

  // Blank exactly when nothing would be left: full-width spaces whole,
  // never a lead byte alone or one whose second byte is a space.
  for (const std::string& s :
       {std::string(), std::string(" \t\x81\x40 "), std::string("\x81\x40\x81\x40"),
        std::string("\x81"), std::string(" \x81"), std::string("\x81\x20"),
        std::string("\x82\x81\x40"), std::string("\x01\x1F "), std::string(" a ")})
    EXPECT_EQ(IsBlankText(s), StripBlanks(s).empty()) << testing::PrintToString(s);
  EXPECT_TRUE(IsBlankText(" \t\x81\x40"));
  EXPECT_FALSE(IsBlankText("\x81\x20"));
}

TEST(SjisTest, CleanTextForWrite) {
  EXPECT_EQ(CleanTextForWrite("AB^mDE"), "ABDE");
  EXPECT_EQ(CleanTextForWrite("\r\n"), " ");
  EXPECT_EQ(CleanTextForWrite("^m"), " ");
  EXPECT_EQ(CleanTextForWrite(""), "");
  EXPECT_EQ(CleanTextForWrite("^M"), "^M");
  EXPECT_EQ(CleanTextForWrite("a^"), "a^");
  EXPECT_EQ(CleanTextForWrite("^^m"), "^");
  // 0x5E as the second byte of 真 does not start a "^m".
  EXPECT_EQ(CleanTextForWrite("\x90^m"), "\x90^m");
  // Control-code second bytes stay with their lead byte.
  EXPECT_EQ(CleanTextForWrite("\x81\x0Ax\ty"), "\x81\x0Axy");
  EXPECT_EQ(CleanTextForWrite("ab\x95"), "ab\x95");
  // Pairs that meet once another pair or a control byte is gone go too, so
  // a second cleaning changes nothing.
  EXPECT_EQ(CleanTextForWrite("a^^mm"), "a");
  EXPECT_EQ(CleanTextForWrite("x^^^mmmy"), "xy");
  EXPECT_EQ(CleanTextForWrite("^\x01m"), " ");
  EXPECT_EQ(CleanTextForWrite("\x90^m^m"), "\x90^m");
  for (const std::string t : {"a^^mm^", "^^m^mm", "^\r^\nmm", "\x90^^mm", "^m^m^m", "b^^m"}) {
    const std::string once = CleanTextForWrite(t);
    EXPECT_EQ(CleanTextForWrite(once), once) << t;
  }
}

TEST(SjisTest, CleanTextAfterRead) {
  EXPECT_EQ(CleanTextAfterRead("ab\x95"), "ab");
  EXPECT_EQ(CleanTextAfterRead("ab" + kHyo), "ab" + kHyo);
  EXPECT_EQ(CleanTextAfterRead("\x95"), "");
  EXPECT_EQ(CleanTextAfterRead("a\x01"
                               "b\r\n"),
            "ab");
  EXPECT_EQ(CleanTextAfterRead("\x81\x0A"), "\x81\x0A");
  EXPECT_EQ(CleanTextAfterRead("^m"), "^m");
  EXPECT_EQ(CleanTextAfterRead(""), "");
}

TEST(SjisTest, CaseFoldingLeavesSecondBytesAlone) {
  // 0x81 0x61 and 0x82 0x79 have second bytes in a-z; they must not change.
  EXPECT_EQ(SjisUpper("a\x81\x61z"), "A\x81\x61Z");
  EXPECT_EQ(SjisUpper("\x82\x79"), "\x82\x79");
  EXPECT_EQ(SjisUpper("\xB1q"), "\xB1Q");  // half-width katakana is its own character
  EXPECT_EQ(SjisUpper("q\x95"), "Q\x95");
  EXPECT_EQ(SjisLower(".JPG\x83\x41"
                      "B"),
            ".jpg\x83\x41"
            "b");
  EXPECT_EQ(SjisLower("\x83\x41"), "\x83\x41");  // 0x41 is "A"
  EXPECT_EQ(SjisUpper("@[`{"), "@[`{");
}
