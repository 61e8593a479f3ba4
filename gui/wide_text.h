// The window system speaks UTF-16; the program's text is Shift-JIS and its
// native paths are UTF-8. These are the only crossings between them.
#pragma once

#include <string>

namespace gui {

// Shift-JIS (code page 932) bytes as the window shows them.
std::wstring SjisToWide(const std::string& sjis);
// False when a character has no Shift-JIS form: a text the program would
// otherwise hold as "?" and act on as something the user never typed.
bool WideToSjis(const std::wstring& wide, std::string& sjis);

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

// The first character of `wide` that Shift-JIS has no form for, or "".
std::wstring FirstCharacterWithoutSjis(const std::wstring& wide);

// A path from the system (a dropped file, an argument, the program file)
// as an internal path. False with `error` (UTF-8, naming the path) when
// Shift-JIS cannot hold it.
bool WideToInternal(const std::wstring& path, std::string& internal, std::string& error);

// Failure texts carry UTF-8 from the system and Shift-JIS from the
// program's own messages; either is made readable.
std::wstring FailureTextToWide(const std::string& text);

}  // namespace gui
