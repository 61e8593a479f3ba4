#include "gui/font.h"

#include "gui/controls.h"
#include "gui/dpi.h"
#include "gui/wide_text.h"

namespace gui {

namespace {

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool SystemHasFace(HDC dc, const std::wstring& face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  face.copy(query.lfFaceName, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &query, NoteFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

}  // namespace

std::wstring AvailableFontFace() {
  WindowDc screen(nullptr);
  for (std::size_t i = 0; i < kFontFaceCount; ++i) {
    const std::wstring face = SjisToWide(kFontFaces[i]);
    if (SystemHasFace(screen.get(), face)) return face;
  }
  return {};
}

namespace {

// The width of a full-width character in `font`.
int FullWidthAdvance(HFONT font) {
  WindowDc screen(nullptr);
  Selected selected(screen.get(), font);
  SIZE size{};
  GetTextExtentPoint32W(screen.get(), L"\x3042", 1, &size);  // あ
  return size.cx;
}

// Whether "_" leaves any ink in `font`.
bool DrawsUnderscore(HFONT font) {
  WindowDc screen(nullptr);
  MemoryDc dc(screen.get());
  const int size = 96;
  Bitmap bitmap(CreateCompatibleBitmap(screen.get(), size, size));
  if (!dc.get() || !bitmap) return true;
  Selected selectedBitmap(dc.get(), bitmap.get());
  Selected selectedFont(dc.get(), font);
  RECT all{0, 0, size, size};
  FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetTextColor(dc.get(), RGB(0, 0, 0));
  SetBkMode(dc.get(), TRANSPARENT);
  TextOutW(dc.get(), 4, 4, L"_", 1);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (GetPixel(dc.get(), x, y) != RGB(255, 255, 255)) return true;
  return false;
}

}  // namespace

Font MakeWindowFont(UINT dpi, bool underline) {
  static const std::wstring face = AvailableFontFace();
  LOGFONTW lf{};
  if (face.empty()) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    lf = metrics.lfMessageFont;
    // The metrics come at the system's DPI, the window may be on another
    // monitor.
    WindowDc screen(nullptr);
    const int systemDpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    if (systemDpi > 0) lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi), systemDpi);
    lf.lfUnderline = underline ? TRUE : FALSE;
    return Font(CreateFontIndirectW(&lf));
  }
  lf.lfHeight = -Scale(kFontPixels, dpi);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lf.lfUnderline = underline ? TRUE : FALSE;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  const int room = kFontPixels * static_cast<int>(dpi) / 96;
  Font font;
  const LONG height = lf.lfHeight;
  // The nearest sizes first: 0, -1, +1, -2, +2, ... pixels.
  for (int attempt = 0; attempt < 9; ++attempt) {
    const int step = (attempt + 1) / 2;
    lf.lfHeight = height + (attempt % 2 == 1 ? step : -step);
    lf.lfWidth = 0;
    font.reset(CreateFontIndirectW(&lf));
    // The layout gives each full-width character the 13 pixels it has in
    // MS Gothic; a Gothic that is wider at that height (IPA Gothic takes
    // 14) is made a little narrower rather than have the longest lines cut.
    if (font && FullWidthAdvance(font.get()) > room) {
      for (lf.lfWidth = room / 2 + 1; lf.lfWidth > room / 4; --lf.lfWidth) {
        font.reset(CreateFontIndirectW(&lf));
        if (!font || FullWidthAdvance(font.get()) <= room) break;
      }
    }
    // At some sizes a Gothic's underscore is hinted away, and "_@BM" of
    // Label8 would read " @BM"; a size next to it draws it.
    if (!font || DrawsUnderscore(font.get())) break;
  }
  return font;
}

}  // namespace gui
