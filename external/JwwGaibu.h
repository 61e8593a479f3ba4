// The reader of JWC_TEMP.TXT, the data file Jw_cad writes before it starts
// an external transformation: the drawing's file name, its settings, the
// layer state and the selected entities, one line each. The whole file is
// read into one model, `GaibuData`, that lives for the process; the
// external-transformation mode uses only its drawing file name.
//
// The fixed order of use: ResetGaibuData, ReadGaibuFile, read the model,
// FreeGaibuData. A read works on the tables the reset set up and never
// clears what an earlier read left.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The data file exists but cannot be opened or read. what() names the file
// as a person on this system writes its path.
class GaibuIoError : public std::runtime_error {
 public:
  explicit GaibuIoError(const std::string& what) : std::runtime_error(what) {}
};

// Kinds of entity record, as the order list names them.
enum TGaibuKind : std::int32_t {
  kGaibuLine = 1,
  kGaibuShortCi = 2,
  kGaibuLongCi = 3,
  kGaibuText = 4,
  kGaibuPoint = 5,
  kGaibuLongPoint = 6,
  kGaibuLineText = 7,
  kGaibuBlock = 8,
  kGaibuSolid2 = 9,
  kGaibuSolid3 = 10,
  kGaibuSolid4 = 11,
  kGaibuSc = 12,
  kGaibuSe = 13,
  kGaibuSo = 14,
  kGaibuSg = 15,
};

// The attributes in force when a record was made. Text records carry the
// text colour in Color, point records the point colour.
struct TGaibuHead {
  std::int32_t PointTag = 0;
  std::int32_t LayerGroup = 0;
  std::int32_t Layer = 0;
  std::int32_t Color = 1;
  std::int32_t LineType = 1;
  std::int32_t LineWidth = 0;
  std::int32_t ZFlags = 0;
  bool operator==(const TGaibuHead&) const = default;
};

// Kind 1, and the pending line of msg mode.
struct TGaibuLine {
  TGaibuHead Head;
  std::int32_t Polyline = 0;   // the polyline counter while polyline mode is on, else 0
  std::array<double, 4> Xy{};  // fields 1-4
  bool operator==(const TGaibuLine&) const = default;
};

// Kind 2: "ci" with centre and radius only.
struct TGaibuShortCi {
  TGaibuHead Head;
  std::array<double, 3> V{};  // fields 2-4
};

// Kind 3: "ci" with angles and the rest.
struct TGaibuLongCi {
  TGaibuHead Head;
  std::array<double, 7> V{};  // fields 2-8
};

// Kind 4, and the text part of kind 7.
struct TGaibuText {
  TGaibuHead Head;
  std::int32_t KeyCode = 0;  // "ch" 0, "cv" 1, "cs" 2, ... "c2" 9
  std::int32_t Cc = 0;
  std::int32_t TextKind = 0;
  double Width = 0, Height = 0, Spacing = 0;
  std::array<double, 4> V{};  // fields 2-5
  std::string FontName;       // at most 255 bytes
  std::string Text;           // field 6, at most 255 bytes
};

// Kind 5.
struct TGaibuPoint {
  TGaibuHead Head;
  std::array<double, 2> Xy{};  // fields 2-3
};

// Kind 6.
struct TGaibuLongPoint {
  TGaibuHead Head;
  std::array<double, 2> Xy{};  // fields 2-3
  std::array<double, 2> V{};   // fields 4-5
  std::int32_t Code = 0;       // field 6
};

// Kind 7: a "cs" text in msg mode, with the msg line it belongs to.
struct TGaibuLineText {
  TGaibuHead Head;
  TGaibuLine Line;  // the pending msg line as it stood
  TGaibuText Text;  // key code 2
};

// Kind 8.
struct TJwwEntBlk {
  TGaibuHead Head;
  std::array<double, 2> Xy{};  // fields 2-3
  std::string Name;            // field 4
};

// Kinds 9, 10 and 11: a solid reduced to its distinct points.
template <int Points>
struct TGaibuSolid {
  TGaibuHead Head;
  std::int32_t SolidColor = 0;
  std::array<double, 2 * Points> Xy{};
};
using TGaibuSolid2 = TGaibuSolid<2>;
using TGaibuSolid3 = TGaibuSolid<3>;
using TGaibuSolid4 = TGaibuSolid<4>;

// Kinds 12 ("sc") and 13 ("se").
struct TGaibuSc {
  TGaibuHead Head;
  std::int32_t SolidColor = 0;
  std::array<double, 7> V{};  // fields 2-8
  std::int32_t Code = 0;      // field 9
};

// Kinds 14 ("so") and 15 ("sg").
struct TGaibuSo {
  TGaibuHead Head;
  std::int32_t SolidColor = 0;
  std::array<double, 8> V{};  // fields 2-9
};

// One entry per record, in the order of the file.
struct TGaibuOrder {
  std::int32_t Kind = 0;   // TGaibuKind
  std::int32_t Index = 0;  // position in that kind's list, from 0
  bool operator==(const TGaibuOrder&) const = default;
};

struct TGaibuTextKind {
  double Width = 3.0, Height = 3.0, Spacing = 0.0;
  std::int32_t Color = 2;
};

struct TGaibuNumberedPoint {
  bool Set = false;
  double X = 0, Y = 0;
  std::int32_t Suffix = 0;  // 0 none, 1 "-", 2 "ln", 3 "ci", 4 "ch"
};

// A default-made model holds the values ResetGaibuData sets, except that
// its tables are empty.
struct TGaibuData {
  // File and drawing settings.
  std::string FileName;  // the "file=" value: the drawing's path, Shift-JIS bytes
  double Hk = 0.0;
  std::array<double, 16> Hs{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  std::array<double, 2> Hzs{1189.0, 841.0};
  std::array<TGaibuTextKind, 11> TextKinds;  // entries 1-10; entry 0 unused
  bool Bz = false;
  std::array<double, 4> Hn{};

  // Layer tables: 16 groups, and 256 layers at group * 16 + layer. Empty
  // until ResetGaibuData and after FreeGaibuData.
  std::vector<std::int32_t> LayerGroupValues;
  std::vector<std::string> LayerGroupNames;
  std::vector<std::int32_t> LayerValues;
  std::vector<std::string> LayerNames;

  // Current attributes.
  std::int32_t PointTag = 0;
  std::int32_t LayerGroup = 0;
  std::int32_t Layer = 0;
  std::int32_t Color = 1;
  std::int32_t LineType = 1;
  std::int32_t LineWidth = 0;
  std::int32_t TextKind = 1;
  double TextWidth = 2.0, TextHeight = 2.0, TextSpacing = 0.0;
  std::int32_t TextColor = 1;
  std::int32_t Cc = 0;
  std::string FontName =
      "<\x82l\x82r \x83S\x83V\x83"
      "b\x83N>";  // <ＭＳ ゴシック>, angle brackets included
  std::int32_t PointColor = 1;
  std::int32_t SolidColor = 0;
  std::int32_t ZFlags = 0;
  std::int32_t PolylineCounter = 0;
  bool PolylineMode = false;
  bool MsgMode = false;

  // What the first "lg", "ly", "lc", "lt", "lw" and "cn" lines set, and the
  // first non-empty font name. A *Pending flag stays true until that line.
  bool FirstLayerGroupPending = true;
  std::int32_t FirstLayerGroup = 0;
  bool FirstLayerPending = true;
  std::int32_t FirstLayer = 0;
  bool FirstColorPending = true;
  std::int32_t FirstColor = 1;
  bool FirstLineTypePending = true;
  std::int32_t FirstLineType = 1;
  bool FirstLineWidthPending = true;
  std::int32_t FirstLineWidth = 0;
  bool FirstTextKindPending = true;
  std::int32_t FirstTextKind = 1;
  double FirstTextWidth = 2.0, FirstTextHeight = 2.0, FirstTextSpacing = 0.0;
  std::int32_t FirstTextColor = 1;
  std::string FirstFontName;

  // Numbered points: slots 1-99 of 100 ("hp" lines).
  std::vector<TGaibuNumberedPoint> NumberedPoints;
  std::int32_t NumberedPointCount = 0;

  // Entity records, one list per kind, and their order in the file.
  std::vector<TGaibuLine> Lines;
  std::vector<TGaibuShortCi> ShortCis;
  std::vector<TGaibuLongCi> LongCis;
  std::vector<TGaibuText> Texts;
  std::vector<TGaibuPoint> Points;
  std::vector<TGaibuLongPoint> LongPoints;
  std::vector<TGaibuLineText> LineTexts;
  std::vector<TJwwEntBlk> Blocks;
  std::vector<TGaibuSolid2> Solids2;
  std::vector<TGaibuSolid3> Solids3;
  std::vector<TGaibuSolid4> Solids4;
  std::vector<TGaibuSc> Scs;
  std::vector<TGaibuSc> Ses;
  std::vector<TGaibuSo> Sos;
  std::vector<TGaibuSo> Sgs;
  std::vector<TGaibuOrder> Order;

  // The last plain line read in msg mode; it is in no list.
  TGaibuLine PendingMsgLine{{}, 0, {0.0, 0.0, 1.0, 0.0}};
};

// The model of this process.
extern TGaibuData GaibuData;

// Every value to its default, the layer tables and the numbered-point slots
// set up, every list empty.
void ResetGaibuData();

// Reads the data file at `path` (an internal path) into GaibuData. False,
// and nothing read, when no such file exists; true when it was read to its
// end. Throws GaibuIoError when the file exists but cannot be opened or a
// read fails; the complete lines read before a failed read stay in the
// model.
bool ReadGaibuFile(const std::u16string& path);

// Releases the layer tables, the numbered points, every entity list and the
// order list; the other values stay.
void FreeGaibuData();
