// The window laid out at 96, 120, 144 and 192 DPI: every text of every
// control fits the control in the font the window chose, every control lies
// inside its parent, and none covers another. Also the text crossings the
// window relies on. Prints each failure; exit status 1 when any.
#include <windows.h>
// After <windows.h>, which they build on:
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "gui/controls.h"
#include "gui/dpi.h"
#include "gui/font.h"
#include "gui/main_window.h"
#include "gui/wide_text.h"
#include "platform/unicode.h"

namespace {

int failures = 0;

void Fail(const std::string& what) {
  ++failures;
  std::printf("FAIL %s\n", what.c_str());
}

std::string Utf8(const std::wstring& w) {
  return gui::WideToUtf8(w);
}

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  return name;
}

std::wstring TextOf(HWND h) {
  wchar_t text[512] = {};
  GetWindowTextW(h, text, 512);
  return text;
}

SIZE Measure(HWND control, const std::wstring& text, bool prefix) {
  HDC dc = GetDC(control);
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | (prefix ? 0 : DT_NOPREFIX));
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT RectIn(HWND control, HWND parent) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Name(HWND h) {
  const int id = GetDlgCtrlID(h);
  if (id >= gui::kGroupBox1 && id <= gui::kStatusBar1)
    return gui::InfoOf(static_cast<gui::ControlId>(id)).name;
  return Utf8(ClassOf(h)) + " \"" + Utf8(TextOf(h)) + "\"";
}

bool IsGroupBox(HWND h) {
  return ClassOf(h) == L"Button" && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

void CheckTextFits(HWND h, UINT dpi, const std::string& where) {
  const std::wstring cls = ClassOf(h), text = TextOf(h);
  if (text.empty()) return;
  RECT r;
  GetClientRect(h, &r);
  const int width = r.right, height = r.bottom;
  const bool button = _wcsicmp(cls.c_str(), L"Button") == 0;
  const SIZE text_size = Measure(h, text, button);
  int room = width;
  if (button) {
    const LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    // The box of a radio button or a check box and the gap after it; the
    // frame's indent of a group box's title; a push button's edges.
    if (type == BS_AUTORADIOBUTTON || type == BS_AUTOCHECKBOX)
      room -= gui::Scale(13 + 6, dpi);
    else if (type == BS_GROUPBOX)
      room -= gui::Scale(16, dpi);
    else
      room -= gui::Scale(8, dpi);
  } else if (_wcsicmp(cls.c_str(), STATUSCLASSNAMEW) == 0) {
    room -= gui::Scale(8, dpi);
  }
  if (text_size.cx > room)
    Fail(where + " " + Name(h) + ": text " + std::to_string(text_size.cx) + " px wide, room " +
         std::to_string(room));
  if (text_size.cy > height)
    Fail(where + " " + Name(h) + ": text " + std::to_string(text_size.cy) + " px high, room " +
         std::to_string(height));
}

void CheckTabs(HWND tabs, UINT dpi, const std::string& where) {
  const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
    RECT r{};
    SendMessageW(tabs, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
    const SIZE size = Measure(tabs, text, true);
    if (size.cx + gui::Scale(6, dpi) > r.right - r.left || size.cy > r.bottom - r.top)
      Fail(where + " tab " + Utf8(text) + ": text " + std::to_string(size.cx) + "x" +
           std::to_string(size.cy) + " in " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top));
  }
}

// Children of `parent`: inside it, apart from each other (a group box holds
// the controls within its frame; the tab control lies under its pages).
void CheckChildren(HWND parent, UINT dpi, const std::string& where) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) children.push_back(c);
  RECT client;
  GetClientRect(parent, &client);
  for (HWND c : children) {
    const RECT r = RectIn(c, parent);
    if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom)
      Fail(where + " " + Name(c) + " leaves its parent: " + std::to_string(r.left) + "," +
           std::to_string(r.top) + "-" + std::to_string(r.right) + "," + std::to_string(r.bottom) +
           " in " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    CheckTextFits(c, dpi, where);
    if (ClassOf(c) == WC_TABCONTROLW) CheckTabs(c, dpi, where);
    if (GetWindow(c, GW_CHILD) && ClassOf(c) != L"Edit" && ClassOf(c) != L"ListBox")
      CheckChildren(c, dpi, where);
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    for (std::size_t j = i + 1; j < children.size(); ++j) {
      const RECT a = RectIn(children[i], parent), b = RectIn(children[j], parent);
      RECT both;
      if (!IntersectRect(&both, &a, &b)) continue;
      auto holds = [](const RECT& outer, const RECT& inner) {
        return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
               inner.bottom <= outer.bottom;
      };
      if (IsGroupBox(children[i]) && holds(a, b)) continue;
      if (IsGroupBox(children[j]) && holds(b, a)) continue;
      if (ClassOf(children[i]) == WC_TABCONTROLW || ClassOf(children[j]) == WC_TABCONTROLW)
        continue;
      Fail(where + " " + Name(children[i]) + " and " + Name(children[j]) + " overlap");
    }
  }
}

// Whether `text` leaves ink in the font of `control`.
bool DrawsInk(HWND control, const wchar_t* text) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 96, 96);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HGDIOBJ oldFont =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT all{0, 0, 96, 96};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, 4, 4, text, lstrlenW(text));
  bool ink = false;
  for (int y = 0; y < 96 && !ink; ++y)
    for (int x = 0; x < 96 && !ink; ++x) ink = GetPixel(dc, x, y) != RGB(255, 255, 255);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ink;
}

void CheckWindow(HWND window, UINT dpi, bool exactClient) {
  const std::string where = std::to_string(dpi) + " DPI:";
  RECT client;
  GetClientRect(window, &client);
  const int w = gui::Scale(gui::kClientWidth, dpi), h = gui::Scale(gui::kClientHeight, dpi);
  if (exactClient && (client.right != w || client.bottom != h))
    Fail(where + " client area " + std::to_string(client.right) + "x" +
         std::to_string(client.bottom) + ", not " + std::to_string(w) + "x" + std::to_string(h));
  CheckChildren(window, dpi, where);
  // Label8 reads "^@BM... → _@BM...": without its underscore it says
  // something else.
  HWND label8 = nullptr;
  for (HWND page = FindWindowExW(window, nullptr, L"MarrowfoldPage", nullptr); page && !label8;
       page = FindWindowExW(window, page, L"MarrowfoldPage", nullptr))
    label8 = GetDlgItem(page, gui::kLabel8);
  if (!label8 || !DrawsInk(label8, L"_")) Fail(where + " the font of Label8 draws no \"_\"");
}

void ShowPage(HWND window, int page) {
  HWND tabs = FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
  // As a click does: the window hears of the change.
  SendMessageW(tabs, TCM_SETCURFOCUS, page, 0);
}

void CheckTextCrossings() {
  // ～ (0x8160) and 表 (whose second byte is "\") cross from Shift-JIS.
  if (gui::SjisToWide("\x81\x60\x95\x5C") != L"\uff5e\u8868")
    Fail("wave dash and 表 do not cross from Shift-JIS");
  // A path CP932 lacks characters of, in a message, shows as itself.
  if (gui::SjisToWide("\x81\xA8 " + PathInText(u"C:\\caf\u00e9\\\U0001F600.jww")) !=
      L"\u2192 C:\\caf\u00e9\\\U0001F600.jww")
    Fail("a path with e-acute and an emoji does not cross into a message whole");
  if (gui::FailureTextToWide("\xe8\xa1\xa8") != L"\u8868") Fail("UTF-8 failure text misread");
  if (gui::FailureTextToWide("\x95\x5C") != L"\u8868") Fail("Shift-JIS failure text misread");
  // Any path the window gets is taken, "/" as "\".
  if (gui::WideToInternal(L"C:/dwg\\caf\u00e9.jww") != u"C:\\dwg\\caf\u00e9.jww")
    Fail("a path with e-acute is not taken as it is");
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  std::printf("font face: %s\n", Utf8(gui::AvailableFontFace()).c_str());
  if (gui::AvailableFontFace().empty()) Fail("none of the Gothic faces is installed");
  CheckTextCrossings();

  TForm1 form;
  form.LabelPreFolder = u"C:\\Program Files\\Marrowfold\\";
  // The start-up message is never taken from the queue here: the form is
  // laid out, not started.
  gui::MainWindow window(form, {});
  if (!window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) {
    Fail("the window could not be created");
    return 1;
  }
  HWND main = FindWindowW(L"MarrowfoldMainWindow", nullptr);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE));
  if ((style & WS_MAXIMIZEBOX) || (style & WS_THICKFRAME) || !(style & WS_MINIMIZEBOX) ||
      !(style & WS_SYSMENU))
    Fail("the frame is not fixed with a minimise button only");
  const UINT start = gui::WindowDpi(main);
  std::printf("window DPI: %u\n", start);
  const UINT dpis[] = {start, 120, 144, 192, start};
  for (std::size_t i = 0; i < sizeof dpis / sizeof dpis[0]; ++i) {
    const UINT dpi = dpis[i];
    if (i > 0) {
      // As Windows does when the window reaches a monitor of that DPI.
      RECT now;
      GetWindowRect(main, &now);
      const SIZE size = gui::WindowSizeForClient(
          {gui::Scale(gui::kClientWidth, dpi), gui::Scale(gui::kClientHeight, dpi)},
          static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE)),
          static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE)), dpi);
      RECT suggested{now.left, now.top, now.left + size.cx, now.top + size.cy};
      SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    for (int page : {0, 1}) {
      ShowPage(main, page);
      // The frame of a program the system does not scale keeps its size,
      // so only the window's own DPI gives the exact client area.
      CheckWindow(main, dpi, dpi == start);
    }
  }
  std::printf("%s\n", failures == 0 ? "layout: all checks passed" : "layout: failures above");
  return failures == 0 ? 0 : 1;
}
