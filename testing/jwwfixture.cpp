#include "testing/jwwfixture.h"

#include "testing/testutil.h"

namespace jwwfixture {

// ---- items -----------------------------------------------------------------

namespace {

void Length(ByteSink& s, std::size_t n) {
  if (n < 0xFF) {
    s.Byte(static_cast<std::uint8_t>(n));
  } else if (n < 0xFFFE) {
    s.Byte(0xFF);
    s.Word(static_cast<std::uint16_t>(n));
  } else {
    s.Byte(0xFF);
    s.Word(0xFFFF);
    s.Dword(static_cast<std::int32_t>(n));
  }
}

}  // namespace

void JwwBuilder::String(const std::string& s) {
  Length(sink_, s.size());
  Raw(s);
}

void JwwBuilder::Utf16String(const std::u16string& s) {
  Byte(0xFF);
  Word(0xFFFE);
  Length(sink_, s.size());
  for (char16_t u : s) Word(static_cast<std::uint16_t>(u));
}

void JwwBuilder::Count(std::uint32_t n) {
  if (n <= 0xFFFE) {
    Word(static_cast<std::uint16_t>(n));
  } else {
    Word(0xFFFF);
    Dword(static_cast<std::int32_t>(n));
  }
}

// ---- header ------------------------------------------------------------------

void JwwBuilder::Header(const std::string& memo) {
  const std::int32_t v = version_;
  // H1 identifier and version; H2 memo, paper size, write layer group.
  Raw(std::string("JwwData."));
  Dword(v);
  String(memo);
  Dword(3);
  Dword(0);
  // H3: per layer group its state, write layer, scale, protect, then the
  // state and protect flag of its 16 layers.
  for (int g = 0; g < 16; ++g) {
    Dword(2);
    Dword(g % 16);
    Double(g == 0 ? 1.0 : 50.0);
    Dword(0);
    for (int k = 0; k < 16; ++k) {
      Dword(k == 0 ? 2 : 1);
      Dword(0);
    }
  }
  Zeros(56);  // H4
  // H5: dimension settings 1-5, reserved, maximum line draw width.
  for (int i = 0; i < 5; ++i) Dword(i);
  Dword(0);
  Dword(1);
  // H6: print origin x, y, scale, rotate, grid mode, grid spacings, base.
  Double(0);
  Double(0);
  Double(1);
  Dword(0);
  Dword(0);
  Double(1);
  Double(1);
  Double(1);
  Double(0);
  Double(0);
  // H7: 256 layer names, 16 layer group names.
  for (int i = 0; i < 256; ++i) String(i == 1 ? "wall" : "");
  for (int i = 0; i < 16; ++i) String(i == 0 ? "plan" : "");
  // H8: sun-shadow height, latitude, 9-15 flag, wall-shadow height, and
  // after 2.30 the sky-map height and radius.
  Double(0);
  Double(35);
  Dword(0);
  Double(0);
  if (v > 230) {
    Double(0);
    Double(0);
  }
  // H9: 2.5D unit, screen scale and origin, remembered range.
  Dword(0);
  Double(1);
  Double(0);
  Double(0);
  Double(1);
  Double(0);
  Double(0);
  // H10: mark jumps (8 with layer groups and the text display state after
  // 2.30, 4 without before).
  if (v > 230) {
    for (int n = 0; n < 8; ++n) {
      Double(1);
      Double(0);
      Double(0);
      Dword(-1);
    }
    for (int i = 0; i < 3; ++i) Double(0);
    Dword(0);
    for (int i = 0; i < 3; ++i) Double(0);
    Dword(0);
  } else {
    for (int n = 0; n < 4; ++n) {
      Double(1);
      Double(0);
      Double(0);
    }
  }
  // H11: parallel spacings, end offset, screen pens; H12: printer pens.
  for (int i = 0; i < 11; ++i) Double(0);
  for (int c = 0; c < 10; ++c) {
    Dword(0x000000 + c);
    Dword(1);
  }
  for (int c = 0; c < 10; ++c) {
    Dword(c == 0 ? 0xFFFFFF : 0);
    Dword(1);
    Double(0.5);
  }
  // H13 line types 2-9; H14 random lines, double-length line types.
  for (int i = 0; i < 8 * 4; ++i) Dword(i % 4 == 0 ? 0x0F0F0F0F : 1);
  for (int i = 0; i < 5 * 5 + 4 * 4; ++i) Dword(1);
  // H15: eleven option words; from 2.23 drawing time and eye settings; from
  // 2.25 the last given sizes; from 2.30 the solid colour.
  for (int i = 0; i < 10; ++i) Dword(0);
  Dword(11);
  if (v >= 223) {
    Dword(60);
    Dword(0);
    for (int i = 0; i < 3; ++i) Dword(0);
    for (int i = 0; i < 5; ++i) Double(0);
  }
  if (v >= 225)
    for (int i = 0; i < 4; ++i) Double(0);
  if (v >= 230) {
    Dword(0);
    Dword(0);
  }
  // H16 from 4.20: extended colours and line types.
  if (v >= 420) {
    for (int i = 0; i < 257; ++i) {
      Dword(0);
      Dword(1);
    }
    for (int i = 0; i < 257; ++i) {
      String("Color_" + std::to_string(i));
      Dword(0);
      Dword(1);
      Double(0.5);
    }
    for (int i = 0; i < 33; ++i) {
      Dword(-1);
      Dword(1);
      Dword(1);
      Dword(1);
    }
    for (int i = 0; i < 33; ++i) {
      String("LType_" + std::to_string(i));
      Dword(2);
      Double(1);
      Double(1);
      for (int k = 0; k < 8; ++k) Double(0);
    }
  }
  // H17 text kinds 1-10; H18 current text settings.
  for (int i = 0; i < 10; ++i) {
    Double(i + 1);
    Double(i + 1);
    Double(0);
    Dword(1);
  }
  Double(3);
  Double(3);
  Double(0);
  Dword(1);
  Dword(1);
  Double(0);
  Double(0);
  Dword(0);
  for (int i = 0; i < 6; ++i) Double(0);
}

// ---- tags ---------------------------------------------------------------------

std::int32_t JwwBuilder::NewClass(const std::string& name, std::uint16_t schema) {
  Word(0xFFFF);
  Word(schema ? schema : static_cast<std::uint16_t>(version_));
  Word(static_cast<std::uint16_t>(name.size()));
  Raw(name);
  classes_[name] = nextIndex_;
  return nextIndex_++;
}

void JwwBuilder::ClassRef(std::int32_t classIndex) {
  if (classIndex <= 32766) {
    Word(static_cast<std::uint16_t>(0x8000 + classIndex));
  } else {
    Word(0x7FFF);
    Dword(static_cast<std::int32_t>(0x80000000u | static_cast<std::uint32_t>(classIndex)));
  }
}

void JwwBuilder::Tag(const std::string& name) {
  auto found = classes_.find(name);
  if (found == classes_.end())
    NewClass(name);
  else
    ClassRef(found->second);
}

// ---- bodies --------------------------------------------------------------------

void JwwBuilder::Attr(const TEntJwwAttr& a) {
  Dword(a.Group);
  Byte(a.PenStyle);
  Word(a.PenColor);
  if (version_ >= 351) Word(a.PenWidth);
  Word(a.Layer);
  Word(a.LayerGroup);
  Word(a.Flags);
}

void JwwBuilder::Body(const TEntJwwLine& e) {
  Attr(e.Attr);
  for (double d : {e.StartX, e.StartY, e.EndX, e.EndY}) Double(d);
}

void JwwBuilder::Body(const TEntJwwArc& e) {
  Attr(e.Attr);
  for (double d :
       {e.CenterX, e.CenterY, e.Radius, e.StartAngle, e.ArcAngle, e.TiltAngle, e.Flatness})
    Double(d);
  Dword(e.FullCircle);
}

void JwwBuilder::Body(const TEntJwwPoint& e) {
  Attr(e.Attr);
  Double(e.X);
  Double(e.Y);
  Dword(e.Temporary);
  if (e.Attr.PenStyle == 100) {
    Dword(e.Code);
    Double(e.Angle);
    Double(e.Scale);
  }
}

void JwwBuilder::TextFixed(const TEntJwwText& e) {
  Attr(e.Attr);
  for (double d : {e.StartX, e.StartY, e.EndX, e.EndY}) Double(d);
  Dword(e.TextKind);
  for (double d : {e.SizeX, e.SizeY, e.Spacing, e.Angle}) Double(d);
}

void JwwBuilder::Body(const TEntJwwText& e) {
  TextFixed(e);
  String(std::string(e.FontName.text()));
  String(std::string(e.Text.text()));
}

void JwwBuilder::Body(const TEntJwwDimension& e) {
  Attr(e.Attr);
  Body(e.Line);
  Body(e.Text);
  if (version_ < 420) return;
  Word(e.ExtFlag);
  Body(e.ExtLine1);
  Body(e.ExtLine2);
  for (const TEntJwwPoint& p : e.ExtPoints) Body(p);
}

void JwwBuilder::Body(const TEntJwwSolid& e) {
  Attr(e.Attr);
  for (double d : {e.X1, e.Y1, e.X2, e.Y2, e.X3, e.Y3, e.X4, e.Y4}) Double(d);
  if (e.Attr.PenColor == 10) Dword(e.Rgb);
}

void JwwBuilder::Body(const TEntJwwBlockRef& e) {
  Attr(e.Attr);
  for (double d : {e.RefX, e.RefY, e.ScaleX, e.ScaleY, e.Rotation}) Double(d);
  Dword(e.BlockNumber);
}

// ---- lists ----------------------------------------------------------------------

void JwwBuilder::EntityList(const TEntityLists& l) {
  std::uint32_t n = 0;
  for (const TEntityRef& r : l.EntityTable)
    if (r.Kind != 0) ++n;
  Count(n);
  for (const TEntityRef& r : l.EntityTable) {
    const auto i = static_cast<std::size_t>(r.Index);
    switch (r.Kind) {
      case kLine:
        Entity(l.Lines[i]);
        break;
      case kArc:
        Entity(l.Arcs[i]);
        break;
      case kPoint:
        Entity(l.Points[i]);
        break;
      case kText:
        Entity(l.Texts[i]);
        break;
      case kDimension:
        Entity(l.Dimensions[i]);
        break;
      case kSolid:
        Entity(l.Solids[i]);
        break;
      case kBlockRef:
        Entity(l.BlockRefs[i]);
        break;
      default:
        break;
    }
  }
}

void JwwBuilder::BlockDef(const TEntJwwBlockDef& d, bool wideStamp) {
  Tag("CDataList");
  Attr(d.Attr);
  Dword(d.Number);
  Dword(d.FlagWord);
  if (wideStamp) {
    Dword(static_cast<std::int32_t>(0x80000000u | static_cast<std::uint32_t>(d.Stamp)));
    Dword(0x12345678);
    Dword(0x01D9ABCD);
  } else {
    Dword(d.Stamp);
  }
  String(std::string(d.Name.text()));
  // The definition's object index falls between its count and its entities;
  // EntityList writes the count first, and the count does not move it.
  EndObject();
  EntityList(d.Entities);
}

void JwwBuilder::BlockDefList(const std::vector<TEntJwwBlockDef>& defs) {
  Count(static_cast<std::uint32_t>(defs.size()));
  for (const TEntJwwBlockDef& d : defs) BlockDef(d);
}

void JwwBuilder::Drawing(const TEntityLists& top, const std::vector<TEntJwwBlockDef>& defs,
                         const std::string& memo) {
  Header(memo);
  EntityList(top);
  BlockDefList(defs);
  if (version_ >= 700) EmptyImageSection();
}

// ---- sample records -----------------------------------------------------------

void Add(TEntityLists& l, const TEntJwwLine& e) {
  l.Lines.push_back(e);
  l.EntityTable.push_back({kLine, static_cast<std::int32_t>(l.Lines.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwArc& e) {
  l.Arcs.push_back(e);
  l.EntityTable.push_back({kArc, static_cast<std::int32_t>(l.Arcs.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwPoint& e) {
  l.Points.push_back(e);
  l.EntityTable.push_back({kPoint, static_cast<std::int32_t>(l.Points.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwText& e) {
  l.Texts.push_back(e);
  l.EntityTable.push_back({kText, static_cast<std::int32_t>(l.Texts.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwDimension& e) {
  l.Dimensions.push_back(e);
  l.EntityTable.push_back({kDimension, static_cast<std::int32_t>(l.Dimensions.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwSolid& e) {
  l.Solids.push_back(e);
  l.EntityTable.push_back({kSolid, static_cast<std::int32_t>(l.Solids.size() - 1)});
}
void Add(TEntityLists& l, const TEntJwwBlockRef& e) {
  l.BlockRefs.push_back(e);
  l.EntityTable.push_back({kBlockRef, static_cast<std::int32_t>(l.BlockRefs.size() - 1)});
}

TEntJwwAttr SampleAttr(int seed, std::uint8_t style, bool withWidth) {
  TEntJwwAttr a;
  a.Group = 1000 + seed;
  a.PenStyle = style;
  a.PenColor = static_cast<std::uint16_t>(1 + seed % 9);
  a.PenWidth = withWidth ? static_cast<std::uint16_t>(100 + seed) : 0;
  a.Layer = static_cast<std::uint16_t>(seed % 16);
  a.LayerGroup = static_cast<std::uint16_t>((seed * 7) % 16);
  a.Flags = static_cast<std::uint16_t>(0x20 + seed);
  return a;
}

namespace {

TEntJwwLine SampleLine(int seed, bool w) {
  TEntJwwLine e;
  e.Attr = SampleAttr(seed, static_cast<std::uint8_t>(1 + seed % 9), w);
  e.StartX = seed + 0.125;
  e.StartY = -seed - 0.25;
  e.EndX = seed * 2 + 0.5;
  e.EndY = 1e6 + seed;
  return e;
}

TEntJwwPoint SamplePoint(int seed, bool marked, bool w) {
  TEntJwwPoint e;
  e.Attr = SampleAttr(seed, marked ? 100 : 1, w);
  e.X = seed + 0.375;
  e.Y = seed - 0.625;
  e.Temporary = seed % 2;
  if (marked) {
    e.Code = 7 + seed;
    e.Angle = 0.5 + seed;
    e.Scale = 2.5;
  }
  return e;
}

TEntJwwText SampleText(int seed, bool w, std::string text) {
  TEntJwwText e;
  e.Attr = SampleAttr(seed, 1, w);
  e.StartX = seed + 1.5;
  e.StartY = seed + 2.5;
  e.EndX = seed + 3.5;
  e.EndY = seed + 4.5;
  e.TextKind = 1 + seed % 10;
  e.SizeX = 3.5;
  e.SizeY = 4;
  e.Spacing = 0.25;
  e.Angle = 90;
  e.FontName = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック
  e.Text = std::move(text);
  return e;
}

}  // namespace

TEntityLists SampleEntities(std::int32_t version, int seed,
                            const std::vector<std::int32_t>& blockNumbers) {
  const bool w = version >= 351;
  TEntityLists l;
  Add(l, SampleLine(seed, w));

  TEntJwwArc arc;
  arc.Attr = SampleAttr(seed + 1, 2, w);
  arc.CenterX = seed + 10.5;
  arc.CenterY = -3.25;
  arc.Radius = 4.75;
  arc.StartAngle = 0.1;
  arc.ArcAngle = 3.0;
  arc.TiltAngle = 0.2;
  arc.Flatness = 0.9;
  arc.FullCircle = 0;
  Add(l, arc);

  Add(l, SamplePoint(seed + 2, true, w));
  // 表 ends in 0x5C; the long text passes 255 bytes.
  Add(l, SampleText(seed + 3, w, "\x95\x5C text " + std::to_string(seed)));
  Add(l, SampleLine(seed + 4, w));

  TEntJwwDimension dim;
  dim.Attr = SampleAttr(seed + 5, 1, w);
  dim.Line = SampleLine(seed + 6, w);
  dim.Text = SampleText(seed + 7, w, "1,820");
  dim.ExtLine1.Attr = dim.ExtLine2.Attr = dim.Attr;
  for (TEntJwwPoint& p : dim.ExtPoints) {
    p.Attr = dim.Attr;
    p.Attr.PenStyle = 0;
  }
  if (version >= 420) {
    dim.ExtFlag = 1;
    dim.ExtLine1 = SampleLine(seed + 8, w);
    dim.ExtLine2 = SampleLine(seed + 9, w);
    for (int i = 0; i < 4; ++i) dim.ExtPoints[i] = SamplePoint(seed + 10 + i, i == 2, w);
  }
  Add(l, dim);

  TEntJwwSolid own;
  own.Attr = SampleAttr(seed + 14, 1, w);
  own.Attr.PenColor = 10;
  own.X1 = 1, own.Y1 = 2, own.X2 = 3, own.Y2 = 4, own.X3 = 5, own.Y3 = 6, own.X4 = 7;
  own.Y4 = 8 + seed;
  own.Rgb = 0x00FF8040;
  Add(l, own);
  Add(l, SamplePoint(seed + 15, false, w));
  TEntJwwSolid plain = own;
  plain.Attr = SampleAttr(seed + 16, 1, w);
  plain.Rgb = 0;
  Add(l, plain);
  Add(l, SampleText(seed + 17, w, std::string(300, 'x') + "\x95\x5C"));

  int k = 0;
  for (std::int32_t number : blockNumbers) {
    TEntJwwBlockRef b;
    b.Attr = SampleAttr(seed + 18 + k, 1, w);
    b.RefX = 100 + k;
    b.RefY = 200 - k;
    b.ScaleX = 1;
    b.ScaleY = 2;
    b.Rotation = 0.5 * k;
    b.BlockNumber = number;
    Add(l, b);
    ++k;
  }
  return l;
}

TEntJwwBlockDef SampleBlockDef(std::int32_t version, std::int32_t number, const std::string& name,
                               TEntityLists l) {
  TEntJwwBlockDef d;
  d.Attr = SampleAttr(number, 1, version >= 351);
  d.Number = number;
  d.FlagWord = 0x100 + number;
  d.Stamp = 0x5F000000 + number;
  d.Name = name;
  d.EntityCount = static_cast<std::int32_t>(l.EntityTable.size());
  d.Entities = std::move(l);
  return d;
}

// ---- the stream through the program's reader and writer -----------------------

long long ReadStream(const std::vector<std::uint8_t>& bytes, std::int32_t version, TJwwData& d) {
  testutil::MemoryFile f(bytes);
  JwwReader r(f);
  d.Header.Version = version;
  TTagState tags;
  d.Header.EntityCount = ReadEntityList(r, version, tags, d);
  d.ReadBlockDefs(r, tags);
  d.ResolveBlockUse();
  return r.Position();
}

std::vector<std::uint8_t> WriteStream(TJwwData& d) {
  testutil::MemoryFile f;
  JwwWriter w(f);
  TTagState tags;
  WriteEntityList(w, tags, d, d);
  d.WriteBlockDefs(w, tags);
  w.Flush();
  return f.bytes;
}

}  // namespace jwwfixture
