#include "platform/win32/interrupts.h"

#include <windows.h>

#include <atomic>

namespace platform::win32 {

namespace {

struct Note {
  std::wstring path;
  HANDLE handle = nullptr;  // open file; nullptr once closed
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
std::vector<Note>& g_notes = *new std::vector<Note>;  // in creation order

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
[[noreturn]] void CleanUpAndEnd(UINT code) {
  ::EnterCriticalSection(&Lock());
  for (Note& n : g_notes) {
    if (n.folder) continue;
    if (n.handle) ::CloseHandle(n.handle);
    n.handle = nullptr;
    ::SetFileAttributesW(n.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(n.path.c_str());
  }
  for (auto it = g_notes.rbegin(); it != g_notes.rend(); ++it) {
    if (it->folder) ::RemoveDirectoryW(it->path.c_str());
  }
  // The lock stays taken: nothing of the program may run on.
  ::TerminateProcess(::GetCurrentProcess(), code);
  ::ExitProcess(code);
}

BOOL WINAPI OnControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (!g_interrupted.exchange(true)) return TRUE;  // a batch stops between files
      CleanUpAndEnd(130);
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      CleanUpAndEnd(143);
    default:
      return FALSE;
  }
}

}  // namespace

void WithNotesLocked(const std::function<void()>& body) {
  Locked held;
  body();
}

void NoteCreatedFile(const std::wstring& path, std::uintptr_t handle) {
  Note note{path, reinterpret_cast<HANDLE>(handle), false};
  Locked held;
  for (Note& n : g_notes) {
    if (!n.folder && SamePath(n.path, path)) {
      n.handle = note.handle;
      return;
    }
  }
  g_notes.push_back(std::move(note));
}

void NoteFileClosed(std::uintptr_t handle) {
  if (!handle) return;
  Locked held;
  for (Note& n : g_notes) {
    if (n.handle == reinterpret_cast<HANDLE>(handle)) n.handle = nullptr;
  }
}

void NoteCreatedFolder(const std::wstring& path) {
  Note note{path, nullptr, true};
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

void InstallEndHandlers() {
  Lock();  // made now, not first on the handler's thread
  if (!g_installed.exchange(true)) ::SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace platform::win32
