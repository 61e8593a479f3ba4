#include "gui/dpi.h"

#include "gui/handles.h"

namespace gui {

namespace {

template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  WindowDc screen(nullptr);
  const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
  static const auto adjustForDpi =
      User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  RECT r{0, 0, client.cx, client.cy};
  if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace gui
