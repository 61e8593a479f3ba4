// DPI of a window, on systems old and new: the per-monitor functions are
// looked up when needed, so the program still starts where they are missing.
#pragma once

#include <windows.h>

namespace gui {

UINT WindowDpi(HWND window);
// The outer size of a window whose client area is `client` at `dpi`.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);
inline int Scale(int pixelsAt96, UINT dpi) {
  return MulDiv(pixelsAt96, static_cast<int>(dpi), 96);
}

}  // namespace gui
