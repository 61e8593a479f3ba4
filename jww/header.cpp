// The header of a JWW file: identifier, version, memo, layer tables and the
// drawing-wide settings of the CAD program, up to the first byte of the
// entity stream. Sections H1 to H18 follow one another with nothing between
// them; each has a reader and a writer below, side by side, in file order.
// Fixed sections are read as one block and taken apart with a ByteCursor,
// and written by building the block in a ByteSink.
//
// Almost everything is carried through unchanged. The writer corrects a few
// values (pen ranges, blank extended names, bad extended line types) and
// gives a drawing of an older layout the values a 7.00 file carries; each
// rule sits with the section it touches.

#include <string>

#include "jww/jwwunit.h"
#include "text/sjis.h"

namespace {

constexpr std::size_t kLayerGroups = 16;
constexpr std::size_t kLayersPerGroup = 16;
constexpr std::size_t kLayers = kLayerGroups * kLayersPerGroup;
constexpr std::size_t kPens = 10;
constexpr std::size_t kLineTypes = 8;
constexpr std::size_t kRandomLines = 5;
constexpr std::size_t kDoubleLineTypes = 4;
constexpr std::size_t kColorsEx = 257;
constexpr std::size_t kLineTypesEx = 33;
constexpr std::size_t kTextKinds = 10;

// A table entry, or a cleared one when the table is shorter (a drawing that
// never went through ReadHeader still writes a well-formed header).
template <typename T>
const T& Entry(const std::vector<T>& table, std::size_t i) {
  static const T cleared{};
  return i < table.size() ? table[i] : cleared;
}

void Put(JwwWriter& w, const ByteSink& s) {
  w.WriteExact(s.bytes.data(), s.bytes.size());
}

// An extended colour or line-type name on its way out: cleaned, and given
// `prefix` + index when nothing but blanks is left. A header holds some
// three hundred of them, nearly all clean already: those go out as they are.
void WriteExtendedName(JwwWriter& w, const JwwStr& name, const char* prefix, std::size_t index) {
  if (!name.verbatim() && TextIsCleanForWrite(name.text()) && !IsBlankText(name.text()))
    return WriteJwwString(w, name);
  const JwwStr cleaned = CleanForWrite(name);
  if (IsBlankText(cleaned.text())) return WriteJwwString(w, JwwStr(prefix + std::to_string(index)));
  WriteJwwString(w, cleaned);
}

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

std::int32_t RgbOrZero(std::int32_t c) {
  return c < 0 || c > 0xFFFFFF ? 0 : c;
}

// ---- H1: identifier and version ----------------------------------------------

void ReadIdentity(JwwReader& r, TEntJwwHeader& h) {
  r.ReadExact(h.Identifier.data(), h.Identifier.size());
  h.Version = r.ReadDword();
}

void WriteIdentity(JwwWriter& w, const TEntJwwHeader& h, std::int32_t v) {
  w.WriteExact(h.Identifier.data(), h.Identifier.size());
  w.WriteDword(v);
}

// ---- H2: memo, paper size, write layer group -----------------------------------

void ReadBasics(JwwReader& r, TEntJwwHeader& h) {
  h.Memo = ReadJwwString(r);  // not a name: its CR LF must survive
  h.PaperSize = r.ReadDword();
  h.WriteLayerGroup = r.ReadDword();
}

void WriteBasics(JwwWriter& w, const TEntJwwHeader& h) {
  WriteJwwString(w, h.Memo);
  w.WriteDword(h.PaperSize);
  w.WriteDword(h.WriteLayerGroup);
}

// ---- H3: 16 layer groups of 148 bytes, each with its 16 layers ------------------

constexpr std::size_t kGroupBlock = 148;

void ReadLayerStates(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(kLayerGroups * kGroupBlock);
  ByteCursor c(block);
  for (std::size_t g = 0; g < kLayerGroups; ++g) {
    TEntJwwLayerGroup& group = d.LayerGroups[g];
    group.State = c.Dword();
    group.WriteLayer = c.Dword();
    group.Scale = c.Double();
    group.Protect = c.Dword();
    for (std::size_t k = 0; k < kLayersPerGroup; ++k) {
      TEntJwwLayer& layer = d.Layers[g * kLayersPerGroup + k];
      layer.State = c.Dword();
      layer.Protect = c.Dword();
    }
  }
}

void WriteLayerStates(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (std::size_t g = 0; g < kLayerGroups; ++g) {
    const TEntJwwLayerGroup& group = Entry(d.LayerGroups, g);
    s.Dword(group.State);
    s.Dword(group.WriteLayer);
    s.Double(group.Scale);
    s.Dword(group.Protect);
    for (std::size_t k = 0; k < kLayersPerGroup; ++k) {
      const TEntJwwLayer& layer = Entry(d.Layers, g * kLayersPerGroup + k);
      s.Dword(layer.State);
      s.Dword(layer.Protect);
    }
  }
  Put(w, s);
}

// ---- H4: 56 reserved bytes ------------------------------------------------------
// Called reserved, yet real drawings carry values here: they go back as read.

void ReadReserved(JwwReader& r, TEntJwwHeader& h) {
  r.ReadExact(h.Reserved.data(), h.Reserved.size());
}

void WriteReserved(JwwWriter& w, const TEntJwwHeader& h) {
  w.WriteExact(h.Reserved.data(), h.Reserved.size());
}

// ---- H5: dimension settings and line width, 28 bytes ----------------------------

void ReadDimensions(JwwReader& r, TEntJwwHeader& h) {
  const auto block = r.ReadBlock(28);
  ByteCursor c(block);
  for (auto& setting : h.DimSettings) setting = c.Dword();
  h.DimReserved = c.Dword();
  h.MaxLineDrawWidth = c.Dword();
}

void WriteDimensions(JwwWriter& w, const TEntJwwHeader& h, std::int32_t v) {
  ByteSink s;
  for (auto setting : h.DimSettings) s.Dword(setting);
  s.Dword(h.DimReserved);
  // Files up to 4.20 carry no width below -101.
  s.Dword(LimitsDrawWidth(v) && h.MaxLineDrawWidth < -101 ? -101 : h.MaxLineDrawWidth);
  Put(w, s);
}

// ---- H6: printing and grid, 72 bytes --------------------------------------------

void ReadPrintGrid(JwwReader& r, TEntJwwHeader& h) {
  const auto block = r.ReadBlock(72);
  ByteCursor c(block);
  h.PrintOriginX = c.Double();
  h.PrintOriginY = c.Double();
  h.PrintScale = c.Double();
  h.PrintRotate90 = c.Dword();
  h.GridMode = c.Dword();
  h.GridMinSpacing = c.Double();
  h.GridSpacingX = c.Double();
  h.GridSpacingY = c.Double();
  h.GridBaseX = c.Double();
  h.GridBaseY = c.Double();
}

void WritePrintGrid(JwwWriter& w, const TEntJwwHeader& h) {
  ByteSink s;
  s.Double(h.PrintOriginX);
  s.Double(h.PrintOriginY);
  s.Double(h.PrintScale);
  s.Dword(h.PrintRotate90);
  s.Dword(h.GridMode);
  s.Double(h.GridMinSpacing);
  s.Double(h.GridSpacingX);
  s.Double(h.GridSpacingY);
  s.Double(h.GridBaseX);
  s.Double(h.GridBaseY);
  Put(w, s);
}

// ---- H7: 256 layer names, then 16 layer group names ------------------------------

void ReadNames(JwwReader& r, TJwwData& d) {
  for (std::size_t i = 0; i < kLayers; ++i) d.Layers[i].Name = ReadJwwName(r);
  for (std::size_t g = 0; g < kLayerGroups; ++g) d.LayerGroups[g].Name = ReadJwwName(r);
}

void WriteNames(JwwWriter& w, const TJwwData& d) {
  for (std::size_t i = 0; i < kLayers; ++i) WriteCleanJwwString(w, Entry(d.Layers, i).Name);
  for (std::size_t g = 0; g < kLayerGroups; ++g)
    WriteCleanJwwString(w, Entry(d.LayerGroups, g).Name);
}

// ---- H8: shadows and sky map: 44 bytes above 2.30, else 28 ----------------------
// Versions 2.31-2.99 have the 44-byte form but their sky-map values are not
// taken: they are read past and written as zeros.

std::size_t ShadowLength(std::int32_t v) {
  return HasLongShadowsAndJumps(v) ? 44 : 28;
}

void ReadShadows(JwwReader& r, TEntJwwHeader& h) {
  const auto block = r.ReadBlock(ShadowLength(h.Version));
  ByteCursor c(block);
  h.SunShadowHeight = c.Double();
  h.Latitude = c.Double();
  h.Flag9To15 = c.Dword();
  h.WallShadowHeight = c.Double();
  if (HasSkyMap(h.Version)) {
    h.SkyMapHeight = c.Double();
    h.SkyMapRadius = c.Double();
  }
}

void WriteShadows(JwwWriter& w, const TEntJwwHeader& h, std::int32_t v) {
  ByteSink s;
  s.Double(h.SunShadowHeight);
  s.Double(h.Latitude);
  s.Dword(h.Flag9To15);
  s.Double(h.WallShadowHeight);
  if (HasSkyMap(v)) {
    s.Double(h.SkyMapHeight);
    s.Double(h.SkyMapRadius);
  } else if (ShadowLength(v) == 44) {
    s.Zeros(16);
  }
  Put(w, s);
}

// ---- H9: view settings, 52 bytes ------------------------------------------------

void ReadView(JwwReader& r, TEntJwwHeader& h) {
  const auto block = r.ReadBlock(52);
  ByteCursor c(block);
  h.Unit25D = c.Dword();
  h.ScreenScale = c.Double();
  h.ScreenOriginX = c.Double();
  h.ScreenOriginY = c.Double();
  h.RangeScale = c.Double();
  h.RangeOriginX = c.Double();
  h.RangeOriginY = c.Double();
}

void WriteView(JwwWriter& w, const TEntJwwHeader& h) {
  ByteSink s;
  s.Dword(h.Unit25D);
  s.Double(h.ScreenScale);
  s.Double(h.ScreenOriginX);
  s.Double(h.ScreenOriginY);
  s.Double(h.RangeScale);
  s.Double(h.RangeOriginX);
  s.Double(h.RangeOriginY);
  Put(w, s);
}

// ---- H10: mark jumps and text display: 280 bytes above 2.30, else 96 ------------
// The short form has jumps 1-4 without layer groups; the rest keep their
// cleared values (scale 1, layer group -1).

void ReadJumps(JwwReader& r, TEntJwwHeader& h) {
  const bool full = HasLongShadowsAndJumps(h.Version);
  const auto block = r.ReadBlock(full ? 280 : 96);
  ByteCursor c(block);
  for (int n = 1; n <= (full ? 8 : 4); ++n) {
    h.JumpScale[n] = c.Double();
    h.JumpX[n] = c.Double();
    h.JumpY[n] = c.Double();
    if (full) h.JumpLayerGroup[n] = c.Dword();
  }
  if (!full) return;
  h.TextDisp1 = c.Double();
  h.TextDisp2 = c.Double();
  h.TextDisp3 = c.Double();
  h.TextDisp4 = c.Dword();
  h.TextDisp5 = c.Double();
  h.TextDisp6 = c.Double();
  h.TextDisp7 = c.Double();
  h.TextDisp8 = c.Dword();
}

void WriteJumps(JwwWriter& w, const TEntJwwHeader& h, std::int32_t v) {
  const bool full = HasLongShadowsAndJumps(v);
  ByteSink s;
  for (int n = 1; n <= (full ? 8 : 4); ++n) {
    s.Double(h.JumpScale[n]);
    s.Double(h.JumpX[n]);
    s.Double(h.JumpY[n]);
    if (full) s.Dword(h.JumpLayerGroup[n]);
  }
  if (full) {
    s.Double(h.TextDisp1);
    s.Double(h.TextDisp2);
    s.Double(h.TextDisp3);
    s.Dword(h.TextDisp4);
    s.Double(h.TextDisp5);
    s.Double(h.TextDisp6);
    s.Double(h.TextDisp7);
    s.Dword(h.TextDisp8);
  }
  Put(w, s);
}

// ---- H11: parallel-line spacings and screen pens, 168 bytes ---------------------

void ReadScreenPens(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(168);
  ByteCursor c(block);
  for (auto& spacing : d.Header.ParallelSpacing) spacing = c.Double();
  d.Header.ParallelEndOffset = c.Double();
  for (std::size_t i = 0; i < kPens; ++i) {
    d.Pens[i].ScreenColor = c.Dword();
    d.Pens[i].ScreenWidth = c.Dword();
  }
}

void WriteScreenPens(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (auto spacing : d.Header.ParallelSpacing) s.Double(spacing);
  s.Double(d.Header.ParallelEndOffset);
  for (std::size_t i = 0; i < kPens; ++i) {
    const TEntJwwPen& pen = Entry(d.Pens, i);
    s.Dword(RgbOrZero(pen.ScreenColor));
    s.Dword(Clamp(pen.ScreenWidth, 1, 16));
  }
  Put(w, s);
}

// ---- H12: printer pens, 160 bytes -----------------------------------------------

void ReadPrinterPens(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(160);
  ByteCursor c(block);
  for (std::size_t i = 0; i < kPens; ++i) {
    d.Pens[i].PrinterColor = c.Dword();
    d.Pens[i].PrinterWidth = c.Dword();
    d.Pens[i].PointRadius = c.Double();
  }
}

void WritePrinterPens(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (std::size_t i = 0; i < kPens; ++i) {
    const TEntJwwPen& pen = Entry(d.Pens, i);
    // Pen colour 0 is the background; its printer colour is always white.
    s.Dword(i == 0 ? 0xFFFFFF : RgbOrZero(pen.PrinterColor));
    s.Dword(Clamp(pen.PrinterWidth, 1, 500));
    double radius = pen.PointRadius;
    if (radius < 0.1) radius = 0.1;
    if (radius > 10.0) radius = 10.0;
    s.Double(radius);
  }
  Put(w, s);
}

// ---- H13: line types 2-9, 128 bytes ---------------------------------------------

void ReadLineTypes(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(128);
  ByteCursor c(block);
  for (std::size_t i = 0; i < kLineTypes; ++i) {
    TEntJwwLineType& t = d.LineTypes[i];
    t.Pattern = c.Dword();
    t.DotsPerUnit = c.Dword();
    t.ScreenPitch = c.Dword();
    t.PrinterPitch = c.Dword();
  }
}

void PutLineType(ByteSink& s, const TEntJwwLineType& t) {
  s.Dword(t.Pattern);
  s.Dword(t.DotsPerUnit);
  s.Dword(t.ScreenPitch);
  s.Dword(t.PrinterPitch);
}

void WriteLineTypes(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (std::size_t i = 0; i < kLineTypes; ++i) PutLineType(s, Entry(d.LineTypes, i));
  Put(w, s);
}

// ---- H14: random lines and double-length line types, 164 bytes ------------------

void ReadRandomLines(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(164);
  ByteCursor c(block);
  for (std::size_t i = 0; i < kRandomLines; ++i) {
    TEntJwwRandomLine& t = d.RandomLines[i];
    t.Pattern = c.Dword();
    t.ScreenAmplitude = c.Dword();
    t.ScreenPitch = c.Dword();
    t.PrinterAmplitude = c.Dword();
    t.PrinterPitch = c.Dword();
  }
  for (std::size_t i = 0; i < kDoubleLineTypes; ++i) {
    TEntJwwLineType& t = d.DoubleLineTypes[i];
    t.Pattern = c.Dword();
    t.DotsPerUnit = c.Dword();
    t.ScreenPitch = c.Dword();
    t.PrinterPitch = c.Dword();
  }
}

void WriteRandomLines(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (std::size_t i = 0; i < kRandomLines; ++i) {
    const TEntJwwRandomLine& t = Entry(d.RandomLines, i);
    s.Dword(t.Pattern);
    s.Dword(t.ScreenAmplitude);
    s.Dword(t.ScreenPitch);
    s.Dword(t.PrinterAmplitude);
    s.Dword(t.PrinterPitch);
  }
  for (std::size_t i = 0; i < kDoubleLineTypes; ++i) PutLineType(s, Entry(d.DoubleLineTypes, i));
  Put(w, s);
}

// ---- H15: display and print options and later additions -------------------------
// 44 bytes from 2.20, 104 from 2.23, 136 from 2.25, 144 from 2.30. A version
// between two of these takes the layout of the lower one.

std::size_t OptionsLength(std::int32_t v) {
  if (v >= 230) return 144;
  if (v >= 225) return 136;
  if (v >= 223) return 104;
  return 44;
}

void ReadOptions(JwwReader& r, TEntJwwHeader& h) {
  const std::size_t length = OptionsLength(h.Version);
  const auto block = r.ReadBlock(length);
  ByteCursor c(block);
  for (auto& option : h.Options) option = c.Dword();
  // Split as the unsigned word it is: a signed split of a word with the top
  // bit set gives negative digits, which the writer's "at least one ten"
  // rule would change again on every save.
  const auto word = static_cast<std::uint32_t>(c.Dword());
  h.Option11Tens = static_cast<std::int32_t>(word / 10);
  h.Option11Units = static_cast<std::int32_t>(word % 10);
  if (length >= 104) {
    h.DrawingTime = c.Dword();
    h.EyeSet = c.Dword();
    for (auto& angle : h.EyeAngle) angle = c.Dword();
    h.PerspEyeHeight = c.Double();
    h.PerspEyeDistance = c.Double();
    h.BirdEyeHeight = c.Double();
    h.BirdEyeDistance = c.Double();
    h.IsoVerticalAngle = c.Double();
  }
  if (length >= 136) {
    h.LastLineLength = c.Double();
    h.LastRectWidth = c.Double();
    h.LastRectHeight = c.Double();
    h.LastCircleRadius = c.Double();
  }
  if (length >= 144) {
    h.SolidColorFlag = c.Dword();
    h.SolidColor = c.Dword();
  }
}

void WriteOptions(JwwWriter& w, const TEntJwwHeader& h, std::int32_t v) {
  const std::size_t length = OptionsLength(v);
  ByteSink s;
  for (auto option : h.Options) s.Dword(option);
  // From 6.00 on the word always carries a tens digit of at least 1.
  std::int64_t word = h.Option11Units;
  if (HasOption11Tens(v)) word += h.Option11Tens > 0 ? std::int64_t{h.Option11Tens} * 10 : 10;
  s.Dword(static_cast<std::int32_t>(word));
  if (length >= 104) {
    s.Dword(h.DrawingTime);
    s.Dword(h.EyeSet);
    for (auto angle : h.EyeAngle) s.Dword(angle);
    s.Double(h.PerspEyeHeight);
    s.Double(h.PerspEyeDistance);
    s.Double(h.BirdEyeHeight);
    s.Double(h.BirdEyeDistance);
    s.Double(h.IsoVerticalAngle);
  }
  if (length >= 136) {
    s.Double(h.LastLineLength);
    s.Double(h.LastRectWidth);
    s.Double(h.LastRectHeight);
    s.Double(h.LastCircleRadius);
  }
  if (length >= 144) {
    s.Dword(h.SolidColorFlag);
    s.Dword(h.SolidColor);
  }
  Put(w, s);
}

// ---- H16: extended colours and line types, from 4.20 on -------------------------
// Four runs: 257 screen pairs, 257 named printer entries, 33 line-type
// patterns, 33 named line types with ten pitches.

// An extended line type beyond 16 needs 2, 4, 6 or 8 segments; any other
// count is written as a plain two-segment dash.
bool BadSegmentCount(std::size_t i, std::int32_t count) {
  return i > 16 && count != 2 && count != 4 && count != 6 && count != 8;
}

void ReadExtended(JwwReader& r, TJwwData& d) {
  {
    const auto block = r.ReadBlock(kColorsEx * 8);
    ByteCursor c(block);
    for (auto& color : d.ColorsEx) {
      color.ScreenColor = c.Dword();
      color.ScreenWidth = c.Dword();
    }
  }
  for (auto& color : d.ColorsEx) {
    color.Name = ReadJwwName(r);
    color.PrinterColor = r.ReadDword();
    color.PrinterWidth = r.ReadDword();
    color.PointRadius = r.ReadDouble();
  }
  {
    const auto block = r.ReadBlock(kLineTypesEx * 16);
    ByteCursor c(block);
    for (auto& type : d.LineTypesEx) {
      type.Pattern = c.Dword();
      type.DotsPerUnit = c.Dword();
      type.ScreenPitch = c.Dword();
      type.PrinterPitch = c.Dword();
    }
  }
  for (auto& type : d.LineTypesEx) {
    type.Name = ReadJwwName(r);
    type.SegmentCount = r.ReadDword();
    for (auto& pitch : type.Pitches) pitch = r.ReadDouble();
  }
}

void WriteExtended(JwwWriter& w, const TJwwData& d) {
  // One sink for the whole run: the section is some six hundred small blocks.
  ByteSink s;
  for (std::size_t i = 0; i < kColorsEx; ++i) {
    s.Dword(Entry(d.ColorsEx, i).ScreenColor);
    s.Dword(Entry(d.ColorsEx, i).ScreenWidth);
  }
  Put(w, s);
  for (std::size_t i = 0; i < kColorsEx; ++i) {
    const TEntJwwColorExNo& color = Entry(d.ColorsEx, i);
    WriteExtendedName(w, color.Name, "Color_", i);
    s.bytes.clear();
    // Colours beyond the 16 pens print as they show.
    s.Dword(i > 16 ? color.ScreenColor : color.PrinterColor);
    s.Dword(color.PrinterWidth);
    s.Double(color.PointRadius);
    Put(w, s);
  }
  s.bytes.clear();
  for (std::size_t i = 0; i < kLineTypesEx; ++i) {
    const TEntJwwLineTypeExNo& type = Entry(d.LineTypesEx, i);
    if (BadSegmentCount(i, type.SegmentCount)) {
      s.Dword(static_cast<std::int32_t>(0xC3C3C3C3u));
      s.Dword(8);
      s.Dword(1);
      s.Dword(8);
      continue;
    }
    s.Dword(type.Pattern == 0 ? -1 : type.Pattern);  // 0 would draw nothing
    s.Dword(type.DotsPerUnit);
    s.Dword(type.ScreenPitch);
    s.Dword(type.PrinterPitch);
  }
  Put(w, s);
  for (std::size_t i = 0; i < kLineTypesEx; ++i) {
    const TEntJwwLineTypeExNo& type = Entry(d.LineTypesEx, i);
    const bool bad = BadSegmentCount(i, type.SegmentCount);
    if (bad)
      WriteJwwString(w, JwwStr("LType_" + std::to_string(i)));
    else
      WriteExtendedName(w, type.Name, "LType_", i);
    s.bytes.clear();
    s.Dword(bad ? 2 : type.SegmentCount);
    for (std::size_t k = 0; k < type.Pitches.size(); ++k)
      s.Double(bad ? (k < 2 ? 1.0 : 0.0) : type.Pitches[k]);
    Put(w, s);
  }
}

// ---- H17: text kinds 1-10, 280 bytes --------------------------------------------

void ReadTextKinds(JwwReader& r, TJwwData& d) {
  const auto block = r.ReadBlock(280);
  ByteCursor c(block);
  for (auto& kind : d.TextKinds) {
    kind.Width = c.Double();
    kind.Height = c.Double();
    kind.Spacing = c.Double();
    kind.Color = c.Dword();
  }
}

void WriteTextKinds(JwwWriter& w, const TJwwData& d) {
  ByteSink s;
  for (std::size_t i = 0; i < kTextKinds; ++i) {
    const TEntJwwTextKind& kind = Entry(d.TextKinds, i);
    s.Double(kind.Width);
    s.Double(kind.Height);
    s.Double(kind.Spacing);
    s.Dword(kind.Color);
  }
  Put(w, s);
}

// ---- H18: current text settings, 100 bytes --------------------------------------

void ReadTextSettings(JwwReader& r, TEntJwwHeader& h) {
  const auto block = r.ReadBlock(100);
  ByteCursor c(block);
  h.TextWidth = c.Double();
  h.TextHeight = c.Double();
  h.TextSpacing = c.Double();
  h.TextColor = c.Dword();
  h.TextKind = c.Dword();
  h.ArrangeLineSpacing = c.Double();
  h.ArrangeCharCount = c.Double();
  h.UseShiftedBase = c.Dword();
  for (auto& shift : h.BaseShiftH) shift = c.Double();
  for (auto& shift : h.BaseShiftV) shift = c.Double();
}

void WriteTextSettings(JwwWriter& w, const TEntJwwHeader& h) {
  ByteSink s;
  s.Double(h.TextWidth);
  s.Double(h.TextHeight);
  s.Double(h.TextSpacing);
  s.Dword(h.TextColor);
  s.Dword(h.TextKind);
  s.Double(h.ArrangeLineSpacing);
  s.Double(h.ArrangeCharCount);
  s.Dword(h.UseShiftedBase);
  for (auto shift : h.BaseShiftH) s.Double(shift);
  for (auto shift : h.BaseShiftV) s.Double(shift);
  Put(w, s);
}

}  // namespace

void TJwwData::ReadHeader(JwwReader& r) {
  // Every table at its full size with zeroed entries, before anything is
  // read: what a short file leaves unread stays cleared.
  Header = TEntJwwHeader{};
  LayerGroups.assign(kLayerGroups, {});
  Layers.assign(kLayers, {});
  Pens.assign(kPens, {});
  LineTypes.assign(kLineTypes, {});
  RandomLines.assign(kRandomLines, {});
  DoubleLineTypes.assign(kDoubleLineTypes, {});
  ColorsEx.assign(kColorsEx, {});
  LineTypesEx.assign(kLineTypesEx, {});
  TextKinds.assign(kTextKinds, {});

  ReadIdentity(r, Header);
  if (Header.Version < kOldestReadableVersion) return;  // the caller refuses the file
  ReadBasics(r, Header);
  ReadLayerStates(r, *this);
  ReadReserved(r, Header);
  ReadDimensions(r, Header);
  ReadPrintGrid(r, Header);
  ReadNames(r, *this);
  ReadShadows(r, Header);
  ReadView(r, Header);
  ReadJumps(r, Header);
  ReadScreenPens(r, *this);
  ReadPrinterPens(r, *this);
  ReadLineTypes(r, *this);
  ReadRandomLines(r, *this);
  ReadOptions(r, Header);
  if (HasExtendedTables(Header.Version)) ReadExtended(r, *this);
  ReadTextKinds(r, *this);
  ReadTextSettings(r, Header);
}

void TJwwData::WriteHeader(JwwWriter& w, std::int32_t version) {
  const std::int32_t v = version;
  WriteIdentity(w, Header, v);
  WriteBasics(w, Header);
  WriteLayerStates(w, *this);
  WriteReserved(w, Header);
  WriteDimensions(w, Header, v);
  WritePrintGrid(w, Header);
  WriteNames(w, *this);
  WriteShadows(w, Header, v);
  WriteView(w, Header);
  WriteJumps(w, Header, v);
  WriteScreenPens(w, *this);
  WritePrinterPens(w, *this);
  WriteLineTypes(w, *this);
  WriteRandomLines(w, *this);
  WriteOptions(w, Header, v);
  if (HasExtendedTables(v)) WriteExtended(w, *this);
  WriteTextKinds(w, *this);
  WriteTextSettings(w, Header);
}
