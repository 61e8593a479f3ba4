#include "gui/wide_text.h"

#include <windows.h>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace gui {

namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const std::string& text, bool& ok) {
  ok = true;
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (n <= 0) {
    ok = false;
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
  return wide;
}

}  // namespace

std::wstring SjisToWide(const std::string& sjis) {
  const std::u16string units = TextForPerson(sjis);
  return std::wstring(units.begin(), units.end());
}

std::wstring Utf8ToWide(const std::string& utf8) {
  bool ok;
  return ToWide(CP_UTF8, 0, utf8, ok);
}

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

platform::Path WideToInternal(const std::wstring& path) {
  platform::Path internal(path.begin(), path.end());
  for (char16_t& u : internal) {
    if (u == u'/') u = u'\\';
  }
  return internal;
}

std::wstring PathToWide(const platform::Path& path) {
  return std::wstring(path.begin(), path.end());
}

std::wstring FailureTextToWide(const std::string& text) {
  // Japanese Shift-JIS text is almost never valid UTF-8, so a strict UTF-8
  // reading tells the two apart.
  bool ok;
  std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
  return ok ? wide : SjisToWide(text);
}

}  // namespace gui
