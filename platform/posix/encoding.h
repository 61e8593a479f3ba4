// CP932 <-> UTF-8 for the POSIX implementation. CP932 is Windows' own table
// (NEC and IBM extensions, 0x5C as backslash), which is what the drawings
// and their users' file names were written in; plain "SHIFT_JIS" would
// refuse many of their characters and turn 0x5C into a yen sign.
#pragma once

#include <cstddef>
#include <string>

namespace platform::posix {

// Strict conversions: false when some byte or character does not convert.
// `badAt`, when given, receives the byte offset in `in` where it stopped.
bool Cp932ToUtf8(const std::string& in, std::string& out, std::size_t* badAt = nullptr);
bool Utf8ToCp932(const std::string& in, std::string& out, std::size_t* badAt = nullptr);

// Every double-byte character (by the lead-byte rule) or single byte that
// does not decode becomes U+FFFD.
std::string Cp932ToUtf8Lossy(const std::string& in);

}  // namespace platform::posix
