// What the parts of the Win32 implementation share. Includes <windows.h>:
// not for tests.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// The wide form of an internal path, "/" taken as "\" as Windows does and
// long paths allowed; false when it holds a NUL (then no file is named).
bool WidePath(const std::u16string& internal, std::wstring& wide);
// The full form of a wide path (GetFullPathNameW); the path itself when
// that fails.
std::wstring FullWidePath(const std::wstring& wide);
// The text of a system error code, UTF-8, without the final line break.
std::string SystemErrorText(DWORD code);
// A message box of the program (caption "Marrowfold"), owned by the active
// window.
void MessageBoxOfProgram(const std::wstring& text, UINT icon);

}  // namespace platform::win32
