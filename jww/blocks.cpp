// Block definitions: the list that follows the entity list, the pass after
// loading that finds the definitions the drawing uses, and the writer that
// stores only those, numbered 0, 1, 2 ... in list order.

#include <string>
#include <unordered_map>

#include "jww/jwwunit.h"

// ---- a definition: attributes; number; flag word; stamp (27 bytes); a stamp
// with its top bit set goes on with 8 more bytes; name; entity count; the
// definition's entities ------------------------------------------------------

void TJwwData::ReadBlockDefs(JwwReader& r, TTagState& tags) {
  const std::int32_t v = Header.Version;
  const long long countAt = r.Position();
  const std::int32_t n = ReadCount(r);
  Header.BlockDefCount = n;
  if (n < 0)
    throw JwwIoError(100, "damaged at byte " + std::to_string(countAt) +
                              ": a block definition count of " + std::to_string(n));
  // Like the entity count, n is not trusted for an allocation.
  for (std::int32_t i = 1; i <= n; ++i) {
    // Whatever class the tag names, a definition follows: Jw_cad's own files
    // all say "CDataList", and the body's size does not depend on it.
    ReadBlockDefTag(r, tags);
    std::uint8_t buf[27];
    const std::size_t size = HasPenWidth(v) ? 27 : 25;
    r.ReadExact(buf, size);
    ByteCursor c(buf, size);
    TEntJwwBlockDef d;
    d.Attr = ParseEntityAttr(c, v);
    d.Number = c.Dword();
    d.FlagWord = c.Dword();
    d.Stamp = c.Dword();
    if (static_cast<std::uint32_t>(d.Stamp) >= 0x80000000u) {
      // A 64-bit time: its 8 bytes mean nothing to Jw_cad once read, and the
      // definition's position serves as its stamp from then on.
      std::uint8_t wide[8];
      r.ReadExact(wide, sizeof wide);
      d.Stamp = i;
    }
    d.Name = ReadJwwName(r);
    BlockDefs.push_back(std::move(d));
    // The definition's own object number comes after its entity count and
    // before its entities; reading the count does not look at the number.
    ++tags.NextIndex;
    TEntJwwBlockDef& def = BlockDefs.back();
    def.EntityCount = ReadEntityList(r, v, tags, def.Entities);
  }
  BlockDefs.shrink_to_fit();
}

void TJwwData::WriteBlockDefs(JwwWriter& w, TTagState& tags) {
  WriteBlockDefs(w, tags, BlockNumberMap(*this));
}

void TJwwData::WriteBlockDefs(JwwWriter& w, TTagState& tags, const BlockNumberMap& numbers) {
  std::int32_t used = 0;
  for (const TEntJwwBlockDef& d : BlockDefs)
    if (d.Used) ++used;
  WriteCount(w, used);
  for (const TEntJwwBlockDef& d : BlockDefs) {
    if (!d.Used) continue;
    WriteObjectTag(w, kBlockDef, tags);
    WriteEntityAttr(w, d.Attr, kBlockDef);
    w.WriteDword(d.NewNumber);
    w.WriteDword(d.FlagWord);
    w.WriteDword(d.Stamp);
    WriteCleanJwwString(w, d.Name);
    ++tags.NextIndex;  // see ReadBlockDefs: the object number precedes the entities
    WriteEntityList(w, tags, d.Entities, numbers);
  }
}

// ---- which definitions the drawing uses ---------------------------------------

void TJwwData::ResolveBlockUse() {
  for (TEntJwwBlockDef& d : BlockDefs) {
    d.Used = false;
    d.NewNumber = -1;
  }
  BlockTree.clear();
  UsedBlockDefCount = 0;
  if (BlockRefs.empty()) return;

  // Insertions name the first definition of their number.
  std::unordered_map<std::int32_t, std::int32_t> first;
  for (std::size_t i = 0; i < BlockDefs.size(); ++i)
    first.emplace(BlockDefs[i].Number, static_cast<std::int32_t>(i));

  // A work list from the top-level insertions down through the definitions
  // they reach. Each definition is expanded once: a definition that inserts
  // itself, directly or through others, would otherwise never end the walk.
  for (const TEntJwwBlockRef& ref : BlockRefs) BlockTree.push_back({ref.BlockNumber, -1});
  for (std::size_t i = 0; i < BlockTree.size(); ++i) {
    const auto found = first.find(BlockTree[i].BlockNumber);
    if (found == first.end()) continue;
    BlockTree[i].DefIndex = found->second;
    TEntJwwBlockDef& def = BlockDefs[static_cast<std::size_t>(found->second)];
    if (def.Used) continue;
    def.Used = true;
    for (const TEntJwwBlockRef& ref : def.Entities.BlockRefs)
      BlockTree.push_back({ref.BlockNumber, -1});
  }

  for (TEntJwwBlockDef& d : BlockDefs)
    if (d.Used) d.NewNumber = UsedBlockDefCount++;
}

std::int32_t TJwwData::MapBlockNumber(std::int32_t n) const {
  for (const TEntJwwBlockDef& d : BlockDefs) {
    if (d.Number == n) return d.Used ? d.NewNumber : n;
  }
  // No definition has this number: it is written with a number no written
  // definition has either, so the insertion stays dangling instead of
  // suddenly placing definition 0.
  return UsedBlockDefCount;
}

BlockNumberMap::BlockNumberMap(const TJwwData& drawing) : dangling_(drawing.UsedBlockDefCount) {
  // The first definition of a number decides, as in MapBlockNumber.
  for (const TEntJwwBlockDef& d : drawing.BlockDefs)
    mapped_.emplace(d.Number, d.Used ? d.NewNumber : d.Number);
}
