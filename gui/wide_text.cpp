#include "gui/wide_text.h"

#include <windows.h>

#include "platform/platform.h"

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

bool WideToSjis(const std::wstring& wide, std::string& sjis) {
  sjis.clear();
  if (wide.empty()) return true;
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  sjis.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, sjis.data(), n, nullptr,
                      &usedDefault);
  // Best-fit is off, but a character that maps one way only (a lone
  // surrogate) must not slip through as something else either.
  if (usedDefault || SjisToWide(sjis) != wide) {
    sjis.clear();
    return false;
  }
  return true;
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

std::wstring FirstCharacterWithoutSjis(const std::wstring& wide) {
  std::string ignored;
  for (std::size_t i = 0; i < wide.size();) {
    const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size();
    const std::wstring one = wide.substr(i, pair ? 2 : 1);
    if (!WideToSjis(one, ignored)) return one;
    i += one.size();
  }
  return {};
}

bool WideToInternal(const std::wstring& path, std::string& internal, std::string& error) {
  internal.clear();
  error.clear();
  if (platform::NativeToInternal(WideToUtf8(path), internal, error)) return true;
  // The user of the window reads Japanese: name the path and the character.
  const std::wstring bad = FirstCharacterWithoutSjis(path);
  if (!bad.empty())
    error = WideToUtf8(L"「" + path + L"」は Shift-JIS で表せない文字「" + bad +
                       L"」を含むため、変換できません。");
  return false;
}

std::wstring FailureTextToWide(const std::string& text) {
  // Japanese Shift-JIS text is almost never valid UTF-8, so a strict UTF-8
  // reading tells the two apart.
  bool ok;
  std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
  return ok ? wide : SjisToWide(text);
}

}  // namespace gui
