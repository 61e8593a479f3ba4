#include "platform/win32/encoding.h"

#include <windows.h>

#include "platform/unicode.h"

namespace platform::win32 {

namespace {

constexpr UINT kCp932 = 932;

// One call of MultiByteToWideChar into `out`; false when it refuses.
bool ToWide(UINT codePage, DWORD flags, const char* in, int size, std::wstring& out) {
  out.clear();
  if (size == 0) return true;
  int n = ::MultiByteToWideChar(codePage, flags, in, size, nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return ::MultiByteToWideChar(codePage, flags, in, size, out.data(), n) == n;
}

// One UTF-16 character (one or two units) in CP932, or false.
bool CharToCp932(const wchar_t* in, int units, std::string& out) {
  out.clear();
  BOOL usedDefault = FALSE;
  char buffer[8];
  int n = ::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, in, units, buffer, sizeof buffer,
                                nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out.assign(buffer, static_cast<std::size_t>(n));
  // WC_NO_BEST_FIT_CHARS should already refuse a look-alike; the way back
  // proves it (a character that comes back as another would mangle a name).
  std::wstring back;
  return ToWide(kCp932, MB_ERR_INVALID_CHARS, out.data(), n, back) &&
         back == std::wstring(in, static_cast<std::size_t>(units));
}

}  // namespace

bool Cp932ToWide(const std::string& in, std::wstring& out) {
  return ToWide(kCp932, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out);
}

bool WideToCp932(const std::wstring& in, std::string& out, std::size_t* badAt) {
  out.clear();
  if (badAt) *badAt = in.size();
  if (in.empty()) return true;
  // The whole text at once first; only a refusal walks it character by
  // character to find which one.
  BOOL usedDefault = FALSE;
  int n = ::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, in.data(),
                                static_cast<int>(in.size()), nullptr, 0, nullptr, &usedDefault);
  if (n > 0 && !usedDefault) {
    out.resize(static_cast<std::size_t>(n));
    ::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, in.data(), static_cast<int>(in.size()),
                          out.data(), n, nullptr, &usedDefault);
    std::wstring back;
    if (!usedDefault && Cp932ToWide(out, back) && back == in) return true;
  }
  out.clear();
  std::string one;
  for (std::size_t i = 0; i < in.size();) {
    int units = (in[i] >= 0xD800 && in[i] <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
                 in[i + 1] <= 0xDFFF)
                    ? 2
                    : 1;
    if (!CharToCp932(in.data() + i, units, one)) {
      if (badAt) *badAt = i;
      out.clear();
      return false;
    }
    out += one;
    i += static_cast<std::size_t>(units);
  }
  return true;
}

bool Utf8ToWide(const std::string& in, std::wstring& out) {
  return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out);
}

std::wstring Utf8ToWideLossy(const std::string& in) {
  std::wstring out;
  ToWide(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out);
  return out;
}

std::string WideToUtf8(const std::wstring& in) {
  std::string out;
  if (in.empty()) return out;
  int n = ::WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                nullptr, nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<std::size_t>(n));
  ::WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

std::wstring Cp932ToWideLossy(const std::string& in) {
  std::wstring out;
  if (Cp932ToWide(in, out)) return out;
  out.clear();
  std::wstring one;
  for (std::size_t i = 0; i < in.size();) {
    // The byte after a lead byte belongs to it whatever its value, so an
    // undefined double-byte character is one replacement, not two.
    std::size_t len =
        (IsSjisLeadByte(static_cast<unsigned char>(in[i])) && i + 1 < in.size()) ? 2 : 1;
    if (ToWide(kCp932, MB_ERR_INVALID_CHARS, in.data() + i, static_cast<int>(len), one)) {
      out += one;
    } else {
      out += L'\xFFFD';
    }
    i += len;
  }
  return out;
}

}  // namespace platform::win32
