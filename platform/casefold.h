// Letter case in file names as Windows compares them: each UTF-16 code unit
// is upper-cased on its own by a fixed table, the letters of every script
// that has case, a surrogate never. "Café.png" and "CAFÉ.PNG" name one file
// there, and so do "ａ.png" and "Ａ.png"; every lookup that stands in for
// Windows (a POSIX folder searched ignoring case, the in-memory file
// system, two names meeting in the work folder) folds with this one table.
#pragma once

#include <string>
#include <string_view>

namespace platform {

char16_t UpcaseFileNameUnit(char16_t u);

// A name or path with each unit upper-cased: two names are one file when
// their keys are equal.
std::u16string FileNameKey(std::u16string_view name);

// The next character of UTF-8 text at `p` (advanced past it), upper-cased
// as above: a name read from a POSIX folder compares with another without
// being converted first. A byte that starts no valid sequence (a name in
// CP932 bytes) stands for itself, above every code point, so it never meets
// a character.
char32_t NextFoldedUtf8(const char*& p);

}  // namespace platform
