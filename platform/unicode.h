// Conversions between Shift-JIS (Windows code page 932) and UTF-16, for the
// strings current Jw_cad releases store as UTF-16. Here, below the text
// helpers, because every path the system meets passes through them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Whether byte b opens a double-byte Shift-JIS character: the one lead-byte
// rule every walk over Shift-JIS text uses.
bool IsSjisLeadByte(std::uint8_t b);

// UTF-8 and UTF-16 without any code page: false on malformed input (a lone
// surrogate, a bad UTF-8 sequence).
bool Utf16ToUtf8(const std::u16string& in, std::string& out);
bool Utf8ToUtf16(const std::string& in, std::u16string& out);

// Shift-JIS to UTF-16; bytes that do not decode become U+FFFD.
std::u16string SjisToUtf16(const std::string& sjis);
// SjisToUtf16 into `out`, which has room for one unit per byte, without
// allocating; false when the bytes need the system's converter, and then
// only SjisToUtf16 gives their units.
bool SjisToUtf16ByTables(std::string_view sjis, char16_t* out, std::size_t& count);
// UTF-16 to Shift-JIS. True only when every character has a CP932 form and
// converting back gives the same code units: the text can then live as
// Shift-JIS inside and be written back unchanged.
bool Utf16ToSjisExact(std::u16string_view units, std::string& sjis);
// A rendering for display and matching: "?" where CP932 has no character.
std::string Utf16ToSjisLossy(const std::u16string& units);

// Texts for a person (messages, the log, the reasons of a failure) are
// Shift-JIS, and a path in one may hold characters CP932 lacks: such a
// character is written there as ESC, "u" and four hexadecimal digits per
// UTF-16 unit, which TextForPerson turns back. A path CP932 can hold is its
// Shift-JIS bytes.
std::string PathInText(const std::u16string& path);
// A text for a person as UTF-16: Shift-JIS decoded (U+FFFD for bytes that
// do not decode), escaped units put back.
std::u16string TextForPerson(const std::string& text);
