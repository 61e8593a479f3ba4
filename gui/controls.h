// The main window's controls: their form names, texts (Shift-JIS) and
// places. Places are in pixels at 96 DPI; the window scales them with its
// DPI. Controls of a page are placed inside the page's display area.
#pragma once

#include <cstddef>

namespace gui {

enum ControlId : int {
  kGroupBox1 = 1001,
  kRadioButton1,
  kRadioButton2,
  kRadioButton3,
  kRadioButton4,
  kRadioButton7,
  kEdit1,
  kButton1,
  kLabelPreFolder,
  kLabel2,
  kLabel3,
  kLabel1,
  kCheckBox1,
  kLabel8,
  kGroupBox2,
  kRadioButton5,
  kRadioButton6,
  kLabel4,
  kLabel7,
  kLabel9,
  kLabel10,
  kListBox1,
  kPageControl1,
  kStatusBar1,
};

enum class Kind { Group, Radio, Check, Button, Edit, Label, Link, List, Tabs, Status };
enum class Page { Main, Settings, Log };

struct ControlInfo {
  ControlId id;
  const char* name;
  Kind kind;
  const char* text;  // Shift-JIS
  Page page;
  int x, y, w, h;
  // Starts a group for the arrow keys and the radio buttons' exclusion.
  bool groupStart;
};

// In creation order, which is also the order of the Tab key; ids in the
// order of the enumeration.
constexpr std::size_t kControlCount = kStatusBar1 - kGroupBox1 + 1;
extern const ControlInfo kControls[kControlCount];
const ControlInfo& InfoOf(ControlId id);

// The client area at 96 DPI, and the page control's place in it (its
// bottom edge follows the status bar).
constexpr int kClientWidth = 484;
constexpr int kClientHeight = 381;
constexpr int kPagesX = 8, kPagesY = 142, kPagesWidth = 468;
constexpr int kPagesGapAboveStatus = 4;

extern const char kCaption[];         // "Marrowfold Ver.1.3"
extern const char kMessageCaption[];  // "Marrowfold"
extern const char kTabSheet1[];
extern const char kTabSheet2[];
// The faces tried for the window's font, the first one the layout is made
// for; the system's message font comes after them.
extern const char* const kFontFaces[];
extern const std::size_t kFontFaceCount;
constexpr int kFontPixels = 13;

}  // namespace gui
