// What the parts of the Win32 implementation share. Includes <windows.h>:
// not for tests.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// The wide form of an internal (CP932) path, "/" taken as "\" as Windows
// does; false when the bytes are not valid CP932 (then no file is named).
bool WidePath(const std::string& internal, std::wstring& wide);
// The same for a wide internal path (UTF-16 units, for names CP932 cannot
// hold); false when it holds a NUL.
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
