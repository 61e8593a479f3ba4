// The entity stream: the count encoding, the class tags Jw_cad's document
// archive puts before every object, and the body of each entity kind. Each
// kind's reader and writer stand together, in the order of the bytes.
//
// Bodies come in two layouts: from version 3.51 on every attribute block
// carries a pen width (15 bytes), before that it does not (13 bytes), so a
// body of an old file is two bytes shorter per attribute block it holds.
// Everything is written in the 7.00 layout.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "jww/jwwunit.h"

namespace {

// The schema number written with every new class: the version we write.
constexpr std::uint16_t kWriteSchema = 700;

// Class names by kind; kBlockDef is the block definition's class.
const char* const kClassNames[] = {"",           "CDataSen",   "CDataEnko",
                                   "CDataTen",   "CDataMoji",  "CDataSunpou",
                                   "CDataSolid", "CDataBlock", "CDataList"};

bool IsEntityKind(std::int32_t kind) {
  return kind >= kLine && kind <= kBlockRef;
}

// Size of a fixed part whose 7.00 size is `size` and that holds `attrs`
// attribute blocks.
std::size_t Fixed(std::size_t size, std::int32_t version, std::size_t attrs = 1) {
  return HasPenWidth(version) ? size : size - 2 * attrs;
}

// Reads a fixed part in one piece into `buf` (which must hold `size` bytes).
ByteCursor ReadFixed(JwwReader& r, std::uint8_t* buf, std::size_t size) {
  r.ReadExact(buf, size);
  return ByteCursor(buf, size);
}

bool InRange(int v, int lo, int hi) {
  return v >= lo && v <= hi;
}

// Jw_cad refuses (or misdraws) attribute values outside the ranges each kind
// knows, so they are cleaned on the way out; the record keeps what was read.
TEntJwwAttr CleanAttr(TEntJwwAttr a, std::int32_t type) {
  const int style = a.PenStyle;
  switch (type) {
    case kLine:
    case kArc:
      if (!InRange(style, 1, 9) && !InRange(style, 11, 19) && !InRange(style, 31, 62))
        a.PenStyle = 0;
      break;
    case kPoint:
      if (style != 1 && style != 100) a.PenStyle = 1;
      break;
    case kText:
      if (!InRange(style, 1, 9)) a.PenStyle = 1;
      break;
    default:
      break;
  }
  const int color = a.PenColor;
  if (type >= kLine && type <= kDimension) {
    if (!InRange(color, 1, 9) && !InRange(color, 101, 356)) a.PenColor = 0;
  } else if (type == kSolid) {
    if (!InRange(color, 1, 10) && !InRange(color, 101, 356)) a.PenColor = 0;
  }
  if (a.Layer > 15) a.Layer = 0;
  if (a.LayerGroup > 15) a.LayerGroup = 0;
  if (a.PenWidth > 30000) a.PenWidth = 0;
  return a;
}

void PutAttr(JwwWriter& w, const TEntJwwAttr& attr, std::int32_t type) {
  const TEntJwwAttr a = CleanAttr(attr, type);
  std::uint8_t b[15];
  std::memcpy(b, &a.Group, 4);
  b[4] = a.PenStyle;
  std::memcpy(b + 5, &a.PenColor, 2);
  std::memcpy(b + 7, &a.PenWidth, 2);
  std::memcpy(b + 9, &a.Layer, 2);
  std::memcpy(b + 11, &a.LayerGroup, 2);
  std::memcpy(b + 13, &a.Flags, 2);
  w.WriteExact(b, sizeof b);
}

// ---- line: attributes; start x, y; end x, y (47 bytes) ----------------------

TEntJwwLine ParseLine(ByteCursor& c, std::int32_t v) {
  TEntJwwLine e;
  e.Attr = ParseEntityAttr(c, v);
  e.StartX = c.Double();
  e.StartY = c.Double();
  e.EndX = c.Double();
  e.EndY = c.Double();
  return e;
}

void PutLine(JwwWriter& w, const TEntJwwLine& e) {
  PutAttr(w, e.Attr, kLine);
  w.WriteDouble(e.StartX);
  w.WriteDouble(e.StartY);
  w.WriteDouble(e.EndX);
  w.WriteDouble(e.EndY);
}

void ReadLine(JwwReader& r, std::int32_t v, TEntJwwLine& e) {
  std::uint8_t buf[47];
  ByteCursor c = ReadFixed(r, buf, Fixed(47, v));
  e = ParseLine(c, v);
}

void WriteLine(JwwWriter& w, const TEntJwwLine& e) {
  PutLine(w, e);
}

// ---- arc: attributes; centre x, y; radius; start angle; arc angle; tilt;
// flatness; full-circle flag (75 bytes) ---------------------------------------

void ReadArc(JwwReader& r, std::int32_t v, TEntJwwArc& e) {
  std::uint8_t buf[75];
  ByteCursor c = ReadFixed(r, buf, Fixed(75, v));
  e.Attr = ParseEntityAttr(c, v);
  e.CenterX = c.Double();
  e.CenterY = c.Double();
  e.Radius = c.Double();
  e.StartAngle = c.Double();
  e.ArcAngle = c.Double();
  e.TiltAngle = c.Double();
  e.Flatness = c.Double();
  e.FullCircle = c.Dword();
}

void WriteArc(JwwWriter& w, const TEntJwwArc& e) {
  PutAttr(w, e.Attr, kArc);
  w.WriteDouble(e.CenterX);
  w.WriteDouble(e.CenterY);
  w.WriteDouble(e.Radius);
  w.WriteDouble(e.StartAngle);
  w.WriteDouble(e.ArcAngle);
  w.WriteDouble(e.TiltAngle);
  w.WriteDouble(e.Flatness);
  w.WriteDword(e.FullCircle);
}

// ---- point: attributes; x, y; temporary flag (35 bytes); a point of pen
// style 100 (a marked point) goes on with code, angle and scale (20 bytes) ---

constexpr std::uint8_t kMarkedPoint = 100;

void ReadPoint(JwwReader& r, std::int32_t v, TEntJwwPoint& e) {
  std::uint8_t buf[35];
  ByteCursor c = ReadFixed(r, buf, Fixed(35, v));
  e.Attr = ParseEntityAttr(c, v);
  e.X = c.Double();
  e.Y = c.Double();
  e.Temporary = c.Dword();
  if (e.Attr.PenStyle == kMarkedPoint) {
    std::uint8_t more[20];
    ByteCursor m = ReadFixed(r, more, sizeof more);
    e.Code = m.Dword();
    e.Angle = m.Double();
    e.Scale = m.Double();
  }
}

void PutPoint(JwwWriter& w, const TEntJwwPoint& e) {
  PutAttr(w, e.Attr, kPoint);
  w.WriteDouble(e.X);
  w.WriteDouble(e.Y);
  w.WriteDword(e.Temporary);
  if (e.Attr.PenStyle == kMarkedPoint) {
    w.WriteDword(e.Code);
    w.WriteDouble(e.Angle);
    w.WriteDouble(e.Scale);
  }
}

void WritePoint(JwwWriter& w, const TEntJwwPoint& e) {
  PutPoint(w, e);
}

// ---- text: attributes; start x, y; end x, y; text kind; size x, y;
// spacing; angle (83 bytes); then font name and text as strings -------------
//
// Texts and font names are kept whole: an image reference is a path, and a
// path cut at 255 bytes would name another file.

void ParseTextFixed(ByteCursor& c, std::int32_t v, TEntJwwText& e) {
  e.Attr = ParseEntityAttr(c, v);
  e.StartX = c.Double();
  e.StartY = c.Double();
  e.EndX = c.Double();
  e.EndY = c.Double();
  e.TextKind = c.Dword();
  e.SizeX = c.Double();
  e.SizeY = c.Double();
  e.Spacing = c.Double();
  e.Angle = c.Double();
}

void PutTextFixed(JwwWriter& w, const TEntJwwText& e) {
  PutAttr(w, e.Attr, kText);
  w.WriteDouble(e.StartX);
  w.WriteDouble(e.StartY);
  w.WriteDouble(e.EndX);
  w.WriteDouble(e.EndY);
  w.WriteDword(e.TextKind);
  w.WriteDouble(e.SizeX);
  w.WriteDouble(e.SizeY);
  w.WriteDouble(e.Spacing);
  w.WriteDouble(e.Angle);
}

void ReadTextStrings(JwwReader& r, TEntJwwText& e) {
  e.FontName = ReadJwwName(r);
  e.Text = ReadJwwName(r);
}

void WriteTextStrings(JwwWriter& w, const TEntJwwText& e) {
  WriteCleanJwwString(w, e.FontName);
  WriteCleanJwwString(w, e.Text);
}

void ReadText(JwwReader& r, std::int32_t v, TEntJwwText& e) {
  std::uint8_t buf[83];
  ByteCursor c = ReadFixed(r, buf, Fixed(83, v));
  ParseTextFixed(c, v, e);
  ReadTextStrings(r, e);
}

void WriteText(JwwWriter& w, const TEntJwwText& e) {
  PutTextFixed(w, e);
  WriteTextStrings(w, e);
}

// ---- dimension: attributes; a line body; a text body (145 bytes, three
// attribute blocks); the text's strings; from 4.20 on the extension: flag
// (WORD), two line bodies, four point bodies --------------------------------

void ReadDimension(JwwReader& r, std::int32_t v, TEntJwwDimension& e) {
  std::uint8_t buf[145];
  ByteCursor c = ReadFixed(r, buf, Fixed(145, v, 3));
  e.Attr = ParseEntityAttr(c, v);
  e.Line = ParseLine(c, v);
  ParseTextFixed(c, v, e.Text);
  ReadTextStrings(r, e.Text);
  if (HasExtendedTables(v)) {
    std::uint8_t ext[96];
    ByteCursor x = ReadFixed(r, ext, sizeof ext);
    e.ExtFlag = x.Word();
    e.ExtLine1 = ParseLine(x, v);
    e.ExtLine2 = ParseLine(x, v);
    for (TEntJwwPoint& p : e.ExtPoints) ReadPoint(r, v, p);
  } else {
    // Older files have no extension; Jw_cad makes one up from the
    // dimension's own attributes, with plain points at the origin.
    e.ExtLine1.Attr = e.Attr;
    e.ExtLine2.Attr = e.Attr;
    for (TEntJwwPoint& p : e.ExtPoints) {
      p.Attr = e.Attr;
      p.Attr.PenStyle = 0;
    }
  }
}

void WriteDimension(JwwWriter& w, const TEntJwwDimension& e) {
  PutAttr(w, e.Attr, kDimension);
  PutLine(w, e.Line);
  PutTextFixed(w, e.Text);
  WriteTextStrings(w, e.Text);
  w.WriteWord(e.ExtFlag);
  PutLine(w, e.ExtLine1);
  PutLine(w, e.ExtLine2);
  for (const TEntJwwPoint& p : e.ExtPoints) PutPoint(w, p);
}

// ---- solid: attributes; four corners x, y (79 bytes); pen colour 10 (own
// colour) goes on with the RGB value --------------------------------------

constexpr std::uint16_t kOwnColor = 10;

void ReadSolid(JwwReader& r, std::int32_t v, TEntJwwSolid& e) {
  std::uint8_t buf[79];
  ByteCursor c = ReadFixed(r, buf, Fixed(79, v));
  e.Attr = ParseEntityAttr(c, v);
  e.X1 = c.Double();
  e.Y1 = c.Double();
  e.X2 = c.Double();
  e.Y2 = c.Double();
  e.X3 = c.Double();
  e.Y3 = c.Double();
  e.X4 = c.Double();
  e.Y4 = c.Double();
  if (e.Attr.PenColor == kOwnColor) e.Rgb = r.ReadDword();
}

void WriteSolid(JwwWriter& w, const TEntJwwSolid& e) {
  PutAttr(w, e.Attr, kSolid);
  w.WriteDouble(e.X1);
  w.WriteDouble(e.Y1);
  w.WriteDouble(e.X2);
  w.WriteDouble(e.Y2);
  w.WriteDouble(e.X3);
  w.WriteDouble(e.Y3);
  w.WriteDouble(e.X4);
  w.WriteDouble(e.Y4);
  if (e.Attr.PenColor == kOwnColor) w.WriteDword(e.Rgb);
}

// ---- block insertion: attributes; reference point x, y; scale x, y;
// rotation; block number (59 bytes) -----------------------------------------

void ReadBlockRef(JwwReader& r, std::int32_t v, TEntJwwBlockRef& e) {
  std::uint8_t buf[59];
  ByteCursor c = ReadFixed(r, buf, Fixed(59, v));
  e.Attr = ParseEntityAttr(c, v);
  e.RefX = c.Double();
  e.RefY = c.Double();
  e.ScaleX = c.Double();
  e.ScaleY = c.Double();
  e.Rotation = c.Double();
  e.BlockNumber = c.Dword();
}

// `number` is the definition's number in the file written.
void WriteBlockRef(JwwWriter& w, const TEntJwwBlockRef& e, std::int32_t number) {
  PutAttr(w, e.Attr, kBlockRef);
  w.WriteDouble(e.RefX);
  w.WriteDouble(e.RefY);
  w.WriteDouble(e.ScaleX);
  w.WriteDouble(e.ScaleY);
  w.WriteDouble(e.Rotation);
  w.WriteDword(number);
}

// ---- one entity, by kind -------------------------------------------------------

// Reads a body into its kind's array and its pair into the table. The
// record is read in its place at the end of the array and taken off again
// when its body cannot be read whole, so a failed read leaves nothing of it
// behind.
template <typename T>
void Append(JwwReader& r, std::int32_t v, std::int32_t kind, RecordArray<T>& array, TEntityLists& l,
            void (*read)(JwwReader&, std::int32_t, T&)) {
  // A list's table is reserved from its count: this kind's share of the
  // entities read so far tells how large its array grows in the end.
  if (array.size() == array.capacity() && !l.EntityTable.empty())
    array.Expect(static_cast<std::size_t>(static_cast<double>(array.size() + 1) *
                                          static_cast<double>(l.EntityTable.capacity()) /
                                          static_cast<double>(l.EntityTable.size())));
  T& e = array.emplace_back();
  try {
    read(r, v, e);
  } catch (...) {
    array.pop_back();
    throw;
  }
  l.EntityTable.push_back({kind, static_cast<std::int32_t>(array.size() - 1)});
}

void ReadEntity(JwwReader& r, std::int32_t v, std::int32_t kind, TEntityLists& l) {
  switch (kind) {
    case kLine:
      return Append(r, v, kind, l.Lines, l, ReadLine);
    case kArc:
      return Append(r, v, kind, l.Arcs, l, ReadArc);
    case kPoint:
      return Append(r, v, kind, l.Points, l, ReadPoint);
    case kText:
      return Append(r, v, kind, l.Texts, l, ReadText);
    case kDimension:
      return Append(r, v, kind, l.Dimensions, l, ReadDimension);
    case kSolid:
      return Append(r, v, kind, l.Solids, l, ReadSolid);
    default:
      return Append(r, v, kind, l.BlockRefs, l, ReadBlockRef);
  }
}

template <typename T>
const T& Record(const RecordArray<T>& array, const TEntityRef& ref) {
  if (ref.Index < 0 || static_cast<std::size_t>(ref.Index) >= array.size())
    throw std::logic_error("the entity table names record " + std::to_string(ref.Index) +
                           " of kind " + std::to_string(ref.Kind) + ", which does not exist");
  return array[static_cast<std::size_t>(ref.Index)];
}

void WriteEntity(JwwWriter& w, const TEntityRef& ref, const TEntityLists& l,
                 const BlockNumberMap& numbers) {
  switch (ref.Kind) {
    case kLine:
      return WriteLine(w, Record(l.Lines, ref));
    case kArc:
      return WriteArc(w, Record(l.Arcs, ref));
    case kPoint:
      return WritePoint(w, Record(l.Points, ref));
    case kText:
      return WriteText(w, Record(l.Texts, ref));
    case kDimension:
      return WriteDimension(w, Record(l.Dimensions, ref));
    case kSolid:
      return WriteSolid(w, Record(l.Solids, ref));
    default: {
      const TEntJwwBlockRef& b = Record(l.BlockRefs, ref);
      return WriteBlockRef(w, b, numbers(b.BlockNumber));
    }
  }
}

// A table trimmed by copying needs its old and its new block at once, and
// a large one's unused tail was never touched and holds no memory; so only
// a small table, whose spare room may be memory reused from elsewhere, is
// trimmed. (The record arrays grow without spare room worth trimming.)
void Trim(TEntityTable& table) {
  constexpr std::size_t kLargeBytes = 256 * 1024;
  if (table.capacity() > table.size() && table.capacity() * sizeof(TEntityRef) < kLargeBytes)
    table.shrink_to_fit();
}

// ---- tags ------------------------------------------------------------------------

// What one tag said, for the reader and for a message about a damaged file.
struct TagInfo {
  std::int32_t kind = kNone;
  bool newClass = false;
  std::string name;             // of a new class
  std::int32_t classIndex = 0;  // of a reference
};

TagInfo ReadTag(JwwReader& r, TTagState& state) {
  TagInfo t;
  const std::uint16_t tag = r.ReadWord();
  if (tag == 0xFFFF) {
    t.newClass = true;
    r.ReadWord();  // schema number: every version's bodies are told apart by the file version
    const std::uint16_t length = r.ReadWord();
    t.name.resize(length);
    r.ReadExact(t.name.data(), length);
    const std::int32_t index = state.NextIndex++;
    for (std::int32_t k = kLine; k <= kBlockDef; ++k) {
      if (t.name == kClassNames[k]) {
        state.ClassIndex[k] = index;
        t.kind = k;
      }
    }
    return t;
  }
  if (tag == 0x7FFF)
    t.classIndex =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(r.ReadDword()) & 0x7FFFFFFF);
  else
    t.classIndex = static_cast<std::int32_t>(tag) - 0x8000;
  // Every class has an index of its own, so at most one kind matches.
  if (t.classIndex > 0) {
    for (std::int32_t k = kLine; k <= kBlockDef; ++k) {
      if (state.ClassIndex[k] == t.classIndex) {
        t.kind = k;
        break;
      }
    }
  }
  return t;
}

// A class name fit for a message: printable ASCII as it is, other bytes as
// \xNN, and not more than a line's worth.
std::string Printable(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size() && i < 40; ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  if (name.size() > 40) out += "...";
  return out;
}

// An object that is not an entity where an entity must stand: its size is
// unknown, so nothing after it can be read.
[[noreturn]] void ThrowNotAnEntity(const TagInfo& t, long long at) {
  std::string what = "damaged at byte " + std::to_string(at) + ": ";
  if (t.newClass)
    what += "the class \"" + Printable(t.name) + "\" is not an entity class";
  else if (t.kind == kBlockDef)
    what += "a block definition stands where an entity belongs";
  else
    what += "the class index " + std::to_string(t.classIndex) + " names no class read before it";
  throw JwwIoError(100, what);
}

}  // namespace

// ---- counts: a WORD, or FFFF and a DWORD ---------------------------------------

std::int32_t ReadCount(JwwReader& r) {
  const std::uint16_t n = r.ReadWord();
  if (n != 0xFFFF) return n;
  return r.ReadDword();
}

void WriteCount(JwwWriter& w, std::int32_t n) {
  if (static_cast<std::uint32_t>(n) <= 0xFFFE) {
    w.WriteWord(static_cast<std::uint16_t>(n));
  } else {
    w.WriteWord(0xFFFF);
    w.WriteDword(n);
  }
}

// ---- tags: FFFF, schema, name for a new class; 8000 + index for one read
// before, or 7FFF and the index with its top bit set past 32,766 ---------------

std::int32_t ReadObjectTag(JwwReader& r, TTagState& state) {
  return ReadTag(r, state).kind;
}

void ReadBlockDefTag(JwwReader& r, TTagState& state) {
  const long long at = r.Position();
  const TagInfo tag = ReadTag(r, state);
  if (!tag.newClass && tag.kind == kNone)
    throw JwwIoError(100, "damaged at byte " + std::to_string(at) + ": the class index " +
                              std::to_string(tag.classIndex) +
                              " before a block definition names no class read before it");
}

void WriteObjectTag(JwwWriter& w, std::int32_t kind, TTagState& state) {
  if (kind < kLine || kind > kBlockDef)
    throw std::logic_error("no class for the object kind " + std::to_string(kind));
  const std::int32_t index = state.ClassIndex[kind];
  if (index == 0) {
    const std::string name = kClassNames[kind];
    w.WriteWord(0xFFFF);
    w.WriteWord(kWriteSchema);
    w.WriteWord(static_cast<std::uint16_t>(name.size()));
    w.WriteExact(name.data(), name.size());
    state.ClassIndex[kind] = state.NextIndex++;
  } else if (index <= 32766) {
    w.WriteWord(static_cast<std::uint16_t>(0x8000 + index));
  } else {
    w.WriteWord(0x7FFF);
    w.WriteDword(static_cast<std::int32_t>(0x80000000u | static_cast<std::uint32_t>(index)));
  }
}

// ---- lists -------------------------------------------------------------------------

std::int32_t ReadEntityList(JwwReader& r, std::int32_t version, TTagState& state,
                            TEntityLists& lists) {
  const long long countAt = r.Position();
  const std::int32_t n = ReadCount(r);
  if (n < 0)
    throw JwwIoError(100, "damaged at byte " + std::to_string(countAt) + ": an entity count of " +
                              std::to_string(n));
  // The count is trusted for no allocation larger than the rest of the file
  // could fill: a damaged one must end where the data runs out, not in a
  // request for gigabytes. Every entity takes at least a 2-byte tag and a
  // 33-byte body (a point of a version 3.50 file).
  const long long left = r.BytesLeft();
  if (left >= 0)
    lists.EntityTable.reserve(lists.EntityTable.size() +
                              static_cast<std::size_t>(std::min<long long>(n, left / 35)));
  for (std::int32_t i = 0; i < n; ++i) {
    const long long at = r.Position();
    const TagInfo tag = ReadTag(r, state);
    if (!IsEntityKind(tag.kind)) ThrowNotAnEntity(tag, at);
    try {
      ReadEntity(r, version, tag.kind, lists);
    } catch (const JwwIoError&) {
      // The entity is dropped and keeps a (0, 0) pair. Nothing can follow a
      // body that ran out of data, so the next tag read ends the load unless
      // this was the last object of the file.
      lists.EntityTable.push_back(TEntityRef{});
    }
    ++state.NextIndex;
  }
  Trim(lists.EntityTable);
  return n;
}

void WriteEntityList(JwwWriter& w, TTagState& state, const TEntityLists& lists,
                     const TJwwData& drawing) {
  WriteEntityList(w, state, lists, BlockNumberMap(drawing));
}

void WriteEntityList(JwwWriter& w, TTagState& state, const TEntityLists& lists,
                     const BlockNumberMap& numbers) {
  // The count is the number of entities that follow, so the file stays
  // whole even if a table and its arrays ever disagree.
  std::int32_t n = 0;
  for (const TEntityRef& ref : lists.EntityTable)
    if (IsEntityKind(ref.Kind)) ++n;
  WriteCount(w, n);
  for (const TEntityRef& ref : lists.EntityTable) {
    if (!IsEntityKind(ref.Kind)) continue;
    WriteObjectTag(w, ref.Kind, state);
    WriteEntity(w, ref, lists, numbers);
    ++state.NextIndex;
  }
}

void WriteEntityAttr(JwwWriter& w, const TEntJwwAttr& attr, std::int32_t type) {
  PutAttr(w, attr, type);
}
