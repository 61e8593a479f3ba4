// Item encodings: the length-prefixed string in both stored forms, the
// attribute block, and the exact-count reader.
#include <gtest/gtest.h>

#include "jww/jwwio.h"
#include "platform/unicode.h"
#include "testing/testutil.h"

using testutil::MemoryFile;

namespace {

std::vector<std::uint8_t> Written(const JwwStr& s) {
  MemoryFile f;
  JwwWriter w(f);
  WriteJwwString(w, s);
  w.Flush();
  return f.bytes;
}

JwwStr ReadBack(const std::vector<std::uint8_t>& bytes, bool asName = false) {
  MemoryFile f(bytes);
  JwwReader r(f);
  JwwStr s = asName ? ReadJwwName(r) : ReadJwwString(r);
  EXPECT_EQ(r.Position(), static_cast<long long>(bytes.size())) << "bytes left unread";
  return s;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return {bytes.begin(), bytes.begin() + static_cast<long>(std::min(n, bytes.size()))};
}

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& units) {
  std::vector<std::uint8_t> b = {0xFF, 0xFE, 0xFF};
  const std::size_t n = units.size();
  if (n < 255) {
    b.push_back(static_cast<std::uint8_t>(n));
  } else if (n < 65534) {
    b.push_back(0xFF);
    b.push_back(static_cast<std::uint8_t>(n & 0xFF));
    b.push_back(static_cast<std::uint8_t>(n >> 8));
  } else {
    for (std::uint8_t x : {0xFF, 0xFF, 0xFF}) b.push_back(x);
    for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<std::uint8_t>(n >> shift));
  }
  for (char16_t u : units) {
    b.push_back(static_cast<std::uint8_t>(u & 0xFF));
    b.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return b;
}

}  // namespace

TEST(ByteString, LengthPrefixesAtEachBoundary) {
  struct Case {
    std::size_t n;
    std::vector<std::uint8_t> prefix;
  };
  const Case cases[] = {
      {0, {0x00}},
      {254, {0xFE}},
      {255, {0xFF, 0xFF, 0x00}},
      {256, {0xFF, 0x00, 0x01}},
      {300, {0xFF, 0x2C, 0x01}},
      {512, {0xFF, 0x00, 0x02}},
      {65533, {0xFF, 0xFD, 0xFF}},
      // FF FE FF would be the UTF-16 marker and FF FF FF the escape to a
      // 32-bit length, so both take the 32-bit form, as Jw_cad's own archive
      // writes them.
      {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
      {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const Case& c : cases) {
    std::string text(c.n, 'a');
    for (std::size_t i = 0; i < c.n; ++i) text[i] = static_cast<char>('a' + i % 26);
    auto bytes = Written(JwwStr(text));
    EXPECT_EQ(Prefix(bytes, c.prefix.size()), c.prefix) << c.n;
    EXPECT_EQ(bytes.size(), c.prefix.size() + c.n) << c.n;
    JwwStr back = ReadBack(bytes);
    EXPECT_EQ(back.text(), text) << c.n;
    EXPECT_EQ(back.form(), JwwStr::Form::Bytes) << c.n;
  }
}

TEST(ByteString, ContentIsTakenVerbatim) {
  // A zero byte does not end the string; 表's second byte is "\"; a lone
  // lead byte at the end is kept by the plain reader and dropped for names.
  const std::string zero("a\0b", 3);
  EXPECT_EQ(ReadBack(Written(JwwStr(zero))).text(), zero);
  EXPECT_EQ(ReadBack(Written(JwwStr("C:\\\x95\x5C\\a.bmp"))).text(), "C:\\\x95\x5C\\a.bmp");
  const std::vector<std::uint8_t> loneLead = {0x03, 'a', 'b', 0x95};
  EXPECT_EQ(ReadBack(loneLead).text(), "ab\x95");
  EXPECT_EQ(ReadBack(loneLead, true).text(), "ab");
  const std::vector<std::uint8_t> control = {0x04, 'a', 0x0D, 0x0A, 'b'};
  EXPECT_EQ(ReadBack(control).text(), "a\r\nb");
  EXPECT_EQ(ReadBack(control, true).text(), "ab");
}

TEST(ByteString, ShortFileIsAnIoFailureNotAShortString) {
  for (std::vector<std::uint8_t> bytes :
       {std::vector<std::uint8_t>{0x05, 'a', 'b'}, std::vector<std::uint8_t>{0xFF, 0x2C},
        std::vector<std::uint8_t>{0xFF, 0xFE, 0xFF, 0x02, 'a'}}) {
    MemoryFile f(bytes);
    JwwReader r(f);
    try {
      ReadJwwString(r);
      ADD_FAILURE() << "a cut string was read";
    } catch (const JwwIoError& e) {
      EXPECT_EQ(e.code(), 100);
    }
  }
}

TEST(ByteString, CorruptHugeLengthFailsWithoutAllocatingIt) {
  // A 32-bit length of two billion over a few bytes of data.
  MemoryFile f({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x78, 'a', 'b'});
  JwwReader r(f);
  EXPECT_THROW(ReadJwwString(r), JwwIoError);
}

TEST(Utf16String, LengthsAndCharacters) {
  // "表示" maps to CP932 and back: held as Shift-JIS, written back as UTF-16.
  const std::u16string hyouji = u"\u8868\u793A";
  JwwStr s = ReadBack(Utf16Bytes(hyouji));
  EXPECT_EQ(s.form(), JwwStr::Form::Utf16);
  EXPECT_FALSE(s.verbatim());
  EXPECT_EQ(s.text(), "\x95\x5C\x8E\xA6");
  EXPECT_EQ(Written(s), Utf16Bytes(hyouji));

  for (std::size_t n : {0u, 1u, 254u, 255u, 300u}) {
    std::u16string units(n, u'x');
    auto bytes = Utf16Bytes(units);
    if (n == 255) {
      EXPECT_EQ(Prefix(bytes, 6), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}));
    }
    JwwStr back = ReadBack(bytes);
    EXPECT_EQ(back.text(), std::string(n, 'x')) << n;
    EXPECT_EQ(Written(back), bytes) << n;
  }
}

TEST(Utf16String, LongStringsAtTheLengthBoundaries) {
  // Japanese text, held as Shift-JIS, and text with one character CP932
  // lacks, held as units, at the lengths where the prefix changes and past
  // the 64 KB the reader takes in its first piece.
  for (std::size_t n : {65533u, 65534u, 70001u}) {
    for (char16_t odd : {u'\u8868', u'\u00E9'}) {
      std::u16string units(n, u'\u3042');
      units[0] = u'a';
      units[n / 2] = odd;
      const auto bytes = Utf16Bytes(units);
      JwwStr s = ReadBack(bytes);
      EXPECT_EQ(s.verbatim(), odd == u'\u00E9') << n;
      if (!s.verbatim()) {
        EXPECT_EQ(s.text().size(), 2 * n - 1) << n;
      }
      EXPECT_EQ(Written(s), bytes) << n;
      EXPECT_EQ(Written(CleanForWrite(s)), bytes) << n;
    }
  }
}

TEST(Utf16String, CharactersOutsideCp932AreCarriedThroughUnchanged) {
  // é, an emoji (a surrogate pair) and a lone surrogate have no CP932 form.
  for (const std::u16string& units :
       {std::u16string(u"caf\u00E9.jpg"), std::u16string(u"a\U0001F600b"),
        std::u16string(u"x\xD800y")}) {
    auto bytes = Utf16Bytes(units);
    JwwStr s = ReadBack(bytes);
    EXPECT_TRUE(s.verbatim());
    EXPECT_EQ(s.units(), units);
    EXPECT_EQ(Written(s), bytes);
    EXPECT_EQ(Written(CleanForWrite(s)), bytes);
  }
  JwwStr s = ReadBack(Utf16Bytes(u"caf\u00E9"));
  EXPECT_EQ(s.text(), "caf?");
}

TEST(Utf16String, CleaningWorksOnTheStoredForm) {
  JwwStr name = ReadBack(Utf16Bytes(u"a\r\n\u00E9^mb"), true);
  EXPECT_EQ(name.units(), u"a\u00E9^mb");
  EXPECT_EQ(CleanForWrite(name).units(), u"a\u00E9b");
  JwwStr nested = ReadBack(Utf16Bytes(u"\u00E9^^m\u0001m"), true);
  EXPECT_EQ(CleanForWrite(nested).units(), u"\u00E9");
  JwwStr plain = ReadBack(Utf16Bytes(u"^m"));
  JwwStr cleaned = CleanForWrite(plain);
  EXPECT_EQ(cleaned.text(), " ");
  EXPECT_EQ(cleaned.form(), JwwStr::Form::Utf16);
}

TEST(Utf16String, RewrittenTextKeepsItsForm) {
  JwwStr s = ReadBack(Utf16Bytes(u"^@BMa.bmp,1"));
  s.Assign("^@BM%temp%a.bmp,1");
  EXPECT_EQ(Written(s), Utf16Bytes(u"^@BM%temp%a.bmp,1"));
}

// A string lives in the object up to 14 bytes and on the heap past them;
// each length on either side, in either form, reads and writes back alike.
TEST(StringValue, LengthsAroundTheInlineRoomRoundTrip) {
  for (std::size_t n : {0u, 1u, 7u, 8u, 13u, 14u, 15u, 16u, 300u}) {
    const std::string ascii(n, 'x');
    JwwStr bytes = ReadBack(Written(JwwStr(ascii)));
    EXPECT_EQ(bytes.text(), ascii) << n;
    EXPECT_EQ(bytes.form(), JwwStr::Form::Bytes) << n;
    EXPECT_EQ(bytes, JwwStr(ascii)) << n;

    // "あ" is two bytes in Shift-JIS: 7 of them fill the room exactly.
    const std::u16string units(n, u'\u3042');
    JwwStr wide = ReadBack(Utf16Bytes(units));
    EXPECT_EQ(wide.form(), JwwStr::Form::Utf16) << n;
    EXPECT_FALSE(wide.verbatim()) << n;
    EXPECT_EQ(wide.text().size(), 2 * n) << n;
    EXPECT_EQ(Written(wide), Utf16Bytes(units)) << n;

    const std::u16string asciiUnits(n, u'x');
    JwwStr narrow = ReadBack(Utf16Bytes(asciiUnits));
    EXPECT_EQ(narrow.text(), ascii) << n;
    EXPECT_EQ(Written(narrow), Utf16Bytes(asciiUnits)) << n;
  }
  // Bytes the tables cannot decode (a lone lead byte) are written as the
  // system's converter gives them, short or long.
  for (const std::string& odd : {std::string("ab\x95"), std::string(20, 'a') + "\x95"}) {
    JwwStr s(odd);
    s.SetForm(JwwStr::Form::Utf16);
    EXPECT_EQ(Written(s), Utf16Bytes(SjisToUtf16(odd))) << odd.size();
  }
}

TEST(StringValue, NameCleaningAcrossTheInlineRoom) {
  // A control byte dropped from 15 bytes leaves 14; one dropped from 14
  // leaves 13: the cleaned text must come out whole either way.
  for (std::size_t n : {14u, 15u, 16u, 40u}) {
    std::string text(n - 1, 'a');
    text.insert(text.begin() + 3, '\r');
    JwwStr name = ReadBack(Written(JwwStr(text)), true);
    EXPECT_EQ(name.text(), std::string(n - 1, 'a')) << n;
    EXPECT_EQ(name.form(), JwwStr::Form::Bytes) << n;
  }
}

// Strings of every kind the representation has: empty, inline at the limit,
// heap just past it and long, UTF-16 held as Shift-JIS, verbatim.
std::vector<JwwStr> EveryKind() {
  std::vector<JwwStr> all = {JwwStr(), JwwStr(std::string(14, 'a')), JwwStr(std::string(15, 'b')),
                             JwwStr(std::string(1000, 'c'))};
  all.push_back(ReadBack(Utf16Bytes(u"\u8868\u793A")));
  all.push_back(ReadBack(Utf16Bytes(std::u16string(20, u'\u3042'))));
  // 𠮷 (a surrogate pair) has no CP932 form.
  all.push_back(ReadBack(Utf16Bytes(u"\U00020BB7\u91CE\u5BB6")));
  all.push_back(ReadBack(Utf16Bytes(u"^@BM%temp%long name \U00020BB7.jpg,1,2,3")));
  return all;
}

TEST(StringValue, CopyMoveAndAssignKeepEverything) {
  const std::vector<JwwStr> all = EveryKind();
  ASSERT_TRUE(all[6].verbatim());
  ASSERT_EQ(all[6].units(), u"\U00020BB7\u91CE\u5BB6");
  ASSERT_EQ(all[6].text(), "?\x96\xEC\x89\xC6");
  for (std::size_t i = 0; i < all.size(); ++i) {
    const JwwStr& original = all[i];
    const std::vector<std::uint8_t> bytes = Written(original);
    JwwStr copy(original);
    EXPECT_EQ(copy, original) << i;
    EXPECT_EQ(Written(copy), bytes) << i;
    JwwStr moved(std::move(copy));
    EXPECT_EQ(moved, original) << i;
    EXPECT_EQ(copy, JwwStr()) << i;  // NOLINT: a moved-from string is empty
    copy = original;                 // and usable again
    EXPECT_EQ(copy, original) << i;
    // Assignment over every other kind frees or reuses what was there.
    for (std::size_t j = 0; j < all.size(); ++j) {
      JwwStr target = all[j];
      target = original;
      EXPECT_EQ(target, original) << i << " over " << j;
      JwwStr source = all[j];
      target = std::move(source);
      EXPECT_EQ(target, all[j]) << i << " moved over by " << j;
      EXPECT_EQ(Written(target), Written(all[j])) << i << " " << j;
    }
    JwwStr self = original;
    const JwwStr& alias = self;
    self = alias;
    EXPECT_EQ(self, original) << i;
    self = std::move(self);  // NOLINT: self-move keeps the string
    EXPECT_EQ(self, original) << i;
  }
  // A vector that grows moves its strings to new storage.
  std::vector<JwwStr> grown;
  for (int round = 0; round < 50; ++round)
    for (const JwwStr& s : all) grown.push_back(s);
  for (std::size_t k = 0; k < grown.size(); ++k) EXPECT_EQ(grown[k], all[k % all.size()]) << k;
}

TEST(StringValue, EqualityComparesFormVerbatimAndUnits) {
  const JwwStr bytes("caf?");
  JwwStr utf16("caf?");
  utf16.SetForm(JwwStr::Form::Utf16);
  const JwwStr verbatim = ReadBack(Utf16Bytes(u"caf\u00E9"));
  const JwwStr otherUnits = ReadBack(Utf16Bytes(u"caf\u00E8"));
  ASSERT_EQ(verbatim.text(), "caf?");
  ASSERT_EQ(otherUnits.text(), "caf?");
  EXPECT_NE(bytes, utf16);
  EXPECT_NE(utf16, verbatim);
  EXPECT_NE(verbatim, otherUnits);
  EXPECT_EQ(verbatim, JwwStr::Verbatim("caf?", u"caf\u00E9"));
  EXPECT_EQ(utf16, JwwStr::FromUnits(u"caf?"));
}

TEST(StringValue, AssignReplacesTheTextAndKeepsTheForm) {
  for (const JwwStr& original : EveryKind()) {
    JwwStr s = original;
    s.Assign("new");
    EXPECT_EQ(s.text(), "new");
    EXPECT_EQ(s.form(), original.form());
    EXPECT_FALSE(s.verbatim());
    EXPECT_TRUE(s.units().empty());
    // A text made from the string's own text, which Assign replaces.
    s = original;
    const std::string_view own = original.text();
    s.Assign(s.text().substr(own.empty() ? 0 : 1));
    EXPECT_EQ(s.text(), own.substr(own.empty() ? 0 : 1));
    EXPECT_EQ(s.form(), original.form());
  }
  // A verbatim string given a Shift-JIS text is written from that text.
  JwwStr s = ReadBack(Utf16Bytes(u"^@BM\U00020BB7.jpg,1"));
  ASSERT_TRUE(s.verbatim());
  s.Assign("^@BM%temp%a.jpg,1");
  EXPECT_EQ(Written(s), Utf16Bytes(u"^@BM%temp%a.jpg,1"));
}

TEST(Cp932, EveryDoubleByteCodeThatClaimsExactnessRoundTrips) {
  // Windows' table, not SHIFT_JIS: 0x8160 is U+FF5E (wave dash as Windows
  // maps it), and NEC/IBM duplicates decode to one character.
  EXPECT_EQ(SjisToUtf16("\x81\x60"), u"\uFF5E");
  int exact = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string code = {static_cast<char>(lead), static_cast<char>(trail)};
      std::u16string units = SjisToUtf16(code);
      if (units == u"\uFFFD") continue;
      std::string back;
      if (Utf16ToSjisExact(units, back)) {
        ++exact;
        EXPECT_EQ(SjisToUtf16(back), units);
      }
    }
  }
  EXPECT_GT(exact, 7000);
}

TEST(AttributeBlock, BothLayouts) {
  const std::vector<std::uint8_t> b15 = {1, 0, 0, 0, 5, 2, 0, 7, 0, 3, 0, 4, 0, 9, 0};
  MemoryFile f15(b15);
  JwwReader r15(f15);
  TEntJwwAttr a = ReadEntityAttr(r15, 351);
  EXPECT_EQ(r15.Position(), 15);
  EXPECT_EQ(a.Group, 1);
  EXPECT_EQ(a.PenStyle, 5);
  EXPECT_EQ(a.PenColor, 2);
  EXPECT_EQ(a.PenWidth, 7);
  EXPECT_EQ(a.Layer, 3);
  EXPECT_EQ(a.LayerGroup, 4);
  EXPECT_EQ(a.Flags, 9);

  const std::vector<std::uint8_t> b13 = {1, 0, 0, 0, 5, 2, 0, 3, 0, 4, 0, 9, 0};
  MemoryFile f13(b13);
  JwwReader r13(f13);
  TEntJwwAttr old = ReadEntityAttr(r13, 300);
  EXPECT_EQ(r13.Position(), 13);
  EXPECT_EQ(old.PenWidth, 0);
  EXPECT_EQ(old.Layer, 3);
  EXPECT_EQ(old.LayerGroup, 4);
  EXPECT_EQ(old.Flags, 9);
}

TEST(Writer, ItemsAcrossTheBufferArriveWholeAndInOrder) {
  // Items that straddle the writer's 64 KB buffer, blocks larger than it,
  // and zeros past it.
  MemoryFile f;
  JwwWriter w(f);
  std::vector<std::uint8_t> expected;
  const std::vector<std::uint8_t> almost(65535, 0x11);
  w.WriteExact(almost.data(), almost.size());
  expected.insert(expected.end(), almost.begin(), almost.end());
  w.WriteDword(0x04030201);
  for (std::uint8_t b : {1, 2, 3, 4}) expected.push_back(b);
  std::vector<std::uint8_t> big(200001);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  w.WriteExact(big.data(), big.size());
  expected.insert(expected.end(), big.begin(), big.end());
  w.WriteZeros(70000);
  expected.insert(expected.end(), 70000, 0);
  w.WriteDouble(1.5);
  const double d = 1.5;
  const auto* p = reinterpret_cast<const std::uint8_t*>(&d);
  expected.insert(expected.end(), p, p + 8);
  EXPECT_EQ(w.Position(), static_cast<long long>(expected.size()));
  w.Flush();
  EXPECT_EQ(f.bytes, expected);
}
