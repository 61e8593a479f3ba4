// Text conversions of the Win32 implementation: CP932 (the internal form of
// every path and text), UTF-16 (what the wide API takes) and UTF-8 (what the
// console front end and messages use). The code page is always named: the
// system's ANSI code page is never consulted, so the program behaves the
// same on a Japanese Windows, an English one and one set to UTF-8.
// No OS header may come in here: tests include it.
#pragma once

#include <cstddef>
#include <string>

namespace platform::win32 {

// Strict conversions: false when some byte or character has no exact form
// in the target; `badAt`, when given, receives the offset (bytes of `in`,
// or UTF-16 units for a wide input) of the first one.
bool Cp932ToWide(const std::string& in, std::wstring& out);
bool WideToCp932(const std::wstring& in, std::string& out, std::size_t* badAt = nullptr);
bool Utf8ToWide(const std::string& in, std::wstring& out);
std::string WideToUtf8(const std::wstring& in);  // unpaired surrogates become U+FFFD

// Every double-byte character (by the lead-byte rule) or single byte that
// does not decode becomes U+FFFD.
std::wstring Cp932ToWideLossy(const std::string& in);
// Invalid UTF-8 becomes U+FFFD.
std::wstring Utf8ToWideLossy(const std::string& in);

}  // namespace platform::win32
