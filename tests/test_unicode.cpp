// The CP932 conversions of UTF-16 strings go through tables made from the
// platform's converter; every text must still convert exactly as the
// converter alone converts it (bytes, and which strings count as exact).
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/sjis.h"

namespace {

// The conversions by way of the platform, as they were before any table.
std::u16string PlatformDecode(const std::string& sjis) {
  std::u16string units;
  Utf8ToUtf16(platform::SjisToDisplay(sjis), units);
  return units;
}

bool PlatformExact(const std::u16string& units, std::string& sjis) {
  std::string utf8;
  if (!Utf16ToUtf8(units, utf8) || !platform::DisplayToSjis(utf8, sjis)) return false;
  return PlatformDecode(sjis) == units;
}

std::string PlatformLossy(const std::u16string& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::size_t n = (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) ? 2 : 1;
    std::string one;
    out += PlatformExact(units.substr(i, n), one) ? one : "?";
    i += n - 1;
  }
  return out;
}

void ExpectSameEncoding(const std::u16string& units) {
  std::string expected, got;
  const bool exact = PlatformExact(units, expected);
  ASSERT_EQ(Utf16ToSjisExact(units, got), exact) << testing::PrintToString(units);
  if (exact) {
    EXPECT_EQ(got, expected) << testing::PrintToString(units);
  }
  EXPECT_EQ(Utf16ToSjisLossy(units), PlatformLossy(units)) << testing::PrintToString(units);
}

}  // namespace

TEST(Cp932Tables, EveryByteAndEveryPairDecodesAsThePlatformDecodesIt) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(SjisToUtf16(one), PlatformDecode(one)) << b;
    // A lead byte at the end, and a byte between others.
    EXPECT_EQ(SjisToUtf16("a" + one), PlatformDecode("a" + one)) << b;
    EXPECT_EQ(SjisToUtf16("\x95\x5C" + one + "z"), PlatformDecode("\x95\x5C" + one + "z")) << b;
    if (!IsSjisLeadByte(static_cast<std::uint8_t>(b))) continue;
    for (int t = 0; t < 256; ++t) {
      const std::string pair = {static_cast<char>(b), static_cast<char>(t)};
      ASSERT_EQ(SjisToUtf16(pair), PlatformDecode(pair)) << b << " " << t;
    }
  }
}

TEST(Cp932Tables, EveryUnitEncodesAsThePlatformEncodesIt) {
  // Surrogates alone and in pairs, U+FFFD and characters that CP932 maps
  // one way only are among them.
  for (char32_t u = 0; u <= 0xFFFF; ++u) ExpectSameEncoding(std::u16string(1, char16_t(u)));
  for (const std::u16string& units :
       {std::u16string(u"\U0001F600"), std::u16string(u"\xD83D"), std::u16string(u"\xDE00x"),
        std::u16string(u"\xD83Dx"), std::u16string(u"\U00020B9F"), std::u16string()})
    ExpectSameEncoding(units);
}

TEST(Cp932Tables, MixedTextsConvertAsThePlatformConvertsThem) {
  const std::u16string pool =
      u"aZ09 \\~^m\r\n\x01\u00A5\u203E\u00E9\u3042\u30A2\u8868\u7E8A\u2252\u2460\u2160"
      u"\uFF5E\u301C\u2015\u2014\uFFFD\uFF71\u00A6\xD83D\xDE00";
  std::mt19937 random(932);
  for (int i = 0; i < 3000; ++i) {
    std::u16string units;
    const int n = static_cast<int>(random() % 12);
    for (int k = 0; k < n; ++k) units += pool[random() % pool.size()];
    ExpectSameEncoding(units);
    std::string sjis;
    if (Utf16ToSjisExact(units, sjis)) {
      EXPECT_EQ(SjisToUtf16(sjis), units);
    }
    std::string bytes;
    for (int k = 0; k < n; ++k) bytes += static_cast<char>(random() % 256);
    ASSERT_EQ(SjisToUtf16(bytes), PlatformDecode(bytes)) << testing::PrintToString(bytes);
  }
}

TEST(Cp932Tables, ThreadsConvertingAtOnceAgree) {
  // Whichever thread converts first makes the tables; the others wait for
  // them (image staging runs on worker threads).
  const std::u16string text = u"\u5E73\u9762\u56F3 caf\u00E9 \u2460";
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::string& result : results)
    threads.emplace_back([&text, &result] {
      for (int i = 0; i < 200; ++i) {
        std::string exact;
        result = Utf16ToSjisLossy(text) + (Utf16ToSjisExact(text, exact) ? "exact" : "not exact");
        if (SjisToUtf16("\x95\xBD\x96\xCA") != u"\u5E73\u9762") result += " undecoded";
      }
    });
  for (std::thread& t : threads) t.join();
  for (const std::string& result : results) EXPECT_EQ(result, results[0]);
}
