#include "external/JwwGaibu.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/sjis.h"

TGaibuData GaibuData;

namespace {

// A line holds at most 32 fields. Fields 33 and later of a longer line are
// ignored: no rule reads past field 17, and the limit keeps an endless line
// of blanks and words from costing anything.
constexpr int kMaxFields = 32;
constexpr std::size_t kLayerGroups = 16;
constexpr std::size_t kLayers = 256;
constexpr std::size_t kNumberedPointSlots = 100;
// Texts and font names go into fixed 255-byte fields of the drawing.
constexpr int kMaxTextBytes = 255;
// Coordinates come with about 15 significant digits, so a corner written
// twice may differ in its last digit; this close is the same corner.
constexpr double kSamePoint = 1e-10;

struct Fields {
  std::array<std::string, kMaxFields> field;
  int n = 1;
  // Field i, numbered from 1; fields beyond n are empty.
  const std::string& operator[](int i) const { return field[static_cast<std::size_t>(i - 1)]; }
};

// Splits one line (without its line break) into blank-separated fields.
// Jw_cad puts a double quote before a text that may hold blanks, and writes
// "file=" and similar keys with the value glued to the "=": either ends the
// splitting, so the rest of the line is one field, blanks and all.
Fields SplitLine(const std::string& line) {
  Fields out;
  int current = 1;
  bool splitting = true;
  std::size_t i = 0;
  auto field = [&]() -> std::string& { return out.field[static_cast<std::size_t>(current - 1)]; };
  while (i < line.size()) {
    const auto b = static_cast<std::uint8_t>(line[i]);
    if (IsSjisLeadByte(b)) {
      // A double-byte character (the full-width space included) never
      // separates fields; half of one at the end of a line is no text.
      if (i + 1 >= line.size()) break;
      field().append(line, i, 2);
      i += 2;
      continue;
    }
    if (splitting) {
      if (b == '"') {
        splitting = false;
        ++i;
        continue;
      }
      if (b == '=') {
        field().push_back('=');
        splitting = false;
        ++i;
        continue;
      }
      if (b == ' ' || b == '\t') {
        if (!field().empty()) {
          if (current == kMaxFields) break;
          ++current;
        }
        ++i;
        continue;
      }
    }
    if (b >= 0x20 && b <= 0xFD) field().push_back(static_cast<char>(b));
    ++i;
  }
  out.n = current;
  return out;
}

bool Is(const std::string& s, const char* key) {
  return s == key;
}

bool Begins(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The bytes of s from 1-based position k to its end. Every caller cuts
// after an ASCII key, so k is always on a character boundary.
std::string From(const std::string& s, std::size_t k) {
  return k - 1 < s.size() ? s.substr(k - 1) : std::string();
}

// The 1-based position of the first occurrence of `needle` that starts on a
// character boundary, or 0: "ch" inside a double-byte character is no
// suffix.
std::size_t FindChars(const std::string& s, const char* needle) {
  const std::size_t len = std::strlen(needle);
  for (std::size_t i = 0; i < s.size();
       i += IsSjisLeadByte(static_cast<std::uint8_t>(s[i])) ? 2 : 1) {
    if (s.compare(i, len, needle) == 0) return i + 1;
  }
  return 0;
}

std::int32_t Int(const std::string& s) {
  return TextToIntOrZero(s);
}

double Real(const std::string& s) {
  return TextToFloatOrZero(s);
}

// The hexadecimal digit at 1-based position k of s; 0 for anything else.
std::int32_t HexDigitAt(const std::string& s, std::size_t k) {
  if (k - 1 >= s.size()) return 0;
  const char c = s[k - 1];
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Fields first .. first + N - 1 as reals.
template <std::size_t N>
std::array<double, N> Reals(const Fields& f, int first) {
  std::array<double, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = Real(f[first + static_cast<int>(i)]);
  return out;
}

// Table writes. The tables are empty after FreeGaibuData; a read that was
// not preceded by a reset must not write outside them.
template <class T>
void SetAt(std::vector<T>& table, std::size_t index, T value) {
  if (index < table.size()) table[index] = std::move(value);
}

std::size_t CurrentLayerIndex(const TGaibuData& g) {
  return static_cast<std::size_t>(g.LayerGroup) * 16 + static_cast<std::size_t>(g.Layer);
}

TGaibuHead CurrentHead(const TGaibuData& g) {
  TGaibuHead h;
  h.PointTag = g.PointTag;
  h.LayerGroup = g.LayerGroup;
  h.Layer = g.Layer;
  h.Color = g.Color;
  h.LineType = g.LineType;
  h.LineWidth = g.LineWidth;
  h.ZFlags = g.ZFlags;
  return h;
}

// Appends a record with the current head to `list` and its entry to the
// order list.
template <class T>
T& NewRecord(TGaibuData& g, std::vector<T>& list, TGaibuKind kind) {
  g.Order.push_back({kind, static_cast<std::int32_t>(list.size())});
  T& record = list.emplace_back();
  record.Head = CurrentHead(g);
  return record;
}

// After every record the z flags are spent; every record but a plain line
// also ends a polyline and a msg group.
void EndRecord(TGaibuData& g, bool plainLine) {
  g.ZFlags = 0;
  if (!plainLine) {
    g.PolylineMode = false;
    g.MsgMode = false;
  }
}

// ---- State lines ----------------------------------------------------------

void LayerGroupLine(TGaibuData& g, const Fields& f) {
  g.LayerGroup = HexDigitAt(f[1], 3);
  if (f.n >= 2) SetAt(g.LayerGroupValues, static_cast<std::size_t>(g.LayerGroup), Int(f[2]));
  g.PolylineMode = false;
  if (g.FirstLayerGroupPending) {
    g.FirstLayerGroupPending = false;
    g.FirstLayerGroup = g.LayerGroup;
  }
}

void LayerLine(TGaibuData& g, const Fields& f) {
  g.Layer = HexDigitAt(f[1], 3);
  if (f.n >= 2) SetAt(g.LayerValues, CurrentLayerIndex(g), Int(f[2]));
  g.PolylineMode = false;
  if (g.FirstLayerPending) {
    g.FirstLayerPending = false;
    g.FirstLayer = g.Layer;
  }
}

void ColorLine(TGaibuData& g, const Fields& f) {
  g.Color = Int(From(f[1], 3));
  // Colour 10 is Jw_cad's "any colour" of solids; its value follows.
  if (g.Color == 10 && f.n >= 2) g.SolidColor = Int(f[2]);
  g.PolylineMode = false;
  if (g.FirstColorPending) {
    g.FirstColorPending = false;
    g.FirstColor = g.Color;
  }
}

void LineTypeLine(TGaibuData& g, const Fields& f) {
  g.LineType = Int(From(f[1], 3));
  g.PolylineMode = false;
  if (g.FirstLineTypePending) {
    g.FirstLineTypePending = false;
    g.FirstLineType = g.LineType;
  }
}

void LineWidthLine(TGaibuData& g, const Fields& f) {
  g.LineWidth = Int(From(f[1], 3));
  g.PolylineMode = false;
  if (g.FirstLineWidthPending) {
    g.FirstLineWidthPending = false;
    g.FirstLineWidth = g.LineWidth;
  }
}

void FontLine(TGaibuData& g, const Fields& f) {
  g.FontName = From(f[1], 4);
  g.PolylineMode = false;
  if (g.FirstFontName.empty()) g.FirstFontName = g.FontName;
}

void TextKindLine(TGaibuData& g, const Fields& f) {
  g.TextKind = Int(From(f[1], 3));
  // Text kind 0 is a free size, given on the line itself.
  if (g.TextKind == 0 && f.n >= 5) {
    g.TextWidth = Real(f[2]);
    g.TextHeight = Real(f[3]);
    g.TextSpacing = Real(f[4]);
    g.TextColor = Int(f[5]);
  }
  g.PolylineMode = false;
  if (g.FirstTextKindPending) {
    g.FirstTextKindPending = false;
    g.FirstTextKind = g.TextKind;
    g.FirstTextWidth = g.TextWidth;
    g.FirstTextHeight = g.TextHeight;
    g.FirstTextSpacing = g.TextSpacing;
    g.FirstTextColor = g.TextColor;
  }
}

void CcLine(TGaibuData& g, const Fields& f) {
  const std::int32_t cc = Int(f[1].substr(2, 1));
  g.Cc = cc >= 0 && cc <= 8 ? cc : 0;
  g.PolylineMode = false;
}

// "hp<N>[-|ln|ci|ch] x y": numbered point N, with the kind of snap the
// suffix names.
void NumberedPointLine(TGaibuData& g, const Fields& f) {
  const std::string& key = f[1];
  std::string number = From(key, 3);
  std::int32_t suffix = 0;
  const char* const suffixes[] = {"-", "ln", "ci", "ch"};
  for (int code = 1; code <= 4; ++code) {
    const std::size_t p = FindChars(key, suffixes[code - 1]);
    if (p == 0) continue;
    number = p > 3 ? key.substr(2, p - 3) : std::string();
    suffix = code;
  }
  const std::int32_t slot = Int(number);
  if (slot < 1 || slot > 99) return;
  const auto index = static_cast<std::size_t>(slot);
  if (index >= g.NumberedPoints.size()) return;
  TGaibuNumberedPoint& point = g.NumberedPoints[index];
  point.Set = true;
  point.X = Real(f[2]);
  point.Y = Real(f[3]);
  point.Suffix = suffix;
  ++g.NumberedPointCount;
}

// "hhp<tag>[ln|ci|ch]": the point number the entities after it belong to.
void PointTagLine(TGaibuData& g, const Fields& f) {
  const std::string& key = f[1];
  std::size_t length = key.size();
  for (const char* suffix : {"ln", "ci", "ch"}) {
    const std::size_t p = FindChars(key, suffix);
    if (p > 4) length = p - 4;
  }
  g.PointTag = Int(SjisMidBytes(key, 4, static_cast<int>(length)));
}

// ---- Entity lines ---------------------------------------------------------

// The text keys in the order of their key codes.
const char* const kTextKeys[] = {"ch", "cv", "cs", "cr", "co", "cp", "ct", "ck", "cz", "c2"};
constexpr int kCsKeyCode = 2;

int TextKeyCode(const std::string& key) {
  for (int code = 0; code < 10; ++code)
    if (key == kTextKeys[code]) return code;
  return -1;
}

TGaibuText MakeText(const TGaibuData& g, const Fields& f, int keyCode) {
  TGaibuText t;
  t.Head = CurrentHead(g);
  t.KeyCode = keyCode;
  t.Cc = g.Cc;
  t.TextKind = g.TextKind;
  std::int32_t color = g.TextColor;
  if (g.TextKind >= 1 && g.TextKind <= 10) {
    const TGaibuTextKind& k = g.TextKinds[static_cast<std::size_t>(g.TextKind)];
    t.Width = k.Width;
    t.Height = k.Height;
    t.Spacing = k.Spacing;
    color = k.Color;
  } else {
    t.Width = g.TextWidth;
    t.Height = g.TextHeight;
    t.Spacing = g.TextSpacing;
  }
  t.Head.Color = color;
  t.V = Reals<4>(f, 2);
  t.FontName = SjisMidBytes(g.FontName, 1, kMaxTextBytes);
  t.Text = SjisMidBytes(f[6], 1, kMaxTextBytes);
  return t;
}

void TextLine(TGaibuData& g, const Fields& f, int keyCode) {
  if (g.MsgMode && keyCode == kCsKeyCode) {
    // A msg group: the leader line read before, and its text.
    TGaibuLineText& r = NewRecord(g, g.LineTexts, kGaibuLineText);
    r.Line = g.PendingMsgLine;
    r.Line.Polyline = 0;
    r.Text = MakeText(g, f, kCsKeyCode);
  } else {
    TGaibuText& r = NewRecord(g, g.Texts, kGaibuText);
    r = MakeText(g, f, keyCode);
  }
  EndRecord(g, false);
}

void PlainLine(TGaibuData& g, const Fields& f) {
  TGaibuLine line;
  line.Head = CurrentHead(g);
  line.Polyline = g.PolylineMode ? g.PolylineCounter : 0;
  line.Xy = Reals<4>(f, 1);
  if (g.MsgMode) {
    g.PendingMsgLine = line;
  } else {
    g.Order.push_back({kGaibuLine, static_cast<std::int32_t>(g.Lines.size())});
    g.Lines.push_back(line);
  }
  EndRecord(g, true);
}

struct Pt {
  double x, y;
};

bool Same(const Pt& a, const Pt& b) {
  return std::fabs(a.x - b.x) <= kSamePoint && std::fabs(a.y - b.y) <= kSamePoint;
}

template <int N>
void AddSolid(TGaibuData& g, std::vector<TGaibuSolid<N>>& list, TGaibuKind kind,
              const std::array<Pt, N>& points) {
  TGaibuSolid<N>& r = NewRecord(g, list, kind);
  r.SolidColor = g.SolidColor;
  for (std::size_t i = 0; i < points.size(); ++i) {
    r.Xy[2 * i] = points[i].x;
    r.Xy[2 * i + 1] = points[i].y;
  }
  EndRecord(g, false);
}

// Jw_cad writes every solid as its corner points, repeating a corner for a
// triangle or a band; the record keeps only the distinct ones.
void SolidLine(TGaibuData& g, const Fields& f) {
  const Pt p1{Real(f[2]), Real(f[3])}, p2{Real(f[4]), Real(f[5])}, p3{Real(f[6]), Real(f[7])},
      p4{Real(f[8]), Real(f[9])};
  if (f.n == 5) {
    AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p2});
  } else if (f.n == 7) {
    if (Same(p1, p2))
      AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p3});
    else if (Same(p2, p3))
      AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p2});
    else
      AddSolid<3>(g, g.Solids3, kGaibuSolid3, {p1, p2, p3});
  } else if (Same(p1, p2) && Same(p1, p3)) {
    AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p4});
  } else if (Same(p2, p3) && Same(p2, p4)) {
    AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p2});
  } else if (Same(p1, p2) && Same(p3, p4)) {
    AddSolid<2>(g, g.Solids2, kGaibuSolid2, {p1, p3});
  } else if (Same(p4, p1) || Same(p4, p2) || Same(p4, p3)) {
    AddSolid<3>(g, g.Solids3, kGaibuSolid3, {p1, p2, p3});
  } else if (Same(p3, p1) || Same(p3, p2)) {
    AddSolid<3>(g, g.Solids3, kGaibuSolid3, {p1, p2, p4});
  } else if (Same(p2, p1)) {
    AddSolid<3>(g, g.Solids3, kGaibuSolid3, {p1, p3, p4});
  } else {
    AddSolid<4>(g, g.Solids4, kGaibuSolid4, {p1, p2, p3, p4});
  }
}

void ScLine(TGaibuData& g, std::vector<TGaibuSc>& list, TGaibuKind kind, const Fields& f) {
  TGaibuSc& r = NewRecord(g, list, kind);
  r.SolidColor = g.SolidColor;
  r.V = Reals<7>(f, 2);
  r.Code = Int(f[9]);
  EndRecord(g, false);
}

void SoLine(TGaibuData& g, std::vector<TGaibuSo>& list, TGaibuKind kind, const Fields& f) {
  TGaibuSo& r = NewRecord(g, list, kind);
  r.SolidColor = g.SolidColor;
  r.V = Reals<8>(f, 2);
  EndRecord(g, false);
}

// The rules are tried in this order and the first that applies takes the
// line: "lgn" must be tested before "lg", "cn$" before "cn", and a key with
// too few fields for its own rule falls through to the plain line of four
// numbers.
void HandleLine(TGaibuData& g, const std::string& line) {
  const Fields f = SplitLine(line);
  const std::string& key = f[1];
  const int n = f.n;
  if (n == 1 && key.empty()) return;

  if (Begins(key, "file=")) {
    g.FileName = From(key, 6);
  } else if (Is(key, "hk") && n >= 2) {
    g.Hk = Real(f[2]);
  } else if (Is(key, "hs") && n >= 17) {
    g.Hs = Reals<16>(f, 2);
  } else if (Is(key, "hzs") && n >= 3) {
    g.Hzs = Reals<2>(f, 2);
  } else if (Is(key, "hcw") && n >= 11) {
    for (int k = 1; k <= 10; ++k) g.TextKinds[static_cast<std::size_t>(k)].Width = Real(f[k + 1]);
  } else if (Is(key, "hch") && n >= 11) {
    for (int k = 1; k <= 10; ++k) g.TextKinds[static_cast<std::size_t>(k)].Height = Real(f[k + 1]);
  } else if (Is(key, "hcd") && n >= 11) {
    for (int k = 1; k <= 10; ++k) g.TextKinds[static_cast<std::size_t>(k)].Spacing = Real(f[k + 1]);
  } else if (Is(key, "hcc") && n >= 11) {
    for (int k = 1; k <= 10; ++k) g.TextKinds[static_cast<std::size_t>(k)].Color = Int(f[k + 1]);
  } else if (Is(key, "bz")) {
    g.Bz = true;
  } else if (Is(key, "hn") && n >= 5) {
    g.Hn = Reals<4>(f, 2);
  } else if (Begins(key, "lgn")) {
    SetAt(g.LayerGroupNames, static_cast<std::size_t>(g.LayerGroup), From(key, 4));
  } else if (Begins(key, "lyn")) {
    SetAt(g.LayerNames, CurrentLayerIndex(g), From(key, 4));
  } else if (Begins(key, "lg")) {
    LayerGroupLine(g, f);
  } else if (Begins(key, "ly")) {
    LayerLine(g, f);
  } else if (Begins(key, "lc")) {
    ColorLine(g, f);
  } else if (Begins(key, "lt")) {
    LineTypeLine(g, f);
  } else if (Begins(key, "lw")) {
    LineWidthLine(g, f);
  } else if (Begins(key, "cn$")) {
    FontLine(g, f);
  } else if (Begins(key, "cn")) {
    TextKindLine(g, f);
  } else if (Begins(key, "cc")) {
    CcLine(g, f);
  } else if (key.size() == 2 && key[0] == 'z' && key[1] >= '1' && key[1] <= '5') {
    g.ZFlags |= 1 << (key[1] - '1');
  } else if (Begins(key, "pn")) {
    g.PointColor = Int(From(key, 3));
    g.PolylineMode = false;
  } else if (Is(key, "pl")) {
    ++g.PolylineCounter;
    g.PolylineMode = true;
    g.MsgMode = false;
  } else if (Is(key, "msg")) {
    g.MsgMode = true;
    g.PolylineMode = false;
  } else if (Is(key, "#")) {
    g.PolylineMode = false;
    g.MsgMode = false;
  } else if (Begins(key, "hp") && n >= 3) {
    NumberedPointLine(g, f);
  } else if (Begins(key, "hhp")) {
    PointTagLine(g, f);
  } else if (Is(key, "ci") && n == 4) {
    NewRecord(g, g.ShortCis, kGaibuShortCi).V = Reals<3>(f, 2);
    EndRecord(g, false);
  } else if (Is(key, "ci") && n >= 8) {
    NewRecord(g, g.LongCis, kGaibuLongCi).V = Reals<7>(f, 2);
    EndRecord(g, false);
  } else if (TextKeyCode(key) >= 0 && n >= 6) {
    TextLine(g, f, TextKeyCode(key));
  } else if (Is(key, "pt") && n == 3) {
    TGaibuPoint& r = NewRecord(g, g.Points, kGaibuPoint);
    r.Head.Color = g.PointColor;
    r.Xy = Reals<2>(f, 2);
    EndRecord(g, false);
  } else if (Is(key, "pt") && n >= 6) {
    TGaibuLongPoint& r = NewRecord(g, g.LongPoints, kGaibuLongPoint);
    r.Head.Color = g.PointColor;
    r.Xy = Reals<2>(f, 2);
    r.V = Reals<2>(f, 4);
    r.Code = Int(f[6]);
    EndRecord(g, false);
  } else if (Is(key, "BL") && n >= 4) {
    TJwwEntBlk& r = NewRecord(g, g.Blocks, kGaibuBlock);
    r.Xy = Reals<2>(f, 2);
    r.Name = f[4];
    EndRecord(g, false);
  } else if (Is(key, "sl") && (n == 5 || n == 7 || n >= 9)) {
    SolidLine(g, f);
  } else if (Is(key, "sc") && n >= 9) {
    ScLine(g, g.Scs, kGaibuSc, f);
  } else if (Is(key, "se") && n >= 9) {
    ScLine(g, g.Ses, kGaibuSe, f);
  } else if (Is(key, "so") && n >= 9) {
    SoLine(g, g.Sos, kGaibuSo, f);
  } else if (Is(key, "sg") && n >= 9) {
    SoLine(g, g.Sgs, kGaibuSg, f);
  } else if (n == 4) {
    PlainLine(g, f);
  }
}

// Lines end at LF or CR LF; a last line without a line break is a line too.
void HandleLines(TGaibuData& g, const std::string& bytes) {
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    if (end > start && end < bytes.size() && bytes[end - 1] == '\r') --end;
    HandleLine(g, bytes.substr(start, end - start));
    start = next;
  }
}

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

void ResetGaibuData() {
  GaibuData = TGaibuData();
  GaibuData.LayerGroupValues.assign(kLayerGroups, 0);
  GaibuData.LayerGroupNames.assign(kLayerGroups, std::string());
  GaibuData.LayerValues.assign(kLayers, 0);
  GaibuData.LayerNames.assign(kLayers, std::string());
  GaibuData.NumberedPoints.assign(kNumberedPointSlots, TGaibuNumberedPoint());
}

bool ReadGaibuFile(const std::u16string& path) {
  platform::Os& os = platform::Current();
  if (!os.FileExists(path)) return false;
  std::unique_ptr<platform::File> file = os.OpenRead(path);
  if (!file) {
    throw GaibuIoError("cannot open the external-transformation data file " +
                       platform::PathForPerson(path));
  }
  std::string bytes;
  std::vector<char> chunk(1 << 16);
  bool failed = false;
  for (;;) {
    const long long got = file->Read(chunk.data(), chunk.size());
    if (got < 0) {
      failed = true;
      break;
    }
    if (got == 0) break;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  file->Close();  // read only: nothing can be lost at the close
  if (failed) {
    // What was read whole stays, as after any read; a line the failure cut
    // short is no line of the file.
    const std::size_t lastBreak = bytes.rfind('\n');
    bytes.erase(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    HandleLines(GaibuData, bytes);
    throw GaibuIoError("cannot read the external-transformation data file " +
                       platform::PathForPerson(path));
  }
  HandleLines(GaibuData, bytes);
  return true;
}

void FreeGaibuData() {
  TGaibuData& g = GaibuData;
  Release(g.LayerGroupValues);
  Release(g.LayerGroupNames);
  Release(g.LayerValues);
  Release(g.LayerNames);
  Release(g.NumberedPoints);
  Release(g.Lines);
  Release(g.ShortCis);
  Release(g.LongCis);
  Release(g.Texts);
  Release(g.Points);
  Release(g.LongPoints);
  Release(g.LineTexts);
  Release(g.Blocks);
  Release(g.Solids2);
  Release(g.Solids3);
  Release(g.Solids4);
  Release(g.Scs);
  Release(g.Ses);
  Release(g.Sos);
  Release(g.Sgs);
  Release(g.Order);
}
