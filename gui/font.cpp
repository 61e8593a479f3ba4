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
  SelectedFont selected(screen.get(), font);
  SIZE size{};
  GetTextExtentPoint32W(screen.get(), L"\x3042", 1, &size);  // あ
  return size.cx;
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
  Font font(CreateFontIndirectW(&lf));
  // The layout gives each full-width character the 13 pixels it has in
  // MS Gothic; a Gothic that is wider at that height (IPA Gothic takes 14)
  // is made a little narrower, not lower (its underscore would drop out of
  // the line), rather than have the longest lines cut.
  const int room = kFontPixels * static_cast<int>(dpi) / 96;
  if (font && FullWidthAdvance(font.get()) > room) {
    for (lf.lfWidth = room / 2 + 1; lf.lfWidth > room / 4; --lf.lfWidth) {
      font.reset(CreateFontIndirectW(&lf));
      if (!font || FullWidthAdvance(font.get()) <= room) break;
    }
  }
  return font;
}

}  // namespace gui
