// The entity stream: counts, class tags and the object index, every body in
// both layouts, the attribute cleaning, damaged and truncated lists, and
// whole drawings of every version read from fixtures spelled out from the
// format's tables (not from our writer), saved as 7.00 and read again.

#include <gtest/gtest.h>

#include <functional>

#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using jwwfixture::Add;
using jwwfixture::JwwBuilder;

Bytes Written(const std::function<void(JwwWriter&)>& write) {
  testutil::MemoryFile f;
  JwwWriter w(f);
  write(w);
  w.Flush();
  return f.bytes;
}

Bytes Hex(std::initializer_list<int> b) {
  return Bytes(b.begin(), b.end());
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

Bytes Cat(Bytes a, const std::string& s) {
  a.insert(a.end(), s.begin(), s.end());
  return a;
}

// Reads one entity list at version v; `end` is where reading stopped.
TEntityLists ReadList(const Bytes& b, std::int32_t v, long long* end = nullptr) {
  testutil::MemoryFile f(b);
  JwwReader r(f);
  TTagState tags;
  TEntityLists l;
  ReadEntityList(r, v, tags, l);
  if (end) *end = r.Position();
  return l;
}

Bytes WriteList(const TEntityLists& l) {
  TJwwData none;
  return Written([&](JwwWriter& w) {
    TTagState t;
    WriteEntityList(w, t, l, none);
  });
}

// The bytes of a drawing after its header.
Bytes Stream(const std::filesystem::path& native, const platform::Path& internal) {
  auto file = platform::Current().OpenRead(internal);
  JwwReader r(*file);
  TJwwData d;
  d.ReadHeader(r);
  const Bytes all = testutil::ReadBytes(native);
  return Bytes(all.begin() + r.Position(), all.end());
}

}  // namespace

TEST(EntityCounts, EncodingAtTheWordLimit) {
  EXPECT_EQ(Written([](JwwWriter& w) { WriteCount(w, 0); }), Hex({0, 0}));
  EXPECT_EQ(Written([](JwwWriter& w) { WriteCount(w, 65534); }), Hex({0xFE, 0xFF}));
  EXPECT_EQ(Written([](JwwWriter& w) { WriteCount(w, 65535); }),
            Hex({0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
  for (std::int32_t n : {0, 1, 65534, 65535, 65536, 2000000}) {
    testutil::MemoryFile f(Written([n](JwwWriter& w) { WriteCount(w, n); }));
    JwwReader r(f);
    EXPECT_EQ(ReadCount(r), n);
  }
  // An empty drawing's entity list is its count alone.
  EXPECT_EQ(WriteList(TEntityLists{}), Hex({0, 0}));
}

TEST(EntityTags, ClassesAndObjectsShareOneIndex) {
  TEntityLists l;
  TEntJwwLine line;
  line.Attr = jwwfixture::SampleAttr(1);
  Add(l, line);
  Add(l, line);
  Add(l, TEntJwwArc{});
  TJwwData none;
  TTagState t;
  Bytes b = Written([&](JwwWriter& w) { WriteEntityList(w, t, l, none); });
  EXPECT_EQ(Slice(b, 2, 14), Cat(Hex({0xFF, 0xFF, 0xBC, 0x02, 0x08, 0x00}), "CDataSen"));
  EXPECT_EQ(Slice(b, 16 + 47, 2), Hex({0x01, 0x80}));
  EXPECT_EQ(Slice(b, 16 + 47 + 2 + 47, 15),
            Cat(Hex({0xFF, 0xFF, 0xBC, 0x02, 0x09, 0x00}), "CDataEnko"));
  EXPECT_EQ(t.ClassIndex[kLine], 1);
  EXPECT_EQ(t.ClassIndex[kArc], 4);  // its object is 5
  EXPECT_EQ(t.NextIndex, 6);
  EXPECT_EQ(b.size(), 2u + 14 + 47 + 2 + 47 + 15 + 75);

  // Past 32,766 a class index takes 7F FF and the index with its top bit.
  TTagState far;
  far.ClassIndex[kLine] = 32767;
  far.ClassIndex[kText] = 32766;
  EXPECT_EQ(Written([&](JwwWriter& w) { WriteObjectTag(w, kLine, far); }),
            Hex({0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}));
  EXPECT_EQ(Written([&](JwwWriter& w) { WriteObjectTag(w, kText, far); }), Hex({0xFE, 0xFF}));
  TTagState read;
  read.ClassIndex[kArc] = 4;
  testutil::MemoryFile f(Hex({0xFF, 0x7F, 0x04, 0x00, 0x00, 0x80, 0x04, 0x80, 0x05, 0x80}));
  JwwReader r(f);
  EXPECT_EQ(ReadObjectTag(r, read), kArc);
  EXPECT_EQ(ReadObjectTag(r, read), kArc);
  EXPECT_EQ(ReadObjectTag(r, read), kNone);
}

TEST(EntityBodies, LayoutsBeforeAndAfter351) {
  // A version 3.00 line spelled out: 13-byte attributes, four doubles.
  Bytes v300 = Cat(Hex({1, 0, 0xFF, 0xFF, 0x2C, 0x01, 0x08, 0x00}), "CDataSen");
  Bytes body = Hex({0x34, 0x12, 0, 0, 5, 3, 0, 2, 0, 4, 0, 0x40, 0});
  ByteSink coords;
  for (double d : {1.5, -2.0, 3.25, 4.0}) coords.Double(d);
  body.insert(body.end(), coords.bytes.begin(), coords.bytes.end());
  ASSERT_EQ(body.size(), 45u);
  v300.insert(v300.end(), body.begin(), body.end());
  long long end = 0;
  TEntityLists l = ReadList(v300, 300, &end);
  EXPECT_EQ(end, static_cast<long long>(v300.size()));
  ASSERT_EQ(l.Lines.size(), 1u);
  const TEntJwwLine& line = l.Lines[0];
  EXPECT_EQ(line.Attr, (TEntJwwAttr{0x1234, 5, 3, 0, 2, 4, 0x40}));
  EXPECT_EQ(line.StartX, 1.5);
  EXPECT_EQ(line.EndY, 4.0);
  // Written with the pen width after the colour: 47 bytes.
  Bytes out = WriteList(l);
  EXPECT_EQ(Slice(out, 16, 15), Hex({0x34, 0x12, 0, 0, 5, 3, 0, 0, 0, 2, 0, 4, 0, 0x40, 0}));
  EXPECT_EQ(Slice(out, 31, 32), coords.bytes);
}

TEST(EntityBodies, OptionalTailsOfPointsAndSolids) {
  TEntityLists l;
  TEntJwwPoint marked;
  marked.Attr = jwwfixture::SampleAttr(2, 100);
  marked.Code = 9;
  marked.Angle = 1.5;
  marked.Scale = 2;
  TEntJwwPoint style5 = marked;
  style5.Attr.PenStyle = 5;
  TEntJwwSolid own;
  own.Attr.PenColor = 10;
  own.Rgb = 0x123456;
  TEntJwwSolid nine = own;
  nine.Attr.PenColor = 9;
  Add(l, marked);
  Add(l, style5);
  Add(l, own);
  Add(l, nine);
  Bytes b = WriteList(l);
  // count, tag + 55, tag + 35 (style 1, no code/angle/scale), tag + 83, tag + 79
  ASSERT_EQ(b.size(), 2u + (14 + 55) + (2 + 35) + (16 + 83) + (2 + 79));
  EXPECT_EQ(b[2 + 14 + 55 + 2 + 4], 1);  // pen style 5 is written as 1
  EXPECT_EQ(Slice(b, 2 + 14 + 55 + 2 + 35 + 16 + 79, 4), Hex({0x56, 0x34, 0x12, 0}));
  TEntityLists back = ReadList(b, 700);
  EXPECT_EQ(back.Points[0], marked);
  EXPECT_EQ(back.Points[1].Attr.PenStyle, 1);
  EXPECT_EQ(back.Points[1].Code, 0);
  EXPECT_EQ(back.Solids[0], own);
  EXPECT_EQ(back.Solids[1].Rgb, 0);
}

TEST(EntityAttr, CleanedPerKindOnWriting) {
  auto written = [](TEntJwwAttr a, std::int32_t type) {
    Bytes b = Written([&](JwwWriter& w) { WriteEntityAttr(w, a, type); });
    EXPECT_EQ(b.size(), 15u);
    ByteCursor c(b);
    return ParseEntityAttr(c, 700);
  };
  const TEntJwwAttr base{77, 1, 1, 5, 1, 1, 0xBEEF};
  auto with = [&](auto change) {
    TEntJwwAttr a = base;
    change(a);
    return a;
  };
  EXPECT_EQ(written(base, kLine), base);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 70; }), kLine).PenStyle, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 35; }), kArc).PenStyle, 35);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 10; }), kArc).PenStyle, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 400; }), kArc).PenColor, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 356; }), kArc).PenColor, 356);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 12; }), kText).PenStyle, 1);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 100; }), kPoint).PenStyle, 100);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 0; }), kPoint).PenStyle, 1);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 10; }), kLine).PenColor, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 10; }), kSolid).PenColor, 10);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 11; }), kSolid).PenColor, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenStyle = 99; }), kDimension).PenStyle, 99);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 400; }), kBlockRef).PenColor, 400);
  EXPECT_EQ(written(with([](auto& a) { a.PenColor = 400; }), kBlockDef).PenColor, 400);
  const TEntJwwAttr limits = written(with([](auto& a) {
                                       a.Layer = 20;
                                       a.LayerGroup = 16;
                                       a.PenWidth = 40000;
                                     }),
                                     kBlockDef);
  EXPECT_EQ(limits.Layer, 0);
  EXPECT_EQ(limits.LayerGroup, 0);
  EXPECT_EQ(limits.PenWidth, 0);
  EXPECT_EQ(written(with([](auto& a) { a.PenWidth = 30000; }), kLine).PenWidth, 30000);
}

TEST(EntityBodies, DimensionExtensionMadeUpBefore420) {
  for (std::int32_t v : {419, 420}) {
    TEntityLists sample = jwwfixture::SampleEntities(v, 4, {});
    TEntityLists dims;
    Add(dims, sample.Dimensions[0]);
    JwwBuilder b(v);
    b.EntityList(dims);
    EXPECT_EQ(b.size(), 2u + 6 + 11 + 145 + 1 + 13 + 1 + 5 + (v >= 420 ? 96 + 3 * 35 + 55 : 0));
    const TEntJwwDimension got = ReadList(b.bytes(), v).Dimensions.at(0);
    EXPECT_EQ(got, sample.Dimensions[0]) << v;
    if (v == 419) {
      // Written with flag 0, the dimension's attributes, points of style 1.
      const TEntJwwDimension again = ReadList(WriteList(dims), 700).Dimensions.at(0);
      EXPECT_EQ(again.ExtFlag, 0);
      EXPECT_EQ(again.ExtLine1, (TEntJwwLine{got.Attr}));
      EXPECT_EQ(again.ExtLine2, (TEntJwwLine{got.Attr}));
      TEntJwwPoint plain;
      plain.Attr = got.Attr;
      plain.Attr.PenStyle = 1;
      for (const TEntJwwPoint& p : again.ExtPoints) EXPECT_EQ(p, plain);
    }
  }
}

TEST(EntityBodies, TextsAndNamesAreKeptWhole) {
  TEntityLists l;
  TEntJwwText t;
  t.Attr.PenStyle = 1;
  t.FontName = std::string(260, 'f');
  t.Text = "^@BM" + std::string(296, 'p');
  Add(l, t);
  TEntJwwDimension d;
  d.Text.Attr.PenStyle = 1;
  d.Text.Text = std::string(300, '9');
  Add(l, d);
  JwwBuilder b(600);
  b.EntityList(l);
  TEntityLists back = ReadList(b.bytes(), 600);
  EXPECT_EQ(back.Texts.at(0).Text.text().size(), 300u);
  EXPECT_EQ(back.Texts.at(0).FontName.text().size(), 260u);
  EXPECT_EQ(back.Dimensions.at(0).Text.Text.text(), std::string(300, '9'));
  EXPECT_EQ(ReadList(WriteList(back), 700).Texts.at(0), t);
}

TEST(EntityLists, ObjectsThatAreNoEntitiesFailTheLoad) {
  auto failure = [](const Bytes& b) {
    try {
      ReadList(b, 700);
    } catch (const JwwIoError& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  JwwBuilder unknown(700);
  unknown.Count(2);
  unknown.Entity(TEntJwwLine{});
  unknown.NewClass("CDataXyz");
  unknown.Body(TEntJwwLine{});
  std::string what = failure(unknown.bytes());
  EXPECT_NE(what.find("byte 63"), std::string::npos) << what;
  EXPECT_NE(what.find("CDataXyz"), std::string::npos) << what;

  JwwBuilder index(700);
  index.Count(2);
  index.Entity(TEntJwwLine{});
  index.ClassRef(2);  // the line object's index, not a class
  what = failure(index.bytes());
  EXPECT_NE(what.find("byte 63"), std::string::npos) << what;
  EXPECT_NE(what.find("class index 2"), std::string::npos) << what;

  JwwBuilder list(700);
  list.Count(1);
  list.NewClass("CDataList");
  EXPECT_NE(failure(list.bytes()).find("CDataList"), std::string::npos);
}

TEST(EntityLists, TruncatedBodiesAndDamagedCounts) {
  TEntityLists l = jwwfixture::SampleEntities(700, 1, {3});
  JwwBuilder b(700);
  b.EntityList(l);
  const Bytes whole = b.bytes();

  // Cut inside the last body: that entity is dropped, its pair stays (0, 0),
  // and nothing of it remains in its array.
  TEntityLists cut = ReadList(Bytes(whole.begin(), whole.end() - 10), 700);
  ASSERT_EQ(cut.EntityTable.size(), l.EntityTable.size());
  EXPECT_EQ(cut.EntityTable.back(), TEntityRef{});
  EXPECT_TRUE(cut.BlockRefs.empty());
  EXPECT_EQ(cut.Texts, l.Texts);

  // Cut inside an earlier body: the next tag cannot be read and the list
  // fails, keeping what it read.
  JwwBuilder two(700);
  two.Count(3);
  two.Entity(l.Lines[0]);
  two.Entity(l.Arcs[0]);
  Bytes partial(two.bytes().begin(), two.bytes().end() - 20);
  testutil::MemoryFile f(partial);
  JwwReader r(f);
  TTagState t;
  TEntityLists kept;
  EXPECT_THROW(ReadEntityList(r, 700, t, kept), JwwIoError);
  EXPECT_EQ(kept.Lines, RecordArray<TEntJwwLine>{l.Lines[0]});
  EXPECT_EQ(kept.EntityTable, (TEntityTable{{kLine, 0}, {kNone, 0}}));
  EXPECT_TRUE(kept.Arcs.empty());

  // A count of two billion ends where the data does, without reserving.
  JwwBuilder huge(700);
  huge.Count(2000000000u);
  huge.Entity(l.Lines[0]);
  testutil::MemoryFile hf(huge.bytes());
  JwwReader hr(hf);
  TTagState ht;
  TEntityLists few;
  EXPECT_THROW(ReadEntityList(hr, 700, ht, few), JwwIoError);
  EXPECT_EQ(few.Lines.size(), 1u);
  EXPECT_LT(few.EntityTable.capacity(), 100u);
  EXPECT_LT(few.Lines.capacity(), 100u);
}

// Every version the reader accepts: every kind, nested definitions, a whole
// file from the builder, saved as 7.00 and loaded again.
TEST(EntityFiles, EveryVersionSurvivesASaveAs700) {
  testutil::TempDir dir;
  for (std::int32_t v : {220, 230, 300, 350, 351, 420, 600, 700}) {
    SCOPED_TRACE(v);
    const TEntityLists top = jwwfixture::SampleEntities(v, 10, {1, 0});
    const std::vector<TEntJwwBlockDef> defs = {
        jwwfixture::SampleBlockDef(v, 0, "leaf", jwwfixture::SampleEntities(v, 30, {})),
        jwwfixture::SampleBlockDef(v, 1, "outer", jwwfixture::SampleEntities(v, 60, {0}))};
    JwwBuilder b(v);
    b.Drawing(top, defs);
    testutil::WriteBytes(dir.Native("in.jww"), b.bytes());

    TJwwData first;
    ASSERT_TRUE(first.LoadFromFile(dir.Path("in.jww"), &StagedImageFiles())) << first.LastError;
    EXPECT_EQ(first.Header.Version, v);
    EXPECT_EQ(static_cast<const TEntityLists&>(first), top);
    ASSERT_EQ(first.BlockDefs.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(first.BlockDefs[i].Entities, defs[i].Entities);
      EXPECT_EQ(first.BlockDefs[i].Attr, defs[i].Attr);
      EXPECT_EQ(first.BlockDefs[i].Name, defs[i].Name);
      EXPECT_EQ(first.BlockDefs[i].Stamp, defs[i].Stamp);
      EXPECT_TRUE(first.BlockDefs[i].Used);
    }

    ASSERT_TRUE(first.SaveToFile(dir.Path("one.jww"), 700, &StagedImageFiles())) << first.LastError;
    TJwwData second;
    ASSERT_TRUE(second.LoadFromFile(dir.Path("one.jww"), &StagedImageFiles())) << second.LastError;
    // The made-up extension points of old dimensions come back with the
    // point style the writer gives them.
    auto expected = [v](TEntityLists l) {
      if (v < 420)
        for (TEntJwwDimension& d : l.Dimensions)
          for (TEntJwwPoint& p : d.ExtPoints) p.Attr.PenStyle = 1;
      return l;
    };
    EXPECT_EQ(static_cast<const TEntityLists&>(second), expected(top));
    ASSERT_EQ(second.BlockDefs.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(second.BlockDefs[i].Entities, expected(defs[i].Entities));
      EXPECT_EQ(second.BlockDefs[i].Number, defs[i].Number);
      EXPECT_EQ(second.BlockDefs[i].FlagWord, defs[i].FlagWord);
    }
    ASSERT_TRUE(second.SaveToFile(dir.Path("two.jww"), 700, &StagedImageFiles()));
    EXPECT_EQ(testutil::ReadBytes(dir.Native("two.jww")),
              testutil::ReadBytes(dir.Native("one.jww")));
    // Our writer and the builder agree on every byte of a 7.00 stream.
    if (v == 700) {
      JwwBuilder header(700);
      header.Header();
      EXPECT_EQ(Stream(dir.Native("one.jww"), dir.Path("one.jww")),
                Bytes(b.bytes().begin() + static_cast<long>(header.size()), b.bytes().end()));
    }
  }
}

TEST(EntityFiles, ATruncatedFileKeepsWhatWasRead) {
  testutil::TempDir dir;
  const TEntityLists top = jwwfixture::SampleEntities(700, 5, {});
  JwwBuilder b(700);
  b.Drawing(top, {});
  const Bytes whole = b.bytes();
  // Cut inside the second of the two 300-byte-plus texts at the end.
  testutil::WriteBytes(dir.Native("cut.jww"), Bytes(whole.begin(), whole.end() - 200));
  TJwwData d;
  EXPECT_FALSE(d.LoadFromFile(dir.Path("cut.jww"), &StagedImageFiles()));
  EXPECT_NE(d.LastError.find("byte"), std::string::npos) << d.LastError;
  EXPECT_EQ(d.Header.Version, 700);
  EXPECT_EQ(d.EntityTable.size(), top.EntityTable.size());
  EXPECT_EQ(d.EntityTable.back(), TEntityRef{});
  EXPECT_EQ(d.Lines, top.Lines);
  EXPECT_EQ(d.Solids, top.Solids);
  EXPECT_EQ(d.Texts.size(), top.Texts.size() - 1);
}

namespace {

// A loaded list as a save is to keep it: insertions renumbered.
TEntityLists Renumbered(TEntityLists l, const TJwwData& d) {
  for (TEntJwwBlockRef& b : l.BlockRefs) b.BlockNumber = d.MapBlockNumber(b.BlockNumber);
  return l;
}

bool NoneDropped(const TEntityLists& l) {
  for (const TEntityRef& r : l.EntityTable)
    if (r.Kind == kNone) return false;
  return true;
}

}  // namespace

// Drawings Jw_cad wrote: read whole, saved as 7.00, read again alike, and a
// second save gives the same bytes.
TEST(EntityFiles, CorpusDrawingsSurviveASave) {
  const auto drawings = testutil::CorpusDrawings();
  if (drawings.empty()) GTEST_SKIP() << "no corpus";
  testutil::TempDir dir;
  for (const auto& path : drawings) {
    SCOPED_TRACE(path.filename().string());
    TJwwData first;
    ASSERT_TRUE(first.LoadFromFile(testutil::InternalPath(path), &StagedImageFiles()))
        << first.LastError;
    EXPECT_TRUE(NoneDropped(first));
    EXPECT_FALSE(first.EntityTable.empty());
    for (const TEntJwwBlockDef& def : first.BlockDefs) EXPECT_TRUE(NoneDropped(def.Entities));

    ASSERT_TRUE(first.SaveToFile(dir.Path("one.jww"), 700, &StagedImageFiles())) << first.LastError;
    TJwwData second;
    ASSERT_TRUE(second.LoadFromFile(dir.Path("one.jww"), &StagedImageFiles())) << second.LastError;
    EXPECT_EQ(static_cast<const TEntityLists&>(second), Renumbered(first, first));
    std::vector<const TEntJwwBlockDef*> used;
    for (const TEntJwwBlockDef& def : first.BlockDefs)
      if (def.Used) used.push_back(&def);
    ASSERT_EQ(second.BlockDefs.size(), used.size());
    for (std::size_t i = 0; i < used.size(); ++i) {
      const TEntJwwBlockDef& a = *used[i];
      const TEntJwwBlockDef& b = second.BlockDefs[i];
      EXPECT_EQ(b.Attr, a.Attr);
      EXPECT_EQ(b.Number, a.NewNumber);
      EXPECT_EQ(b.FlagWord, a.FlagWord);
      EXPECT_EQ(b.Stamp, a.Stamp);
      EXPECT_EQ(b.Name, a.Name);
      EXPECT_EQ(b.Entities, Renumbered(a.Entities, first));
    }
    ASSERT_TRUE(second.SaveToFile(dir.Path("two.jww"), 700, &StagedImageFiles()));
    EXPECT_EQ(testutil::ReadBytes(dir.Native("two.jww")),
              testutil::ReadBytes(dir.Native("one.jww")));
    // Jw_cad's own 7.00 stream, all of whose definitions are in use, comes
    // out byte for byte as it went in.
    if (first.Header.Version == 700 && first.UsedBlockDefCount == std::ssize(first.BlockDefs)) {
      EXPECT_EQ(Stream(dir.Native("one.jww"), dir.Path("one.jww")),
                Stream(path, testutil::InternalPath(path)));
    }
  }
}

// A record read stays where it was put while its array grows, so nothing is
// ever copied twice; and every record made is unmade exactly once.
namespace {
struct Counted {
  static inline int alive = 0;
  std::string text;  // a heap string, so a record moved by bytes would be noticed
  explicit Counted(int i) : text(std::string(40, 'a') + std::to_string(i)) { ++alive; }
  Counted(const Counted& o) : text(o.text) { ++alive; }
  ~Counted() { --alive; }
  bool operator==(const Counted& o) const { return text == o.text; }
};
}  // namespace

TEST(RecordArrays, RecordsStayPutAndAreUnmadeOnce) {
  {
    RecordArray<Counted> a;
    std::vector<const Counted*> where;
    for (int i = 0; i < 5000; ++i) where.push_back(&a.emplace_back(i));
    ASSERT_EQ(a.size(), 5000u);
    EXPECT_EQ(Counted::alive, 5000);
    for (int i : {0, 1, 2, 3, 6, 7, 8, 1023, 1024, 4094, 4095, 4999}) {
      EXPECT_EQ(&a[static_cast<std::size_t>(i)], where[static_cast<std::size_t>(i)]) << i;
      EXPECT_EQ(a[static_cast<std::size_t>(i)].text, Counted(i).text) << i;
    }
    EXPECT_EQ(std::distance(a.begin(), a.end()), 5000);
    EXPECT_EQ(std::find(a.begin(), a.end(), Counted(4095)) - a.begin(), 4095);
    EXPECT_THROW(a.at(5000), std::out_of_range);

    RecordArray<Counted> copy = a;
    EXPECT_EQ(copy, a);
    copy.pop_back();
    EXPECT_FALSE(copy == a);
    EXPECT_EQ(Counted::alive, 9999);
    RecordArray<Counted> moved = std::move(copy);
    EXPECT_TRUE(copy.empty());  // NOLINT: a moved-from array is empty
    EXPECT_EQ(moved.size(), 4999u);
    EXPECT_EQ(&moved[10], &moved.at(10));
    a.clear();
    EXPECT_EQ(a.capacity(), 0u);
    EXPECT_EQ(Counted::alive, 4999);
  }
  EXPECT_EQ(Counted::alive, 0);
}

// The blocks of a million entities come from the system's large pages; the
// records there behave as in the small blocks, and the entity table's
// vector moves between small and large buffers as it grows.
TEST(RecordArrays, LargeBlocksHoldRecordsLikeSmallOnes) {
  // The block from record 131,071 on is a large one, in 32-bit builds too.
  constexpr int kCount = 140000;
  static_assert((std::size_t{1} << 17) * sizeof(Counted) >= platform::kLargeBlock);
  {
    RecordArray<Counted> a;
    std::vector<const Counted*> where;
    for (int i = 0; i < kCount; ++i) where.push_back(&a.emplace_back(i));
    for (int i : {0, 131070, 131071, 131072, kCount - 1}) {
      EXPECT_EQ(&a[static_cast<std::size_t>(i)], where[static_cast<std::size_t>(i)]) << i;
      EXPECT_EQ(a[static_cast<std::size_t>(i)].text, Counted(i).text) << i;
    }
    RecordArray<Counted> copy = a;
    EXPECT_EQ(copy, a);
    EXPECT_EQ(Counted::alive, 2 * kCount);
    a.clear();
    EXPECT_EQ(Counted::alive, kCount);
    // An expectation too small or too large changes where huge pages go,
    // never what the array holds.
    for (std::size_t expected : {std::size_t{1}, std::size_t{kCount / 2}, SIZE_MAX / 2}) {
      RecordArray<Counted> b;
      b.Expect(expected);
      for (int i = 0; i < kCount; ++i) b.emplace_back(i);
      EXPECT_EQ(b, copy) << expected;
    }
  }
  EXPECT_EQ(Counted::alive, 0);

  TEntityTable table;
  std::vector<TEntityRef> plain;
  table.reserve(10);
  for (std::int32_t i = 0; i < 700000; ++i) {  // 5.6 MB: small, then large buffers
    table.push_back({i % 8, i});
    plain.push_back({i % 8, i});
  }
  EXPECT_TRUE(std::equal(table.begin(), table.end(), plain.begin(), plain.end()));
  TEntityTable copy = table;
  table.shrink_to_fit();
  EXPECT_EQ(copy, table);
  EXPECT_EQ(copy[699999], (TEntityRef{699999 % 8, 699999}));
}
