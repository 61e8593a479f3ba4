#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "testing/testutil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads a header from `bytes` through a real file; returns where the reader
// stopped.
long long ReadHeaderFrom(const Bytes& bytes, TJwwData& d) {
  testutil::TempDir dir;
  testutil::WriteBytes(dir.Native("h.jww"), bytes);
  auto file = platform::Current().OpenRead(dir.Path("h.jww"));
  if (!file) throw std::runtime_error("cannot open the test file");
  JwwReader r(*file);
  d.ReadHeader(r);
  return r.Position();
}

Bytes WriteHeaderBytes(TJwwData& d, std::int32_t v) {
  testutil::TempDir dir;
  {
    auto file = platform::Current().Create(dir.Path("o.jww"));
    if (!file) throw std::runtime_error("cannot create the test file");
    JwwWriter w(*file);
    d.WriteHeader(w, v);
    w.Flush();
    file->Close();
  }
  return testutil::ReadBytes(dir.Native("o.jww"));
}

Bytes ByteString(const std::string& t) {
  Bytes b(1 + t.size());
  b[0] = static_cast<std::uint8_t>(t.size());
  std::copy(t.begin(), t.end(), b.begin() + 1);
  return b;
}

Bytes Dwords(std::initializer_list<std::uint32_t> values) {
  ByteSink s;
  for (auto v : values) s.Dword(static_cast<std::int32_t>(v));
  return s.bytes;
}

const char kMemo[] = "memo\r\nline 2";

// A header spelled out item by item from the layout tables, every field a
// value of its own so that a shifted or missing field shows. It stays inside
// every writing range, so writing it back must give the same bytes. Versions
// 2.31-2.99 have room for the sky-map values but do not keep them:
// `skyMap` false leaves that room zero, as they are written.
Bytes Fixture(std::int32_t v, bool skyMap = true) {
  ByteSink s;
  auto str = [&s](const std::string& t) {
    s.Byte(static_cast<std::uint8_t>(t.size()));
    for (char c : t) s.Byte(static_cast<std::uint8_t>(c));
  };
  for (char c : std::string("JwwData.")) s.Byte(static_cast<std::uint8_t>(c));
  s.Dword(v);
  str(kMemo);  // H2
  s.Dword(3);
  s.Dword(5);
  for (int g = 0; g < 16; ++g) {  // H3
    s.Dword(g + 1);
    s.Dword(15 - g);
    s.Double(g + 0.5);
    s.Dword(g % 2);
    for (int k = 0; k < 16; ++k) {
      s.Dword(1000 + 16 * g + k);
      s.Dword(k % 3);
    }
  }
  for (int i = 0; i < 56; ++i) s.Byte(static_cast<std::uint8_t>(i + 1));  // H4
  for (int i = 0; i < 5; ++i) s.Dword(20 + i);                            // H5
  s.Dword(9362);
  s.Dword(-90);
  for (double x : {-1.5, 2.5, 0.5}) s.Double(x);  // H6
  s.Dword(1);
  s.Dword(2);
  for (double x : {4.0, 910.0, 455.0, 7.0, 8.0}) s.Double(x);
  for (int i = 0; i < 256; ++i) str("L" + std::to_string(i));  // H7
  for (int g = 0; g < 16; ++g) str("G" + std::to_string(g));
  s.Double(1.25);  // H8
  s.Double(35.5);
  s.Dword(1);
  s.Double(0.75);
  if (v > 230) {
    s.Double(skyMap ? 12 : 0);
    s.Double(skyMap ? 30 : 0);
  }
  s.Dword(4);  // H9
  for (double x : {0.25, 10.0, 20.0, 2.0, 30.0, 40.0}) s.Double(x);
  for (int n = 1; n <= (v > 230 ? 8 : 4); ++n) {  // H10
    s.Double(n * 10);
    s.Double(n + 0.5);
    s.Double(-n);
    if (v > 230) s.Dword(n - 1);
  }
  if (v > 230) {
    for (double x : {1.1, 2.2, 3.3}) s.Double(x);
    s.Dword(4);
    for (double x : {5.5, 6.6, 7.7}) s.Double(x);
    s.Dword(8);
  }
  for (int i = 0; i < 10; ++i) s.Double(i + 0.5);  // H11
  s.Double(9.75);
  for (int c = 0; c < 10; ++c) {
    s.Dword(0x010101 * c);
    s.Dword(c + 1);
  }
  for (int c = 0; c < 10; ++c) {  // H12
    s.Dword(c == 0 ? 0xFFFFFF : 0x100000 + c);
    s.Dword(10 * c + 1);
    s.Double(0.5 + c);
  }
  for (int i = 0; i < 8; ++i)  // H13
    for (int k = 0; k < 4; ++k) s.Dword(k == 0 ? 0x11110000 + i : i + k);
  for (int i = 0; i < 5; ++i)  // H14
    for (int k = 0; k < 5; ++k) s.Dword(100 * i + k);
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) s.Dword(200 + 10 * i + k);
  for (int i = 0; i < 10; ++i) s.Dword(i + 1);  // H15
  s.Dword(v >= 600 ? 23 : 3);
  if (v >= 223) {
    for (int x : {3600, 1, 30, 45, 60}) s.Dword(x);
    for (double x : {1.5, 100.0, 2.5, 200.0, 35.25}) s.Double(x);
  }
  if (v >= 225)
    for (double x : {1000.0, 910.0, 455.0, 300.0}) s.Double(x);
  if (v >= 230) {
    s.Dword(1);
    s.Dword(0xABCDEF);
  }
  if (v >= 420) {  // H16
    for (int i = 0; i < 257; ++i) {
      s.Dword(3 * i);
      s.Dword(i % 7 + 1);
    }
    for (int i = 0; i < 257; ++i) {
      str("C" + std::to_string(i));
      s.Dword(i > 16 ? 3 * i : 0x200000 + i);
      s.Dword(i + 2);
      s.Double(i / 4.0);
    }
    for (int i = 0; i < 33; ++i)
      for (int k = 0; k < 4; ++k) s.Dword(k == 0 ? 0x0F0F0000 + i : i + k);
    for (int i = 0; i < 33; ++i) {
      str("T" + std::to_string(i));
      s.Dword(2 * (i % 4 + 1));
      for (int k = 0; k < 10; ++k) s.Double(i + k / 10.0);
    }
  }
  for (int i = 0; i < 10; ++i) {  // H17
    s.Double(i + 2);
    s.Double(i + 3);
    s.Double(0.5 * i);
    s.Dword(i + 1);
  }
  for (double x : {2.5, 3.5, 0.25}) s.Double(x);  // H18
  s.Dword(2);
  s.Dword(7);
  s.Double(1.2);
  s.Double(40);
  s.Dword(1);
  for (double x : {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}) s.Double(x);
  return s.bytes;
}

// The fixture's fields as a drawing of version v holds them; what v lacks
// keeps its cleared value.
void ExpectFixture(const TJwwData& d, std::int32_t v) {
  const TEntJwwHeader& h = d.Header;
  EXPECT_EQ(h.Version, v);
  EXPECT_EQ(h.Memo.text(), kMemo);
  EXPECT_EQ(h.PaperSize, 3);
  EXPECT_EQ(h.WriteLayerGroup, 5);
  EXPECT_EQ(d.LayerGroups[15], (TEntJwwLayerGroup{16, 0, 15.5, 1, "G15"}));
  EXPECT_EQ(d.Layers[17], (TEntJwwLayer{1017, 1, "L17"}));
  EXPECT_EQ(d.Layers[255], (TEntJwwLayer{1255, 0, "L255"}));
  EXPECT_EQ(h.Reserved[0], 1);
  EXPECT_EQ(h.Reserved[55], 56);
  EXPECT_EQ(h.DimSettings[4], 24);
  EXPECT_EQ(h.DimReserved, 9362);
  EXPECT_EQ(h.MaxLineDrawWidth, -90);
  EXPECT_EQ(h.PrintOriginX, -1.5);
  EXPECT_EQ(h.GridMode, 2);
  EXPECT_EQ(h.GridBaseY, 8);
  EXPECT_EQ(h.WallShadowHeight, 0.75);
  EXPECT_EQ(h.SkyMapHeight, v >= 300 ? 12 : 0);
  EXPECT_EQ(h.SkyMapRadius, v >= 300 ? 30 : 0);
  EXPECT_EQ(h.Unit25D, 4);
  EXPECT_EQ(h.RangeOriginY, 40);
  for (int n = 1; n <= 8; ++n) {
    const bool held = n <= 4 || v > 230;
    EXPECT_EQ(h.JumpScale[n], held ? n * 10 : 1) << n;
    EXPECT_EQ(h.JumpY[n], held ? -n : 0) << n;
    EXPECT_EQ(h.JumpLayerGroup[n], v > 230 ? n - 1 : -1) << n;
  }
  EXPECT_EQ(h.TextDisp1, v > 230 ? 1.1 : 0);
  EXPECT_EQ(h.TextDisp8, v > 230 ? 8 : 0);
  EXPECT_EQ(h.ParallelEndOffset, 9.75);
  EXPECT_EQ(d.Pens[9], (TEntJwwPen{0x090909, 10, 0x100009, 91, 9.5}));
  EXPECT_EQ(d.LineTypes[7], (TEntJwwLineType{0x11110007, 8, 9, 10}));
  EXPECT_EQ(d.RandomLines[4].PrinterPitch, 404);
  EXPECT_EQ(d.DoubleLineTypes[3].PrinterPitch, 233);
  EXPECT_EQ(h.Options[9], 10);
  EXPECT_EQ(h.Option11Tens, v >= 600 ? 2 : 0);
  EXPECT_EQ(h.Option11Units, 3);
  EXPECT_EQ(h.DrawingTime, v >= 223 ? 3600 : 0);
  EXPECT_EQ(h.IsoVerticalAngle, v >= 223 ? 35.25 : 0);
  EXPECT_EQ(h.LastCircleRadius, v >= 225 ? 300 : 0);
  EXPECT_EQ(h.SolidColor, v >= 230 ? 0xABCDEF : 0);
  if (v >= 420) {
    EXPECT_EQ(d.ColorsEx[256], (TEntJwwColorExNo{768, 5, "C256", 768, 258, 64}));
    EXPECT_EQ(d.ColorsEx[16].PrinterColor, 0x200010);
    EXPECT_EQ(d.LineTypesEx[32].Pattern, 0x0F0F0020);
    EXPECT_EQ(d.LineTypesEx[32].Name.text(), "T32");
    EXPECT_EQ(d.LineTypesEx[32].SegmentCount, 2);
    EXPECT_EQ(d.LineTypesEx[32].Pitches[9], 32.9);
  } else {
    EXPECT_EQ(d.ColorsEx[256], TEntJwwColorExNo{});
    EXPECT_EQ(d.LineTypesEx[32], TEntJwwLineTypeExNo{});
  }
  EXPECT_EQ(d.TextKinds[9], (TEntJwwTextKind{11, 12, 4.5, 10}));
  EXPECT_EQ(h.TextKind, 7);
  EXPECT_EQ(h.BaseShiftV[2], 0.6);
}

// The length of the stored string at `at`, both forms.
std::size_t StringBytes(const Bytes& b, std::size_t at) {
  std::size_t p = at;
  auto length = [&b, &p](bool allowMarker) -> std::size_t {
    const std::uint8_t n = b.at(p++);
    if (n != 0xFF) return n;
    const std::size_t w = b.at(p) | b.at(p + 1) << 8;
    p += 2;
    if (w == 0xFFFE && allowMarker) return SIZE_MAX;
    if (w != 0xFFFF) return w;
    const std::size_t d =
        b.at(p) | b.at(p + 1) << 8 | b.at(p + 2) << 16 | std::size_t{b.at(p + 3)} << 24;
    p += 4;
    return d;
  };
  std::size_t n = length(true);
  if (n == SIZE_MAX) n = 2 * length(false);
  return p + n - at;
}

// A header of version 420 or later cut into its items (fixed runs and
// strings) in file order, so that two headers compare item by item. Item
// numbers of the extended tables:
constexpr std::size_t kExtScreenPairs = 276;
constexpr std::size_t ColorItem(std::size_t i) {
  return 277 + 3 * i;
}  // name, printer colour, rest
constexpr std::size_t kExtPatterns = 1048;
constexpr std::size_t LineTypeItem(std::size_t i) {
  return 1049 + 3 * i;
}  // name, count, pitches

std::vector<Bytes> SplitHeader(const Bytes& b, std::size_t* end = nullptr) {
  std::vector<Bytes> items;
  std::size_t at = 0;
  auto take = [&](std::size_t n) {
    if (at + n > b.size()) throw std::out_of_range("header item past the end");
    items.emplace_back(b.begin() + at, b.begin() + at + n);
    at += n;
  };
  auto str = [&] { take(StringBytes(b, at)); };
  take(12);
  str();
  take(8 + 16 * 148 + 56 + 28 + 72);
  for (int i = 0; i < 272; ++i) str();
  take(44 + 52 + 280 + 168 + 160 + 128 + 164 + 144);
  take(257 * 8);
  for (int i = 0; i < 257; ++i) {
    str();
    take(4);
    take(12);
  }
  take(33 * 16);
  for (int i = 0; i < 33; ++i) {
    str();
    take(4);
    take(80);
  }
  take(280 + 100);
  if (end) *end = at;
  return items;
}

bool EmptyString(const Bytes& item) {
  return item == Bytes{0} || item == Bytes{0xFF, 0xFE, 0xFF, 0};
}

}  // namespace

TEST(Header, EachLayoutReadsFieldByFieldAndWritesBackItsBytes) {
  // Versions between two layouts take the lower one's.
  for (std::int32_t v : {220, 221, 223, 224, 225, 227, 230, 250, 300, 420, 600, 700}) {
    SCOPED_TRACE(v);
    const Bytes bytes = Fixture(v);
    TJwwData d;
    EXPECT_EQ(ReadHeaderFrom(bytes, d), static_cast<long long>(bytes.size()));
    ExpectFixture(d, v);
    EXPECT_EQ(WriteHeaderBytes(d, v), Fixture(v, v >= 300));
  }
}

TEST(Header, IdentifierVersionAndShortFiles) {
  Bytes bytes = Fixture(700);
  for (const char* id : {"JWWDATA.", "\0\0\0\0\0\0\0\0"}) {
    std::copy(id, id + 8, bytes.begin());
    TJwwData d;
    EXPECT_EQ(ReadHeaderFrom(bytes, d), static_cast<long long>(bytes.size()));
    EXPECT_EQ(d.Header.Version, 700);
    EXPECT_TRUE(std::equal(id, id + 8, d.Header.Identifier.begin()));
  }

  // Below 2.20 nothing past the version is read, and the tables are sized.
  Bytes old = Fixture(219);
  TJwwData d;
  EXPECT_EQ(ReadHeaderFrom(old, d), 12);
  EXPECT_EQ(d.Header.Version, 219);
  EXPECT_EQ(d.Layers.size(), 256u);
  EXPECT_EQ(d.ColorsEx.size(), 257u);
  EXPECT_EQ(d.LineTypesEx.size(), 33u);

  // Cut inside the version, the memo, the names, the extended tables and
  // the last section.
  const Bytes full = Fixture(700);
  for (std::size_t cut :
       {std::size_t{10}, std::size_t{15}, std::size_t{2600}, full.size() - 1000, full.size() - 1}) {
    TJwwData cutDrawing;
    try {
      ReadHeaderFrom(Bytes(full.begin(), full.begin() + cut), cutDrawing);
      ADD_FAILURE() << "no failure for a header cut at " << cut;
    } catch (const JwwIoError& e) {
      EXPECT_EQ(e.code(), 100) << cut;
    }
  }
}

TEST(Header, WritingCorrectsOutOfRangeValues) {
  TJwwData d;
  ReadHeaderFrom(Fixture(700), d);
  d.Pens[1].ScreenColor = -5;
  d.Pens[2].ScreenColor = 0x1000000;
  d.Pens[3].ScreenWidth = 0;
  d.Pens[4].ScreenWidth = 17;
  d.Pens[0].PrinterColor = 0x123456;
  d.Pens[5].PrinterColor = -1;
  d.Pens[6].PrinterWidth = 0;
  d.Pens[7].PrinterWidth = 501;
  d.Pens[8].PointRadius = 0.01;
  d.Pens[9].PointRadius = 11;
  d.ColorsEx[3].Name = " \t";
  d.ColorsEx[20].Name = "\x81\x40";  // a full-width space
  d.ColorsEx[30].PrinterColor = 5;
  d.LineTypesEx[5].Pattern = 0;
  d.LineTypesEx[5].Name = "";
  d.LineTypesEx[10].SegmentCount = 3;  // up to 16 any count stays
  d.LineTypesEx[20].SegmentCount = 3;
  d.Layers[0].Name = "^m";
  d.Layers[1].Name = "";
  d.Header.JumpLayerGroup[1] = -1;
  d.Header.Option11Tens = 0;
  d.Header.Option11Units = 1;
  d.Header.MaxLineDrawWidth = -150;

  const Bytes out = WriteHeaderBytes(d, 700);
  const auto items = SplitHeader(out);
  EXPECT_EQ(items[3], ByteString(" "));
  EXPECT_EQ(items[4], Bytes{0});
  const Bytes& shadowToOptions = items[275];
  EXPECT_EQ(Bytes(shadowToOptions.begin() + 44 + 52 + 24, shadowToOptions.begin() + 44 + 52 + 28),
            (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(items[ColorItem(3)], ByteString("Color_3"));
  EXPECT_EQ(items[ColorItem(20)], ByteString("Color_20"));
  EXPECT_EQ(items[LineTypeItem(5)], ByteString("LType_5"));
  EXPECT_EQ(items[LineTypeItem(20)], ByteString("LType_20"));

  TJwwData e;
  ReadHeaderFrom(out, e);
  EXPECT_EQ(e.Pens[1].ScreenColor, 0);
  EXPECT_EQ(e.Pens[2].ScreenColor, 0);
  EXPECT_EQ(e.Pens[3].ScreenWidth, 1);
  EXPECT_EQ(e.Pens[4].ScreenWidth, 16);
  EXPECT_EQ(e.Pens[0].PrinterColor, 0xFFFFFF);
  EXPECT_EQ(e.Pens[5].PrinterColor, 0);
  EXPECT_EQ(e.Pens[6].PrinterWidth, 1);
  EXPECT_EQ(e.Pens[7].PrinterWidth, 500);
  EXPECT_EQ(e.Pens[8].PointRadius, 0.1);
  EXPECT_EQ(e.Pens[9].PointRadius, 10.0);
  EXPECT_EQ(e.ColorsEx[30].PrinterColor, 90);  // its screen colour
  EXPECT_EQ(e.LineTypesEx[5].Pattern, -1);
  EXPECT_EQ(e.LineTypesEx[10], d.LineTypesEx[10]);
  EXPECT_EQ(e.LineTypesEx[20],
            (TEntJwwLineTypeExNo{
                static_cast<std::int32_t>(0xC3C3C3C3), 8, 1, 8, "LType_20", 2, {1.0, 1.0}}));
  EXPECT_EQ(e.Header.Option11Tens, 1);
  EXPECT_EQ(e.Header.Option11Units, 1);
  EXPECT_EQ(e.Header.MaxLineDrawWidth, -150);  // the -101 floor is for old releases only

  // The eleventh option word: 21 stays 21; below 6.00 the tens are dropped.
  // Up to 4.20 the line draw width has a floor of -101.
  d.Header.Option11Tens = 2;
  ReadHeaderFrom(WriteHeaderBytes(d, 700), e);
  EXPECT_EQ(e.Header.Option11Tens * 10 + e.Header.Option11Units, 21);
  ReadHeaderFrom(WriteHeaderBytes(d, 500), e);
  EXPECT_EQ(e.Header.Option11Tens * 10 + e.Header.Option11Units, 1);
  ReadHeaderFrom(WriteHeaderBytes(d, 420), e);
  EXPECT_EQ(e.Header.MaxLineDrawWidth, -101);
}

TEST(Header, EleventhOptionWordSettlesAfterOneSave) {
  // Words with the top bit set used to split into negative digits, so each
  // save changed them again (0xF0000000 gave 4, then 14).
  TJwwData d;
  ReadHeaderFrom(Fixture(700), d);
  d.Header.Option11Tens = 123456;
  d.Header.Option11Units = 7;
  Bytes marked = WriteHeaderBytes(d, 700);
  const Bytes mark = Dwords({1234567});
  const auto at = std::search(marked.begin(), marked.end(), mark.begin(), mark.end());
  ASSERT_NE(at, marked.end());
  const auto offset = at - marked.begin();
  for (std::uint32_t word : {0xF0000000u, 0xFFFFFFFAu, 0x80000000u, 5u, 21u}) {
    SCOPED_TRACE(word);
    Bytes source = marked;
    const Bytes w = Dwords({word});
    std::copy(w.begin(), w.end(), source.begin() + offset);
    TJwwData first, second;
    ReadHeaderFrom(source, first);
    const Bytes once = WriteHeaderBytes(first, 700);
    ReadHeaderFrom(once, second);
    EXPECT_EQ(WriteHeaderBytes(second, 700), once);
    const Bytes expected = Dwords({word < 10 ? word + 10 : word});
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), once.begin() + offset));
  }
}

TEST(Header, OldDrawingWrittenAs700CarriesClearedValues) {
  TJwwData d;
  ReadHeaderFrom(Fixture(220), d);
  const Bytes out = WriteHeaderBytes(d, 700);
  TJwwData e;
  EXPECT_EQ(ReadHeaderFrom(out, e), static_cast<long long>(out.size()));
  const TEntJwwHeader& h = e.Header;
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(h.JumpLayerGroup[n], -1) << n;
  for (int n = 5; n <= 8; ++n) {
    EXPECT_EQ(h.JumpScale[n], 1.0) << n;
    EXPECT_EQ(h.JumpX[n], 0.0) << n;
  }
  EXPECT_EQ(h.JumpScale[4], 40);  // what 2.20 has is kept
  EXPECT_EQ(h.Memo.text(), kMemo);
  EXPECT_EQ(e.Layers, d.Layers);
  EXPECT_EQ(e.Pens, d.Pens);
  EXPECT_EQ(h.DrawingTime, 0);
  EXPECT_EQ(h.SkyMapRadius, 0);
  EXPECT_EQ(h.TextDisp4, 0);
  EXPECT_EQ(h.LastLineLength, 0);
  EXPECT_EQ(h.SolidColorFlag, 0);
  EXPECT_EQ(h.Option11Tens, 1);
  EXPECT_EQ(h.Option11Units, 3);
  for (std::size_t i = 0; i < 257; ++i)
    EXPECT_EQ(e.ColorsEx[i], (TEntJwwColorExNo{0, 0, "Color_" + std::to_string(i), 0, 0, 0}));
  for (std::size_t i = 0; i <= 16; ++i)
    EXPECT_EQ(e.LineTypesEx[i], (TEntJwwLineTypeExNo{-1, 0, 0, 0, "LType_" + std::to_string(i)}));
  for (std::size_t i = 17; i <= 32; ++i)
    EXPECT_EQ(e.LineTypesEx[i], (TEntJwwLineTypeExNo{static_cast<std::int32_t>(0xC3C3C3C3),
                                                     8,
                                                     1,
                                                     8,
                                                     "LType_" + std::to_string(i),
                                                     2,
                                                     {1.0, 1.0}}));
}

TEST(Header, EveryCorpusHeaderReads) {
  const auto drawings = testutil::CorpusDrawings();
  if (drawings.empty()) GTEST_SKIP() << "no corpus";
  for (const auto& p : drawings) {
    SCOPED_TRACE(p.filename().string());
    TJwwData d;
    EXPECT_NO_THROW(ReadHeaderFrom(testutil::ReadBytes(p), d));
    EXPECT_TRUE(d.Header.Version == 600 || d.Header.Version == 700);
    EXPECT_EQ(std::string(d.Header.Identifier.begin(), d.Header.Identifier.end()), "JwwData.");
    // Written as 7.00 and read again, the header record comes back whole.
    TJwwData e;
    ReadHeaderFrom(WriteHeaderBytes(d, 700), e);
    d.Header.Version = 700;
    EXPECT_EQ(e.Header, d.Header);
    EXPECT_EQ(e.Layers, d.Layers);
    EXPECT_EQ(e.LayerGroups, d.LayerGroups);
  }
}

// Jw_cad 7.00 drawings re-written at 700 keep their header bytes but for the
// corrections that really hit them: blank extended colour names (colour 0
// and 17-256) are named, line type 0's empty pattern and name are set, and
// line types 17-32, stored with no segments, get the replacement entry.
// Everything else, the reserved bytes included, stays as it was.
TEST(Header, Corpus700RewriteKeepsItsBytes) {
  std::size_t checked = 0;
  for (const auto& p : testutil::CorpusDrawings()) {
    const std::string name = p.filename().string();
    if (name != "user_arcs1.jww" && name != "user_blocks.jww" && name.rfind("u16_", 0) != 0)
      continue;
    SCOPED_TRACE(name);
    ++checked;
    const Bytes original = testutil::ReadBytes(p);
    TJwwData d;
    const long long end = ReadHeaderFrom(original, d);
    ASSERT_EQ(d.Header.Version, 700);
    const Bytes out = WriteHeaderBytes(d, 700);

    std::size_t originalEnd = 0, outEnd = 0;
    const auto o = SplitHeader(original, &originalEnd);
    const auto w = SplitHeader(out, &outEnd);
    EXPECT_EQ(static_cast<long long>(originalEnd), end);
    EXPECT_EQ(outEnd, out.size());
    ASSERT_EQ(o.size(), w.size());

    std::vector<std::size_t> namedColors, namedTypes, replacedTypes, fixedPatterns;
    for (std::size_t i = 0; i < 257; ++i) {
      const std::size_t k = ColorItem(i);
      if (o[k] != w[k]) {
        EXPECT_TRUE(EmptyString(o[k])) << i;
        EXPECT_EQ(w[k], ByteString("Color_" + std::to_string(i)));
        namedColors.push_back(i);
      }
      const auto& pairs = o[kExtScreenPairs];
      EXPECT_EQ(w[k + 1],
                i > 16 ? Bytes(pairs.begin() + 8 * i, pairs.begin() + 8 * i + 4) : o[k + 1]);
      EXPECT_EQ(w[k + 2], o[k + 2]);
    }
    for (std::size_t i = 0; i < 33; ++i) {
      const Bytes before(o[kExtPatterns].begin() + 16 * i, o[kExtPatterns].begin() + 16 * i + 16);
      const Bytes after(w[kExtPatterns].begin() + 16 * i, w[kExtPatterns].begin() + 16 * i + 16);
      const std::size_t k = LineTypeItem(i);
      if (w[k + 1] != o[k + 1]) {
        replacedTypes.push_back(i);
        EXPECT_EQ(after, Dwords({0xC3C3C3C3, 8, 1, 8}));
        EXPECT_EQ(w[k], ByteString("LType_" + std::to_string(i)));
        EXPECT_EQ(w[k + 1], Dwords({2}));
        ByteSink pitches;
        for (double x : {1.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}) pitches.Double(x);
        EXPECT_EQ(w[k + 2], pitches.bytes);
        continue;
      }
      if (after != before) {
        fixedPatterns.push_back(i);
        EXPECT_EQ(Bytes(before.begin(), before.begin() + 4), Dwords({0}));
        Bytes expected = Dwords({0xFFFFFFFF});
        expected.insert(expected.end(), before.begin() + 4, before.end());
        EXPECT_EQ(after, expected);
      }
      if (w[k] != o[k]) {
        EXPECT_TRUE(EmptyString(o[k]));
        EXPECT_EQ(w[k], ByteString("LType_" + std::to_string(i)));
        namedTypes.push_back(i);
      }
      EXPECT_EQ(w[k + 2], o[k + 2]);
    }
    std::vector<std::size_t> colors{0}, upper;
    for (std::size_t i = 17; i <= 256; ++i) colors.push_back(i);
    for (std::size_t i = 17; i <= 32; ++i) upper.push_back(i);
    EXPECT_EQ(namedColors, colors);
    EXPECT_EQ(replacedTypes, upper);
    EXPECT_EQ(fixedPatterns, std::vector<std::size_t>{0});
    EXPECT_EQ(namedTypes, std::vector<std::size_t>{0});

    // Every item outside the extended names, colours and line types.
    for (std::size_t k = 0; k < o.size(); ++k) {
      if (k > kExtScreenPairs && k < LineTypeItem(33)) continue;
      EXPECT_EQ(w[k], o[k]) << "item " << k;
    }
  }
  if (checked == 0) GTEST_SKIP() << "no corpus";
}
