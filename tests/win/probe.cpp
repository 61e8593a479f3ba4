// marrowfold-probe: watches and drives marrowfold.exe from outside, as a
// user would, for the window tests. Every wait has a deadline. Results go
// to OUTFILE as UTF-8 (Wine's standard output is no safe channel); on a
// failure OUTFILE holds "error: ..." and the exit status is 1.
//
//   marrowfold-probe [--desktop NAME] OUTFILE COMMAND ARGS...
//     wait CAPTION SECONDS           the window exists; writes its rectangle
//     log CAPTION COUNT SECONDS      waits for COUNT lines in its list; writes them
//     controls CAPTION               writes "class|visible|checked|text" per control
//     page CAPTION INDEX             shows page INDEX as a click on its tab does,
//                                    painted before the probe ends
//     redraw CAPTION                 has the window painted before the probe ends
//     close CAPTION SECONDS          asks the window to close; waits for its process to end
//     message SECONDS [exit SECONDS] waits for a message box "Marrowfold", writes its
//                                    text, presses OK; then waits for its process to end
//     gone CAPTION SECONDS           waits until no window has that caption
//     click CAPTION TEXT             clicks the control of that text as the mouse
//                                    does, without waiting for what it starts
//     dialog TITLE SECONDS STEP...   waits for a file dialog of that title; writes
//                                    "owner|CAPTION", "file name|TEXT" and
//                                    "filter|INDEX|LABEL..."; then
//                                    the steps in order, and waits for it to close:
//       filter N                     picks filter N (from 1) in its list
//       name TEXT                    puts TEXT into its file-name field
//       open                         presses Open (or Save): "stays" when the dialog
//                                    went on (into a folder), else "closed"; a message
//                                    box instead is a failure with its text
//       cancel                       presses Cancel
#include <windows.h>
// After <windows.h>, which they build on:
#include <commctrl.h>
#include <dlgs.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

struct Failure {
  std::string what;
};

class Deadline {
 public:
  explicit Deadline(double seconds)
      : end_(GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000)) {}
  bool Passed() const { return GetTickCount64() >= end_; }

 private:
  ULONGLONG end_;
};

// Polls `ready` until it answers true; a failure naming `what` when the
// deadline passes first.
template <typename Ready>
void WaitFor(double seconds, const std::string& what, Ready ready) {
  Deadline deadline(seconds);
  while (!ready()) {
    if (deadline.Passed())
      throw Failure{"timed out after " + std::to_string(seconds) + " s waiting for " + what};
    Sleep(50);
  }
}

// The text of a control of another process: WM_GETTEXT is carried across,
// where GetWindowText would give only the title the window was made with.
std::wstring TextOf(HWND h) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &got);
  text.resize(got);
  return text;
}

std::wstring ClassOf(HWND h) {
  wchar_t name[128] = {};
  GetClassNameW(h, name, 128);
  return name;
}

HWND FindTop(const std::wstring& caption, double seconds) {
  HWND found = nullptr;
  WaitFor(seconds, "the window \"" + Utf8(caption) + "\"", [&] {
    found = FindWindowW(nullptr, caption.c_str());
    return found && IsWindowVisible(found);
  });
  return found;
}

BOOL CALLBACK Collect(HWND h, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
  return TRUE;
}

std::vector<HWND> Descendants(HWND top) {
  std::vector<HWND> all;
  EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

// Paints the window now, so that a screenshot taken next shows it whole.
void Redraw(HWND w) {
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void WaitForExit(HANDLE process, double seconds) {
  if (!process) throw Failure{"the process could not be watched"};
  const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(seconds * 1000));
  CloseHandle(process);
  if (waited != WAIT_OBJECT_0) throw Failure{"the process did not end within the deadline"};
}

HANDLE ProcessOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return OpenProcess(SYNCHRONIZE, FALSE, pid);
}

HWND FindDescendant(HWND top, const wchar_t* className) {
  for (HWND h : Descendants(top))
    if (_wcsicmp(ClassOf(h).c_str(), className) == 0) return h;
  throw Failure{"no control of class " + Utf8(className)};
}

std::vector<std::wstring> ListLines(HWND list) {
  std::vector<std::wstring> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    if (length < 0) continue;
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
    line.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    lines.push_back(line);
  }
  return lines;
}

// Any window of the probe's desktop, not only the children of one.
std::vector<HWND> TopWindows() {
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

bool IsDialog(HWND h) {
  return _wcsicmp(ClassOf(h).c_str(), L"#32770") == 0 && IsWindowVisible(h);
}

// The file-name field: an edit of its own in Wine's dialog, the edit of a
// combo box in Windows'.
HWND FileNameField(HWND dialog) {
  if (HWND edit = GetDlgItem(dialog, edt1)) return edit;
  return GetDlgItem(dialog, cmb13);
}

// A file dialog, told from the message boxes it raises under the same
// title by its file-name field.
HWND FindFileDialog(const std::wstring& title) {
  for (HWND h : TopWindows())
    if (IsDialog(h) && TextOf(h) == title && FileNameField(h)) return h;
  return nullptr;
}

// A message box the dialog raised about what it was given.
HWND BoxOwnedBy(HWND dialog) {
  for (HWND h : TopWindows())
    if (h != dialog && IsDialog(h) && GetWindow(h, GW_OWNER) == dialog) return h;
  return nullptr;
}

std::wstring BoxText(HWND box) {
  std::wstring text;
  for (HWND h : Descendants(box))
    if (_wcsicmp(ClassOf(h).c_str(), L"Static") == 0 && !TextOf(h).empty()) text = TextOf(h);
  return text;
}

void SetTextOf(HWND h, const std::wstring& text) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                           SMTO_ABORTIFHUNG, 5000, &result))
    throw Failure{"the text could not be set"};
}

struct Press {
  HWND dialog;
  WPARAM command;
  LPARAM button;
};

// The press is sent from a thread of its own: the dialog's handling of it
// may hold a message box, which the probe must see while it waits.
DWORD WINAPI SendPress(void* data) {
  const auto* press = static_cast<const Press*>(data);
  SendMessageW(press->dialog, WM_COMMAND, press->command, press->button);
  return 0;
}

// Presses Open and waits until the dialog has dealt with it; true when it
// closed.
bool PressOpen(HWND dialog) {
  Press press{dialog, MAKEWPARAM(IDOK, BN_CLICKED),
              reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK))};
  HANDLE sender = CreateThread(nullptr, 0, SendPress, &press, 0, nullptr);
  if (!sender) throw Failure{"no thread to press Open"};
  HWND box = nullptr;
  Deadline deadline(30);
  while (WaitForSingleObject(sender, 50) == WAIT_TIMEOUT) {
    if ((box = BoxOwnedBy(dialog))) break;
    if (deadline.Passed()) break;
  }
  if (box) {
    const std::wstring text = BoxText(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    WaitForSingleObject(sender, 10000);
    CloseHandle(sender);
    throw Failure{"Open raised the message \"" + Utf8(text) + "\""};
  }
  const bool done = WaitForSingleObject(sender, 0) == WAIT_OBJECT_0;
  CloseHandle(sender);
  if (!done) throw Failure{"Open was not dealt with within 30 s"};
  // A dialog that ends is hidden at once and destroyed a moment later.
  return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

// What the dialog shows before anything is done in it.
std::string DialogState(HWND dialog) {
  // Modal to the window that asked, or the window would take clicks
  // meanwhile.
  HWND owner = GetWindow(dialog, GW_OWNER);
  std::string out = "owner|" + (owner ? Utf8(TextOf(owner)) : std::string("(none)")) + "\n";
  out += "file name|" + Utf8(TextOf(FileNameField(dialog))) + "\n";
  HWND filters = GetDlgItem(dialog, cmb1);
  DWORD_PTR count = 0;
  if (filters && SendMessageTimeoutW(filters, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) &&
      count > 0) {
    out += "filter|" + std::to_string(SendMessageW(filters, CB_GETCURSEL, 0, 0) + 1);
    for (DWORD_PTR i = 0; i < count; ++i) {
      const LRESULT length = SendMessageW(filters, CB_GETLBTEXTLEN, i, 0);
      std::wstring label(length < 0 ? 1 : static_cast<std::size_t>(length) + 1, L'\0');
      const LRESULT got =
          SendMessageW(filters, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label.data()));
      label.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
      out += "|";
      out += Utf8(label);
    }
    out += "\n";
  }
  return out;
}

void Cancel(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  WaitFor(10, "the dialog to close on Cancel", [&] { return !IsWindow(dialog); });
}

// The steps of the dialog command, from a[3] on; what they did goes to
// `out`.
void RunSteps(HWND dialog, const std::vector<std::wstring>& a, std::string& out) {
  for (std::size_t i = 3; i < a.size(); ++i) {
    if (!IsWindow(dialog) || !IsWindowVisible(dialog))
      throw Failure{"the dialog closed before " + Utf8(a[i])};
    const bool last = i + 1 == a.size();
    if (a[i] == L"filter" && !last) {
      HWND filters = GetDlgItem(dialog, cmb1);
      if (!filters) throw Failure{"the dialog has no filter list"};
      const int index = _wtoi(a[++i].c_str()) - 1;
      SendMessageW(filters, CB_SETCURSEL, index, 0);
      if (SendMessageW(filters, CB_GETCURSEL, 0, 0) != index)
        throw Failure{"the dialog has no filter " + Utf8(a[i])};
      // What the list tells its dialog when the user picks from it.
      for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK})
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), reinterpret_cast<LPARAM>(filters));
      out += "filter " + Utf8(a[i]) + "\n";
    } else if (a[i] == L"name" && !last) {
      SetTextOf(FileNameField(dialog), a[++i]);
      out += "name " + Utf8(a[i]) + "\n";
    } else if (a[i] == L"open") {
      out += PressOpen(dialog) ? "closed\n" : "stays\n";
    } else if (a[i] == L"cancel") {
      Cancel(dialog);
      out += "cancelled\n";
    } else {
      throw Failure{"unknown dialog step " + Utf8(a[i])};
    }
  }
}

std::string DriveDialog(const std::vector<std::wstring>& a) {
  HWND dialog = nullptr;
  WaitFor(_wtof(a[2].c_str()), "the dialog \"" + Utf8(a[1]) + "\"",
          [&] { return (dialog = FindFileDialog(a[1])) != nullptr; });
  std::string out = DialogState(dialog);
  try {
    RunSteps(dialog, a, out);
  } catch (const Failure& f) {
    // A dialog left open would hold the window, and every later check
    // would only time out behind it.
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
      Cancel(dialog);
      throw Failure{f.what + " (the dialog then cancelled)"};
    }
    throw;
  }
  WaitFor(10, "the dialog to close", [&] { return !IsWindow(dialog); });
  return out;
}

// A click of the mouse on the control, posted: what it starts may hold a
// modal dialog, and the probe must not wait for that.
void Click(HWND control) {
  if (_wcsicmp(ClassOf(control).c_str(), L"Button") == 0) {
    PostMessageW(control, BM_CLICK, 0, 0);
    return;
  }
  RECT r;
  GetClientRect(control, &r);
  const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
}

double Seconds(const wchar_t* text) {
  return _wtof(text);
}

std::string Run(const std::vector<std::wstring>& a) {
  auto need = [&](std::size_t n) {
    if (a.size() < n) throw Failure{"too few arguments for " + Utf8(a[0])};
  };
  const std::wstring& command = a[0];
  std::string out;
  if (command == L"wait") {
    need(3);
    HWND w = FindTop(a[1], Seconds(a[2].c_str()));
    RECT r;
    GetWindowRect(w, &r);
    out = std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
          std::to_string(r.left) + "+" + std::to_string(r.top) + "\n";
  } else if (command == L"log") {
    need(4);
    const double seconds = Seconds(a[3].c_str());
    HWND list = FindDescendant(FindTop(a[1], seconds), L"ListBox");
    const LRESULT count = _wtoi(a[2].c_str());
    WaitFor(seconds, std::to_string(count) + " log lines", [&] {
      DWORD_PTR n = 0;
      return SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 200, &n) &&
             static_cast<LRESULT>(n) >= count;
    });
    for (const std::wstring& line : ListLines(list)) out += Utf8(line) + "\n";
  } else if (command == L"controls") {
    need(2);
    for (HWND h : Descendants(FindTop(a[1], 10))) {
      const LRESULT check = SendMessageW(h, BM_GETCHECK, 0, 0);
      const bool button = _wcsicmp(ClassOf(h).c_str(), L"Button") == 0;
      out += Utf8(ClassOf(h)) + "|" + (IsWindowVisible(h) ? "visible" : "hidden") + "|" +
             (button && check == BST_CHECKED ? "checked" : "") + "|" + Utf8(TextOf(h)) + "\n";
      if (_wcsicmp(ClassOf(h).c_str(), WC_TABCONTROLW) == 0)
        out += "tab selected|" + std::to_string(SendMessageW(h, TCM_GETCURSEL, 0, 0)) + "\n";
    }
  } else if (command == L"page") {
    need(3);
    HWND tabs = FindDescendant(FindTop(a[1], 10), WC_TABCONTROLW);
    const int page = _wtoi(a[2].c_str());
    // Setting the focus on a tab selects it and tells the window, as a
    // click does; a plain selection would not tell it.
    SendMessageW(tabs, TCM_SETCURFOCUS, page, 0);
    WaitFor(5, "the page to change",
            [&] { return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == page; });
    Redraw(GetAncestor(tabs, GA_ROOT));
    out = "page " + std::to_string(page) + "\n";
  } else if (command == L"redraw") {
    need(2);
    Redraw(FindTop(a[1], 10));
    out = "painted\n";
  } else if (command == L"close") {
    need(3);
    HWND w = FindTop(a[1], 10);
    HANDLE process = ProcessOf(w);
    PostMessageW(w, WM_CLOSE, 0, 0);
    const double seconds = Seconds(a[2].c_str());
    WaitFor(seconds, "the window to go", [&] { return !IsWindow(w); });
    WaitForExit(process, seconds);
    out = "closed\n";
  } else if (command == L"message") {
    need(2);
    HWND box = nullptr;
    WaitFor(Seconds(a[1].c_str()), "a message box \"Marrowfold\"", [&] {
      box = FindWindowW(L"#32770", L"Marrowfold");
      return box && IsWindowVisible(box);
    });
    // The message is the static control that has text (the icon's has none).
    std::wstring text;
    WaitFor(5, "the message text", [&] {
      for (HWND h : Descendants(box))
        if (_wcsicmp(ClassOf(h).c_str(), L"Static") == 0 && !TextOf(h).empty()) text = TextOf(h);
      return !text.empty();
    });
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok) throw Failure{"the message box has no OK button"};
    HANDLE process = ProcessOf(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    WaitFor(10, "the message box to close", [&] { return !IsWindow(box); });
    if (a.size() >= 4 && a[2] == L"exit") {
      WaitForExit(process, Seconds(a[3].c_str()));
    } else if (process) {
      CloseHandle(process);
    }
    out = Utf8(text) + "\n";
  } else if (command == L"click") {
    need(3);
    HWND target = nullptr;
    for (HWND h : Descendants(FindTop(a[1], 10)))
      if (IsWindowVisible(h) && TextOf(h) == a[2]) target = h;
    if (!target) throw Failure{"no visible control \"" + Utf8(a[2]) + "\""};
    Click(target);
    out = "clicked\n";
  } else if (command == L"dialog") {
    need(3);
    out = DriveDialog(a);
  } else if (command == L"gone") {
    need(3);
    WaitFor(Seconds(a[2].c_str()), "\"" + Utf8(a[1]) + "\" to go",
            [&] { return FindWindowW(nullptr, a[1].c_str()) == nullptr; });
    out = "gone\n";
  } else {
    throw Failure{"unknown command " + Utf8(command)};
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> a(argv + 1, argv + argc);
  if (a.size() >= 2 && a[0] == L"--desktop") {
    // Windows of another desktop are not found from this one; the desktop
    // comes with the program the probe watches, which may be starting yet.
    Deadline deadline(60);
    HDESK desktop = nullptr;
    while (!(desktop = OpenDesktopW(a[1].c_str(), 0, FALSE, GENERIC_ALL)) && !deadline.Passed())
      Sleep(50);
    if (!desktop || !SetThreadDesktop(desktop)) {
      std::fprintf(stderr, "marrowfold-probe: no desktop %ls\n", a[1].c_str());
      return 2;
    }
    a.erase(a.begin(), a.begin() + 2);
  }
  if (a.size() < 2) {
    std::fprintf(stderr, "usage: marrowfold-probe [--desktop NAME] OUTFILE COMMAND ARGS...\n");
    return 2;
  }
  const std::wstring outFile = a[0];
  a.erase(a.begin());
  std::string out;
  int status = 0;
  try {
    out = Run(a);
  } catch (const Failure& f) {
    out = "error: " + f.what + "\n";
    status = 1;
  }
  FILE* file = _wfopen(outFile.c_str(), L"wb");
  if (!file) return 2;
  std::fwrite(out.data(), 1, out.size(), file);
  std::fclose(file);
  return status;
}
