// The program's surroundings on Windows: its folder, the user's state
// folder, the console (wide output, wide command line) and Ctrl-C.
#include "platform/program.h"

#include "platform/win32/win32_os.h"
// After <windows.h>.
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/encoding.h"
#include "platform/win32/interrupts.h"

namespace platform {

namespace {

std::atomic<bool> g_toConsole{false};

std::wstring WideOf(const std::string& utf8) {
  std::wstring wide;
  if (!win32::Utf8ToWide(utf8, wide)) wide = win32::Utf8ToWideLossy(utf8);
  return wide;
}

bool IsFolder(const std::wstring& wide) {
  DWORD a = ::GetFileAttributesW(wide.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void StripFinalSeparators(std::wstring& path) {
  // "C:\" and "\" keep theirs: they are roots.
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
         !(path.size() == 3 && path[1] == L':'))
    path.pop_back();
}

// Where the levels of a path below its root begin: after "C:\", "\",
// "\\server\share\" or "\\?\C:\".
std::size_t RootLength(const std::wstring& p) {
  auto sep = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (p.size() >= 4 && p.compare(0, 4, L"\\\\?\\") == 0) {
    std::size_t i = 4;
    if (p.size() >= 6 && p[5] == L':') return p.size() > 6 && sep(p[6]) ? 7 : 6;
    return i;
  }
  if (p.size() >= 2 && sep(p[0]) && sep(p[1])) {
    // \\server\share\ .
    std::size_t i = 2;
    for (int part = 0; part < 2 && i < p.size(); ++part) {
      while (i < p.size() && !sep(p[i])) ++i;
      if (i < p.size()) ++i;
    }
    return i;
  }
  if (p.size() >= 2 && p[1] == L':') return p.size() > 2 && sep(p[2]) ? 3 : 2;
  if (!p.empty() && sep(p[0])) return 1;
  return 0;
}

}  // namespace

std::string ProgramFolderNative() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  std::wstring folder = path.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return win32::WideToUtf8(folder);
}

bool FolderWritable(const std::string& native) {
  std::wstring folder = WideOf(native);
  if (!IsFolder(folder)) return false;
  // Trying is the only answer that holds on Windows: access rights,
  // read-only media and folders under Program Files all say it.
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  const std::wstring probe =
      folder + L"marrowfold-write-test-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
  HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

bool MakeFolders(const std::string& native, std::string& error) {
  error.clear();
  std::wstring path = WideOf(native);
  StripFinalSeparators(path);
  if (path.empty()) {
    error = "no folder was given";
    return false;
  }
  path = win32::FullWidePath(path);
  StripFinalSeparators(path);
  const std::size_t root = RootLength(path);
  std::size_t end = path.find_first_of(L"\\/", root);
  if (root >= path.size()) {
    // A root itself: there or not.
    if (IsFolder(path)) return true;
    error =
        "cannot create the folder \"" + native + "\": " + win32::SystemErrorText(::GetLastError());
    return false;
  }
  for (;;) {
    std::wstring level = path.substr(0, end);
    DWORD failure = 0;
    DWORD a = ::GetFileAttributesW(level.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
      if (!(a & FILE_ATTRIBUTE_DIRECTORY))
        failure = level == path ? ERROR_ALREADY_EXISTS : ERROR_DIRECTORY;
    } else if (!::CreateDirectoryW(level.c_str(), nullptr)) {
      // Another process may have made it meanwhile.
      failure = ::GetLastError();
      if (failure == ERROR_ALREADY_EXISTS && IsFolder(level)) failure = 0;
    }
    if (failure != 0) {
      error = "cannot create the folder \"" + native + "\"";
      if (level != path) error += " (at \"" + win32::WideToUtf8(level) + "\")";
      error += ": " + win32::SystemErrorText(failure);
      return false;
    }
    if (end == std::wstring::npos) return true;
    end = path.find_first_of(L"\\/", end + 1);
  }
}

std::string UserStateFolderNative() {
  std::wstring folder;
  wchar_t buffer[32768];
  DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 32768);
  if (n > 0 && n < 32768) {
    folder.assign(buffer, n);
  } else if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                          buffer))) {
    folder = buffer;
  }
  StripFinalSeparators(folder);
  if (folder.empty()) return ProgramFolderNative();
  if (folder.back() != L'\\') folder += L'\\';
  return win32::WideToUtf8(folder + L"Marrowfold");
}

void InstallInterruptHandling() {
  win32::InstallEndHandlers();
}

bool InterruptRequested() {
  return win32::InterruptRequested();
}

void SetEndingWords(const std::string& utf8) {
  win32::SetEndingWords(win32::Utf8ToWideLossy(utf8), utf8);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  int n = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (!wide) {
    // Better the ANSI arguments than none.
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 1; i < n; ++i) args.push_back(win32::WideToUtf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

void WriteOut(bool toStderr, const std::string& utf8) {
  std::FILE* stream = toStderr ? stderr : stdout;
  // Whatever the C library holds goes first, so the order stays.
  std::fflush(stream);
  if (utf8.empty()) return;
  HANDLE h = ::GetStdHandle(toStderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (::GetConsoleMode(h, &mode)) {
    // A console shows UTF-16 whatever its code page; "\n" is its line
    // break too.
    const std::wstring wide = win32::Utf8ToWideLossy(utf8);
    std::size_t done = 0;
    while (done < wide.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      DWORD written = 0;
      if (!::WriteConsoleW(h, wide.data() + done, chunk, &written, nullptr) || written == 0) break;
      done += written;
    }
    return;
  }
  // A pipe or a file: the bytes as they are, no "\r" added.
  std::size_t done = 0;
  while (done < utf8.size()) {
    DWORD written = 0;
    if (!::WriteFile(h, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written,
                     nullptr) ||
        written == 0) {
      // The reader of the pipe is gone (`| more` quit): as on POSIX, the
      // run ends rather than writing drawings nobody hears about.
      const DWORD error = ::GetLastError();
      if (!toStderr && (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE))
        win32::EndBecauseOutputClosed();
      break;
    }
    done += written;
  }
}

void MessagesToConsole(bool toConsole) {
  g_toConsole = toConsole;
}

bool MessagesGoToConsole() {
  return g_toConsole.load();
}

void ReportUnexpectedFailure(const std::string& utf8) {
  if (MessagesGoToConsole()) {
    WriteOut(true, utf8.empty() || utf8.back() != '\n' ? utf8 + "\n" : utf8);
    return;
  }
  win32::MessageBoxOfProgram(WideOf(utf8), MB_ICONERROR);
}

}  // namespace platform
