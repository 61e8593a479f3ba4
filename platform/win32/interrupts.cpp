#include "platform/win32/interrupts.h"

#include <windows.h>

#include <atomic>

namespace platform::win32 {

namespace {

struct Note {
  std::wstring path;
  bool folder = false;
};

// Made before main() and never destroyed: the handler thread may still need
// them while the main thread tears the program's statics down at exit.
CRITICAL_SECTION& Lock() {
  static CRITICAL_SECTION* lock = [] {
    auto* cs = new CRITICAL_SECTION;
    ::InitializeCriticalSection(cs);
    return cs;
  }();
  return *lock;
}
std::vector<Note>& g_notes = *new std::vector<Note>;     // in creation order
std::vector<HANDLE>& g_open = *new std::vector<HANDLE>;  // files open now

// What an ending interrupt prints first, in both forms: a console takes
// UTF-16, a pipe or a file the UTF-8 bytes. Changed under the lock.
std::wstring& g_endingWide = *new std::wstring;
std::string& g_endingUtf8 = *new std::string;

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_installed{false};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

class Locked {
 public:
  Locked() { ::EnterCriticalSection(&Lock()); }
  ~Locked() { ::LeaveCriticalSection(&Lock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// On the handler's thread, with the lock held: only Win32 calls on data
// prepared before, no allocation (the main thread, stopped at the lock,
// may hold the heap's).
void SayEndingWords() {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(out, &mode)) {
    ::WriteConsoleW(out, g_endingWide.data(), static_cast<DWORD>(g_endingWide.size()), &written,
                    nullptr);
  } else {
    ::WriteFile(out, g_endingUtf8.data(), static_cast<DWORD>(g_endingUtf8.size()), &written,
                nullptr);
  }
}

[[noreturn]] void CleanUpAndEnd(UINT code, bool say) {
  ::EnterCriticalSection(&Lock());
  for (HANDLE h : g_open) ::CloseHandle(h);
  g_open.clear();  // no allocation: only the size changes
  for (const Note& n : g_notes) {
    if (n.folder) continue;
    ::SetFileAttributesW(n.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(n.path.c_str());
  }
  for (auto it = g_notes.rbegin(); it != g_notes.rend(); ++it) {
    if (it->folder) ::RemoveDirectoryW(it->path.c_str());
  }
  if (say) SayEndingWords();
  // The lock stays taken: nothing of the program may run on.
  ::TerminateProcess(::GetCurrentProcess(), code);
  ::ExitProcess(code);
}

BOOL WINAPI OnControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (!g_interrupted.exchange(true)) return TRUE;  // a batch stops between files
      CleanUpAndEnd(130, true);
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      CleanUpAndEnd(143, true);
    default:
      return FALSE;
  }
}

}  // namespace

void WithNotesLocked(const std::function<void()>& body) {
  Locked held;
  body();
}

void NoteCreatedFile(const std::wstring& path) {
  Note note{path, false};
  Locked held;
  for (const Note& n : g_notes) {
    if (!n.folder && SamePath(n.path, path)) return;
  }
  g_notes.push_back(std::move(note));
}

void NoteFileOpened(std::uintptr_t handle) {
  Locked held;
  g_open.push_back(reinterpret_cast<HANDLE>(handle));
}

void NoteFileClosed(std::uintptr_t handle) {
  Locked held;
  for (auto it = g_open.begin(); it != g_open.end(); ++it) {
    if (*it == reinterpret_cast<HANDLE>(handle)) {
      g_open.erase(it);
      return;
    }
  }
}

void NoteCreatedFolder(const std::wstring& path) {
  Note note{path, true};
  Locked held;
  for (const Note& n : g_notes) {
    if (n.folder && SamePath(n.path, path)) return;
  }
  g_notes.push_back(std::move(note));
}

void ForgetEntry(const std::wstring& path) {
  Locked held;
  for (auto it = g_notes.begin(); it != g_notes.end();) {
    it = SamePath(it->path, path) ? g_notes.erase(it) : it + 1;
  }
}

PendingCleanup WhatWouldBeCleanedUp() {
  PendingCleanup pending;
  Locked held;
  for (const Note& n : g_notes) {
    if (!n.folder) pending.files.push_back(n.path);
  }
  for (auto it = g_notes.rbegin(); it != g_notes.rend(); ++it) {
    if (it->folder) pending.folders.push_back(it->path);
  }
  return pending;
}

bool InterruptRequested() {
  return g_interrupted.load();
}

void SetEndingWords(const std::wstring& wide, const std::string& utf8) {
  Locked held;
  g_endingWide = wide;
  g_endingUtf8 = utf8;
}

void EndBecauseOutputClosed() {
  if (g_installed.load()) CleanUpAndEnd(141, false);
}

void InstallEndHandlers() {
  Lock();  // made now, not first on the handler's thread
  if (!g_installed.exchange(true)) ::SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace platform::win32
