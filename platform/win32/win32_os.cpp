// The Windows side of the platform layer. Internal paths are already
// Windows paths, in CP932; here they become UTF-16 for the wide API, so
// the program works whatever the system's ANSI code page is (the "A"
// functions would read the same bytes in code page 1252 on an English
// Windows and name other files). Windows itself looks names up ignoring
// letter case, so nothing of the POSIX side's lookup is needed.
#include "platform/win32/win32_os.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/program.h"
#include "platform/unicode.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/encoding.h"
#include "platform/win32/interrupts.h"

namespace platform {

namespace win32 {

// Windows refuses a path of MAX_PATH (260) units or more, and a folder of
// 248, unless it is given in its "\\?\" form: a deep project folder with a
// long image name passes that easily. Short paths stay as they are.
void AllowLongPath(std::wstring& wide) {
  constexpr std::size_t kShortEnough = 240;
  if (wide.size() < kShortEnough || wide.compare(0, 4, L"\\\\?\\") == 0) return;
  DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return;
  std::wstring full(n, L'\0');
  n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return;
  full.resize(n);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
    wide = L"\\\\?\\" + full;
  else if (full.compare(0, 2, L"\\\\") == 0)
    wide = L"\\\\?\\UNC\\" + full.substr(2);
}

bool WidePath(const std::u16string& internal, std::wstring& wide) {
  wide.assign(internal.begin(), internal.end());
  // A NUL would cut the path short for the system.
  if (wide.find(L'\0') != std::wstring::npos) return false;
  // Windows takes "/" for "\" anyway, but the note of a created file must
  // match its rename.
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  AllowLongPath(wide);
  return true;
}

std::wstring FullWidePath(const std::wstring& wide) {
  DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return wide;
  full.resize(n);
  return full;
}

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  if (text.empty()) return "system error " + std::to_string(code);
  return WideToUtf8(text);
}

void MessageBoxOfProgram(const std::wstring& text, UINT icon) {
  ::MessageBoxW(::GetActiveWindow(), text.c_str(), L"Marrowfold", MB_OK | icon);
}

}  // namespace win32

namespace {

using win32::FullWidePath;
using win32::WidePath;

// An open file, known to the interrupt handler from its opening (made
// under the notes' lock) to its closing.
class Win32File : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {
    win32::NoteFileOpened(reinterpret_cast<std::uintptr_t>(h));
  }
  ~Win32File() override { Close(); }

  long long Read(void* buffer, std::size_t count) override {
    bool failed = false;
    const std::size_t done = Transfer(count, failed, [&](std::size_t at, DWORD chunk, DWORD& n) {
      return ::ReadFile(h_, static_cast<char*>(buffer) + at, chunk, &n, nullptr) != 0;
    });
    return failed ? -1 : static_cast<long long>(done);
  }

  long long Write(const void* buffer, std::size_t count) override {
    bool failed = false;
    const std::size_t done = Transfer(count, failed, [&](std::size_t at, DWORD chunk, DWORD& n) {
      return ::WriteFile(h_, static_cast<const char*>(buffer) + at, chunk, &n, nullptr) != 0;
    });
    // What went out before the error is reported as a short write.
    if (failed && done == 0) return -1;
    return static_cast<long long>(done);
  }

  long long Size() override {
    LARGE_INTEGER size;
    bool ok = false;
    win32::WithNotesLocked([&] { ok = h_ != INVALID_HANDLE_VALUE && ::GetFileSizeEx(h_, &size); });
    return ok ? static_cast<long long>(size.QuadPart) : -1;
  }

  bool Close() override {
    if (h_ != INVALID_HANDLE_VALUE) {
      win32::WithNotesLocked([&] {
        // FlushFileBuffers is not asked for: CloseHandle reports what the
        // cache could not take, and the POSIX side does not fsync either.
        closedOk_ = ::CloseHandle(h_) != 0;
        win32::NoteFileClosed(reinterpret_cast<std::uintptr_t>(h_));
        h_ = INVALID_HANDLE_VALUE;
      });
    }
    return closedOk_;
  }

 private:
  // Moves `count` bytes in calls of at most 1 GiB until done, the end of
  // the file, or an error (`failed`). Under the lock of the notes, like every
  // call on the handle: an ending interrupt closes and deletes this file
  // only between two calls.
  template <typename Call>
  std::size_t Transfer(std::size_t count, bool& failed, Call call) {
    std::size_t done = 0;
    failed = false;
    if (h_ == INVALID_HANDLE_VALUE) {
      failed = true;
      return 0;
    }
    win32::WithNotesLocked([&] {
      while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD n = 0;
        if (!call(done, chunk, n)) {
          failed = true;
          break;
        }
        if (n == 0) break;
        done += n;
      }
    });
    return done;
  }

  HANDLE h_;
  bool closedOk_ = true;
};

// Opens a file (never a folder: CreateFileW refuses one without
// FILE_FLAG_BACKUP_SEMANTICS).
HANDLE OpenHandle(const std::wstring& wide, DWORD access, DWORD share, DWORD disposition) {
  return ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::unique_ptr<File> OpenExistingWide(const std::wstring& wide, DWORD access, DWORD share) {
  std::unique_ptr<File> file;
  win32::WithNotesLocked([&] {
    HANDLE h = OpenHandle(wide, access, share, OPEN_EXISTING);
    if (h != INVALID_HANDLE_VALUE) file = std::make_unique<Win32File>(h);
  });
  return file;
}

std::unique_ptr<File> OpenExisting(const Path& path, DWORD access, DWORD share) {
  std::wstring wide;
  if (!WidePath(path, wide)) return nullptr;
  return OpenExistingWide(wide, access, share);
}

// Creates the file and notes it for an ending interrupt, in one step as
// far as the handler can tell. Others may read it meanwhile; FILE_SHARE_
// DELETE lets the handler delete it even while this handle is open.
std::unique_ptr<File> CreateNotedWide(const std::wstring& wide, DWORD disposition) {
  const std::wstring full = FullWidePath(wide);
  std::unique_ptr<File> file;
  win32::WithNotesLocked([&] {
    HANDLE h = OpenHandle(full, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, disposition);
    if (h == INVALID_HANDLE_VALUE) return;
    file = std::make_unique<Win32File>(h);
    win32::NoteCreatedFile(full);
  });
  return file;
}

std::unique_ptr<File> CreateNoted(const Path& path, DWORD disposition) {
  std::wstring wide;
  if (!WidePath(path, wide)) return nullptr;
  return CreateNotedWide(wide, disposition);
}

LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

DWORD Attributes(const Path& path) {
  std::wstring wide;
  if (!WidePath(path, wide)) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(wide.c_str());
}

// A folder of the shell as an internal path without a final "\"; "" when
// the shell cannot tell or CP932 cannot hold it.
Path ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return u"";
  std::wstring wide = buffer;
  while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  // A drive root ("C:") is no folder of a user's.
  if (wide.size() <= 2) return u"";
  return Path(wide.begin(), wide.end());
}

void PrintMessage(const std::string& sjis, bool toStderr) {
  // As the POSIX side's MessageForTerminal: UTF-8 lines, "\r\n" one break.
  std::string text = SjisToDisplay(sjis);
  std::string out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  WriteOut(toStderr, out);
}

bool Move(const Path& from, const Path& to, DWORD flags) {
  std::wstring wFrom, wTo;
  if (!WidePath(from, wFrom) || !WidePath(to, wTo)) return false;
  const std::wstring fullFrom = FullWidePath(wFrom), fullTo = FullWidePath(wTo);
  bool moved = false;
  win32::WithNotesLocked([&] {
    moved = ::MoveFileExW(fullFrom.c_str(), fullTo.c_str(), flags) != 0;
    // A file renamed into place is finished: an interrupt must not
    // delete it, even where a file the program made earlier lay under
    // the new name. A file renamed onto itself is still where it was made.
    if (moved && fullFrom != fullTo) {
      win32::ForgetEntry(fullFrom);
      win32::ForgetEntry(fullTo);
    }
  });
  return moved;
}

class Win32Os : public Os {
 public:
  std::unique_ptr<File> OpenRead(const Path& path) override {
    // Another program (Jw_cad itself) may have the drawing or an image
    // open; and, as on POSIX, a file being read may be deleted or renamed.
    return OpenExisting(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  }

  std::unique_ptr<File> Create(const Path& path) override {
    return CreateNoted(path, CREATE_ALWAYS);
  }

  std::unique_ptr<File> CreateNew(const Path& path) override {
    return CreateNoted(path, CREATE_NEW);
  }

  std::unique_ptr<File> OpenWrite(const Path& path) override {
    // A copy writes into its destination while others may still read it.
    return OpenExisting(path, GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  }

  bool Delete(const Path& path) override {
    std::wstring wide;
    return WidePath(path, wide) && DeleteW(wide);
  }

  static bool DeleteW(const std::wstring& wide) {
    const std::wstring full = FullWidePath(wide);
    bool deleted = false;
    win32::WithNotesLocked([&] {
      deleted = ::DeleteFileW(full.c_str()) != 0;
      if (deleted) win32::ForgetEntry(full);
    });
    return deleted;
  }

  bool Rename(const Path& from, const Path& to) override { return Move(from, to, 0); }

  bool Replace(const Path& from, const Path& to) override {
    return Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }

  bool FindFirst(const Path& path, DirEntry& entry) override {
    std::wstring wide;
    return WidePath(path, wide) && FindFirstW(wide, entry);
  }

  static bool FindFirstW(std::wstring wide, DirEntry& entry) {
    // As on POSIX, "dir\" names the folder itself; FindFirstFileW would
    // look for nothing in it.
    while (wide.size() > 1 && wide.back() == L'\\' && !(wide.size() == 3 && wide[1] == L':'))
      wide.pop_back();
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(wide.c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
      ::FindClose(h);
    } else {
      // A drive's root is no entry of a folder, but it is there.
      WIN32_FILE_ATTRIBUTE_DATA a;
      if (wide.find_first_of(L"*?") != std::wstring::npos ||
          !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &a))
        return false;
      data = WIN32_FIND_DATAW{};
      data.dwFileAttributes = a.dwFileAttributes;
      data.ftLastWriteTime = a.ftLastWriteTime;
      data.nFileSizeHigh = a.nFileSizeHigh;
      data.nFileSizeLow = a.nFileSizeLow;
    }
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = entry.isFolder
                     ? 0
                     : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    FILETIME local;
    SYSTEMTIME st;
    entry.lastWrite = LocalTime{};
    if (::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
        ::FileTimeToSystemTime(&local, &st))
      entry.lastWrite = FromSystemTime(st);
    return true;
  }

  bool FileExists(const Path& path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool FolderExists(const Path& path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool CreateFolder(const Path& path) override {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    const std::wstring full = FullWidePath(wide);
    bool created = false;
    win32::WithNotesLocked([&] {
      created = ::CreateDirectoryW(full.c_str(), nullptr) != 0;
      if (created) win32::NoteCreatedFolder(full);
    });
    return created;
  }

  bool RemoveFolder(const Path& path) override {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    const std::wstring full = FullWidePath(wide);
    bool removed = false;
    win32::WithNotesLocked([&] {
      removed = ::RemoveDirectoryW(full.c_str()) != 0;
      if (removed) win32::ForgetEntry(full);
    });
    return removed;
  }

  bool SetLastWriteTime(const Path& path, const LocalTime& time) override {
    std::wstring wide;
    return WidePath(path, wide) && SetLastWriteTimeW(wide, time);
  }

  static bool SetLastWriteTimeW(const std::wstring& wide, const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    FILETIME local, utc;
    if (!::SystemTimeToFileTime(&st, &local) || !::LocalFileTimeToFileTime(&local, &utc))
      return false;
    HANDLE h = ::CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = ::SetFileTime(h, nullptr, nullptr, &utc) != 0;
    ok = ::CloseHandle(h) != 0 && ok;
    return ok;
  }

  bool SetArchiveOnly(const Path& path) override {
    std::wstring wide;
    return WidePath(path, wide) && ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }

  // Windows has drives of its own.
  void MapDrive(char, const std::string&) override {}

  std::uint32_t RandomNumber() override { return std::random_device()(); }
};

class Win32Desktop : public Desktop {
 public:
  Path DesktopFolder() override { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }
  Path DocumentsFolder() override { return ShellFolder(CSIDL_PERSONAL); }

  bool EscapeKeyDown() override {
    if (win32::InterruptRequested()) return true;
    return (::GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
  }

  void ShowMessage(const std::string& text) override { Show(text, false); }
  void ShowFailureMessage(const std::string& text) override { Show(text, true); }

  bool OpenFilesDialog(const OpenDialogRequest& request, std::vector<Path>& files,
                       std::int32_t& filterIndex) override {
    return win32::RunOpenFilesDialog(request, files, filterIndex);
  }

  bool SaveFileDialog(const SaveDialogRequest& request, Path& chosen) override {
    return win32::RunSaveFileDialog(request, chosen);
  }

  std::u16string ClassesRootDefault(const std::string& key) override {
    std::wstring wide;
    if (!win32::Cp932ToWide(key, wide)) return u"";
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
      return u"";
    std::wstring value;
    DWORD type = 0, bytes = 0;
    LONG r = ::RegQueryValueExW(h, nullptr, nullptr, &type, nullptr, &bytes);
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && bytes > 0) {
      value.resize(bytes / sizeof(wchar_t) + 1);
      DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
      r = ::RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &size);
      if (r == ERROR_SUCCESS) {
        value.resize(size / sizeof(wchar_t));
      } else {
        value.clear();
      }
    }
    ::RegCloseKey(h);
    // The value need not end in its NUL.
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return std::u16string(value.begin(), value.end());
  }

  bool ShellOpen(const Path& program, const Path& document, const Path& folder) override {
    const std::wstring wProgram(program.begin(), program.end());
    const std::wstring wDocument(document.begin(), document.end());
    const std::wstring wFolder(folder.begin(), folder.end());
    const std::wstring parameters = L"\"" + wDocument + L"\"";
    HINSTANCE r = ::ShellExecuteW(nullptr, L"open", wProgram.c_str(), parameters.c_str(),
                                  wFolder.empty() ? nullptr : wFolder.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
  }

 private:
  static void Show(const std::string& text, bool failure) {
    if (MessagesGoToConsole()) {
      PrintMessage(text, failure);
      return;
    }
    // "\r\n" is the message box's own line break.
    const std::u16string units = TextForPerson(text);
    win32::MessageBoxOfProgram(std::wstring(units.begin(), units.end()), 0);
  }
};

}  // namespace

Os& Native() {
  static Win32Os os;
  return os;
}

Desktop& NativeDesktop() {
  static Win32Desktop desktop;
  return desktop;
}

bool NativeToInternal(const std::string& native, Path& internal, std::string& error) {
  internal.clear();
  error.clear();
  std::wstring wide;
  if (!win32::Utf8ToWide(native, wide)) {
    error = "the path \"" + native + "\" is not valid UTF-8 text";
    return false;
  }
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  internal.assign(wide.begin(), wide.end());
  return true;
}

namespace {

// The path with each existing component spelt as it lies on disk (letter
// case, long names for 8.3 ones), the rest as written: GetLongPathNameW
// answers only for a path that exists, so the longest existing beginning
// is looked for.
std::wstring AsOnDisk(const std::wstring& wide) {
  std::size_t end = wide.size();
  for (;;) {
    const std::wstring head = wide.substr(0, end);
    DWORD n = ::GetLongPathNameW(head.c_str(), nullptr, 0);
    if (n > 0) {
      std::wstring found(n, L'\0');
      n = ::GetLongPathNameW(head.c_str(), found.data(), n);
      if (n > 0 && n < found.size()) {
        found.resize(n);
        return found + wide.substr(end);
      }
    }
    std::size_t slash = end == 0 ? std::wstring::npos : wide.rfind(L'\\', end - 1);
    // Nothing of it exists, or only its root is left.
    if (slash == std::wstring::npos || slash == 0 || (slash == 2 && wide[1] == L':')) return wide;
    end = slash;
  }
}

}  // namespace

std::string InternalToNative(const std::u16string& internal) {
  std::wstring wide;
  if (!win32::WidePath(internal, wide)) wide.assign(internal.begin(), internal.end());
  return win32::WideToUtf8(AsOnDisk(wide));
}

// Windows names are UTF-16 on disk: none lies there as CP932 bytes.
std::string InternalToDisplay(const std::u16string& internal, bool* cp932Names) {
  if (cp932Names) *cp932Names = false;
  return InternalToNative(internal);
}

std::string NewPathToDisplay(const std::u16string& internal) {
  return InternalToDisplay(internal);
}

std::string AbsoluteNative(const std::string& native) {
  std::wstring wide;
  if (!win32::Utf8ToWide(native, wide)) return native;
  if (wide.empty()) wide = L".";
  return win32::WideToUtf8(FullWidePath(wide));
}

std::string CodePageToUtf8(const std::string& sjis) {
  return win32::WideToUtf8(win32::Cp932ToWideLossy(sjis));
}

std::string SjisToDisplay(const std::string& sjis) {
  const std::u16string units = TextForPerson(sjis);
  return win32::WideToUtf8(std::wstring(units.begin(), units.end()));
}

bool DisplayToSjis(const std::string& display, std::string& sjis) {
  std::wstring wide;
  if (win32::Utf8ToWide(display, wide) && win32::WideToCp932(wide, sjis)) return true;
  sjis.clear();
  return false;
}

}  // namespace platform
