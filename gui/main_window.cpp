#include "gui/main_window.h"

#include <windows.h>
// After <windows.h>, which they build on:
#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "gui/dpi.h"
#include "gui/font.h"
#include "gui/wide_text.h"
#include "platform/program.h"

namespace gui {

namespace {

const wchar_t kWindowClass[] = L"MarrowfoldMainWindow";
const wchar_t kPageClass[] = L"MarrowfoldPage";
const UINT kStartupMessage = WM_APP + 1;
const DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
const DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
const COLORREF kLinkColour = RGB(0, 0, 255);

const ControlId kDestinationButtons[] = {kRadioButton1, kRadioButton2, kRadioButton3, kRadioButton4,
                                         kRadioButton7};
const ControlId kNamingButtons[] = {kRadioButton5, kRadioButton6};

struct ClassAndStyle {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

ClassAndStyle WindowClassOf(Kind kind) {
  switch (kind) {
    case Kind::Group:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case Kind::Radio:
      return {L"BUTTON", BS_AUTORADIOBUTTON, 0};
    case Kind::Check:
      return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case Kind::Button:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case Kind::Edit:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case Kind::Link:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    case Kind::List:
      return {L"LISTBOX",
              LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_HASSTRINGS,
              WS_EX_CLIENTEDGE};
    case Kind::Tabs:
      return {WC_TABCONTROLW, TCS_BOTTOM | WS_CLIPSIBLINGS | WS_TABSTOP, 0};
    case Kind::Status:
      return {STATUSCLASSNAMEW, 0, 0};
  }
  return {L"STATIC", 0, 0};
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

// Marks a handler as running for as long as it runs, whatever way it ends.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

MainWindow::MainWindow(TForm1& form, std::vector<std::wstring> arguments)
    : form_(form), arguments_(std::move(arguments)) {
  form_.ListBox1.OnAdd = [this](const std::string& line) { AddLogLine(line); };
}

MainWindow::~MainWindow() {
  form_.ListBox1.OnAdd = nullptr;
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool MainWindow::Create(HINSTANCE instance, int show) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  // Shared icons belong to the system; nothing to free.
  wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                           LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc)) return false;
  WNDCLASSEXW page{};
  page.cbSize = sizeof page;
  page.lpfnWndProc = PageProc;
  page.hInstance = instance;
  page.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  page.lpszClassName = kPageClass;
  if (!RegisterClassExW(&page)) return false;

  const SIZE size =
      WindowSizeForClient({kClientWidth, kClientHeight}, kWindowStyle, kWindowExStyle, 96);
  window_ =
      CreateWindowExW(kWindowExStyle, kWindowClass, SjisToWide(kCaption).c_str(), kWindowStyle,
                      form_.Left, form_.Top, size.cx, size.cy, nullptr, nullptr, instance, this);
  if (!window_) return false;
  CreateControls();
  ApplyDpi(WindowDpi(window_), nullptr);
  DragAcceptFiles(window_, TRUE);
  FormToControls();
  ShowWindow(window_, show);
  UpdateWindow(window_);
  // Posted, so that the window is on the screen, painted, before the
  // settings are read and a batch of the command line holds it.
  PostMessageW(window_, kStartupMessage, 0, 0);
  return true;
}

void MainWindow::CreateControls() {
  const HINSTANCE instance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  for (std::size_t i = 0; i < kControlCount; ++i) {
    const ControlInfo& info = kControls[i];
    const ClassAndStyle cs = WindowClassOf(info.kind);
    DWORD style = WS_CHILD | cs.style;
    if (info.id != kLabel1) style |= WS_VISIBLE;
    if (info.groupStart) style |= WS_GROUP;
    HWND parent = window_;
    if (info.page != Page::Main) {
      // A page is a window of its own, as a sheet of a page control is:
      // it has one background whatever the tab control paints, and hiding
      // it hides all it holds.
      HWND& page = pages_[info.page == Page::Settings ? 0 : 1];
      if (!page)
        page = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD | WS_GROUP, 0, 0, 0,
                               0, window_, nullptr, instance, nullptr);
      parent = page;
    }
    HWND control = CreateWindowExW(
        cs.exStyle, cs.className, SjisToWide(info.text).c_str(), style, 0, 0, 0, 0, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(info.id)), instance, nullptr);
    controls_[info.id - kGroupBox1] = control;
    if (info.kind == Kind::Tabs) {
      // Visual styles draw tabs at the bottom upside down; the classic look
      // draws them right.
      SetWindowTheme(control, L"", L"");
      const char* const titles[] = {kTabSheet1, kTabSheet2};
      for (int page = 0; page < 2; ++page) {
        std::wstring title = SjisToWide(titles[page]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = title.data();
        SendMessageW(control, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
      }
    }
  }
}

void MainWindow::ApplyDpi(UINT dpi, const RECT* suggested) {
  dpi_ = dpi;
  Font font = MakeWindowFont(dpi, false);
  Font linkFont = MakeWindowFont(dpi, true);
  for (std::size_t i = 0; i < kControlCount; ++i) {
    HWND control = Control(kControls[i].id);
    const HFONT f = kControls[i].kind == Kind::Link ? linkFont.get() : font.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  }
  // Only now are the old fonts no longer in any control's hands.
  font_ = std::move(font);
  linkFont_ = std::move(linkFont);
  if (suggested) {
    SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    const SIZE size = WindowSizeForClient({Scale(kClientWidth, dpi), Scale(kClientHeight, dpi)},
                                          kWindowStyle, kWindowExStyle, dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Layout();
  RefillLog();
  InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::Layout() {
  auto s = [this](int v) { return Scale(v, dpi_); };
  RECT client;
  GetClientRect(window_, &client);

  HWND status = Control(kStatusBar1);
  SendMessageW(status, WM_SIZE, 0, 0);
  RECT statusRect;
  GetWindowRect(status, &statusRect);
  const int statusHeight = statusRect.bottom - statusRect.top;

  HWND tabs = Control(kPageControl1);
  const int tabsTop = s(kPagesY);
  const int tabsHeight =
      std::max<int>(0, client.bottom - statusHeight - s(kPagesGapAboveStatus) - tabsTop);
  MoveWindow(tabs, s(kPagesX), tabsTop, s(kPagesWidth), tabsHeight, TRUE);
  RECT display{0, 0, s(kPagesWidth), tabsHeight};
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  OffsetRect(&display, s(kPagesX), tabsTop);
  for (HWND page : pages_)
    MoveWindow(page, display.left, display.top, display.right - display.left,
               display.bottom - display.top, TRUE);
  const int pageWidth = display.right - display.left;
  const int pageHeight = display.bottom - display.top;

  for (std::size_t i = 0; i < kControlCount; ++i) {
    const ControlInfo& info = kControls[i];
    if (info.kind == Kind::Tabs || info.kind == Kind::Status) continue;
    HWND control = Control(info.id);
    const int x = s(info.x), y = s(info.y);
    int w = s(info.w), h = s(info.h);
    if (info.kind == Kind::List) {
      w = pageWidth - 2 * x;
      h = pageHeight - 2 * y;
    }
    if (info.kind == Kind::Link) {
      // The hand and the click belong to the words, not to the empty
      // rest of the line.
      WindowDc dc(control);
      Selected selected(dc.get(), linkFont_.get());
      const std::wstring text = WindowText(control);
      SIZE extent{};
      GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
      w = std::min(w, static_cast<int>(extent.cx) + s(2));
    }
    MoveWindow(control, x, y, w, h, TRUE);
  }
}

void MainWindow::ShowPage(int page) {
  page = page == 1 ? 1 : 0;
  HWND tabs = Control(kPageControl1);
  if (SendMessageW(tabs, TCM_GETCURSEL, 0, 0) != page) SendMessageW(tabs, TCM_SETCURSEL, page, 0);
  HWND hidden = pages_[page == 1 ? 0 : 1];
  const bool focusHidden = IsChild(hidden, GetFocus());
  ShowWindow(pages_[page], SW_SHOWNA);
  ShowWindow(hidden, SW_HIDE);
  if (focusHidden) SetFocus(tabs);
}

// Tab goes to the selected button of a radio group, as in any dialog.
void MainWindow::UpdateTabStops() {
  auto update = [this](const ControlId* begin, const ControlId* end) {
    const ControlId* selected =
        std::find_if(begin, end, [this](ControlId id) { return Checked(id); });
    if (selected == end) selected = begin;
    for (const ControlId* id = begin; id != end; ++id) {
      HWND button = Control(*id);
      LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
      style = id == selected ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP);
      SetWindowLongPtrW(button, GWL_STYLE, style);
    }
  };
  update(std::begin(kDestinationButtons), std::end(kDestinationButtons));
  update(std::begin(kNamingButtons), std::end(kNamingButtons));
}

bool MainWindow::ControlsToForm() {
  form_.RadioButton1 = Checked(kRadioButton1);
  form_.RadioButton2 = Checked(kRadioButton2);
  form_.RadioButton3 = Checked(kRadioButton3);
  form_.RadioButton4 = Checked(kRadioButton4);
  form_.RadioButton7 = Checked(kRadioButton7);
  form_.RadioButton5 = Checked(kRadioButton5);
  form_.RadioButton6 = Checked(kRadioButton6);
  form_.CheckBox1 = Checked(kCheckBox1);
  form_.ActivePage = static_cast<int>(SendMessageW(Control(kPageControl1), TCM_GETCURSEL, 0, 0));
  form_.Edit1 = WideToInternal(WindowText(Control(kEdit1)));
  return true;
}

void MainWindow::FormToControls() {
  SetChecked(kRadioButton1, form_.RadioButton1);
  SetChecked(kRadioButton2, form_.RadioButton2);
  SetChecked(kRadioButton3, form_.RadioButton3);
  SetChecked(kRadioButton4, form_.RadioButton4);
  SetChecked(kRadioButton7, form_.RadioButton7);
  SetChecked(kRadioButton5, form_.RadioButton5);
  SetChecked(kRadioButton6, form_.RadioButton6);
  SetChecked(kCheckBox1, form_.CheckBox1);
  SetText(kEdit1, PathToWide(form_.Edit1));
  SetText(kLabelPreFolder, PathToWide(form_.LabelPreFolder));
  SetText(kLabel1, PathToWide(form_.Label1));
  if (static_cast<std::size_t>(SendMessageW(Control(kListBox1), LB_GETCOUNT, 0, 0)) !=
      form_.ListBox1.Items.size())
    RefillLog();
  ShowPage(form_.ActivePage);
  UpdateTabStops();
}

template <typename Action>
bool MainWindow::Guarded(Action&& action) {
  try {
    action();
    return true;
  } catch (const std::exception& e) {
    platform::ReportUnexpectedFailure(WideToUtf8(FailureTextToWide(e.what())));
  } catch (...) {
    platform::ReportUnexpectedFailure("unexpected failure of an unknown kind");
  }
  return false;
}

template <typename Handler>
bool MainWindow::RunHandler(Handler&& handler) {
  if (busy_ || closed_) return true;
  BusyScope busy(busy_);
  if (!ControlsToForm()) return true;
  const bool ok = Guarded(std::forward<Handler>(handler));
  FormToControls();
  return ok;
}

void MainWindow::OnStartup() {
  BusyScope busy(busy_);
  bool started = false;
  Guarded([&] { started = form_.Startup(); });
  FormToControls();
  // Settings hold the position in screen pixels, as the window has it.
  SetWindowPos(window_, nullptr, form_.Left, form_.Top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!started) {
    if (!form_.StartupError.empty())
      Guarded([&] { platform::CurrentDesktop().ShowMessage(form_.StartupError); });
    return;
  }

  std::vector<platform::Path> arguments;
  for (const std::wstring& a : arguments_) arguments.push_back(WideToInternal(a));
  // The switch is a word, not a path: as a path "/G" would have become
  // "\G".
  if (arguments_.size() == 1 &&
      IsExternalModeSwitch({platform::Path(arguments_[0].begin(), arguments_[0].end())})) {
    ControlsToForm();
    if (!Guarded([&] { form_.RunExternalTransformation(); })) {
      // What escaped has been reported; the window stays for the user.
      FormToControls();
      return;
    }
    CloseWindow();
    return;
  }
  if (!ControlsToForm()) return;
  Guarded([&] { form_.RunCommandLine(arguments); });
  FormToControls();
}

void MainWindow::OnDropFiles(HDROP handle) {
  Drop drop(handle);
  if (busy_ || closed_) return;
  const UINT count = DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0);
  std::vector<platform::Path> paths;
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop.get(), i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop.get(), i, path.data(), length + 1));
    paths.push_back(WideToInternal(path));
  }
  drop.reset();
  RunHandler([&] { form_.OnDropFiles(paths); });
}

void MainWindow::OnCommand(int id, int code) {
  if (id < kGroupBox1 || id > kStatusBar1) return;
  if (id == kButton1 && code == BN_CLICKED) {
    RunHandler([this] { form_.Button1Click(); });
  } else if (id == kLabel3 && code == STN_CLICKED) {
    RunHandler([this] { form_.Label3Click(); });
  } else if (code == BN_CLICKED && InfoOf(static_cast<ControlId>(id)).kind == Kind::Radio) {
    UpdateTabStops();
  }
}

void MainWindow::StoreWindowPosition() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  RECT r;
  if (IsIconic(window_) && GetWindowPlacement(window_, &placement)) {
    // The restored place is given relative to the work area.
    r = placement.rcNormalPosition;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &monitor))
      OffsetRect(&r, monitor.rcWork.left - monitor.rcMonitor.left,
                 monitor.rcWork.top - monitor.rcMonitor.top);
  } else {
    GetWindowRect(window_, &r);
  }
  form_.Left = r.left;
  form_.Top = r.top;
}

void MainWindow::CloseWindow() {
  closed_ = true;
  // A folder that cannot be kept leaves the last good one in the settings.
  ControlsToForm();
  StoreWindowPosition();
  Guarded([this] { form_.FormClose(); });
  DestroyWindow(window_);
}

void MainWindow::AddLogLine(const std::string&) {
  HWND list = Control(kListBox1);
  const auto& items = form_.ListBox1.Items;
  const auto shown = static_cast<std::size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  // The form clears its list without telling; a count that does not lead
  // up to the new line means the list was cleared (or lost a line).
  if (shown + 1 == items.size()) {
    AppendLogLine(SjisToWide(items.back()));
  } else {
    RefillLog();
  }
  SendMessageW(list, LB_SETTOPINDEX, items.empty() ? 0 : items.size() - 1, 0);
  // A batch holds the window; the log still shows each line as it comes.
  UpdateWindow(list);
}

void MainWindow::RefillLog() {
  HWND list = Control(kListBox1);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  logExtent_ = 0;
  SendMessageW(list, LB_SETHORIZONTALEXTENT, 0, 0);
  for (const std::string& line : form_.ListBox1.Items) AppendLogLine(SjisToWide(line));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  if (!form_.ListBox1.Items.empty())
    SendMessageW(list, LB_SETTOPINDEX, form_.ListBox1.Items.size() - 1, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void MainWindow::AppendLogLine(const std::wstring& line) {
  HWND list = Control(kListBox1);
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  // Long paths scroll sideways instead of being cut.
  WindowDc dc(list);
  Selected selected(dc.get(), font_.get());
  SIZE extent{};
  GetTextExtentPoint32W(dc.get(), line.c_str(), static_cast<int>(line.size()), &extent);
  const int width = extent.cx + Scale(8, dpi_);
  if (width > logExtent_) {
    logExtent_ = width;
    SendMessageW(list, LB_SETHORIZONTALEXTENT, logExtent_, 0);
  }
}

HWND MainWindow::Control(ControlId id) const {
  return controls_[id - kGroupBox1];
}

bool MainWindow::Checked(ControlId id) const {
  return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetChecked(ControlId id, bool on) {
  SendMessageW(Control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::SetText(ControlId id, const std::wstring& text) {
  HWND control = Control(id);
  // Setting the same text again would move the caret of the edit field.
  if (WindowText(control) != text) SetWindowTextW(control, text.c_str());
}

bool MainWindow::TranslateNavigation(MSG& message) {
  if (!window_ || closed_) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  auto switchPage = [this](int page) {
    if (busy_) return;
    ShowPage(page);
    form_.ActivePage = page;
  };
  // The tabs' mnemonics, and Ctrl+Tab as in any page control.
  if (message.message == WM_SYSKEYDOWN && (message.wParam == 'S' || message.wParam == 'L')) {
    switchPage(message.wParam == 'S' ? 0 : 1);
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
    const auto page = SendMessageW(Control(kPageControl1), TCM_GETCURSEL, 0, 0);
    switchPage(page == 0 ? 1 : 0);
    return true;
  }
  return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  // Nothing may be thrown through the system's frames back to the message
  // loop.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& e) {
    platform::ReportUnexpectedFailure(WideToUtf8(FailureTextToWide(e.what())));
  } catch (...) {
    platform::ReportUnexpectedFailure("unexpected failure of an unknown kind");
  }
  return 0;
}

LRESULT CALLBACK MainWindow::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    // What the pages' controls tell their parent is the main window's
    // business.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(page), message, wParam, lParam);
    default:
      return DefWindowProcW(page, message, wParam, lParam);
  }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kStartupMessage:
      OnStartup();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kPageControl1 && header->code == TCN_SELCHANGE) {
        const int page =
            static_cast<int>(SendMessageW(Control(kPageControl1), TCM_GETCURSEL, 0, 0));
        ShowPage(page);
        if (!busy_) form_.ActivePage = page;
      }
      return 0;
    }
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (reinterpret_cast<HWND>(lParam) == Control(kLabel3)) SetTextColor(dc, kLinkColour);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == Control(kLabel3)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_DPICHANGED:
      ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      if (busy_ || closed_) return 0;
      CloseWindow();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace gui
