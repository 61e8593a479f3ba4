// The entity stream: the count encoding, the class tags Jw_cad's document
// archive puts before every object, and the body of each entity kind. Each
// kind's reader and writer stand together, in the order of the bytes.
//
// Bodies come in two layouts: from version 3.51 on every attribute block
// carries a pen width (15 bytes), before that it does not (13 bytes), so a
// body of an old file is two bytes shorter per attribute block it holds.
// Everything is written in the 7.00 layout.

#include <cstdio>
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
  return version >= 351 ? size : size - 2 * attrs;
}

// Reads a fixed part in one piece into `buf` (which must hold `size` bytes).
ByteCursor ReadFixed(JwwReader& r, std::uint8_t* buf, std::size_t size) {
  r.ReadExact(buf, size);
  return ByteCursor(buf, size);
}

void Emit(JwwWriter& w, const ByteSink& s) {
  w.WriteExact(s.bytes.data(), s.bytes.size());
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

void PutAttr(ByteSink& s, const TEntJwwAttr& attr, std::int32_t type) {
  const TEntJwwAttr a = CleanAttr(attr, type);
  s.Dword(a.Group);
  s.Byte(a.PenStyle);
  s.Word(a.PenColor);
  s.Word(a.PenWidth);
  s.Word(a.Layer);
  s.Word(a.LayerGroup);
  s.Word(a.Flags);
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

void PutLine(ByteSink& s, const TEntJwwLine& e) {
  PutAttr(s, e.Attr, kLine);
  s.Double(e.StartX);
  s.Double(e.StartY);
  s.Double(e.EndX);
  s.Double(e.EndY);
}

TEntJwwLine ReadLine(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[47];
  ByteCursor c = ReadFixed(r, buf, Fixed(47, v));
  return ParseLine(c, v);
}

void WriteLine(JwwWriter& w, const TEntJwwLine& e) {
  ByteSink s;
  PutLine(s, e);
  Emit(w, s);
}

// ---- arc: attributes; centre x, y; radius; start angle; arc angle; tilt;
// flatness; full-circle flag (75 bytes) ---------------------------------------

TEntJwwArc ReadArc(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[75];
  ByteCursor c = ReadFixed(r, buf, Fixed(75, v));
  TEntJwwArc e;
  e.Attr = ParseEntityAttr(c, v);
  e.CenterX = c.Double();
  e.CenterY = c.Double();
  e.Radius = c.Double();
  e.StartAngle = c.Double();
  e.ArcAngle = c.Double();
  e.TiltAngle = c.Double();
  e.Flatness = c.Double();
  e.FullCircle = c.Dword();
  return e;
}

void WriteArc(JwwWriter& w, const TEntJwwArc& e) {
  ByteSink s;
  PutAttr(s, e.Attr, kArc);
  s.Double(e.CenterX);
  s.Double(e.CenterY);
  s.Double(e.Radius);
  s.Double(e.StartAngle);
  s.Double(e.ArcAngle);
  s.Double(e.TiltAngle);
  s.Double(e.Flatness);
  s.Dword(e.FullCircle);
  Emit(w, s);
}

// ---- point: attributes; x, y; temporary flag (35 bytes); a point of pen
// style 100 (a marked point) goes on with code, angle and scale (20 bytes) ---

constexpr std::uint8_t kMarkedPoint = 100;

TEntJwwPoint ReadPoint(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[35];
  ByteCursor c = ReadFixed(r, buf, Fixed(35, v));
  TEntJwwPoint e;
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
  return e;
}

void PutPoint(ByteSink& s, const TEntJwwPoint& e) {
  PutAttr(s, e.Attr, kPoint);
  s.Double(e.X);
  s.Double(e.Y);
  s.Dword(e.Temporary);
  if (e.Attr.PenStyle == kMarkedPoint) {
    s.Dword(e.Code);
    s.Double(e.Angle);
    s.Double(e.Scale);
  }
}

void WritePoint(JwwWriter& w, const TEntJwwPoint& e) {
  ByteSink s;
  PutPoint(s, e);
  Emit(w, s);
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

void PutTextFixed(ByteSink& s, const TEntJwwText& e) {
  PutAttr(s, e.Attr, kText);
  s.Double(e.StartX);
  s.Double(e.StartY);
  s.Double(e.EndX);
  s.Double(e.EndY);
  s.Dword(e.TextKind);
  s.Double(e.SizeX);
  s.Double(e.SizeY);
  s.Double(e.Spacing);
  s.Double(e.Angle);
}

void ReadTextStrings(JwwReader& r, TEntJwwText& e) {
  e.FontName = ReadJwwName(r);
  e.Text = ReadJwwName(r);
}

void WriteTextStrings(JwwWriter& w, const TEntJwwText& e) {
  WriteJwwString(w, CleanForWrite(e.FontName));
  WriteJwwString(w, CleanForWrite(e.Text));
}

TEntJwwText ReadText(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[83];
  ByteCursor c = ReadFixed(r, buf, Fixed(83, v));
  TEntJwwText e;
  ParseTextFixed(c, v, e);
  ReadTextStrings(r, e);
  return e;
}

void WriteText(JwwWriter& w, const TEntJwwText& e) {
  ByteSink s;
  PutTextFixed(s, e);
  Emit(w, s);
  WriteTextStrings(w, e);
}

// ---- dimension: attributes; a line body; a text body (145 bytes, three
// attribute blocks); the text's strings; from 4.20 on the extension: flag
// (WORD), two line bodies, four point bodies --------------------------------

TEntJwwDimension ReadDimension(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[145];
  ByteCursor c = ReadFixed(r, buf, Fixed(145, v, 3));
  TEntJwwDimension e;
  e.Attr = ParseEntityAttr(c, v);
  e.Line = ParseLine(c, v);
  ParseTextFixed(c, v, e.Text);
  ReadTextStrings(r, e.Text);
  if (v >= 420) {
    std::uint8_t ext[96];
    ByteCursor x = ReadFixed(r, ext, sizeof ext);
    e.ExtFlag = x.Word();
    e.ExtLine1 = ParseLine(x, v);
    e.ExtLine2 = ParseLine(x, v);
    for (TEntJwwPoint& p : e.ExtPoints) p = ReadPoint(r, v);
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
  return e;
}

void WriteDimension(JwwWriter& w, const TEntJwwDimension& e) {
  ByteSink s;
  PutAttr(s, e.Attr, kDimension);
  PutLine(s, e.Line);
  PutTextFixed(s, e.Text);
  Emit(w, s);
  WriteTextStrings(w, e.Text);
  ByteSink x;
  x.Word(e.ExtFlag);
  PutLine(x, e.ExtLine1);
  PutLine(x, e.ExtLine2);
  for (const TEntJwwPoint& p : e.ExtPoints) PutPoint(x, p);
  Emit(w, x);
}

// ---- solid: attributes; four corners x, y (79 bytes); pen colour 10 (own
// colour) goes on with the RGB value --------------------------------------

constexpr std::uint16_t kOwnColor = 10;

TEntJwwSolid ReadSolid(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[79];
  ByteCursor c = ReadFixed(r, buf, Fixed(79, v));
  TEntJwwSolid e;
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
  return e;
}

void WriteSolid(JwwWriter& w, const TEntJwwSolid& e) {
  ByteSink s;
  PutAttr(s, e.Attr, kSolid);
  s.Double(e.X1);
  s.Double(e.Y1);
  s.Double(e.X2);
  s.Double(e.Y2);
  s.Double(e.X3);
  s.Double(e.Y3);
  s.Double(e.X4);
  s.Double(e.Y4);
  if (e.Attr.PenColor == kOwnColor) s.Dword(e.Rgb);
  Emit(w, s);
}

// ---- block insertion: attributes; reference point x, y; scale x, y;
// rotation; block number (59 bytes) -----------------------------------------

TEntJwwBlockRef ReadBlockRef(JwwReader& r, std::int32_t v) {
  std::uint8_t buf[59];
  ByteCursor c = ReadFixed(r, buf, Fixed(59, v));
  TEntJwwBlockRef e;
  e.Attr = ParseEntityAttr(c, v);
  e.RefX = c.Double();
  e.RefY = c.Double();
  e.ScaleX = c.Double();
  e.ScaleY = c.Double();
  e.Rotation = c.Double();
  e.BlockNumber = c.Dword();
  return e;
}

// `number` is the definition's number in the file written.
void WriteBlockRef(JwwWriter& w, const TEntJwwBlockRef& e, std::int32_t number) {
  ByteSink s;
  PutAttr(s, e.Attr, kBlockRef);
  s.Double(e.RefX);
  s.Double(e.RefY);
  s.Double(e.ScaleX);
  s.Double(e.ScaleY);
  s.Double(e.Rotation);
  s.Dword(number);
  Emit(w, s);
}

// ---- one entity, by kind -------------------------------------------------------

// Reads a body into its kind's array and its pair into the table. The
// record is appended only once its body is whole, so a failed read leaves
// nothing of it behind.
void ReadEntity(JwwReader& r, std::int32_t v, std::int32_t kind, TEntityLists& l) {
  auto append = [&l, kind](auto& array, auto&& record) {
    array.push_back(std::move(record));
    l.EntityTable.push_back({kind, static_cast<std::int32_t>(array.size() - 1)});
  };
  switch (kind) {
    case kLine:
      return append(l.Lines, ReadLine(r, v));
    case kArc:
      return append(l.Arcs, ReadArc(r, v));
    case kPoint:
      return append(l.Points, ReadPoint(r, v));
    case kText:
      return append(l.Texts, ReadText(r, v));
    case kDimension:
      return append(l.Dimensions, ReadDimension(r, v));
    case kSolid:
      return append(l.Solids, ReadSolid(r, v));
    default:
      return append(l.BlockRefs, ReadBlockRef(r, v));
  }
}

template <typename T>
const T& Record(const std::vector<T>& array, const TEntityRef& ref) {
  if (ref.Index < 0 || static_cast<std::size_t>(ref.Index) >= array.size())
    throw std::logic_error("the entity table names record " + std::to_string(ref.Index) +
                           " of kind " + std::to_string(ref.Kind) + ", which does not exist");
  return array[static_cast<std::size_t>(ref.Index)];
}

void WriteEntity(JwwWriter& w, const TEntityRef& ref, const TEntityLists& l,
                 const TJwwData& drawing) {
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
      return WriteBlockRef(w, b, drawing.MapBlockNumber(b.BlockNumber));
    }
  }
}

void TrimLists(TEntityLists& l) {
  l.EntityTable.shrink_to_fit();
  l.Lines.shrink_to_fit();
  l.Arcs.shrink_to_fit();
  l.Points.shrink_to_fit();
  l.Texts.shrink_to_fit();
  l.Dimensions.shrink_to_fit();
  l.Solids.shrink_to_fit();
  l.BlockRefs.shrink_to_fit();
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
  if (t.classIndex > 0) {
    for (std::int32_t k = kLine; k <= kBlockDef; ++k)
      if (state.ClassIndex[k] == t.classIndex) t.kind = k;
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
  // The count is not trusted for any allocation: a damaged one must end
  // where the data runs out, not in a request for gigabytes.
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
  TrimLists(lists);
  return n;
}

void WriteEntityList(JwwWriter& w, TTagState& state, const TEntityLists& lists,
                     const TJwwData& drawing) {
  // The count is the number of entities that follow, so the file stays
  // whole even if a table and its arrays ever disagree.
  std::int32_t n = 0;
  for (const TEntityRef& ref : lists.EntityTable)
    if (IsEntityKind(ref.Kind)) ++n;
  WriteCount(w, n);
  for (const TEntityRef& ref : lists.EntityTable) {
    if (!IsEntityKind(ref.Kind)) continue;
    WriteObjectTag(w, ref.Kind, state);
    WriteEntity(w, ref, lists, drawing);
    ++state.NextIndex;
  }
}

void WriteEntityAttr(JwwWriter& w, const TEntJwwAttr& attr, std::int32_t type) {
  ByteSink s;
  PutAttr(s, attr, type);
  Emit(w, s);
}
