// Block definitions: which ones a drawing uses, how they are renumbered on
// writing, the definition body in both layouts and the wide stamp form.

#include <gtest/gtest.h>

#include <algorithm>

#include "jww/jwwunit.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using jwwfixture::Add;
using jwwfixture::JwwBuilder;

TEntJwwBlockRef Insert(std::int32_t number) {
  TEntJwwBlockRef b;
  b.Attr.PenStyle = 1;
  b.ScaleX = b.ScaleY = 1;
  b.BlockNumber = number;
  return b;
}

// A definition holding one line and insertions of `inserts`.
TEntJwwBlockDef Def(std::int32_t number, const std::string& name,
                    std::vector<std::int32_t> inserts = {}, std::int32_t version = 700) {
  TEntityLists l;
  TEntJwwLine line;
  line.Attr = jwwfixture::SampleAttr(number, 1, version >= 351);
  line.EndX = number;
  Add(l, line);
  for (std::int32_t n : inserts) Add(l, Insert(n));
  return jwwfixture::SampleBlockDef(version, number, name, l);
}

TEntityLists Top(std::vector<std::int32_t> inserts) {
  TEntityLists l;
  Add(l, TEntJwwLine{});
  for (std::int32_t n : inserts) Add(l, Insert(n));
  return l;
}

Bytes Stream(const TEntityLists& top, const std::vector<TEntJwwBlockDef>& defs,
             std::int32_t version = 700) {
  JwwBuilder b(version);
  b.EntityList(top);
  b.BlockDefList(defs);
  return b.bytes();
}

// Reads a stream and checks it was read whole.
void Load(const Bytes& b, TJwwData& d, std::int32_t version = 700) {
  EXPECT_EQ(jwwfixture::ReadStream(b, version, d), static_cast<long long>(b.size()));
}

std::vector<std::int32_t> Numbers(const TJwwData& d) {
  std::vector<std::int32_t> n;
  for (const TEntJwwBlockDef& def : d.BlockDefs) n.push_back(def.Number);
  return n;
}

std::vector<std::string> Names(const TJwwData& d) {
  std::vector<std::string> n;
  for (const TEntJwwBlockDef& def : d.BlockDefs) n.emplace_back(def.Name.text());
  return n;
}

}  // namespace

TEST(BlockDefs, OnlyUsedDefinitionsAreWrittenRenumbered) {
  TJwwData d;
  Load(Stream(Top({12, 12}), {Def(5, "five"), Def(9, "nine"), Def(12, "twelve", {9})}), d);
  EXPECT_FALSE(d.BlockDefs[0].Used);
  EXPECT_EQ(d.BlockDefs[1].NewNumber, 0);
  EXPECT_EQ(d.BlockDefs[2].NewNumber, 1);
  EXPECT_EQ(d.UsedBlockDefCount, 2);
  EXPECT_EQ(d.MapBlockNumber(12), 1);
  EXPECT_EQ(d.MapBlockNumber(9), 0);
  EXPECT_EQ(d.MapBlockNumber(5), 5);  // not used: unchanged

  const Bytes saved = jwwfixture::WriteStream(d);
  TJwwData again;
  Load(saved, again);
  EXPECT_EQ(Numbers(again), (std::vector<std::int32_t>{0, 1}));
  EXPECT_EQ(Names(again), (std::vector<std::string>{"nine", "twelve"}));
  EXPECT_EQ(again.BlockRefs[0].BlockNumber, 1);
  EXPECT_EQ(again.BlockRefs[1].BlockNumber, 1);
  EXPECT_EQ(again.BlockDefs[1].Entities.BlockRefs.at(0).BlockNumber, 0);
  EXPECT_EQ(again.BlockDefs[0].Entities, d.BlockDefs[1].Entities);

  // Top level: count, line (14 + 47), two insertions (16 + 59, 2 + 59);
  // then the definition count 2 and the first definition's tag.
  const std::size_t defsAt = 2 + 14 + 47 + 16 + 59 + 2 + 59;
  const std::string tag(
      "\xFF\xFF\xBC\x02\x09\x00"
      "CDataList",
      15);
  EXPECT_EQ(Bytes(saved.begin() + defsAt, saved.begin() + defsAt + 2), (Bytes{2, 0}));
  EXPECT_EQ(std::string(saved.begin() + defsAt + 2, saved.begin() + defsAt + 17), tag);
  // The next one (after tag, body 27, "nine", count, line) refers to the
  // class by its index: line 1, its object 2, insertion 3, objects 4 and 5.
  const std::size_t next = defsAt + 2 + 15 + 27 + 5 + 2 + 2 + 47;
  EXPECT_EQ(Bytes(saved.begin() + next, saved.begin() + next + 2), (Bytes{0x06, 0x80}));
}

TEST(BlockDefs, ChainsDuplicatesCyclesAndDanglingInsertions) {
  // Three levels below the top, and one definition nobody uses.
  TJwwData chain;
  Load(Stream(Top({1}), {Def(3, "c"), Def(4, "unused", {3}), Def(2, "b", {3}), Def(1, "a", {2})}),
       chain);
  EXPECT_EQ(Names(chain).size(), 4u);
  TJwwData chainAgain;
  Load(jwwfixture::WriteStream(chain), chainAgain);
  EXPECT_EQ(Names(chainAgain), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(chainAgain.BlockDefs[2].Entities.BlockRefs[0].BlockNumber, 1);
  EXPECT_EQ(chainAgain.BlockDefs[1].Entities.BlockRefs[0].BlockNumber, 0);

  // Two definitions of one number: the first takes every insertion.
  TJwwData twins;
  Load(Stream(Top({8}), {Def(8, "first"), Def(8, "second")}), twins);
  TJwwData twinsAgain;
  Load(jwwfixture::WriteStream(twins), twinsAgain);
  EXPECT_EQ(Names(twinsAgain), (std::vector<std::string>{"first"}));
  EXPECT_EQ(twinsAgain.BlockRefs[0].BlockNumber, 0);
  // The writer's table of numbers answers as MapBlockNumber does: for the
  // twins' number, a used and an unused one, and one no definition has.
  TJwwData mixed;
  Load(Stream(Top({8, 1}), {Def(8, "first"), Def(3, "unused"), Def(8, "second"), Def(1, "one")}),
       mixed);
  const BlockNumberMap numbers(mixed);
  for (std::int32_t n : {8, 1, 3, 99}) EXPECT_EQ(numbers(n), mixed.MapBlockNumber(n)) << n;

  // A definition inserting itself, and two inserting each other: the walk
  // ends, and the save keeps the insertions pointing where they did.
  TJwwData cycle;
  Load(Stream(Top({4, 6}), {Def(4, "self", {4}), Def(6, "ping", {7}), Def(7, "pong", {6})}), cycle);
  EXPECT_EQ(cycle.UsedBlockDefCount, 3);
  TJwwData cycleAgain;
  Load(jwwfixture::WriteStream(cycle), cycleAgain);
  EXPECT_EQ(Numbers(cycleAgain), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(cycleAgain.BlockDefs[0].Entities.BlockRefs[0].BlockNumber, 0);
  EXPECT_EQ(cycleAgain.BlockDefs[1].Entities.BlockRefs[0].BlockNumber, 2);
  EXPECT_EQ(cycleAgain.BlockDefs[2].Entities.BlockRefs[0].BlockNumber, 1);
  EXPECT_EQ(jwwfixture::WriteStream(cycleAgain), jwwfixture::WriteStream(cycle));

  // An insertion of a number no definition has keeps naming no definition:
  // it is written with the first number no written definition has.
  TJwwData dangling;
  Load(Stream(Top({99, 5}), {Def(5, "five", {77})}), dangling);
  EXPECT_EQ(dangling.MapBlockNumber(99), 1);
  TJwwData danglingAgain;
  Load(jwwfixture::WriteStream(dangling), danglingAgain);
  EXPECT_EQ(danglingAgain.BlockRefs[0].BlockNumber, 1);
  EXPECT_EQ(danglingAgain.BlockRefs[1].BlockNumber, 0);
  EXPECT_EQ(danglingAgain.BlockDefs[0].Entities.BlockRefs[0].BlockNumber, 1);

  // Without top-level insertions no definition is written.
  TJwwData none;
  Load(Stream(Top({}), {Def(1, "a"), Def(2, "b", {1})}), none);
  EXPECT_EQ(none.UsedBlockDefCount, 0);
  const Bytes noneSaved = jwwfixture::WriteStream(none);
  EXPECT_EQ(Bytes(noneSaved.end() - 2, noneSaved.end()), (Bytes{0, 0}));
}

TEST(BlockDefs, BodyLayoutsAndTheWideStamp) {
  // A version 3.00 definition spelled out: 13-byte attributes, number,
  // flag word, stamp (25 bytes), name, count 0.
  JwwBuilder old(300);
  old.Count(1);
  old.Entity(Insert(3));
  old.Count(1);
  old.NewClass("CDataList");
  const std::size_t bodyAt = old.size();
  old.Raw(Bytes{0x11, 0, 0, 0, 2, 4, 0, 5, 0, 6, 0, 0x80, 0});
  old.Dword(3);
  old.Dword(0x40);
  old.Dword(0x5F5E1000);
  EXPECT_EQ(old.size() - bodyAt, 25u);
  old.String("door");
  old.Count(0);
  TJwwData d;
  Load(old.bytes(), d, 300);
  ASSERT_EQ(d.BlockDefs.size(), 1u);
  const TEntJwwBlockDef& def = d.BlockDefs[0];
  EXPECT_EQ(def.Attr, (TEntJwwAttr{0x11, 2, 4, 0, 5, 6, 0x80}));
  EXPECT_EQ(def.Number, 3);
  EXPECT_EQ(def.FlagWord, 0x40);
  EXPECT_EQ(def.Stamp, 0x5F5E1000);
  EXPECT_EQ(def.Name.text(), "door");
  const Bytes saved = jwwfixture::WriteStream(d);
  const std::size_t at = 2 + 16 + 59 + 2 + 15;
  EXPECT_EQ(Bytes(saved.begin() + at, saved.begin() + at + 27),
            (Bytes{0x11, 0, 0, 0, 2, 4,    0, 0, 0, 5,    0,    6,    0,   0x80,
                   0,    0, 0, 0, 0, 0x40, 0, 0, 0, 0x00, 0x10, 0x5E, 0x5F}));

  // The 64-bit stamp: 8 more bytes, and the stamp becomes the definition's
  // position in the list read.
  JwwBuilder b(600);
  b.EntityList(Top({2}));
  b.Count(3);
  b.BlockDef(Def(0, "a", {}, 600));
  b.BlockDef(Def(1, "b", {}, 600));
  b.BlockDef(Def(2, "c", {}, 600), true);
  TJwwData w;
  Load(b.bytes(), w, 600);
  EXPECT_EQ(w.BlockDefs.at(2).Stamp, 3);
  EXPECT_EQ(w.BlockDefs.at(0).Stamp, Def(0, "a").Stamp);
  TJwwData again;
  Load(jwwfixture::WriteStream(w), again);
  EXPECT_EQ(again.BlockDefs.at(0).Stamp, 3);
  EXPECT_EQ(again.BlockDefs.at(0).Name.text(), "c");
}

TEST(BlockDefs, DamagedLists) {
  // A count of two billion fails where the data ends, keeping what was read.
  JwwBuilder b(700);
  b.EntityList(Top({1}));
  b.Count(2000000000u);
  b.BlockDef(Def(1, "one"));
  testutil::MemoryFile f(b.bytes());
  JwwReader r(f);
  TJwwData d;
  d.Header.Version = 700;
  TTagState tags;
  ReadEntityList(r, 700, tags, d);
  EXPECT_THROW(d.ReadBlockDefs(r, tags), JwwIoError);
  ASSERT_EQ(d.BlockDefs.size(), 1u);
  EXPECT_LT(d.BlockDefs.capacity(), 100u);
  d.ResolveBlockUse();
  EXPECT_TRUE(d.BlockDefs[0].Used);

  // An unknown class inside a definition fails the load like one at the top.
  JwwBuilder bad(700);
  bad.EntityList(TEntityLists{});
  bad.Count(1);
  bad.BlockDef(Def(1, "one"));
  Bytes bytes = bad.bytes();
  const std::string sen = "CDataSen";
  auto name = std::search(bytes.begin(), bytes.end(), sen.begin(), sen.end());
  ASSERT_NE(name, bytes.end());
  *(name + 5) = 'X';  // the definition's line introduces "CDataXen"
  TJwwData e;
  EXPECT_THROW(jwwfixture::ReadStream(bytes, 700, e), JwwIoError);
}

TEST(BlockDefs, TagNamingNoClassFailsWithItsOffset) {
  // The first definition's tag introduces "CDataList"; in its place stand
  // the null tag, or the index of a class this file never defined.
  JwwBuilder b(700);
  b.EntityList(Top({1}));
  b.Count(1);
  b.BlockDef(Def(1, "one"));
  const Bytes good = b.bytes();
  const std::string list = "CDataList";
  const auto name = std::search(good.begin(), good.end(), list.begin(), list.end());
  ASSERT_NE(name, good.end());
  const auto tagAt = (name - good.begin()) - 6;
  for (const Bytes& tag :
       {Bytes{0, 0}, Bytes{0x63, 0x80}, Bytes{0xFF, 0x7F, 0x40, 0x9C, 0, 0x80}}) {
    Bytes bytes(good.begin(), good.begin() + tagAt);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    bytes.insert(bytes.end(), name + list.size(), good.end());
    TJwwData d;
    try {
      jwwfixture::ReadStream(bytes, 700, d);
      ADD_FAILURE() << "a definition behind a tag of no class was read";
    } catch (const JwwIoError& e) {
      EXPECT_NE(std::string(e.what()).find("byte " + std::to_string(tagAt) + ":"),
                std::string::npos)
          << e.what();
    }
  }
}
