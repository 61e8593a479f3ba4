// One JWW drawing in memory, and its loading and saving.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "jww/jwwio.h"
#include "jww/jwwtype.h"

// The running numbering of classes and objects over one read or write of an
// entity stream: one index, and the index each class was introduced under
// (0 while it has not appeared). Entry kBlockDef is the class "CDataList".
struct TTagState {
  std::int32_t NextIndex = 1;
  std::array<std::int32_t, 9> ClassIndex{};
};

class TJwwData;

// MapBlockNumber for every number at once, made once per save: a drawing
// with thousands of definitions would otherwise walk them all for every
// insertion it writes.
class BlockNumberMap {
 public:
  explicit BlockNumberMap(const TJwwData& drawing);
  std::int32_t operator()(std::int32_t n) const {
    const auto found = mapped_.find(n);
    return found == mapped_.end() ? dangling_ : found->second;
  }

 private:
  std::unordered_map<std::int32_t, std::int32_t> mapped_;
  std::int32_t dangling_ = 0;
};

// The top-level entity lists are the drawing's own fields (EntityTable,
// Lines, Arcs, ...), shared in shape with every block definition so that one
// reader and one writer serve both.
class TJwwData : public TEntityLists {
 public:
  TJwwData();
  ~TJwwData();
  TJwwData(const TJwwData&) = delete;
  TJwwData& operator=(const TJwwData&) = delete;

  // Header and its tables (sized by ReadHeader).
  TEntJwwHeader Header;
  std::vector<TEntJwwLayerGroup> LayerGroups;    // 16
  std::vector<TEntJwwLayer> Layers;              // 256, entry 16*g + k
  std::vector<TEntJwwPen> Pens;                  // 10, pen colours 0-9
  std::vector<TEntJwwLineType> LineTypes;        // 8, line types 2-9
  std::vector<TEntJwwRandomLine> RandomLines;    // 5
  std::vector<TEntJwwLineType> DoubleLineTypes;  // 4
  std::vector<TEntJwwColorExNo> ColorsEx;        // 257
  std::vector<TEntJwwLineTypeExNo> LineTypesEx;  // 33
  std::vector<TEntJwwTextKind> TextKinds;        // 10, text kinds 1-10

  std::vector<TEntJwwBlockDef> BlockDefs;
  std::vector<TEntJwwBlockTree> BlockTree;
  std::int32_t UsedBlockDefCount = 0;

  // Why the last load or save failed, for a person (Shift-JIS text).
  std::string LastError;

  void ClearDrawing();
  void FreeDrawing();
  // True when the whole drawing was read. Throws JwwIoError 103 when the
  // file cannot be opened or is older than version 2.20. The stored images
  // are listed in StagedImages and their bytes handed to `images` (read
  // past without one).
  bool LoadFromFile(const std::u16string& fileName, TImageSink* images = nullptr);
  // Writes the drawing; false (and no file left) when writing failed. The
  // images some reference names are stored from `images` (none without).
  bool SaveToFile(const std::u16string& fileName, std::int32_t version,
                  TImageSource* images = nullptr);
  // The same into a file already open and empty, which it closes; on
  // failure the caller removes the file.
  bool SaveToFile(platform::File& file, std::int32_t version, TImageSource* images = nullptr);

  // Sections.
  void ReadHeader(JwwReader& r);
  void WriteHeader(JwwWriter& w, std::int32_t version);
  void ReadEntityStream(JwwReader& r, TImageSink* images = nullptr);
  void WriteEntityStream(JwwWriter& w, std::int32_t version, TImageSource* images = nullptr);
  void ReadBlockDefs(JwwReader& r, TTagState& tags);
  void WriteBlockDefs(JwwWriter& w, TTagState& tags);
  void WriteBlockDefs(JwwWriter& w, TTagState& tags, const BlockNumberMap& numbers);
  void ReadImageSection(JwwReader& r, TImageSink* images);
  void WriteImageSection(JwwWriter& w, TImageSource* images);

  void ResolveBlockUse();
  std::int32_t MapBlockNumber(std::int32_t n) const;
};

// "7.00" for a version number.
std::string VersionText(std::int32_t version);
// Why LoadFromFile could not read `path` at all (it throws the same code
// for a file it cannot open and one that is no drawing or too old), for a
// person: Shift-JIS text. `d` is the drawing the load left.
std::string UnreadableReason(const std::u16string& path, const TJwwData& d);

// The entity-list layer, shared by the top level and the block definitions.
std::int32_t ReadCount(JwwReader& r);
void WriteCount(JwwWriter& w, std::int32_t n);
std::int32_t ReadObjectTag(JwwReader& r, TTagState& state);
// The tag before a block definition: any class may be named or introduced,
// but a tag that names no class at all (00 00, an index never defined) is
// damage and fails the load with its offset.
void ReadBlockDefTag(JwwReader& r, TTagState& state);

// The order in which staged images go into the image section, given their
// upper-cased names: an image whose name without ".gz" begins another's
// comes first, since Jw_cad ties a reference to the first name beginning
// with it; otherwise list order. Names that begin each other both ways are
// taken shortest stem first. The images the references select, listed
// again in the order given, keep it.
std::vector<std::size_t> ImageStoreOrder(const std::vector<std::string>& upper);
void WriteObjectTag(JwwWriter& w, std::int32_t kind, TTagState& state);
// Reads a count and that many tagged entities into `lists`; returns the
// count the file gave.
std::int32_t ReadEntityList(JwwReader& r, std::int32_t version, TTagState& state,
                            TEntityLists& lists);
// Writes the count and the entities of `lists` (kind 0 pairs write nothing);
// each insertion is written with the number `drawing` maps it to.
void WriteEntityList(JwwWriter& w, TTagState& state, const TEntityLists& lists,
                     const TJwwData& drawing);
void WriteEntityList(JwwWriter& w, TTagState& state, const TEntityLists& lists,
                     const BlockNumberMap& numbers);
void WriteEntityAttr(JwwWriter& w, const TEntJwwAttr& attr, std::int32_t type);
