// The records of a JWW drawing as they live in memory, and the list of
// images staged for the drawing being converted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jww/jwwstr.h"
#include "jww/recordarray.h"
#include "platform/platform.h"

// The attribute block that opens every entity: 15 bytes in the file (13
// up to version 3.50, which had no pen width).
struct TEntJwwAttr {
  std::int32_t Group = 0;
  std::uint8_t PenStyle = 0;
  std::uint16_t PenColor = 0;
  std::uint16_t PenWidth = 0;
  std::uint16_t Layer = 0;
  std::uint16_t LayerGroup = 0;
  std::uint16_t Flags = 0;
  bool operator==(const TEntJwwAttr&) const = default;
};

struct TEntJwwLine {
  TEntJwwAttr Attr;
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
  bool operator==(const TEntJwwLine&) const = default;
};

struct TEntJwwArc {
  TEntJwwAttr Attr;
  double CenterX = 0, CenterY = 0, Radius = 0, StartAngle = 0, ArcAngle = 0, TiltAngle = 0,
         Flatness = 0;
  std::int32_t FullCircle = 0;
  bool operator==(const TEntJwwArc&) const = default;
};

struct TEntJwwPoint {
  TEntJwwAttr Attr;
  double X = 0, Y = 0;
  std::int32_t Temporary = 0;
  // Stored only when Attr.PenStyle is 100.
  std::int32_t Code = 0;
  double Angle = 0, Scale = 0;
  bool operator==(const TEntJwwPoint&) const = default;
};

struct TEntJwwText {
  TEntJwwAttr Attr;
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
  std::int32_t TextKind = 0;
  double SizeX = 0, SizeY = 0, Spacing = 0, Angle = 0;
  JwwStr FontName;
  JwwStr Text;
  bool operator==(const TEntJwwText&) const = default;
};

struct TEntJwwDimension {
  TEntJwwAttr Attr;
  TEntJwwLine Line;
  TEntJwwText Text;
  // Stored from version 4.20 on; made up for older drawings.
  std::uint16_t ExtFlag = 0;
  TEntJwwLine ExtLine1, ExtLine2;
  std::array<TEntJwwPoint, 4> ExtPoints{};
  bool operator==(const TEntJwwDimension&) const = default;
};

struct TEntJwwSolid {
  TEntJwwAttr Attr;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0, X4 = 0, Y4 = 0;
  std::int32_t Rgb = 0;  // stored only when Attr.PenColor is 10
  bool operator==(const TEntJwwSolid&) const = default;
};

struct TEntJwwBlockRef {
  TEntJwwAttr Attr;
  double RefX = 0, RefY = 0, ScaleX = 0, ScaleY = 0, Rotation = 0;
  std::int32_t BlockNumber = 0;
  bool operator==(const TEntJwwBlockRef&) const = default;
};

enum EntityKind : std::int32_t {
  kNone = 0,
  kLine = 1,
  kArc = 2,
  kPoint = 3,
  kText = 4,
  kDimension = 5,
  kSolid = 6,
  kBlockRef = 7,
  kBlockDef = 8,  // the attribute cleaning of a block definition
};

// One entry of an entity table: which array and where in it. Kind 0 stands
// for an entity whose body could not be read.
struct TEntityRef {
  std::int32_t Kind = 0;
  std::int32_t Index = 0;
  bool operator==(const TEntityRef&) const = default;
};
using TEntityTable = std::vector<TEntityRef, LargeAllocator<TEntityRef>>;

// The entities of one list: the top level of a drawing, or one block
// definition. The vectors' sizes are the counts.
struct TEntityLists {
  TEntityTable EntityTable;
  RecordArray<TEntJwwLine> Lines;
  RecordArray<TEntJwwArc> Arcs;
  RecordArray<TEntJwwPoint> Points;
  RecordArray<TEntJwwText> Texts;
  RecordArray<TEntJwwDimension> Dimensions;
  RecordArray<TEntJwwSolid> Solids;
  RecordArray<TEntJwwBlockRef> BlockRefs;
  bool operator==(const TEntityLists&) const = default;
};

struct TEntJwwBlockDef {
  TEntJwwAttr Attr;
  std::int32_t Number = 0;
  std::int32_t FlagWord = 0;
  std::int32_t Stamp = 0;
  JwwStr Name;
  std::int32_t EntityCount = 0;  // as the file gave it
  TEntityLists Entities;
  bool Used = false;
  std::int32_t NewNumber = -1;
};

struct TEntJwwBlockTree {
  std::int32_t BlockNumber = 0;
  std::int32_t DefIndex = -1;
};

// Header tables.
struct TEntJwwLayerGroup {
  std::int32_t State = 0, WriteLayer = 0;
  double Scale = 0;
  std::int32_t Protect = 0;
  JwwStr Name;
  bool operator==(const TEntJwwLayerGroup&) const = default;
};

struct TEntJwwLayer {
  std::int32_t State = 0, Protect = 0;
  JwwStr Name;
  bool operator==(const TEntJwwLayer&) const = default;
};

struct TEntJwwPen {
  std::int32_t ScreenColor = 0, ScreenWidth = 0, PrinterColor = 0, PrinterWidth = 0;
  double PointRadius = 0;
  bool operator==(const TEntJwwPen&) const = default;
};

struct TEntJwwLineType {
  std::int32_t Pattern = 0, DotsPerUnit = 0, ScreenPitch = 0, PrinterPitch = 0;
  bool operator==(const TEntJwwLineType&) const = default;
};

struct TEntJwwRandomLine {
  std::int32_t Pattern = 0, ScreenAmplitude = 0, ScreenPitch = 0, PrinterAmplitude = 0,
               PrinterPitch = 0;
  bool operator==(const TEntJwwRandomLine&) const = default;
};

struct TEntJwwColorExNo {
  std::int32_t ScreenColor = 0, ScreenWidth = 0;
  JwwStr Name;
  std::int32_t PrinterColor = 0, PrinterWidth = 0;
  double PointRadius = 0;
  bool operator==(const TEntJwwColorExNo&) const = default;
};

struct TEntJwwLineTypeExNo {
  std::int32_t Pattern = 0, DotsPerUnit = 0, ScreenPitch = 0, PrinterPitch = 0;
  JwwStr Name;
  std::int32_t SegmentCount = 0;
  std::array<double, 10> Pitches{};
  bool operator==(const TEntJwwLineTypeExNo&) const = default;
};

struct TEntJwwTextKind {
  double Width = 0, Height = 0, Spacing = 0;
  std::int32_t Color = 0;
  bool operator==(const TEntJwwTextKind&) const = default;
};

// Every scalar of the header, in file order. Arrays indexed by mark jump
// have nine entries so that jumps keep their numbers 1 to 8.
struct TEntJwwHeader {
  std::array<std::uint8_t, 8> Identifier{};
  std::int32_t Version = 0;
  JwwStr Memo;
  std::int32_t PaperSize = 0;
  std::int32_t WriteLayerGroup = 0;
  // H4: reserved, but real drawings carry values there; kept as read.
  std::array<std::uint8_t, 56> Reserved{};
  // H5
  std::array<std::int32_t, 5> DimSettings{};
  std::int32_t DimReserved = 0;  // kept as read, like Reserved
  std::int32_t MaxLineDrawWidth = 0;
  // H6
  double PrintOriginX = 0, PrintOriginY = 0, PrintScale = 1;
  std::int32_t PrintRotate90 = 0, GridMode = 0;
  double GridMinSpacing = 1, GridSpacingX = 1, GridSpacingY = 1, GridBaseX = 0, GridBaseY = 0;
  // H8
  double SunShadowHeight = 0, Latitude = 0;
  std::int32_t Flag9To15 = 0;
  double WallShadowHeight = 0, SkyMapHeight = 0, SkyMapRadius = 0;
  // H9
  std::int32_t Unit25D = 0;
  double ScreenScale = 1, ScreenOriginX = 0, ScreenOriginY = 0;
  double RangeScale = 1, RangeOriginX = 0, RangeOriginY = 0;
  // H10
  std::array<double, 9> JumpScale{1, 1, 1, 1, 1, 1, 1, 1, 1};
  std::array<double, 9> JumpX{}, JumpY{};
  std::array<std::int32_t, 9> JumpLayerGroup{-1, -1, -1, -1, -1, -1, -1, -1, -1};
  double TextDisp1 = 0, TextDisp2 = 0, TextDisp3 = 0;
  std::int32_t TextDisp4 = 0;
  double TextDisp5 = 0, TextDisp6 = 0, TextDisp7 = 0;
  std::int32_t TextDisp8 = 0;
  // H11
  std::array<double, 10> ParallelSpacing{};
  double ParallelEndOffset = 0;
  // H15
  std::array<std::int32_t, 10> Options{};
  std::int32_t Option11Tens = 0, Option11Units = 0;
  std::int32_t DrawingTime = 0;
  std::int32_t EyeSet = 0;
  std::array<std::int32_t, 3> EyeAngle{};
  double PerspEyeHeight = 0, PerspEyeDistance = 0, BirdEyeHeight = 0, BirdEyeDistance = 0;
  double IsoVerticalAngle = 0;
  double LastLineLength = 0, LastRectWidth = 0, LastRectHeight = 0, LastCircleRadius = 0;
  std::int32_t SolidColorFlag = 0, SolidColor = 0;
  // H18
  double TextWidth = 0, TextHeight = 0, TextSpacing = 0;
  std::int32_t TextColor = 0, TextKind = 0;
  double ArrangeLineSpacing = 0, ArrangeCharCount = 0;
  std::int32_t UseShiftedBase = 0;
  std::array<double, 3> BaseShiftH{}, BaseShiftV{};
  // Not part of the header section: filled from the entity stream.
  std::int32_t EntityCount = 0;
  std::int32_t BlockDefCount = 0;
  bool operator==(const TEntJwwHeader&) const = default;
};

// One image staged in the work folder for the drawing being converted.
struct TBindImageType {
  std::string Name;  // file name in the staging folder and in the drawing
  std::int32_t Size = 0;
  bool InUse = false;
  // The name's UTF-16 units when Shift-JIS cannot hold it (stored so by
  // current Jw_cad, or made from such a path); Name is then a rendering
  // with "?", which names no staged file.
  std::u16string WideName = {};
};
// The name of an image's file in the staging folder.
std::u16string StagedFileName(const TBindImageType& image);

// The images staged for the drawing being converted, in order.
extern std::vector<TBindImageType> StagedImages;

// The bytes of one stored image as the drawing holds them, read piece by
// piece: at most `count` into `out`, fewer only where the drawing ends
// early.
class TImageBytes {
 public:
  virtual ~TImageBytes() = default;
  virtual std::size_t Read(std::uint8_t* out, std::size_t count) = 0;
};

// Where the image section's bytes go on a load. The section's reader opens
// no file: it hands the first stored image of each name, with its Size
// bytes, to the sink, and reads past whatever the sink leaves unread.
class TImageSink {
 public:
  virtual ~TImageSink() = default;
  virtual void Take(const TBindImageType& image, TImageBytes& bytes) = 0;
};

// Where the bytes of each image to store come from on a save: opened
// afresh at each call; null, with `absent`, for an image that has none to
// store (it is left out of the section), and null without for bytes that
// are there but cannot be opened.
class TImageSource {
 public:
  virtual ~TImageSource() = default;
  virtual std::unique_ptr<platform::File> Open(const TBindImageType& image, bool& absent) = 0;
};

// Empties StagedImages (the files stay where they are).
void ClearStagedImages();
